// SPDX-License-Identifier: MIT
#include "QNTraylift.h"

#include "AgentTrace.h"
#include "AgentAlerts.h"

#include "alerts/AlertPresenter.h"
#include "events/EventManager.h"
#include "events/LaunchServices.h"
#include "strings/LocalizedString.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <climits>
#include <utility>
#include <cmath>
#include <sys/utsname.h>

using namespace qn::events;

namespace {

using qn::contracts::kAutoCloseTrayKey;
using qn::contracts::kDevicePropertiesKey;
using qn::contracts::kIsNotFirstTimeKey;
using qn::contracts::kTargetDeviceIndexKey;
const QString& kTimeIntervalKey = qn::contracts::kTimeIntervalUntilCloseTrayKey;
const QString kSetupProgramName = QStringLiteral("QNTrayliftSetup");
const QString kAgentTitle = QStringLiteral("QNTraylift");

int timerMilliseconds(double seconds)
{
    const double ms = std::ceil(seconds * 1000.0);
    return ms >= double(INT_MAX) ? INT_MAX : int(ms);
}

}  // namespace

QNTraylift::QNTraylift(Terminator terminator)
    : _deviceScanner(std::make_unique<QNDeviceScanner>()), _defaults(kQNTrayliftDomain),
      _terminator(std::move(terminator))
{
    if (!_terminator)
        _terminator = [](QObject*) { EventManager::terminate(0); };
    _quitTimer.setSingleShot(true);
    connect(&_quitTimer, &QTimer::timeout, this, [this] { terminate(); });
}

QNTraylift::~QNTraylift()
{
    if (_ejectWindow && _ejectWindow->window())
        _ejectWindow->window()->close();
}

std::unique_ptr<QNTraylift> QNTraylift::create(quint32 systemVersion, Terminator terminator)
{
    std::unique_ptr<QNTraylift> delegate(new QNTraylift(std::move(terminator)));
    if (!delegate->systemCheck(systemVersion))
        return nullptr;
    delegate->registerUserDefaults();
    return delegate;
}

// --- Version gate ---------------------------------------------------------------------

quint32 QNTraylift::currentSystemVersion()
{
    struct utsname name {};
    if (::uname(&name) != 0)
        return 0x1039;
    const int major = std::atoi(name.release);
    return major >= 3 ? 0x1040 : 0x1039;
}

bool QNTraylift::systemVersionPasses(quint32 versionBCD)
{
    return qint16(versionBCD & 0xFFFF) > 0x103F;
}

bool QNTraylift::systemCheck(quint32 versionBCD)
{
    if (systemVersionPasses(versionBCD))
        return true;
    qn::AlertPresenter::Alert alert;
    alert.title = kAgentTitle;
    alert.message = qn::localizedString("SystemNotSupported");
    alert.informativeText = qn::localizedString("RequiredSystem");
    alert.style = qn::AlertPresenter::Style::Critical;
    qn::AlertPresenter::run(alert);
    Terminator terminator = _terminator;
    QTimer::singleShot(0, QCoreApplication::instance(), [terminator] { terminator(nullptr); });
    return false;
}

// --- Preferences --------------------------------------------------------------------------

void QNTraylift::registerUserDefaults()
{
    _defaults.registerDefaults({{kTimeIntervalKey, qn::contracts::kDefaultTimeIntervalUntilCloseTray}});
}

std::optional<QVariantMap> QNTraylift::devicePropertyWithDevice(const QNDevice& device) const
{
    for (const QVariant& element : _defaults.arrayForKey(kDevicePropertiesKey)) {
        const QVariantMap record = element.toMap();
        if (device.matchesRecord(record, /*compareInterconnect*/ false))
            return record;
    }
    return std::nullopt;
}

// --- Lifecycle ----------------------------------------------------------------------------

