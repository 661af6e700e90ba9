// SPDX-License-Identifier: MIT
#include "events/Workspace.h"

#include "events/ApplicationNotifications.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <map>
#include <sys/syscall.h>
#include <unistd.h>

namespace qn::events {

namespace {

constexpr int kPollIntervalMs = 50;

int openPidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return int(::syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

quint64 keyOf(const ProcessSerialNumber& psn)
{
    return (quint64(psn.highLongOfPSN) << 32) | psn.lowLongOfPSN;
}

}  // namespace

struct Workspace::Private {
    struct Watch {
        ProcessSerialNumber psn;
        QString path;
        int pidfd = -1;
        QSocketNotifier* notifier = nullptr;
    };
    Workspace* q = nullptr;
    std::map<quint64, Watch> watches;
    QTimer* poller = nullptr;
    bool pollingOnly = false;

    void ended(quint64 key)
    {
        auto it = watches.find(key);
        if (it == watches.end())
            return;
        Watch w = it->second;
        watches.erase(it);
        if (w.notifier) {
            w.notifier->setEnabled(false);
            w.notifier->deleteLater();
        }
        if (w.pidfd >= 0)
            ::close(w.pidfd);
        QVariantMap info;
        info.insert(QString::fromLatin1(kApplicationProcessSerialNumberHighKey), uint(w.psn.highLongOfPSN));
        info.insert(QString::fromLatin1(kApplicationProcessSerialNumberLowKey), uint(w.psn.lowLongOfPSN));
        info.insert(QString::fromLatin1(kApplicationProcessIdentifierKey), int(w.psn.pid()));
        if (!w.path.isEmpty())
            info.insert(QString::fromLatin1(kApplicationPathKey), w.path);
        Workspace::notificationCenter().post(QString::fromLatin1(kWorkspaceDidTerminateApplicationNotification), q,
                                             info);
    }

    void poll()
    {
        std::vector<quint64> gone;
        for (const auto& [key, w] : watches)
            if (w.pidfd < 0 && !w.psn.isAlive())
                gone.push_back(key);
        for (quint64 key : gone)
            ended(key);
        bool anyPolled = false;
        for (const auto& [key, w] : watches)
            anyPolled |= w.pidfd < 0;
        if (!anyPolled)
            poller->stop();
    }
};

Workspace::Workspace() : d(std::make_unique<Private>())
{
    d->q = this;
    d->poller = new QTimer(this);
    d->poller->setInterval(kPollIntervalMs);
    connect(d->poller, &QTimer::timeout, this, [this] { d->poll(); });
}

Workspace::~Workspace()
{
    for (auto& [key, w] : d->watches)
        if (w.pidfd >= 0)
            ::close(w.pidfd);
}

Workspace& Workspace::sharedWorkspace()
{
    static Workspace* shared = [] {
        auto* w = new Workspace;
        // Lives as long as the application object.
        if (QCoreApplication::instance())
            w->setParent(QCoreApplication::instance());
        return w;
    }();
    return *shared;
}

NotificationCenter& Workspace::notificationCenter()
{
    static NotificationCenter center;
    return center;
}

bool Workspace::watchProcess(const ProcessSerialNumber& psn)
{
    if (psn.isNull() || psn.pid() <= 0)
        return false;
    const quint64 key = keyOf(psn);
    if (d->watches.count(key))
        return true;
    Private::Watch w;
    w.psn = psn;
    w.path = psn.executablePath();
    if (!d->pollingOnly)
        w.pidfd = openPidfd(psn.pid());
    // The pid may have been reused before the pidfd was opened: the start
    // time tells. Checked after opening, so the pidfd surely names our process
    // when the check passes.
    const bool alive = psn.isAlive();
    if (w.pidfd >= 0 && alive) {
        w.notifier = new QSocketNotifier(w.pidfd, QSocketNotifier::Read, this);
        connect(w.notifier, &QSocketNotifier::activated, this, [this, key] { d->ended(key); });
    } else if (w.pidfd >= 0) {
        ::close(w.pidfd);
        w.pidfd = -1;
    }
    d->watches[key] = w;
    if (!alive) {
        QMetaObject::invokeMethod(this, [this, key] { d->ended(key); }, Qt::QueuedConnection);
    } else if (w.pidfd < 0 && !d->poller->isActive()) {
        d->poller->start();
    }
    return true;
}

void Workspace::unwatchProcess(const ProcessSerialNumber& psn)
{
    auto it = d->watches.find(keyOf(psn));
    if (it == d->watches.end())
        return;
    if (it->second.notifier) {
        it->second.notifier->setEnabled(false);
        it->second.notifier->deleteLater();
    }
    if (it->second.pidfd >= 0)
        ::close(it->second.pidfd);
    d->watches.erase(it);
}

int Workspace::watchedCount() const
{
    return int(d->watches.size());
}

void Workspace::setPollingOnly(bool on)
{
    d->pollingOnly = on;
}

}  // namespace qn::events
