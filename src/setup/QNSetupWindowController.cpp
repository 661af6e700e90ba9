// SPDX-License-Identifier: MIT
#include "QNSetupWindowController.h"

#include "ui_SetupWindow.h"

#include "EjectKeyOption.h"
#include "QNDeviceOperator.h"
#include "QNDeviceScanner.h"

#include "alerts/AlertPresenter.h"
#include "hardware/DeviceRegistry.h"
#include "strings/LocalizedString.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDoubleValidator>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

namespace contracts = qn::contracts;
const QString& kAutoCloseTray = contracts::kAutoCloseTrayKey;
const QString& kTimeInterval = contracts::kTimeIntervalUntilCloseTrayKey;
const QString& kTargetDeviceIndex = contracts::kTargetDeviceIndexKey;
const QString& kDeviceProperties = contracts::kDevicePropertiesKey;
const QString& kIsNotFirstTime = contracts::kIsNotFirstTimeKey;
const QString& kDidShowCheckTray = contracts::kDidShowCheckTrayKey;
const QString& kVendorName = contracts::kRecordVendorNameKey;
const QString& kProductName = contracts::kRecordProductNameKey;
const QString& kInterconnection = contracts::kRecordInterconnectionKey;
const QString& kSlotLoading = contracts::kRecordSlotLoadingKey;
const QString kGUID = QStringLiteral("GUID");
const QString kTargetDevice = QStringLiteral("targetDevice");

constexpr int kStepDelayMs = 50;
constexpr int kWaitPassMs = 50;

// The stored target index (0 when absent).
qint64 storedIndex(const QVariant& value)
{
    return value.isValid() ? value.toLongLong() : 0;
}

}  // namespace

QNSetupWindowController::QNSetupWindowController(qn::hardware::DeviceRegistry* registry, QWidget* parent)
    : QMainWindow(parent)
    , _ui(std::make_unique<Ui::SetupWindow>())
    , _registry(registry ? registry : &qn::hardware::DeviceRegistry::instance())
    , _quitHandler([] { QCoreApplication::quit(); })
{
    _ui->setupUi(this);
    _checkTimer.setSingleShot(true);
    connect(&_checkTimer, &QTimer::timeout, this, [this] {
        if (auto step = _checkStep)
            step();
    });
    _model = new QNDeviceTableModel(this);
    _ui->tableView->setModel(_model);

    _switchAppDefaults.setIdentifier(kQNAgentDomain);
    initDefaults();
    initNotificationObserver();
    _deviceScanner = std::make_unique<QNDeviceScanner>(*_registry);
    _deviceScanner->registerCallbackHandlers();
    _switchAppDefaults.setObjectForKey(true, kIsNotFirstTime);

    windowDidLoad();
}

QNSetupWindowController::~QNSetupWindowController()
{
    for (auto token : _observers)
        qn::NotificationCenter::defaultCenter().removeObserver(token);
    _observers.clear();
    _deviceScanner.reset();
}

void QNSetupWindowController::initDefaults()
{
    if (!_switchAppDefaults.objectForKey(kAutoCloseTray).isValid())
        _switchAppDefaults.setObjectForKey(true, kAutoCloseTray);
    if (!_switchAppDefaults.objectForKey(kTimeInterval).isValid())
        _switchAppDefaults.setObjectForKey(double(10.0f), kTimeInterval);
}

void QNSetupWindowController::initNotificationObserver()
{
    auto& center = qn::NotificationCenter::defaultCenter();
    _observers.push_back(center.addObserver(kQNDevicesAppearedNotification, nullptr, this,
                                            [this](const qn::Notification& n) { onDevicesAppearedNotification(n); }));
    _observers.push_back(center.addObserver(kQNDevicesDisappearedNotification, nullptr, this,
                                            [this](const qn::Notification& n) { onDevicesDisappearedNotification(n); }));
}

