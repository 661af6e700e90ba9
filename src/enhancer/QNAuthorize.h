// SPDX-License-Identifier: MIT
#pragma once
// Runs command-line tools with administrator rights and waits for them.
//
// The first run starts one small privileged helper
// (libexec/qnlab/qnlab-privileged-helper) through the elevation command,
// pkexec by default, or directly when the process is already root; the user
// is asked once, and every later run is a request over the helper's pipes for
// as long as this runner lives, or until release(). The helper runs only the
// tools of the suite's allow-list; it starts the tool, reads its standard
// output in chunks of at most 128 bytes, throws it away and answers when the
// tool has ended, with its exit status (lastExitStatus()). A tool that ran and
// failed still makes openPrivilegedTool() true: callers that care look at
// lastExitStatus().
//
// Failures come back as false plus an error in the OS-status domain whose
// code is an AuthorizationStatus (PrivilegedHelper.h).
#include "PrivilegedHelper.h"
#include "QNEnhancer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

class QProcess;

/// A null-terminated argument vector over UTF-8 copies of the arguments; the
/// pointers stay valid as long as this object lives.
class QNArgumentVector {
public:
    explicit QNArgumentVector(const QStringList& arguments);
    QNArgumentVector(const QNArgumentVector&) = delete;
    QNArgumentVector& operator=(const QNArgumentVector&) = delete;

    /// count + 1 slots, the last one null.
    char* const* data() const { return _slots.data(); }
    qsizetype count() const { return qsizetype(_strings.size()); }
    const std::vector<QByteArray>& strings() const { return _strings; }

private:
    std::vector<QByteArray> _strings;
    std::vector<char*> _slots;
};

class QNAuthorize {
public:
    QNAuthorize();
    ~QNAuthorize();
    QNAuthorize(const QNAuthorize&) = delete;
    QNAuthorize& operator=(const QNAuthorize&) = delete;

    /// Runs the tool (absolute path) with the arguments (without the tool's
    /// own name). True when the tool was started and its output has ended.
    bool openPrivilegedTool(const QString& toolPath, const QStringList& arguments, QNErrorOut error = nullptr);

    static std::unique_ptr<QNArgumentVector> commandLineArgumentDataWithArray(const QStringList& arguments);

    /// The command put in front of the helper to elevate it ("pkexec"); empty
    /// runs the helper directly. Takes effect when the helper is next started.
    void setElevationCommand(const QStringList& command) { _elevationCommand = command; }
    /// The command in QNLAB_ELEVATOR when that is set (for tests and
    /// administrators; an empty value means "run directly"); otherwise nothing
    /// when running as root, else pkexec.
    static QStringList defaultElevationCommand();

    void setHelperPath(const QString& path) { _helperPath = path; }
    const QString& helperPath() const { return _helperPath; }

    /// Whether a helper is running for this runner (the grant is held).
    bool isAuthorized() const;
    /// Ends the helper and gives up the grant; a later run asks again.
    void release();
    /// Exit status of the last tool run (128 + signal number when a signal
    /// ended it); -1 when the last run did not start a tool.
    int lastExitStatus() const { return _lastExitStatus; }
    /// Bytes and reads of the last tool's output (diagnostics and tests).
    quint64 lastOutputSize() const { return _lastOutputSize; }
    quint32 lastOutputReads() const { return _lastOutputReads; }

private:
    bool startHelper(AuthorizationStatus* status);
    void stopHelper();

    QProcess* _authRef = nullptr;  // the running helper: our grant
    QStringList _elevationCommand;
    QString _helperPath;
    quint64 _lastOutputSize = 0;
    quint32 _lastOutputReads = 0;
    int _lastExitStatus = -1;
};
