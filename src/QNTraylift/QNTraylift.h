// SPDX-License-Identifier: MIT
#pragma once
// QNTraylift: the eject agent's application delegate. The agent is started (or
// woken) for one eject request, toggles one drive's tray like a physical eject
// button, shows its panel with an optional auto-close countdown and quits by
// itself.
//
// Requests: a plain launch ('aevt'/'oapp') acts on the stored
// "targetDeviceIndex"; the eject request 'QNTL'/'Ejct' carries the position as
// a signed 32-bit direct object (absent or not an integer: 0). A request that
// arrives while a countdown runs closes the tray at once; one that arrives
// during the wind-down after an operation (no countdown) cancels the quit and
// runs the operation again; one that arrives before the scheduled operation
// has run is served by that operation.
#include "QNDeviceScanner.h"
#include "QNEjectWindowController.h"

#include "AgentPreferences.h"
#include "EjectRequest.h"
#include "defaults/UserDefaults.h"
#include "events/AppleEvent.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace qn::events {
class EventManager;
}

inline const QString kQNTrayliftDomain = qn::contracts::kAgentDomain;
inline constexpr qn::events::FourCharCode kQNTrayliftEventClass = qn::contracts::kEjectRequestClass;
inline constexpr qn::events::FourCharCode kQNEjectTrayEventID = qn::contracts::kEjectRequestID;

class QNTraylift : public QObject {
    Q_OBJECT
public:
    using Terminator = std::function<void(QObject* sender)>;

    /// Makes the delegate: the scanner (not yet subscribed), the version gate,
    /// the preference fallback. Null when the gate fails; the gate has then
    /// shown its alert and scheduled the program's termination.
    static std::unique_ptr<QNTraylift> create(quint32 systemVersion = currentSystemVersion(),
                                              Terminator terminator = {});
    ~QNTraylift() override;

    // --- Version gate ------------------------------------------------------------
    /// The system version as a binary-coded decimal (10.4.0 is 0x1040). Linux
    /// kernels that offer the CD-ROM and process interfaces the suite uses
    /// (3.0 and later) count as 0x1040, older ones as 0x1039.
    static quint32 currentSystemVersion();
    /// True for 10.4.0 (0x1040) and later: the low 16 bits, read as a signed
    /// number, above 0x103F.
    static bool systemVersionPasses(quint32 versionBCD);
    /// The gate: passes, or shows the critical alert and schedules termination.
    bool systemCheck(quint32 versionBCD);

    // --- Preferences -------------------------------------------------------------
    void registerUserDefaults();
    qn::UserDefaults& defaults() { return _defaults; }
    /// The first "deviceProperties" record of the drive's model
    /// (QNDevice::matchesRecord, names only).
    std::optional<QVariantMap> devicePropertyWithDevice(const QNDevice& device) const;

    // --- Lifecycle -----------------------------------------------------------------
    /// Installs the event handlers and reads "targetDeviceIndex".
    void applicationWillFinishLaunching(qn::events::EventManager& events);
    /// A plain launch: a request for the stored target.
    bool applicationOpenUntitledFile();
    void receiveEjectTrayEvent(const qn::events::AppleEvent& event);
    /// The first reopen closes the tray at once when a countdown runs.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    /// The welcome question; true when answered "Yes".
    bool showFirstTimeMessage();
    /// Opens QNTrayliftSetup from the folder that holds the agent.
    void launchSetupTool();

    // --- The eject-switch operation ----------------------------------------------------
    void doTrayliftOperation();
    /// The deadline of the countdown.
    void closeTrayTimerMethod(const QNDevicePtr& device);
    /// Writes the whole seconds left into the panel.
    void refreshRemainTime();

    qint32 deviceIndex() const { return _deviceIndex; }
    QNDeviceScanner& deviceScanner() { return *_deviceScanner; }

    /// The index an eject request asks for (0 without a usable direct object).
    static qint32 requestedIndex(const qn::events::AppleEvent& event);
    /// The drive position used for a requested one: the last drive when the
    /// request, read as unsigned, is not below the count; -1 without drives.
    static qsizetype chooseDrivePosition(qint32 requested, qsizetype count);

    static constexpr int kRequestDelayMs = 50;
    static constexpr int kQuitDelayMs = 1600;
    static constexpr int kRefreshPeriodMs = 200;
    static constexpr int kCloseRetryMs = QNDeviceOperator::kCloseRecheckMs;
    static constexpr int kMaxCloseRetries = QNDeviceOperator::kMaxCloseRechecks;

private:
    QNTraylift(Terminator terminator);
    void commonRequestPath(std::optional<qint32> requested, bool driveButton = false);
    void terminate();
    void scheduleTermination(int delayMs);
    /// Ends an operation: later requests are new presses; without a countdown
    /// the agent quits after kQuitDelayMs unless a request comes first.
    void finishOperation(bool armed);

    std::unique_ptr<QNEjectWindowController> _ejectWindow;
    std::unique_ptr<QNEjectWindowController> _preparedEjectWindow;  // built during the request delay, not shown
    std::unique_ptr<QNDeviceScanner> _deviceScanner;
    qint32 _deviceIndex = 0;
    bool _driveButton = false;  // the request came from the drive's own button: open, never close

    qn::UserDefaults _defaults;
    Terminator _terminator;
    bool _requestPending = false;  // a request is being served or its operation is scheduled
    bool _reopened = false;
    int _closeRetries = 0;
    QTimer* _closeTimer = nullptr;
    QTimer* _refreshTimer = nullptr;
    QTimer _quitTimer;  // the wind-down after an operation without countdown
    std::chrono::steady_clock::time_point _countdownStart;
    int _lastShownSeconds = INT_MIN;
};

/// The agent program: crash tracking, event handling, the application loop.
int qnTrayliftMain(int argc, char** argv);