void QNSetupWindowController::windowDidLoad()
{
    setWindowTitle(qn::localizedString("SetupWindowTitle"));
    _ui->drivesLabel->setText(qn::localizedString("ConnectedDrives"));
    _ui->setAsTargetButton->setText(qn::localizedString("SetAsTarget"));
    _ui->autoCloseCheckBox->setText(qn::localizedString("AutoCloseTray"));
    _ui->secondsLabel->setText(qn::localizedString("Seconds"));
    _ui->checkTraysButton->setText(qn::localizedString("CheckTrays"));
    _ui->menuFile->setTitle(qn::localizedString("MenuFile"));
    _ui->menuHelp->setTitle(qn::localizedString("MenuHelp"));
    _ui->actionClose->setText(qn::localizedString("CloseWindow"));
    _ui->actionOfficialWebSite->setText(qn::localizedString("OfficialWebSite"));
    _ui->actionContactingForm->setText(qn::localizedString("ContactingForm"));
    _ui->ejectKeyExtraLabel->setText(qn::localizedString("EjectKeyExtra"));
    _ejectKeyOption = new EjectKeyOption(_ui->ejectKeyCheckBox, _ui->ejectKeyExtraEdit, _ui->ejectKeyStatus,
                                         _switchAppDefaults, this);
    _ui->indicator->hide();

    _ui->tableView->resizeColumnsToContents();
    _ui->setAsTargetButton->setEnabled(isEnableSetAsTarget());
    connect(_ui->tableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { _ui->setAsTargetButton->setEnabled(isEnableSetAsTarget()); });
    connect(_model, &QAbstractItemModel::rowsRemoved, this,
            [this] { _ui->setAsTargetButton->setEnabled(isEnableSetAsTarget()); });
    connect(_ui->setAsTargetButton, &QPushButton::clicked, this, &QNSetupWindowController::onSetAsTargetDevice);
    connect(_ui->checkTraysButton, &QPushButton::clicked, this, [this] { onCheckTrays(); });
    connect(_ui->actionClose, &QAction::triggered, this, &QWidget::close);

    loadOptionControls();
    connect(_ui->autoCloseCheckBox, &QCheckBox::toggled, this,
            [this](bool on) { _switchAppDefaults.setValueForUndefinedKey(on, kAutoCloseTray); });
    auto* validator = new QDoubleValidator(0.0, 86400.0, 2, _ui->secondsField);
    validator->setNotation(QDoubleValidator::StandardNotation);
    validator->setLocale(QLocale::c());
    _ui->secondsField->setValidator(validator);
    connect(_ui->secondsField, &QLineEdit::editingFinished, this, &QNSetupWindowController::onSecondsEdited);
    // An emptied field never reaches editingFinished (the validator calls
    // empty input intermediate), so watch the text for that case.
    connect(_ui->secondsField, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (text.trimmed().isEmpty())
            _switchAppDefaults.setValueForUndefinedKey(QVariant(), kTimeInterval);
    });

    if (!_switchAppDefaults.objectForKey(kDidShowCheckTray).toBool()) {
        _switchAppDefaults.setObjectForKey(true, kDidShowCheckTray);
        QTimer::singleShot(kStepDelayMs, this, [this] { onCheckTrays(); });
    }
}

void QNSetupWindowController::loadOptionControls()
{
    const QSignalBlocker blockBox(_ui->autoCloseCheckBox);
    const QSignalBlocker blockField(_ui->secondsField);
    _ui->autoCloseCheckBox->setChecked(_switchAppDefaults.objectForKey(kAutoCloseTray).toBool());
    const QVariant seconds = _switchAppDefaults.objectForKey(kTimeInterval);
    _ui->secondsField->setText(seconds.isValid() ? QString::number(seconds.toDouble()) : QString());
}

void QNSetupWindowController::onSecondsEdited()
{
    const QString text = _ui->secondsField->text().trimmed();
    if (text.isEmpty()) {
        _switchAppDefaults.setValueForUndefinedKey(QVariant(), kTimeInterval);
        return;
    }
    bool ok = false;
    const double seconds = QLocale::c().toDouble(text, &ok);
    if (!ok || seconds < 0) {
        loadOptionControls();  // the validator lets nothing else through; show the stored value again
        return;
    }
    _switchAppDefaults.setValueForUndefinedKey(double(float(seconds)), kTimeInterval);
}

QVariantList& QNSetupWindowController::deviceArray()
{
    if (QVariantList* list = _switchAppDefaults.mutableArrayForKey(kDeviceProperties))
        return *list;
    _switchAppDefaults.setObjectForKey(QVariantList{}, kDeviceProperties);
    if (QVariantList* list = _switchAppDefaults.mutableArrayForKey(kDeviceProperties))
        return *list;
    // Without a preference path the store keeps nothing; serve a private list.
    static QVariantList detached;
    detached.clear();
    return detached;
}

