// SPDX-License-Identifier: MIT
#pragma once
// Private to the events area: the queue of received events and the handler
// table. Events are dispatched one per turn of the main loop, in arrival
// order; a handler may install handlers or queue events without disturbing
// the dispatch in progress.
#include "events/AppleEvent.h"

#include <deque>
#include <functional>
#include <map>

class QObject;

namespace qn::events {

class EventDispatcher {
public:
    using Handler = std::function<void(const AppleEvent& event)>;
    /// Called for each event no installed handler matched (the standard
    /// events' defaults live there).
    using Fallback = std::function<void(const AppleEvent& event)>;

    /// context: the object whose thread dispatches (and whose life bounds
    /// the queued calls).
    EventDispatcher(QObject* context, Fallback fallback);

    /// Exact class and ID win over (class, '****'), which wins over
    /// ('****', '****').
    void installHandler(FourCharCode eventClass, FourCharCode eventID, Handler handler);
    void enqueue(AppleEvent event);

private:
    const Handler* findHandler(FourCharCode eventClass, FourCharCode eventID) const;
    void scheduleDispatch();
    void dispatchOne();

    QObject* _context;
    Fallback _fallback;
    std::map<std::pair<FourCharCode, FourCharCode>, Handler> _handlers;
    std::deque<AppleEvent> _queue;
    bool _dispatchScheduled = false;
};

}  // namespace qn::events