void QNTraylift::applicationWillFinishLaunching(EventManager& events)
{
    events.installHandler(kQNTrayliftEventClass, kQNEjectTrayEventID,
                          [this](const AppleEvent& event) { receiveEjectTrayEvent(event); });
    events.installHandler(kCoreEventClass, kAEOpenApplication,
                          [this](const AppleEvent&) { applicationOpenUntitledFile(); });
    events.installHandler(kCoreEventClass, kAEReopenApplication, [this](const AppleEvent&) {
        applicationShouldHandleReopen(_ejectWindow && _ejectWindow->window()->isVisible());
    });
    const qint64 stored = _defaults.integerForKey(kTargetDeviceIndexKey);
    _deviceIndex = qint32(qBound(qint64(INT_MIN), stored, qint64(INT_MAX)));
}

bool QNTraylift::applicationOpenUntitledFile()
{
    qnAgentTrace(QStringLiteral("launch index=%1").arg(_deviceIndex));
    commonRequestPath(std::nullopt);
    return true;
}

qint32 QNTraylift::requestedIndex(const AppleEvent& event)
{
    const std::optional<Descriptor> direct = event.param(keyDirectObject);
    if (!direct)
        return 0;
    return direct->toInt32().value_or(0);
}

void QNTraylift::receiveEjectTrayEvent(const AppleEvent& event)
{
    const qint32 index = requestedIndex(event);
    const bool driveButton = qn::contracts::ejectRequestSource(event) == qn::contracts::EjectRequestSource::DriveButton;
    qnAgentTrace(QStringLiteral("request index=%1%2").arg(index).arg(driveButton ? QStringLiteral(" button") : QString()));
    if (_ejectWindow && _ejectWindow->window()->isVisible()) {
        if (!_ejectWindow->closeTrayButton()->isHidden()) {
            if (driveButton) {
                qnAgentTrace(QStringLiteral("button while counting down: tray left open"));
                return;
            }
            _ejectWindow->onCloseTray(this);  // a countdown runs: close now
            return;
        }
        if (_quitTimer.isActive()) {
            // Winding down after an operation: this is a new press, not an echo.
            _quitTimer.stop();
            qnAgentTrace(QStringLiteral("quit cancelled by request"));
        }
    }
    commonRequestPath(index, driveButton);
}

bool QNTraylift::applicationShouldHandleReopen(bool)
{
    if (!_reopened) {
        _reopened = true;
        if (_ejectWindow)
            _ejectWindow->onCloseTray(nullptr);
    }
    return false;
}

void QNTraylift::commonRequestPath(std::optional<qint32> requested, bool driveButton)
{
    // A request that arrives while an earlier one is still being answered (the
    // welcome question is up, or its operation is scheduled) would otherwise
    // toggle the tray a second time and leave the first panel behind.
    if (_requestPending) {
        qnAgentTrace(QStringLiteral("joined the pending request"));
        return;
    }
    _requestPending = true;

    const bool wasNotFirstTime = _defaults.boolForKey(kIsNotFirstTimeKey);
    _defaults.setBool(true, kIsNotFirstTimeKey);
    if (!wasNotFirstTime && showFirstTimeMessage()) {
        _defaults.setBool(true, kIsNotFirstTimeKey);
        launchSetupTool();
        _requestPending = false;
        scheduleTermination(kRequestDelayMs);
        return;
    }
    if (requested)
        _deviceIndex = *requested;
    _driveButton = driveButton;
    QTimer::singleShot(kRequestDelayMs, this, [this] { doTrayliftOperation(); });
    // Build the panel (widgets, image, fonts) while the delay runs, so the
    // drive is not kept waiting for it once the delay ends.
    if (!_ejectWindow && !_preparedEjectWindow) {
        _preparedEjectWindow = std::make_unique<QNEjectWindowController>();
        // Style, fonts and the native window too; showing then only maps it.
        _preparedEjectWindow->window()->ensurePolished();
        _preparedEjectWindow->window()->winId();
    }
}

bool QNTraylift::showFirstTimeMessage()
{
    qn::AlertPresenter::Alert alert;
    alert.title = kAgentTitle;
    alert.message = qn::localizedString("ThisIsFirstTime");
    alert.buttons = {qn::localizedString("Yes"), qn::localizedString("No")};
    alert.style = qn::AlertPresenter::Style::Informational;
    alert.safeButton = 1;  // nobody to ask: act on the drive as on any later launch
    return qn::AlertPresenter::run(alert) == 0;
}