qsizetype QNSetupWindowController::devicePropertyWithDevice(const QNDevice& device)
{
    const QVariantList& records = deviceArray();
    for (qsizetype i = 0; i < records.size(); ++i) {
        if (device.matchesRecord(records.at(i).toMap(), /*compareInterconnect*/ true))
            return i;
    }
    return -1;
}

qsizetype QNSetupWindowController::connectedDevicePropertyWithDevice(const QNDevice& device) const
{
    if (device.GUIDData().isEmpty())
        return -1;
    const QList<QVariantMap>& entries = _model->entries();
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries.at(i).value(kGUID).toByteArray() == device.GUIDData())
            return i;
    }
    return -1;
}

void QNSetupWindowController::onDevicesAppearedNotification(const qn::Notification& notification)
{
    const QNDeviceList devices = QNDeviceScanner::devicesFromUserInfo(notification.userInfo);
    for (const QNDevicePtr& device : devices) {
        if (!device)
            continue;
        qsizetype recordIndex = devicePropertyWithDevice(*device);
        QVariantList& records = deviceArray();
        if (recordIndex < 0) {
            QVariantMap record;
            if (!device->vendorName().isEmpty())
                record.insert(kVendorName, device->vendorName());
            if (!device->productName().isEmpty())
                record.insert(kProductName, device->productName());
            if (!device->physicalInterconnect().isEmpty())
                record.insert(kInterconnection, device->physicalInterconnect());
            records.append(record);
            recordIndex = records.size() - 1;
        }
        QVariantMap entry = records.at(recordIndex).toMap();
        entry.insert(kGUID, device->GUIDData());
        _model->appendEntry(entry);
    }

    if (_isFirstCall) {
        // The drive the agent would act on: an index beyond the list names the last drive.
        const qsizetype position = QNDeviceScanner::positionForIndex(
            storedIndex(_switchAppDefaults.objectForKey(kTargetDeviceIndex)), _model->entries().size());
        if (position >= 0)
            _model->setEntryValue(position, kTargetDevice, true);
        _isFirstCall = false;
    } else {
        updateTargetDeviceIndex();
    }
    _switchAppDefaults.writeToFile();
    _ui->tableView->resizeColumnsToContents();
}

void QNSetupWindowController::onDevicesDisappearedNotification(const qn::Notification& notification)
{
    const QNDeviceList devices = QNDeviceScanner::devicesFromUserInfo(notification.userInfo);
    for (const QNDevicePtr& device : devices) {
        if (!device)
            continue;
        const qsizetype row = connectedDevicePropertyWithDevice(*device);
        if (row >= 0)
            _model->removeEntry(row);
    }
    updateTargetDeviceIndex();
}

void QNSetupWindowController::updateTargetDeviceIndex()
{
    const QList<QVariantMap>& entries = _model->entries();
    qsizetype index = 0;
    bool marked = false;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (entries.at(i).value(kTargetDevice).toBool()) {
            index = i;
            marked = true;
        }
    }
    _switchAppDefaults.setObjectForKey(qint64(index), kTargetDeviceIndex);
    if (!marked && !entries.isEmpty())
        _model->setEntryValue(0, kTargetDevice, true);
}

void QNSetupWindowController::targetDeviceIndexIsChanged()
{
    const qsizetype count = _model->entries().size();
    for (qsizetype i = 0; i < count; ++i) {
        if (_model->isTarget(i))
            _model->setEntryValue(i, kTargetDevice, false);
    }
    const qsizetype position =
        QNDeviceScanner::positionForIndex(storedIndex(_switchAppDefaults.objectForKey(kTargetDeviceIndex)), count);
    if (position >= 0)
        _model->setEntryValue(position, kTargetDevice, true);
}

bool QNSetupWindowController::isEnableSetAsTarget() const
{
    const QItemSelectionModel* selection = _ui->tableView->selectionModel();
    return selection && !selection->selectedRows().isEmpty();
}

void QNSetupWindowController::onSetAsTargetDevice()
{
    const QModelIndexList rows = _ui->tableView->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    _switchAppDefaults.setObjectForKey(qint64(rows.first().row()), kTargetDeviceIndex);
    targetDeviceIndexIsChanged();
}

