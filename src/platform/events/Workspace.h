// SPDX-License-Identifier: MIT
#pragma once
// Watching other processes end. Posts kWorkspaceDidTerminateApplicationNotification
// on notificationCenter() from the main loop when a watched process has ended,
// typically within a few milliseconds (pidfd_open + socket notifier; polling
// of /proc every 50 ms where pidfds are unavailable).
#include "events/ProcessSerialNumber.h"
#include "notify/NotificationCenter.h"

#include <QObject>
#include <memory>

namespace qn::events {

class Workspace : public QObject {
    Q_OBJECT
public:
    /// The workspace of this process (created on first use, on the main
    /// thread, after QCoreApplication).
    static Workspace& sharedWorkspace();
    /// The workspace's own notification centre (separate from the default one).
    static NotificationCenter& notificationCenter();

    /// Starts watching psn's process. Returns false for a null PSN. A process
    /// that is already gone (or whose start time no longer matches) is
    /// reported as ended from the main loop shortly after. Watching the same
    /// PSN twice reports it once.
    bool watchProcess(const ProcessSerialNumber& psn);
    /// Stops watching; no notification follows for it.
    void unwatchProcess(const ProcessSerialNumber& psn);
    int watchedCount() const;

    /// Forces the /proc polling fallback for later watches (for tests).
    void setPollingOnly(bool on);

    ~Workspace() override;

private:
    Workspace();
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace qn::events