void QNTraylift::launchSetupTool()
{
    const QString agentFolder = QFileInfo(QCoreApplication::applicationFilePath()).absolutePath();
    const QString setup = QDir(agentFolder).filePath(kSetupProgramName);
    const OSStatus status = LaunchServices::openApplication(setup, kLSLaunchDefaults | kLSLaunchAsync, nullptr);
    qnAgentTrace(QStringLiteral("setup-opened status=%1").arg(status));
}

// --- The eject-switch operation ------------------------------------------------------------

qsizetype QNTraylift::chooseDrivePosition(qint32 requested, qsizetype count)
{
    return QNDeviceScanner::positionForIndex(requested, count);
}

void QNTraylift::doTrayliftOperation()
{
    const qint32 requested = _deviceIndex;

    if (!_ejectWindow) {
        _ejectWindow = _preparedEjectWindow ? std::move(_preparedEjectWindow)
                                            : std::make_unique<QNEjectWindowController>();
        _ejectWindow->setTerminator(_terminator);
    }
    _ejectWindow->showWindow(this);
    qnAgentTrace(QStringLiteral("panel shown"));

    _deviceScanner->registerCallbackHandlers();
    const QNDeviceList& devices = _deviceScanner->devicesArray();
    const qsizetype position = chooseDrivePosition(requested, devices.size());
    if (position < 0) {
        qnAgentTrace(QStringLiteral("no drives"));
        finishOperation(false);
        return;
    }
    const QNDevicePtr device = devices.at(position);
    qnAgentTrace(QStringLiteral("drive position=%1").arg(position));

    // A user who may not open the drive's node can still have the disk
    // service eject it; otherwise the operator says why not.
    std::shared_ptr<QNDeviceOperator> op =
        QNDeviceOperator::deviceOperatorForDevice(device, QNDeviceOperator::Access::NodeOrDiskService);
    _ejectWindow->setDeviceOperator(op);

    // The drive's own button means "open": udev may have opened the tray
    // already, so an open tray is left open and gets the countdown.
    quint8 trayState = QNDeviceOperator::kTrayClosed;
    const bool leftOpen = op && _driveButton && op->getTrayState(&trayState) == 0
                          && trayState == QNDeviceOperator::kTrayOpen;
    if (leftOpen)
        qnAgentTrace(QStringLiteral("button: tray already open, left open"));
    const QNDeviceOperator::TrayOutcome outcome = !op   ? QNDeviceOperator::TrayOutcome::Failed
                                                  : leftOpen ? QNDeviceOperator::TrayOutcome::Opened
                                                             : op->toggleTray();
    const std::optional<QVariantMap> record = devicePropertyWithDevice(*device);
    const bool slotLoading = record && record->value(qn::contracts::kRecordSlotLoadingKey).toBool();

    bool armed = false;
    if (QNDeviceOperator::trayOpened(outcome)) {
        const double interval = double(_defaults.floatForKey(kTimeIntervalKey));
        // A tray the disk service opened for a user without the node cannot be
        // closed by us: a countdown would only end in the no-permission alert.
        const bool canClose = op && op->hasNodeAccess();
        if (!canClose)
            qnAgentTrace(QStringLiteral("no countdown: the tray cannot be closed without the node"));
        if (canClose && !slotLoading && _defaults.boolForKey(kAutoCloseTrayKey) && interval > 0.0) {
            delete _closeTimer;
            _closeTimer = new QTimer(this);
            _closeTimer->setSingleShot(true);
            _closeTimer->setTimerType(Qt::PreciseTimer);  // a coarse timer may fire 5 % early
            connect(_closeTimer, &QTimer::timeout, this, [this, device] { closeTrayTimerMethod(device); });
            _closeTimer->start(timerMilliseconds(interval));
            _ejectWindow->setCloseTrayTimer(_closeTimer);

            _countdownStart = std::chrono::steady_clock::now();
            if (!_refreshTimer) {
                _refreshTimer = new QTimer(this);
                _refreshTimer->setTimerType(Qt::PreciseTimer);
                connect(_refreshTimer, &QTimer::timeout, this, [this] { refreshRemainTime(); });
            }
            _refreshTimer->start(kRefreshPeriodMs);

            _ejectWindow->terminateButton()->show();
            _ejectWindow->closeTrayButton()->show();
            _ejectWindow->autocloseMessageField()->show();
            armed = true;
            qnAgentTrace(QStringLiteral("countdown armed %1s").arg(interval));
        }
    }

    // Only a disc kept mounted or a drive in use is "busy"; a drive without a
    // tray motor says so, unless it is a slot loader known from the tray check;
    // a tray that did not open for another reason says that. A failed close
    // of an open tray is not examined.
    using Outcome = QNDeviceOperator::TrayOutcome;
    switch (outcome) {
    case Outcome::Busy:
        qnShowAgentWarning(QStringLiteral("busy-alert"), qn::localizedString("The disc is busy."),
                           qn::localizedString("TryAgainAfterQuitApplication"));
        break;
    case Outcome::NotSupported:
        if (!slotLoading)
            qnShowAgentWarning(QStringLiteral("no-motor-alert"), qn::localizedString("TrayHasNoMotor"), {});
        break;
    case Outcome::Refused:
        qnShowAgentWarning(QStringLiteral("not-opened-alert"), qn::localizedString("TrayNotOpened"),
                           qn::localizedString("TrayNotOpenedInfo"));
        break;
    case Outcome::NotPermitted:
        qnShowNoPermissionAlert(*op);
        break;
    case Outcome::Failed:
    case Outcome::Closed:
    case Outcome::Opened:
    case Outcome::OpenedByDiscEject:
    case Outcome::DiscEjected:
    case Outcome::NotClosed:
        break;
    }
    finishOperation(armed);
}

