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
#include <QThread>
#include <QTimer>

namespace {

const QString kAutoCloseTray = QStringLiteral("autoCloseTray");
const QString kTimeInterval = QStringLiteral("timeIntervalUntilCloseTray");
const QString kTargetDeviceIndex = QStringLiteral("targetDeviceIndex");
const QString kDeviceProperties = QStringLiteral("deviceProperties");
const QString kIsNotFirstTime = QStringLiteral("isNotFirstTime");
const QString kDidShowCheckTray = QStringLiteral("didShowCheckTray");
const QString kVendorName = QStringLiteral("vendorName");
const QString kProductName = QStringLiteral("productName");
const QString kInterconnection = QStringLiteral("interconnection");
const QString kSlotLoading = QStringLiteral("slotLoading");
const QString kGUID = QStringLiteral("GUID");
const QString kTargetDevice = QStringLiteral("targetDevice");

constexpr int kStepDelayMs = 50;
constexpr int kWaitPassMs = 50;

// Missing and empty compare equal; otherwise a literal, case-sensitive compare.
bool sameText(const QVariant& stored, const QString& reported)
{
    return stored.toString() == reported;
}

// The stored index read as unsigned: a negative value lies beyond every list.
quint64 storedIndex(const QVariant& value)
{
    return value.isValid() ? quint64(value.toLongLong()) : 0;
}

}  // namespace

QNSetupWindowController::QNSetupWindowController(qn::hardware::DeviceRegistry* registry, QWidget* parent)
    : QMainWindow(parent)
    , _ui(std::make_unique<Ui::SetupWindow>())
    , _registry(registry ? registry : &qn::hardware::DeviceRegistry::instance())
    , _quitHandler([] { QCoreApplication::quit(); })
{
    _ui->setupUi(this);
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
        const QVariantMap record = records.at(i).toMap();
        if (sameText(record.value(kVendorName), device.vendorName())
            && sameText(record.value(kProductName), device.productName())
            && sameText(record.value(kInterconnection), device.physicalInterconnect()))
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
        const qsizetype count = _model->entries().size();
        const quint64 index = storedIndex(_switchAppDefaults.objectForKey(kTargetDeviceIndex));
        if (index < quint64(count))
            _model->setEntryValue(qsizetype(index), kTargetDevice, true);
        else if (count > 0)
            _model->setEntryValue(0, kTargetDevice, true);
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
    quint64 index = storedIndex(_switchAppDefaults.objectForKey(kTargetDeviceIndex));
    if (index >= quint64(count))
        index = 0;
    if (index < quint64(count))
        _model->setEntryValue(qsizetype(index), kTargetDevice, true);
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

void QNSetupWindowController::checkTrayOfDrive(std::optional<int> position)
{
    if (!position) {
        _checking = true;
        _ui->indicator->show();
        _ui->checkTraysButton->setEnabled(false);
        // The first drive waits one step too, so the busy window is drawn
        // before the main thread blocks on a moving tray.
        QTimer::singleShot(kStepDelayMs, this, [this] { checkTrayOfDrive(0); });
        return;
    }

    const QNDeviceList& devices = _deviceScanner->devicesArray();
    const int index = *position;
    if (index < 0 || index >= devices.size()) {
        _ui->indicator->hide();
        _ui->checkTraysButton->setEnabled(true);
        _checking = false;
        _switchAppDefaults.writeToFile();
        refreshSlotLoadingOfEntries();
        return;
    }

    const QNDevicePtr device = devices.at(index);
    qint32 status = qn::hardware::kIOReturnError;
    if (auto deviceOperator = device ? QNDeviceOperator::deviceOperatorForDevice(device, *_registry) : nullptr) {
        quint8 state = QNDeviceOperator::kTrayClosed;
        status = deviceOperator->getTrayState(&state);
        if (status == 0 && state == QNDeviceOperator::kTrayOpen) {
            status = deviceOperator->setTrayStateToClose();
        } else if (status == 0) {
            deviceOperator->ejectMedia();
            status = deviceOperator->getTrayState(&state);
            if (status == 0 && state == QNDeviceOperator::kTrayClosed)
                status = deviceOperator->setTrayStateToOpen();
            if (status == 0)
                status = tryCloseTrayWithDeviceOperator(*deviceOperator);
        }
    }

    if (device) {
        const qsizetype recordIndex = devicePropertyWithDevice(*device);
        if (recordIndex >= 0) {
            if (QVariantMap* record = QNOtherAppDefaults::mutableMap(deviceArray()[recordIndex]))
                record->insert(kSlotLoading, status != 0);
        }
    }

    const int next = index + 1;
    QTimer::singleShot(kStepDelayMs, this, [this, next] { checkTrayOfDrive(next); });
}

qint32 QNSetupWindowController::tryCloseTrayWithDeviceOperator(QNDeviceOperator& deviceOperator)
{
    bool seenOpen = false;
    const QDeadlineTimer deadline(_trayWaitLimitMs);
    for (;;) {
        quint8 state = QNDeviceOperator::kTrayClosed;
        const qint32 status = deviceOperator.getTrayState(&state);
        if (status != 0)
            return status;
        if (state == QNDeviceOperator::kTrayOpen) {
            const qint32 closed = deviceOperator.setTrayStateToClose();
            seenOpen = true;
            if (closed != 0)
                return closed;
        } else if (seenOpen) {
            QThread::msleep(kWaitPassMs);
            return 0;
        }
        // A tray that never reports open (or never closes again) would hold
        // the main thread for good: give up and count it as slot-loading.
        if (deadline.hasExpired())
            return kQNTrayWaitTimedOut;
        QThread::msleep(kWaitPassMs);
    }
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
