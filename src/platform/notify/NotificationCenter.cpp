// SPDX-License-Identifier: MIT
#include "notify/NotificationCenter.h"

#include <QObject>
#include <QPointer>

#include <atomic>

namespace qn {

struct NotificationCenter::Entry {
    Token token = 0;
    QString name;
    const void* sender = nullptr;
    Callback callback;
    std::atomic<bool> alive{true};
};

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString& name, const void* sender, Callback callback)
{
    auto entry = std::make_shared<Entry>();
    entry->name = name;
    entry->sender = sender;
    entry->callback = std::move(callback);
    std::lock_guard lock(_mutex);
    entry->token = _next++;
    _entries.push_back(entry);
    return entry->token;
}

NotificationCenter::Token NotificationCenter::addObserver(const QString& name, const void* sender, QObject* context,
                                                          Callback callback)
{
    const Token token = addObserver(name, sender, std::move(callback));
    QObject::connect(context, &QObject::destroyed, [this, token] { removeObserver(token); });
    return token;
}

void NotificationCenter::removeObserver(Token token)
{
    std::lock_guard lock(_mutex);
    for (auto it = _entries.begin(); it != _entries.end(); ++it) {
        if ((*it)->token == token) {
            (*it)->alive = false;
            _entries.erase(it);
            return;
        }
    }
}

void NotificationCenter::post(const QString& name, const void* sender, const QVariantMap& userInfo)
{
    // Deliver to a snapshot taken under the lock, outside the lock, so that
    // observers can add or remove observers and post in turn.
    std::vector<std::shared_ptr<Entry>> targets;
    {
        std::lock_guard lock(_mutex);
        for (const auto& e : _entries) {
            if ((e->name.isEmpty() || e->name == name) && (!e->sender || e->sender == sender))
                targets.push_back(e);
        }
    }
    const Notification note{name, sender, userInfo};
    for (const auto& e : targets) {
        if (e->alive)
            e->callback(note);
    }
}

}  // namespace qn
