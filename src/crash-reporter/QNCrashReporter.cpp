// SPDX-License-Identifier: MIT
#include "QNCrashReporter.h"

#include "CrashReportingEvents.h"

#include "QNBacktraceSymbolizer.h"
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
    if (name.isEmpty() || path.isEmpty()) {
        if (!isShowing() && _pendingTargets.empty()) {
            setTargetName(name);
            setTargetPath(path);
        }
        return;  // nothing to report on: stay as we are
    }
    // One report at a time: another target waits for its turn, with its own
    // name and path.
    if (isShowing() || _finishing) {
        _pendingTargets.emplace_back(name, path);
        return;
    }
    startReport(name, path);
}

bool QNCrashReporter::isShowing() const
{
    return _notifyWindowController || _reportWindowController;
}

void QNCrashReporter::startReport(const QString& name, const QString& path)
{
    setTargetName(name);
    setTargetPath(path);
    _crashLogFile = std::make_unique<QNCrashLogFile>(QNCrashLogFile::initWithApplicationName(_targetName));
    _notifyWindowController = new QNNotifyWindowController(_targetName);
    _notifyWindowController->setAttribute(Qt::WA_DeleteOnClose, false);
    _notifyWindowController->doInteraction([this](int code) { onEndNotifyWindowWithCode(code); });
}

void QNCrashReporter::onEndNotifyWindowWithCode(int code)
{
    // The notify window is still inside its own end call: let it go on the
    // next turn of the event loop.
    if (_notifyWindowController) {
        _notifyWindowController->deleteLater();
        _notifyWindowController = nullptr;
    }
    if (code == QNNotifyWindowController::CloseCode) {
        finishReport();
    } else if (code == QNNotifyWindowController::ReopenCode) {
        // A failed relaunch goes unnoticed; the reporter ends anyway.
        LaunchServices::openApplication(_targetPath, kLSLaunchDefaults | kLSLaunchAsync, nullptr);
        finishReport();
    } else {
        QString report;
        if (_crashLogFile) {
            _crashLogFile->readFromFile();
            const auto& entries = _crashLogFile->crashEntries();
            // Shown and sent with its frames made readable after it.
            if (entries && !entries->isEmpty())
                report = QNBacktraceSymbolizer::reportWithSymbols(entries->last());
        }
        _reportWindowController = new QNReportWindowController;
        _reportWindowController->setApplicationName(_targetName);
        _reportWindowController->setReport(report);
        connect(_reportWindowController, &QNReportWindowController::windowWillClose, this,
                &QNCrashReporter::onReceiveCloseReportWindowNotification);
        connect(_reportWindowController, &QNReportWindowController::reportSent, this, [this] {
            if (_reportWindowController) {
                _reportWindowController->disconnect(this);
                _reportWindowController->hide();
                _reportWindowController->deleteLater();
                _reportWindowController = nullptr;
            }
            finishReport();
        });
        _reportWindowController->showWindow();
    }
}

void QNCrashReporter::onReceiveCloseReportWindowNotification()
{
    if (_reportWindowController) {
        _reportWindowController->disconnect(this);
        _reportWindowController->deleteLater();
        _reportWindowController = nullptr;
    }
    _finishing = true;
    QTimer::singleShot(50, this, [this] {
        _finishing = false;
        finishReport();
    });
}

void QNCrashReporter::finishReport()
{
    if (isShowing() || _finishing)
        return;
    if (!_pendingTargets.empty()) {
        const auto [name, path] = _pendingTargets.front();
        _pendingTargets.pop_front();
        // On the next turn: the window that ended is still inside its own call.
        QTimer::singleShot(0, this, [this, name, path] {
            if (isShowing())
                _pendingTargets.emplace_front(name, path);
            else
                startReport(name, path);
        });
        return;
    }
    terminate();
}

void QNCrashReporter::terminate()
{
    EventManager::terminate(0);
}
