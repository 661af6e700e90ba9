// SPDX-License-Identifier: MIT
#include "TrayCheck.h"

#include "DriveModelMemory.h"
#include "QNDeviceOperator.h"
#include "QNDeviceScanner.h"

#include "hardware/DeviceRegistry.h"

namespace {
constexpr int kStepDelayMs = 50;
constexpr int kWaitPassMs = 50;
// A tray check status is the operator's signed number (see TrayCheck.h).
constexpr qint32 kGeneralError = qint32(qn::hardware::IOReturn::Error);
}  // namespace

TrayCheck::TrayCheck(QNDeviceScanner& scanner, qn::hardware::DeviceRegistry& registry, DriveModelMemory& memory,
                     QObject* parent)
    : QObject(parent)
    , _scanner(scanner)
    , _registry(registry)
    , _memory(memory)
{
    _timer.setSingleShot(true);
    connect(&_timer, &QTimer::timeout, this, [this] {
        if (auto step = _step)
            step();
    });
}

TrayCheck::~TrayCheck() = default;

void TrayCheck::start()
{
    _running = true;
    _busyDrives.clear();
    emit started();
    scheduleStep(kStepDelayMs, [this] { checkDrive(0); });
}

void TrayCheck::stop()
{
    if (_running)
        finish();
}

void TrayCheck::checkDrive(int index)
{
    const QNDeviceList& devices = _scanner.devicesArray();
    if (index < 0 || index >= devices.size()) {
        finish();
        return;
    }

    const QNDevicePtr device = devices.at(index);
    _operator = device ? QNDeviceOperator::deviceOperatorForDevice(device, _registry) : nullptr;
    if (!_operator) {
        record(device, kGeneralError);
        scheduleStep(kStepDelayMs, [this, index] { checkDrive(index + 1); });
        return;
    }
    using Outcome = QNDeviceOperator::TrayOutcome;
    switch (_operator->toggleTray()) {
    case Outcome::Closed:
        record(device, 0);
        break;
    case Outcome::Opened:
    case Outcome::OpenedByDiscEject:
        _traySeenOpen = false;
        _waitDeadline = QDeadlineTimer(_waitLimitMs);
        scheduleStep(0, [this, device, index] { watchTray(device, index); });
        return;
    case Outcome::Busy:
        // Nothing is known about the tray: record nothing, tell the user.
        if (device)
            _busyDrives << QStringLiteral("%1 %2").arg(device->vendorName(), device->productName()).trimmed();
        break;
    case Outcome::DiscEjected:
    case Outcome::NotSupported:
    case Outcome::Refused:
    case Outcome::NotPermitted:
    case Outcome::Failed:
        record(device, kGeneralError);
        break;
    }
    scheduleStep(kStepDelayMs, [this, index] { checkDrive(index + 1); });
}

void TrayCheck::watchTray(const QNDevicePtr& device, int index)
{
    const qint32 status = trayCloseStep(*_operator, _traySeenOpen);
    if (status == kQNTrayStillMoving && !_waitDeadline.hasExpired()) {
        scheduleStep(kWaitPassMs, [this, device, index] { watchTray(device, index); });
        return;
    }
    // A tray that never reports open (or never closes again) counts as
    // slot-loading.
    record(device, status == kQNTrayStillMoving ? kQNTrayWaitTimedOut : status);
    scheduleStep(kStepDelayMs, [this, index] { checkDrive(index + 1); });
}

void TrayCheck::scheduleStep(int delayMs, std::function<void()> step)
{
    _step = std::move(step);
    _timer.start(delayMs);
}

void TrayCheck::record(const QNDevicePtr& device, qint32 status)
{
    _operator.reset();
    if (device)
        _memory.setSlotLoading(*device, status != 0);
}

void TrayCheck::finish()
{
    _timer.stop();
    _step = nullptr;
    _operator.reset();
    _running = false;
    emit finished(std::exchange(_busyDrives, {}));
}

qint32 TrayCheck::trayCloseStep(QNDeviceOperator& deviceOperator, bool& seenOpen)
{
    quint8 state = QNDeviceOperator::kTrayClosed;
    const qint32 status = deviceOperator.getTrayState(&state);
    if (status != 0)
        return status;
    if (state == QNDeviceOperator::kTrayOpen) {
        seenOpen = true;
        return deviceOperator.setTrayStateToClose() != 0 ? kGeneralError : kQNTrayStillMoving;
    }
    return seenOpen ? 0 : kQNTrayStillMoving;
}
