// SPDX-License-Identifier: MIT
#pragma once
// TrayCheck: finds slot-loading drives by cycling every tray once. Each drive
// is one toggle of its tray; when the tray opened, a timer looks at it every
// 50 ms until it has closed again or the wait limit is reached. Nothing
// blocks the event loop while a tray moves. The outcome goes into the drive
// model's remembered record ("slotLoading"); a drive whose disc is busy gets
// nothing and is named in finished().
#include "QNDevice.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class DriveModelMemory;
class QNDeviceOperator;
class QNDeviceScanner;

namespace qn::hardware {
class DeviceRegistry;
}

class TrayCheck : public QObject {
    Q_OBJECT
public:
    /// All three are kept and must outlive the check.
    TrayCheck(QNDeviceScanner& scanner, qn::hardware::DeviceRegistry& registry, DriveModelMemory& memory,
              QObject* parent = nullptr);
    ~TrayCheck() override;

    /// Starts a new check at position 0 (after a short step delay).
    void start();
    /// Checks the drive at `position` (re-read from the scanner's list) and
    /// schedules the next; a position past the list ends the check.
    void checkDrive(int position);
    /// Ends a running check now; what was found so far is kept.
    void stop();

    bool isRunning() const { return _running; }
    int waitLimit() const { return _waitLimitMs; }
    void setWaitLimit(int milliseconds) { _waitLimitMs = milliseconds; }

    /// What one look at a tray being cycled found.
    enum class TrayStep {
        Closed,       // seen open and now reads closed: a tray that moves
        StillMoving,  // look again
        Failed,       // the drive did not answer or refused to close
    };
    /// One look at a tray being cycled; an open tray is told to close.
    static TrayStep trayCloseStep(QNDeviceOperator& deviceOperator, bool& seenOpen);

signals:
    void started();
    /// The check ended (or was stopped); `busyDrives` names the drives whose
    /// disc was in use.
    void finished(const QStringList& busyDrives);

private:
    void scheduleStep(int delayMs, std::function<void()> step);
    void record(const QNDevicePtr& device, bool slotLoading);
    void watchTray(const QNDevicePtr& device, int index);
    void finish();

    QNDeviceScanner& _scanner;
    qn::hardware::DeviceRegistry& _registry;
    DriveModelMemory& _memory;
    bool _running = false;
    int _waitLimitMs = 30000;
    QTimer _timer;                     // the next step
    std::function<void()> _step;
    std::shared_ptr<QNDeviceOperator> _operator;
    bool _traySeenOpen = false;
    QDeadlineTimer _waitDeadline;
    QStringList _busyDrives;
};
