// SPDX-License-Identifier: MIT
// Kills a watched process and measures the time until Workspace posts its
// end, for pidfd and for the polling fallback. Prints median and worst case;
// the crash observer relies on the report arriving well within 200 ms.
#include "events/ApplicationNotifications.h"
#include "events/Workspace.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

using namespace qn::events;

namespace {

// Milliseconds from the kill to the report; -1 when none came within 5 s.
double oneRound()
{
    pid_t pid = -1;
    char prog[] = "/bin/sleep";
    char arg[] = "60";
    char* argv[] = {prog, arg, nullptr};
    if (::posix_spawn(&pid, prog, nullptr, nullptr, argv, environ) != 0)
        return -1;
    const auto psn = ProcessSerialNumber::forPid(pid);
    bool reported = false;
    const auto token = Workspace::notificationCenter().addObserver(
        QString::fromLatin1(qn::kWorkspaceDidTerminateApplicationNotification), nullptr,
        [&](const qn::Notification&) { reported = true; });
    double ms = -1;
    if (psn && Workspace::sharedWorkspace().watchProcess(*psn)) {
        QElapsedTimer clock;
        clock.start();
        ::kill(pid, SIGKILL);
        QDeadlineTimer deadline(5000);
        while (!reported && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        if (reported)
            ms = double(clock.nsecsElapsed()) / 1e6;
    } else {
        ::kill(pid, SIGKILL);
    }
    Workspace::notificationCenter().removeObserver(token);
    ::waitpid(pid, nullptr, 0);
    return ms;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    for (bool polling : {false, true}) {
        Workspace::sharedWorkspace().setPollingOnly(polling);
        std::vector<double> ms;
        int missed = 0;
        for (int i = 0; i < rounds; ++i) {
            const double v = oneRound();
            if (v < 0)
                ++missed;
            else
                ms.push_back(v);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%-8s rounds %d  median %.2f ms  worst %.2f ms  missed %d\n", polling ? "polling" : "pidfd",
                    rounds, ms.empty() ? 0.0 : ms[ms.size() / 2], ms.empty() ? 0.0 : ms.back(), missed);
    }
    return 0;
}
