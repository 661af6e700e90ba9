// SPDX-License-Identifier: MIT
#pragma once
// qntraylift-watch: hands the optical drive's own eject button to the agent.
//
// The watcher sleeps in poll() on a udev monitor (subsystem block, type disk)
// and a self-pipe that SIGTERM/SIGINT write to: no timers, no CPU while
// idle, no drive held open. For each "change" uevent of an optical drive
// (ID_CDROM=1) that carries DISK_EJECT_REQUEST=1 it finds the drive's position
// with a fresh drive scanner (the numbering `qneject -d N` uses) and sends the
// agent an eject request for that position marked as coming from the drive's
// button, so the agent opens the tray (or, when udev's own rule has opened it
// already, leaves it open) and shows its panel and countdown.
#include <QString>

#include <optional>

struct udev;
struct udev_monitor;

namespace qn::hardware {
class DeviceRegistry;
}

class DriveButtonWatcher {
public:
    /// `agentPath`: the agent to ask (the one beside this program by default).
    explicit DriveButtonWatcher(QString agentPath);
    ~DriveButtonWatcher();
    DriveButtonWatcher(const DriveButtonWatcher&) = delete;
    DriveButtonWatcher& operator=(const DriveButtonWatcher&) = delete;

    /// Opens the udev monitor and installs the stop signals. False, with a
    /// message on standard error, when udev cannot be reached.
    bool open();
    /// Handles events until SIGTERM or SIGINT; the exit status (0 when stopped
    /// by a signal, 1 when the monitor failed).
    int run();

    /// Whether a uevent is the eject button of an optical drive: action
    /// "change", DISK_EJECT_REQUEST=1 and ID_CDROM=1.
    static bool isButtonRequest(const char* action, const char* ejectRequest, const char* isCdrom);
    /// Position of the drive whose disk is `kernelName` ("sr0") in a fresh
    /// drive scanner's list over `registry`; nullopt when it is not listed.
    static std::optional<qint32> drivePosition(const QString& kernelName, qn::hardware::DeviceRegistry& registry);

private:
    void handleEvent();

    QString _agentPath;
    struct udev* _udev = nullptr;
    struct udev_monitor* _monitor = nullptr;
    int _stopPipe[2] = {-1, -1};
};
