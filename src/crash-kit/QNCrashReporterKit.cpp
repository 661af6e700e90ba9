// SPDX-License-Identifier: MIT
#include "QNCrashReporterKit.h"

#include "CrashReportingEvents.h"

#include <QDeadlineTimer>
#include <QThread>

#include "crash/CrashRecorder.h"
#include "events/AppleEvent.h"
#include "events/ApplicationNotifications.h"
#include "events/LaunchServices.h"
#include "layout/Bundle.h"
#include "notify/NotificationCenter.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

using namespace qn::events;
namespace contracts = qn::contracts;

namespace {

const QString kQNCrashObserverAppName = QStringLiteral("QNCrashObserver");

// The observer lies among the helpers of the installation that holds this library.
QString observerPath()
{
    const QString library = qn::Bundle::pathOfBinaryContaining(reinterpret_cast<const void*>(&observerPath));
    const QString prefix = qn::Bundle::prefixForBinary(library);
    if (prefix.isEmpty())
        return {};
    const QString path = qn::Bundle::helperPath(kQNCrashObserverAppName, prefix);
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
}

}  // namespace

QNCrashReporterKit& QNCrashReporterKit::sharedInstance()
{
    static QNCrashReporterKit* instance = new QNCrashReporterKit;  // lives as long as the process
    return *instance;
}

QNCrashReporterKit::QNCrashReporterKit() = default;

QNCrashReporterKit::~QNCrashReporterKit()
{
    stopTracking();
}

bool QNCrashReporterKit::isReporterAlive() const
{
    return _highPSN != 0 || _lowPSN != 0;
}

bool QNCrashReporterKit::beginTracking()
{
    if (isReporterAlive())
        return true;
    const QString path = observerPath();
    if (path.isEmpty())
        return false;

    // Crashes of this process are recorded by our own recorder: the observer
    // learns of a crash by seeing the crash log change.
    qn::crash::CrashRecorder::arm();

    AppleEvent event(contracts::kCrashEventClass, contracts::kSetTargetProcessEventID, std::nullopt,
                     kAutoGenerateReturnID, kAnyTransactionID);
    event.putParam(keyDirectObject, Descriptor::fromProcessSerialNumber(ProcessSerialNumber::current()));
    // Name, path and the log's state now: the observer needs them when this
    // process crashes before it has looked at it.
    const QString exe = qn::Bundle::mainExecutablePath();
    event.putParam(contracts::keyTargetName, Descriptor::fromUtf8Text(QFileInfo(exe).fileName()));
    event.putParam(contracts::keyTargetPath, Descriptor::fromUtf8Text(exe));
    struct stat st{};
    if (const QString log = qn::crash::CrashRecorder::logPath();
        !log.isEmpty() && ::stat(QFile::encodeName(log).constData(), &st) == 0) {
        const qint64 ns = qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
        event.putParam(contracts::keyCrashLogDate, Descriptor::fromUtf8Text(QString::number(ns)));
    }
    ProcessSerialNumber observer;
    // Asynchronous: the observer's start-up runs beside ours instead of in
    // front of it. The launch event is still the first one it dispatches.
    // A new instance for every tracked process: each program is watched by
    // its own observer, and stopping ours leaves the others' alone.
    const OSStatus status = LaunchServices::openApplication(
        path, kLSLaunchDefaults | kLSLaunchDontSwitch | kLSLaunchAsync | kLSLaunchNewInstance, &event, &observer);
    if (status != noErr || observer.isNull())
        return false;
    _highPSN = observer.highLongOfPSN;
    _lowPSN = observer.lowLongOfPSN;

    if (!_subscribed) {
        _subscribed = true;
        qn::NotificationCenter::defaultCenter().addObserver(
            QString::fromLatin1(qn::kApplicationWillTerminateNotification), nullptr,
            [this](const qn::Notification&) { callRelease(); });
        if (QCoreApplication* app = QCoreApplication::instance())
            QObject::connect(app, &QCoreApplication::aboutToQuit, [this] { callRelease(); });
    }
    return true;
}

bool QNCrashReporterKit::stopTracking()
{
    if (!isReporterAlive())
        return true;
    AppleEvent quit(contracts::kStopObserverEventClass, contracts::kStopObserverEventID,
                    ProcessSerialNumber{_highPSN, _lowPSN},
                    kAutoGenerateReturnID, kAnyTransactionID);
    quit.putParam(keyDirectObject, Descriptor::fromList({}));
    // The observer was started without waiting for it, so its event socket
    // may not be up yet when a short-lived program quits: retry while it runs.
    const ProcessSerialNumber observer{_highPSN, _lowPSN};
    QDeadlineTimer deadline(5000);
    for (;;) {
        const OSStatus status = sendEvent(quit, 2000);
        if (status == noErr)
            return true;
        if (status != connectionInvalid || deadline.hasExpired() || !observer.isAlive())
            return false;
        QThread::msleep(10);
    }
}

void QNCrashReporterKit::callRelease()
{
    // The application terminates normally: the observer must quit before it
    // sees this process vanish. Sent once, however many ways the end is announced.
    if (_released)
        return;
    _released = true;
    stopTracking();
}
