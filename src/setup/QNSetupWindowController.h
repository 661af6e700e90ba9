// SPDX-License-Identifier: MIT
#pragma once
// QNSetupWindowController: the setup program's only window. Lists the optical
// drives connected now, lets the user mark the agent's target drive, and ties
// the option controls to the agent's preferences. The remembered drive models
// live in DriveModelMemory, the tray check in TrayCheck. Everything reaches
// the agent through its preference file (QNOtherAppDefaults).
#include "DriveModelMemory.h"
#include "QNDeviceTableModel.h"
#include "QNOtherAppDefaults.h"
#include "TrayCheck.h"

#include "AgentPreferences.h"
#include "QNDevice.h"

#include "notify/NotificationCenter.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class DriveButtonOption;
class EjectKeyOption;
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

class QNSetupWindowController : public QMainWindow {
    Q_OBJECT
public:
    /// Loads the window, the agent's preferences and the drives present now.
    /// `registry` (kept, must outlive the controller) defaults to the process's.
    explicit QNSetupWindowController(qn::hardware::DeviceRegistry* registry = nullptr, QWidget* parent = nullptr);
    ~QNSetupWindowController() override;

    const QList<QVariantMap>& connectedDeviceArray() const { return _model->entries(); }
    QNDeviceTableModel* deviceTableModel() const { return _model; }
    QNDeviceScanner* deviceScanner() const { return _deviceScanner.get(); }

    /// Position of the drive model's first remembered record, or -1 (DriveModelMemory::indexOf).
    qsizetype devicePropertyWithDevice(const QNDevice& device) { return _driveModels.indexOf(device); }
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
    bool isCheckingTrays() const { return _trayCheck->isRunning(); }
    int trayWaitLimit() const { return _trayCheck->waitLimit(); }
    void setTrayWaitLimit(int milliseconds) { _trayCheck->setWaitLimit(milliseconds); }
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
    /// The "Handle the drive's eject button" option.
    DriveButtonOption* driveButtonOption() const { return _driveButtonOption; }

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
    void onTrayCheckStarted();
    void onTrayCheckFinished(const QStringList& busyDrives);

    std::unique_ptr<Ui::SetupWindow> _ui;
    QNDeviceTableModel* _model = nullptr;
    QNOtherAppDefaults _switchAppDefaults;
    DriveModelMemory _driveModels{_switchAppDefaults};
    std::unique_ptr<QNDeviceScanner> _deviceScanner;
    TrayCheck* _trayCheck = nullptr;
    qn::hardware::DeviceRegistry* _registry = nullptr;
    std::vector<qn::NotificationCenter::Token> _observers;
    QPointer<QMessageBox> _checkTraysAlert;
    EjectKeyOption* _ejectKeyOption = nullptr;
    DriveButtonOption* _driveButtonOption = nullptr;
    std::function<void()> _quitHandler;
    bool _isFirstCall = true;
    bool _closing = false;
};
