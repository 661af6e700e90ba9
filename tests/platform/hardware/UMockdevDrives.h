// SPDX-License-Identifier: MIT
#pragma once
// Mocked optical drives for the Linux backend: a umockdev testbed with sysfs
// and udev records, and a CD-ROM ioctl handler whose answers the test sets.
// Only usable in a program run through umockdev-wrapper.
#include <QByteArray>
#include <QList>
#include <QString>

#include <mutex>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;

namespace qn::test {

class UMockdevDrives {
public:
    UMockdevDrives();
    ~UMockdevDrives();
    /// False outside umockdev-wrapper (the caller skips).
    bool usable() const { return _testbed != nullptr; }

    /// Adds an optical drive (SCSI device + block disk `name`) with the given
    /// udev property lines ("ID_BUS=ata") and inquiry strings (empty: none in
    /// sysfs). Returns the block device's sysfs path.
    QString addDrive(const QString& name, int minor, const QStringList& udevProperties, const QString& vendor = {},
                     const QString& model = {}, const QString& rev = {});
    /// Adds a block disk that is not an optical drive.
    QString addHardDisk(const QString& name);
    void uevent(const QString& sysPath, const char* action);
    /// The testbed's folder, which stands in for "/" (nodes under dev/).
    QString rootDir() const;
    /// Gives the testbed to other users too (its root like /tmp), and node
    /// /dev/`name` to root and group `gid` with mode 0660, so users outside
    /// that group cannot open it (umockdev still counts their attempt as a
    /// connection). False when that fails.
    bool restrictNode(const QString& name, unsigned gid);
    void remove(const QString& sysPath);

    // Answers of the ioctl handler for every node, and what it received.
    struct Ioctls {
        int driveStatus = 4;       // CDS_DISC_OK
        int driveStatusErrno = 0;  // non-zero: CDROM_DRIVE_STATUS fails with it
        int ejectErrno = 0;        // CDROMEJECT
        int closeErrno = 0;        // CDROMCLOSETRAY
        int notReadyAnswers = 0;   // STATUS answers CDS_DRIVE_NOT_READY this many times first
        QList<QByteArray> received;  // "sr0 LOCKDOOR 0", "sr0 EJECT", "sr0 CLOSETRAY", "sr0 STATUS"
        // Opens of the nodes (every open() of a mocked node connects a client).
        int opens = 0;             // since the start
        int openNow = 0;           // connected now
        QList<int> openAtEject;    // openNow at each CDROMEJECT
    };
    template <typename F>
    auto withIoctls(F f)
    {
        std::lock_guard<std::mutex> lock(_mutex);
        return f(_ioctls);
    }

private:
    static int handle(UMockdevIoctlBase*, void* client, void* self);
    static void connected(UMockdevIoctlBase*, void* client, void* self);
    static void vanished(UMockdevIoctlBase*, void* client, void* self);
    UMockdevTestbed* _testbed = nullptr;
    UMockdevIoctlBase* _handler = nullptr;
    std::mutex _mutex;
    Ioctls _ioctls;
};

}  // namespace qn::test