// --- Tray check ---------------------------------------------------------------

void QNSetupWindowController::onCheckTrays()
{
    if (_checkTraysAlert || _checking)
        return;
    auto* box = new QMessageBox(this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Question);
    box->setText(qn::localizedString("CheckTray"));
    box->setInformativeText(qn::localizedString("OpenAndCloseTray"));
    QPushButton* yes = box->addButton(qn::localizedString("Yes"), QMessageBox::AcceptRole);
    QPushButton* no = box->addButton(qn::localizedString("No"), QMessageBox::RejectRole);
    box->setDefaultButton(yes);
    box->setEscapeButton(no);
    connect(box, &QMessageBox::buttonClicked, this, [this, yes](QAbstractButton* clicked) {
        onCheckTraysAlertDidEnd(clicked == yes ? 1 : 0);
    });
    _checkTraysAlert = box;

    if (!_switchAppDefaults.objectForKey(kDidShowCheckTray).toBool())
        _switchAppDefaults.setObjectForKey(true, kDidShowCheckTray);

    // Out-of-process tests may answer the question through the alert hook.
    const QStringList buttons{yes->text(), no->text()};
    box->open();
    if (auto answer = qn::AlertPresenter::shown(QStringLiteral("Alert"), box->text(),
                                                box->text() + QLatin1Char('\n') + box->informativeText(), buttons)) {
        const int index = qn::AlertPresenter::buttonIndex(*answer, buttons);
        QPointer<QMessageBox> guard(box);
        if (index >= 0)
            QTimer::singleShot(0, box, [guard, yes, no, index] {
                if (guard)
                    (index == 0 ? yes : no)->click();
            });
    }
}

void QNSetupWindowController::onCheckTraysAlertDidEnd(int returnCode)
{
    // Take the sheet away at once: the check blocks the window while trays move.
    if (_checkTraysAlert) {
        _checkTraysAlert->hide();
        _checkTraysAlert->deleteLater();
        _checkTraysAlert = nullptr;
    }
    if (returnCode == 1)
        checkTrayOfDrive(std::nullopt);
}

// The check never blocks the window: each drive is one toggle of its tray,
// then, when the tray opened, a timer looks at it every 50 ms until it has
// closed again (or the wait limit is reached). Closing the window stops the
// timer; what was found so far is kept.
void QNSetupWindowController::checkTrayOfDrive(std::optional<int> position)
{
    if (!position) {
        _checking = true;
        _busyDrives.clear();
        _ui->indicator->show();
        _ui->checkTraysButton->setEnabled(false);
        scheduleCheckStep(kStepDelayMs, [this] { checkTrayOfDrive(0); });
        return;
    }

    const QNDeviceList& devices = _deviceScanner->devicesArray();
    const int index = *position;
    if (index < 0 || index >= devices.size()) {
        finishTrayCheck();
        return;
    }

    const QNDevicePtr device = devices.at(index);
    _checkOperator = device ? QNDeviceOperator::deviceOperatorForDevice(device, *_registry) : nullptr;
    if (!_checkOperator) {
        recordTrayCheck(device, qn::hardware::kIOReturnError);
        scheduleCheckStep(kStepDelayMs, [this, index] { checkTrayOfDrive(index + 1); });
        return;
    }
    using Outcome = QNDeviceOperator::TrayOutcome;
    const Outcome outcome = _checkOperator->toggleTray();
    switch (outcome) {
    case Outcome::Closed:
        recordTrayCheck(device, 0);
        break;
    case Outcome::Opened:
    case Outcome::OpenedByDiscEject:
        _traySeenOpen = false;
        _trayWaitDeadline = QDeadlineTimer(_trayWaitLimitMs);
        scheduleCheckStep(0, [this, device, index] { watchTray(device, index); });
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
        recordTrayCheck(device, qn::hardware::kIOReturnError);
        break;
    }
    scheduleCheckStep(kStepDelayMs, [this, index] { checkTrayOfDrive(index + 1); });
}

