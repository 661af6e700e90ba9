// SPDX-License-Identifier: MIT
#pragma once
// Private to the events area: one instance per executable. The instance
// holds an flock() on app-<key>.lock for its life and records its PSN in
// app-<key>.psn once it listens (see RuntimeDirectory.h for the files).
// Whoever gets the lock is the instance; everybody else hands its event to
// the process recorded in the PSN file.
#include "events/AppleEvent.h"

#include <QString>
#include <optional>

namespace qn::events {

class SingleInstance {
public:
    enum class Claim {
        /// This process holds the role.
        Holder,
        /// Another instance runs and accepted the event.
        Forwarded,
        /// The role could not be settled (see error): serve without it.
        Unguarded,
    };

    /// For the executable whose key (runtime::appKey) is key, in dir.
    SingleInstance(const QString& dir, const QString& key);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    /// Takes the role, or delivers event to the instance that holds it (its
    /// PSN in *holder). The holder may be starting (no PSN recorded yet) or
    /// ending (lock still held): retries until one of the two works out or
    /// timeoutMs passed; then Unguarded, so the event is served rather than
    /// lost.
    Claim claim(const AppleEvent& event, int timeoutMs, ProcessSerialNumber* holder, QString* error);
    /// Records this process as the instance; call once it accepts events.
    bool recordSelf(QString* error);
    /// Gives the role up (idempotent), so that a later launch starts a new
    /// instance.
    void release();

    /// The instance that holds the role: nullopt when nobody does (the lock is
    /// free); a null PSN while its holder has not recorded itself yet or is
    /// gone.
    static std::optional<ProcessSerialNumber> holder(const QString& dir, const QString& key);

private:
    QString _lockPath;
    QString _psnPath;
    int _lockFd = -1;
};

}  // namespace qn::events