void QNTraylift::finishOperation(bool armed)
{
    // From here a further request is a new press (see receiveEjectTrayEvent).
    _requestPending = false;
    if (!armed)
        scheduleTermination(kQuitDelayMs);
}

void QNTraylift::closeTrayTimerMethod(const QNDevicePtr& device)
{
    std::shared_ptr<QNDeviceOperator> op =
        QNDeviceOperator::deviceOperatorForDevice(device, QNDeviceOperator::Access::NodeOrDiskService);
    const QNDeviceOperator::CloseOutcome outcome =
        op ? op->closeTrayIfOpen() : QNDeviceOperator::CloseOutcome::Failed;
    if (outcome == QNDeviceOperator::CloseOutcome::Closed)
        qnAgentTrace(QStringLiteral("deadline close"));
    if (outcome == QNDeviceOperator::CloseOutcome::NotPermitted)
        qnShowNoPermissionAlert(*op);
    if (outcome == QNDeviceOperator::CloseOutcome::ReadsClosed && _closeRetries < kMaxCloseRetries) {
        ++_closeRetries;
        qnAgentTrace(QStringLiteral("deadline recheck %1").arg(_closeRetries));
        QTimer::singleShot(kCloseRetryMs, this, [this, device] { closeTrayTimerMethod(device); });
        return;
    }
    terminate();
}

void QNTraylift::refreshRemainTime()
{
    if (!_ejectWindow)
        return;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - _countdownStart).count();
    const double interval = double(_defaults.floatForKey(kTimeIntervalKey));
    const double left = std::trunc(interval - elapsed);
    const int seconds = left >= double(INT_MAX) ? INT_MAX : left <= double(INT_MIN) ? INT_MIN : int(left);
    _ejectWindow->autocloseMessageField()->setText(qn::localizedString("TrayWillBeClosed").arg(seconds));
    if (seconds != _lastShownSeconds) {
        _lastShownSeconds = seconds;
        qnAgentTrace(QStringLiteral("countdown %1").arg(seconds));
    }
}

void QNTraylift::scheduleTermination(int delayMs)
{
    qnAgentTrace(QStringLiteral("will quit in %1 ms").arg(delayMs));
    _quitTimer.start(delayMs);
}

void QNTraylift::terminate()
{
    _terminator(this);
}