void QNSetupWindowController::watchTray(const QNDevicePtr& device, int index)
{
    const qint32 status = trayCloseStep(*_checkOperator, _traySeenOpen);
    if (status == kQNTrayStillMoving && !_trayWaitDeadline.hasExpired()) {
        scheduleCheckStep(kWaitPassMs, [this, device, index] { watchTray(device, index); });
        return;
    }
    // A tray that never reports open (or never closes again) counts as
    // slot-loading.
    recordTrayCheck(device, status == kQNTrayStillMoving ? kQNTrayWaitTimedOut : status);
    scheduleCheckStep(kStepDelayMs, [this, index] { checkTrayOfDrive(index + 1); });
}

void QNSetupWindowController::scheduleCheckStep(int delayMs, std::function<void()> step)
{
    _checkStep = std::move(step);
    _checkTimer.start(delayMs);
}

void QNSetupWindowController::recordTrayCheck(const QNDevicePtr& device, qint32 status)
{
    _checkOperator.reset();
    if (!device)
        return;
    const qsizetype recordIndex = devicePropertyWithDevice(*device);
    if (recordIndex >= 0) {
        if (QVariantMap* record = QNOtherAppDefaults::mutableMap(deviceArray()[recordIndex]))
            record->insert(kSlotLoading, status != 0);
    }
}

void QNSetupWindowController::finishTrayCheck()
{
    _checkTimer.stop();
    _checkStep = nullptr;
    _checkOperator.reset();
    _ui->indicator->hide();
    _ui->checkTraysButton->setEnabled(true);
    _checking = false;
    _switchAppDefaults.writeToFile();
    refreshSlotLoadingOfEntries();
    if (!_busyDrives.isEmpty() && !_closing) {
        const QStringList drives = std::exchange(_busyDrives, {});
        qn::AlertPresenter::Alert alert;
        alert.title = windowTitle();
        alert.message = qn::localizedString("DiscBusyTrayNotChecked").arg(drives.join(QStringLiteral(", ")));
        alert.style = qn::AlertPresenter::Style::Warning;
        qn::AlertPresenter::run(alert, this);
    }
}

qint32 QNSetupWindowController::trayCloseStep(QNDeviceOperator& deviceOperator, bool& seenOpen)
{
    quint8 state = QNDeviceOperator::kTrayClosed;
    const qint32 status = deviceOperator.getTrayState(&state);
    if (status != 0)
        return status;
    if (state == QNDeviceOperator::kTrayOpen) {
        seenOpen = true;
        return deviceOperator.setTrayStateToClose() != 0 ? qn::hardware::kIOReturnError : kQNTrayStillMoving;
    }
    return seenOpen ? 0 : kQNTrayStillMoving;
}

void QNSetupWindowController::refreshSlotLoadingOfEntries()
{
    const QList<QVariantMap> entries = _model->entries();
    for (qsizetype row = 0; row < entries.size(); ++row) {
        QNDevice device;
        device.setVendorName(entries.at(row).value(kVendorName).toString());
        device.setProductName(entries.at(row).value(kProductName).toString());
        device.setPhysicalInterconnect(entries.at(row).value(kInterconnection).toString());
        const qsizetype recordIndex = devicePropertyWithDevice(device);
        if (recordIndex >= 0)
            _model->setEntryValue(row, kSlotLoading, deviceArray().at(recordIndex).toMap().value(kSlotLoading));
    }
}

// --- Window -------------------------------------------------------------------

void QNSetupWindowController::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (_closing)
        return;
    _closing = true;
    if (_checking)
        finishTrayCheck();  // stops the check; what was found so far is written
    QTimer::singleShot(kStepDelayMs, this, [this] {
        if (_quitHandler)
            _quitHandler();
    });
}

QTableView* QNSetupWindowController::tableView() const { return _ui->tableView; }
QPushButton* QNSetupWindowController::setAsTargetButton() const { return _ui->setAsTargetButton; }
QPushButton* QNSetupWindowController::checkTraysButton() const { return _ui->checkTraysButton; }
QProgressBar* QNSetupWindowController::indicator() const { return _ui->indicator; }
QCheckBox* QNSetupWindowController::autoCloseCheckBox() const { return _ui->autoCloseCheckBox; }
QLineEdit* QNSetupWindowController::secondsField() const { return _ui->secondsField; }
QAction* QNSetupWindowController::officialWebSiteAction() const { return _ui->actionOfficialWebSite; }
QAction* QNSetupWindowController::contactingFormAction() const { return _ui->actionContactingForm; }
