// SPDX-License-Identifier: MIT
#pragma once
// Receiving Apple events. A program that accepts events creates the
// EventManager on its main thread (after QCoreApplication), installs its
// handlers and calls start() before entering the event loop:
//
//   qn::events::EventManager events;
//   events.installHandler(fourCC("QNTL"), fourCC("Ejct"), onEject);
//   if (events.start() == EventManager::StartResult::ForwardedToRunningInstance)
//       return 0;                  // another instance got our event
//   return app.exec();
//
// Events arrive over a Unix socket in runtimeDirectory() (EventServer: only
// peers of the same uid are accepted). They are dispatched one at a time on
// the main loop, in arrival order, to the handler installed for their class
// and ID. The first event dispatched is the
// one the launch handed over, or 'aevt'/'oapp' when the program was launched
// without one (or started directly). Malformed messages are dropped and the
// connection closed; the manager keeps serving.
//
// A launched program that enters its event loop without having started an
// EventManager releases its launcher at once; its initial event is dropped.
//
// Default handlers: 'aevt'/'oapp' and 'aevt'/'rapp' do nothing; 'aevt'/'quit'
// calls terminate(). Installing a handler for one of them replaces the default;
// a program's own quit handler should end by calling terminate().
#include "events/AppleEvent.h"
#include "events/ApplicationNotifications.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace qn::events {

class EventManager : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(const AppleEvent& event)>;

    enum class StartResult {
        /// Listening; the launch's initial event (or 'oapp') is queued first.
        Started,
        /// Another instance of this executable runs; this process's initial
        /// event (or 'aevt'/'rapp' when it had none) was delivered to it. The
        /// caller should exit without doing anything else.
        ForwardedToRunningInstance,
        /// The socket folder or socket could not be set up (see errorString()).
        /// The initial event is still queued; nothing else will arrive.
        Failed,
    };

    explicit EventManager(QObject* parent = nullptr);
    ~EventManager() override;

    /// The manager of this process, or null when none was created.
    static EventManager* instance();

    /// Installs (or replaces) the handler for this class and ID. typeWildCard
    /// ('****') as ID matches every ID of the class; as class and ID, every
    /// event. Exact matches win over wildcards.
    void installHandler(FourCharCode eventClass, FourCharCode eventID, Handler handler);

    /// Starts receiving. See StartResult. Calling it again does nothing and
    /// returns the first result.
    StartResult start();
    QString errorString() const { return _error; }

    /// The launch flags this process was started with (kLSLaunchDefaults when
    /// it was started directly).
    static quint32 launchFlags();

    /// Normal termination: stops taking events (a later launch of this
    /// program starts a new instance), posts kApplicationWillTerminateNotification on
    /// NotificationCenter::defaultCenter() (once per process, with the
    /// application object as sender), then leaves the event loop with this
    /// exit code. Called before the loop runs, the loop ends as soon as it
    /// starts; without a QCoreApplication the process exits at once.
    static void terminate(int exitCode = 0);

    /// Queues an event for this process's own dispatch (what sending to
    /// oneself amounts to). False when start() has not run.
    bool post(const AppleEvent& event);

private:
    struct Private;
    std::unique_ptr<Private> d;
    QString _error;
};

}  // namespace qn::events
