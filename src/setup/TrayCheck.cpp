// SPDX-License-Identifier: MIT
#include "TrayCheck.h"

#include "DriveModelMemory.h"
#include "QNDeviceOperator.h"
#include "QNDeviceScanner.h"

#include "hardware/DeviceRegistry.h"

namespace {
constexpr int kStepDelayMs = 50;
constexpr int kWaitPassMs = 50;
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
        record(device, true);
        scheduleStep(kStepDelayMs, [this, index] { checkDrive(index + 1); });
        return;
    }
    using Outcome = QNDeviceOperator::TrayOutcome;
    switch (_operator->toggleTray()) {
    case Outcome::Closed:
        record(device, false);
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
    case Outcome::NotClosed:
    case Outcome::NotPermitted:
    case Outcome::Failed:
        // A tray that cannot be commanded counts as a slot.
        record(device, true);
        break;
    }
    scheduleStep(kStepDelayMs, [this, index] { checkDrive(index + 1); });
}

void TrayCheck::watchTray(const QNDevicePtr& device, int index)
{
    const TrayStep step = trayCloseStep(*_operator, _traySeenOpen);
    if (step == TrayStep::StillMoving && !_waitDeadline.hasExpired()) {
        scheduleStep(kWaitPassMs, [this, device, index] { watchTray(device, index); });
        return;
    }
    // A tray that never reports open (or never closes again) counts as
    // slot-loading.
    record(device, step != TrayStep::Closed);
    scheduleStep(kStepDelayMs, [this, index] { checkDrive(index + 1); });
}

void TrayCheck::scheduleStep(int delayMs, std::function<void()> step)
{
    _step = std::move(step);
    _timer.start(delayMs);
}

void TrayCheck::record(const QNDevicePtr& device, bool slotLoading)
{
    _operator.reset();
    if (device)
        _memory.setSlotLoading(*device, slotLoading);
}

void TrayCheck::finish()
{
    _timer.stop();
    _step = nullptr;
    _operator.reset();
    _running = false;
    emit finished(std::exchange(_busyDrives, {}));
}

TrayCheck::TrayStep TrayCheck::trayCloseStep(QNDeviceOperator& deviceOperator, bool& seenOpen)
{
    quint8 state = QNDeviceOperator::kTrayClosed;
    if (deviceOperator.getTrayState(&state) != 0)
        return TrayStep::Failed;
    if (state == QNDeviceOperator::kTrayOpen) {
        seenOpen = true;
        return deviceOperator.setTrayStateToClose() != 0 ? TrayStep::Failed : TrayStep::StillMoving;
    }
    return seenOpen ? TrayStep::Closed : TrayStep::StillMoving;
}
