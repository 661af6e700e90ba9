// SPDX-License-Identifier: MIT
// The manager ties the parts together: the launch's hand-over
// (LaunchHandOver), the instance role (SingleInstance), the socket
// (EventServer) and the handler table (EventDispatcher).
#include "events/EventManager.h"

#include "events/EventDispatcher.h"
#include "events/EventServer.h"
#include "events/LaunchHandOver.h"
#include "events/RuntimeDirectory.h"
#include "events/SingleInstance.h"
#include "notify/NotificationCenter.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QThread>

#include <cstdlib>

namespace qn::events {

namespace {

EventManager* gInstance = nullptr;

// What happens to a standard event nobody installed a handler for.
void defaultHandling(const AppleEvent& event)
{
    if (event.eventClass() == kCoreEventClass && event.eventID() == kAEQuitApplication)
        EventManager::terminate(0);
    // 'oapp' and 'rapp': nothing to do for a plain launch or a reopen.
}

}  // namespace

struct EventManager::Private {
    explicit Private(EventManager* q) : dispatcher(q, defaultHandling), server(q) {}

    // Stops taking events and gives up the instance role, so that a launch
    // from now on starts a fresh instance instead of feeding one that ends.
    void shutdown()
    {
        server.close();
        if (instance)
            instance->release();
    }

    EventDispatcher dispatcher;
    EventServer server;
    std::unique_ptr<SingleInstance> instance;
    bool started = false;
    StartResult result = StartResult::Failed;
};

EventManager::EventManager(QObject* parent) : QObject(parent), d(std::make_unique<Private>(this))
{
    connect(&d->server, &EventServer::received, this, [this](const AppleEvent& event) { d->dispatcher.enqueue(event); });
    if (!gInstance)
        gInstance = this;
}

EventManager::~EventManager()
{
    d->shutdown();
    if (gInstance == this)
        gInstance = nullptr;
}

EventManager* EventManager::instance()
{
    return gInstance;
}

bool EventManager::post(const AppleEvent& event)
{
    if (!d->started)
        return false;
    AppleEvent copy = event;
    copy.setSender(ProcessSerialNumber::current());
    d->dispatcher.enqueue(std::move(copy));
    return true;
}

void EventManager::installHandler(FourCharCode eventClass, FourCharCode eventID, Handler handler)
{
    d->dispatcher.installHandler(eventClass, eventID, std::move(handler));
}

quint32 EventManager::launchFlags()
{
    return LaunchHandOver::launchFlags();
}

EventManager::StartResult EventManager::start()
{
    if (d->started)
        return d->result;
    d->started = true;

    LaunchHandOver handOver = LaunchHandOver::take();
    const std::optional<AppleEvent>& initial = handOver.initialEvent();
    const ProcessSerialNumber self = ProcessSerialNumber::current();
    const AppleEvent first = initial.value_or(AppleEvent(kCoreEventClass, kAEOpenApplication));

    QString error;
    const QString dir = runtimeDirectory(&error);
    if (dir.isEmpty()) {
        _error = error;
        d->dispatcher.enqueue(first);
        handOver.acknowledge(noErr, self);
        return d->result = StartResult::Failed;
    }

    if (!(launchFlags() & kLSLaunchNewInstance)) {
        const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
        d->instance = std::make_unique<SingleInstance>(dir, runtime::appKey(exe));
        ProcessSerialNumber holder;
        const AppleEvent forwarded = initial.value_or(AppleEvent(kCoreEventClass, kAEReopenApplication));
        switch (d->instance->claim(forwarded, LaunchHandOver::kReadTimeoutMs, &holder, &error)) {
        case SingleInstance::Claim::Forwarded:
            handOver.acknowledge(noErr, holder);
            return d->result = StartResult::ForwardedToRunningInstance;
        case SingleInstance::Claim::Unguarded:
            _error = error;  // serve without the one-instance guarantee
            break;
        case SingleInstance::Claim::Holder:
            break;
        }
    }

    d->dispatcher.enqueue(first);
    if (!d->server.listen(runtime::socketPath(dir, self), &error)) {
        _error = error;
        handOver.acknowledge(noErr, self);
        return d->result = StartResult::Failed;
    }
    if (d->instance && !d->instance->recordSelf(&error))
        _error = error;
    handOver.acknowledge(noErr, self);
    return d->result = StartResult::Started;
}

void EventManager::terminate(int exitCode)
{
    static bool posted = false;
    if (gInstance)
        gInstance->d->shutdown();
    if (!posted) {
        posted = true;
        NotificationCenter::defaultCenter().post(QString::fromLatin1(kApplicationWillTerminateNotification),
                                                 QCoreApplication::instance());
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        std::exit(exitCode);
    }
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(exitCode);
    else  // called before the loop runs: leave it as soon as it starts
        QMetaObject::invokeMethod(app, [exitCode] { QCoreApplication::exit(exitCode); }, Qt::QueuedConnection);
}

}  // namespace qn::events
