// SPDX-License-Identifier: MIT
#include "events/EventDispatcher.h"

#include <QObject>

namespace qn::events {

EventDispatcher::EventDispatcher(QObject* context, Fallback fallback)
    : _context(context), _fallback(std::move(fallback))
{
}

void EventDispatcher::installHandler(FourCharCode eventClass, FourCharCode eventID, Handler handler)
{
    _handlers[{eventClass, eventID}] = std::move(handler);
}

void EventDispatcher::enqueue(AppleEvent event)
{
    _queue.push_back(std::move(event));
    scheduleDispatch();
}

const EventDispatcher::Handler* EventDispatcher::findHandler(FourCharCode eventClass, FourCharCode eventID) const
{
    for (const auto& key : {std::pair{eventClass, eventID}, std::pair{eventClass, typeWildCard},
                            std::pair{typeWildCard, typeWildCard}}) {
        auto it = _handlers.find(key);
        if (it != _handlers.end())
            return &it->second;
    }
    return nullptr;
}

void EventDispatcher::scheduleDispatch()
{
    if (_dispatchScheduled || _queue.empty())
        return;
    _dispatchScheduled = true;
    QMetaObject::invokeMethod(_context, [this] { dispatchOne(); }, Qt::QueuedConnection);
}

void EventDispatcher::dispatchOne()
{
    _dispatchScheduled = false;
    if (_queue.empty())
        return;
    AppleEvent event = std::move(_queue.front());
    _queue.pop_front();
    if (const Handler* h = findHandler(event.eventClass(), event.eventID())) {
        Handler copy = *h;  // the handler may replace itself
        copy(event);
    } else if (_fallback) {
        _fallback(event);
    }
    scheduleDispatch();
}

}  // namespace qn::events
