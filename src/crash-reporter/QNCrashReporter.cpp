#include "QNCrashReporter.h"

#include "CrashReportingEvents.h"

#include "QNNotifyWindowController.h"
#include "QNReportWindowController.h"
#include "events/EventManager.h"
#include "events/LaunchServices.h"
#include "plist/PropertyList.h"

#include <QTimer>

using namespace qn::events;

const QString kQNCrashReporterTargetNameKey = QString::fromLatin1(qn::contracts::kTargetNameKey);
const QString kQNCrashReporterTargetPathKey = QString::fromLatin1(qn::contracts::kTargetPathKey);

QNCrashReporter::QNCrashReporter() = default;

QNCrashReporter::~QNCrashReporter()
{
    delete _notifyWindowController;
    delete _reportWindowController;
}

void QNCrashReporter::applicationWillFinishLaunching()
{
    if (EventManager* events = EventManager::instance())
        events->installHandler(qn::contracts::kCrashEventClass, qn::contracts::kSetTargetInfoEventID,
                               [this](const AppleEvent& event) { onReceiveTargetInfo(event); });
}

void QNCrashReporter::readTargetInfo(const AppleEvent& event, QString* name, QString* path)
{
    *name = QString();
    *path = QString();
    if (std::optional<Descriptor> direct = event.param(keyDirectObject)) {
        if (std::optional<QString> text = direct->toText()) {
            std::optional<QVariant> plist = qn::plist::read(text->toUtf8());
            if (plist && plist->typeId() == QMetaType::QVariantMap) {
                const QVariantMap info = plist->toMap();
                *name = info.value(kQNCrashReporterTargetNameKey).toString();
                *path = info.value(kQNCrashReporterTargetPathKey).toString();
            }
        }
    }
}

void QNCrashReporter::onReceiveTargetInfo(const AppleEvent& event)
{
    QString name;
    QString path;
    readTargetInfo(event, &name, &path);
    setTargetName(name);
    setTargetPath(path);
    if (_targetName.isEmpty() || _targetPath.isEmpty())
        return;  // nothing to report on: stay idle
    if (_notifyWindowController || _reportWindowController)
        return;  // already showing this crash

    _crashLogFile = std::make_unique<QNCrashLogFile>(QNCrashLogFile::initWithApplicationName(_targetName));
    _notifyWindowController = new QNNotifyWindowController(_targetName);
    _notifyWindowController->setAttribute(Qt::WA_DeleteOnClose, false);
    _notifyWindowController->doInteraction([this](int code) { onEndNotifyWindowWithCode(code); });
}

void QNCrashReporter::onEndNotifyWindowWithCode(int code)
{
    if (code == QNNotifyWindowController::CloseCode) {
        terminate();
    } else if (code == QNNotifyWindowController::ReopenCode) {
        // A failed relaunch goes unnoticed; the reporter ends anyway.
        LaunchServices::openApplication(_targetPath, kLSLaunchDefaults | kLSLaunchAsync, nullptr);
        terminate();
    } else {
        QString report;
        if (_crashLogFile) {
            _crashLogFile->readFromFile();
            const auto& entries = _crashLogFile->crashEntries();
            if (entries && !entries->isEmpty())
                report = entries->last();
        }
        _reportWindowController = new QNReportWindowController;
        _reportWindowController->setApplicationName(_targetName);
        _reportWindowController->setReport(report);
        connect(_reportWindowController, &QNReportWindowController::windowWillClose, this,
                &QNCrashReporter::onReceiveCloseReportWindowNotification);
        connect(_reportWindowController, &QNReportWindowController::reportSent, this, &QNCrashReporter::terminate);
        _reportWindowController->showWindow();
    }
    // The notify window is still inside its own end call: let it go on the
    // next turn of the event loop.
    if (_notifyWindowController) {
        _notifyWindowController->deleteLater();
        _notifyWindowController = nullptr;
    }
}

void QNCrashReporter::onReceiveCloseReportWindowNotification()
{
    if (_reportWindowController) {
        _reportWindowController->deleteLater();
        _reportWindowController = nullptr;
    }
    QTimer::singleShot(50, this, &QNCrashReporter::terminate);
}

void QNCrashReporter::terminate()
{
    EventManager::terminate(0);
}
