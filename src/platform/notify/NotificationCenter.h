// SPDX-License-Identifier: MIT
// src/platform/notify: name-based notifications within a process.
#pragma once
// Name-based notifications delivered synchronously on the posting thread.
// Posting from worker threads is safe; an observer may remove itself (or any
// other observer) while being called, and a removed observer is never called
// again, not even later in the same post.
#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class QObject;

namespace qn {

struct Notification {
    QString name;
    const void* sender = nullptr;
    QVariantMap userInfo;
};

class NotificationCenter {
public:
    using Token = quint64;
    using Callback = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    /// Observes notifications with this name (every name when empty) from this
    /// sender (any sender when null). Returns a token for removeObserver.
    Token addObserver(const QString& name, const void* sender, Callback callback);
    /// Same, removed automatically when context is destroyed.
    Token addObserver(const QString& name, const void* sender, QObject* context, Callback callback);
    void removeObserver(Token token);

    void post(const QString& name, const void* sender = nullptr, const QVariantMap& userInfo = {});

private:
    struct Entry;
    std::mutex _mutex;
    std::vector<std::shared_ptr<Entry>> _entries;
    Token _next = 1;
};

}  // namespace qn
