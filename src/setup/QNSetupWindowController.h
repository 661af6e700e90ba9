// SPDX-License-Identifier: MIT
#pragma once
// QNSetupWindowController: the setup program's only window. Lists the optical
// drives connected now, lets the user mark the agent's target drive, keeps a
// remembered record of every drive model ever seen in the agent's
// preferences, holds the agent's auto-close options, and runs the tray check
// that finds slot-loading drives. Everything reaches the agent through its
// preference file (QNOtherAppDefaults).
#include "QNDeviceTableModel.h"
#include "QNOtherAppDefaults.h"

#include "AgentPreferences.h"
#include "QNDevice.h"

#include "notify/NotificationCenter.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QDeadlineTimer>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class EjectKeyOption;
class QNDeviceOperator;
class QNDeviceScanner;

class QProgressBar;
class QPushButton;
class QTableView;
class QCheckBox;
class QLineEdit;
class QAction;

namespace qn::hardware {
class DeviceRegistry;
}
namespace Ui {
class SetupWindow;
}

inline const QString kQNAgentDomain = qn::contracts::kAgentDomain;

/// Status of a tray that was commanded open but never reported open (or
/// closed again) within the wait limit: the drive counts as slot-loading.
inline constexpr qint32 kQNTrayWaitTimedOut = qint32(0xE00002D6);
/// Internal answer of one look at a moving tray: not done yet.
inline constexpr qint32 kQNTrayStillMoving = 1;

class QNSetupWindowController : public QMainWindow {
    Q_OBJECT
public:
    /// Loads the window, the agent's preferences and the drives present now.
    /// `registry` (kept, must outlive the controller) defaults to the process's.
    explicit QNSetupWindowController(qn::hardware::DeviceRegistry* registry = nullptr, QWidget* parent = nullptr);
    ~QNSetupWindowController() override;

    QNOtherAppDefaults& otherContent() { return _switchAppDefaults; }
    /// The remembered records ("deviceProperties"); created (and written) when absent.
    QVariantList& deviceArray();
    const QList<QVariantMap>& connectedDeviceArray() const { return _model->entries(); }
    QNDeviceTableModel* deviceTableModel() const { return _model; }
    QNDeviceScanner* deviceScanner() const { return _deviceScanner.get(); }

    /// Position in deviceArray() of the drive model's first record (vendor,
    /// product and interconnect all equal; a missing value equals only a
    /// missing or empty one), or -1.
    qsizetype devicePropertyWithDevice(const QNDevice& device);
    /// Row of the drive's connected entry (by identity), or -1; -1 as well for
    /// a drive without identity.
    qsizetype connectedDevicePropertyWithDevice(const QNDevice& device) const;

    void onDevicesAppearedNotification(const qn::Notification& notification);
    void onDevicesDisappearedNotification(const qn::Notification& notification);
    void updateTargetDeviceIndex();
    void targetDeviceIndexIsChanged();
    bool isEnableSetAsTarget() const;

    /// The tray check's question, as a window-modal sheet on this window.
    void onCheckTrays();
    /// 1 (the default button, "Yes") starts the check; anything else does nothing.
    void onCheckTraysAlertDidEnd(int returnCode);
    /// Checks the drive at `position` and schedules the next; nullopt starts a
    /// new check at position 0. Never blocks for a moving tray: the wait for
    /// it runs on timers. A drive whose disc is busy gets no record; the
    /// user is told at the end which drives to empty first.
    void checkTrayOfDrive(std::optional<int> position);
    bool isCheckingTrays() const { return _checking; }
    int trayWaitLimit() const { return _trayWaitLimitMs; }
    void setTrayWaitLimit(int milliseconds) { _trayWaitLimitMs = milliseconds; }
    /// The question sheet while it is shown.
    QMessageBox* checkTraysAlert() const { return _checkTraysAlert; }

    /// What closing the window does 0.05 s later (quits the application by default).
    void setQuitHandler(std::function<void()> handler) { _quitHandler = std::move(handler); }

    // Controls, for the delegate's menu and for tests.
    QTableView* tableView() const;
    QPushButton* setAsTargetButton() const;
    QPushButton* checkTraysButton() const;
    QProgressBar* indicator() const;
    QCheckBox* autoCloseCheckBox() const;
    QLineEdit* secondsField() const;
    QAction* officialWebSiteAction() const;
    QAction* contactingFormAction() const;
    /// The "Open with the Eject key" option.
    EjectKeyOption* ejectKeyOption() const { return _ejectKeyOption; }

public slots:
    /// Stores the selected row as the target index; nothing without a selection.
    void onSetAsTargetDevice();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void initDefaults();
    void initNotificationObserver();
    void windowDidLoad();
    void loadOptionControls();
    void onSecondsEdited();
    void refreshSlotLoadingOfEntries();
    void scheduleCheckStep(int delayMs, std::function<void()> step);
    void recordTrayCheck(const QNDevicePtr& device, qint32 status);
    /// Looks at the tray of the drive being checked until it has opened and closed.
    void watchTray(const QNDevicePtr& device, int index);
    void finishTrayCheck();
    /// One look at a tray being cycled: 0 when it has been seen open and now
    /// reads closed, kQNTrayStillMoving to look again, else a failure status.
    static qint32 trayCloseStep(QNDeviceOperator& deviceOperator, bool& seenOpen);

    std::unique_ptr<Ui::SetupWindow> _ui;
    QNDeviceTableModel* _model = nullptr;
    QNOtherAppDefaults _switchAppDefaults;
    std::unique_ptr<QNDeviceScanner> _deviceScanner;
    qn::hardware::DeviceRegistry* _registry = nullptr;
    std::vector<qn::NotificationCenter::Token> _observers;
    QPointer<QMessageBox> _checkTraysAlert;
    EjectKeyOption* _ejectKeyOption = nullptr;
    std::function<void()> _quitHandler;
    bool _isFirstCall = true;
    bool _checking = false;
    bool _closing = false;
    int _trayWaitLimitMs = 30000;
    QTimer _checkTimer;                // the next step of the tray check
    std::function<void()> _checkStep;
    std::shared_ptr<QNDeviceOperator> _checkOperator;
    bool _traySeenOpen = false;
    QDeadlineTimer _trayWaitDeadline;
    QStringList _busyDrives;           // drives whose disc was in use during the check
};
