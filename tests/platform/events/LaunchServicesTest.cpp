// SPDX-License-Identifier: MIT
#include "EventTestSupport.h"
#include "events/EventManager.h"
#include "events/RuntimeDirectory.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qn::events;
using qn::test::frame;
using qn::test::loggedAs;
using qn::test::ReceiverFixture;
using qn::test::testEvent;

namespace {

OSStatus quitAndWait(const ProcessSerialNumber& psn)
{
    AppleEvent quit(kCoreEventClass, kAEQuitApplication);
    quit.putParam(keyDirectObject, Descriptor::fromList({}));
    const OSStatus s = sendEvent(quit, psn);
    qn::test::waitUntil([&] { return !psn.isAlive(); }, 10000);
    return s;
}

}  // namespace

// Waiting for the hand-over or not, the launch's event is the first and only
// event the new program dispatches.
class LaunchWithEvent : public testing::TestWithParam<quint32> {};

TEST_P(LaunchWithEvent, InitialEventIsDispatchedFirstAndReplacesThePlainLaunch)
{
    ReceiverFixture rx;
    const AppleEvent eject = testEvent("Ejct", 3);
    ProcessSerialNumber psn;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), GetParam(), &eject, &psn), noErr);
    ASSERT_FALSE(psn.isNull());
    ASSERT_TRUE(rx.waitForLines("QNts/", 1));
    ASSERT_EQ(rx.eventLines().size(), 1);
    EXPECT_TRUE(rx.eventLines()[0].startsWith(loggedAs("Ejct", 3))) << rx.eventLines()[0].toStdString();
    EXPECT_EQ(rx.count("aevt/oapp"), 0);
    // The instance we were told about is the one that started, and holds the role.
    EXPECT_EQ(rx.startedInstances(), QList<ProcessSerialNumber>{psn});
    ASSERT_TRUE(qn::test::waitUntil([&] { return !LaunchServices::runningInstance(rx.program()).isNull(); }));
    EXPECT_EQ(LaunchServices::runningInstance(rx.program()), psn);
    EXPECT_NE(::getsid(psn.pid()), ::getsid(0));  // detached: a session of its own
    EXPECT_EQ(quitAndWait(psn), noErr);
    EXPECT_FALSE(psn.isAlive());
}

INSTANTIATE_TEST_SUITE_P(WaitingAndAsync, LaunchWithEvent,
                         testing::Values(kLSLaunchDefaults, kLSLaunchDefaults | kLSLaunchAsync),
                         [](const testing::TestParamInfo<quint32>& info) {
                             return (info.param & kLSLaunchAsync) ? "Async" : "Waiting";
                         });

TEST(LaunchServices, PlainLaunchGetsOpenApplicationAndRunningInstanceGetsReopen)
{
    ReceiverFixture rx;
    ProcessSerialNumber first, second;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, nullptr, &first), noErr);
    ASSERT_TRUE(rx.waitForLines("aevt/oapp", 1));
    EXPECT_EQ(LaunchServices::runningInstance(rx.program()), first);
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, nullptr, &second), noErr);
    EXPECT_EQ(second, first);
    ASSERT_TRUE(rx.waitForLines("aevt/rapp", 1));
    EXPECT_EQ(rx.count("aevt/oapp"), 1);
    EXPECT_EQ(rx.count("start"), 1);
    EXPECT_EQ(quitAndWait(first), noErr);
    EXPECT_TRUE(LaunchServices::runningInstance(rx.program()).isNull());
}

TEST(LaunchServices, SecondLaunchDeliversItsEventToTheRunningInstance)
{
    ReceiverFixture rx;
    const AppleEvent one = testEvent("Ejct", 1), two = testEvent("Ejct", 2);
    ProcessSerialNumber a, b;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, &one, &a), noErr);
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, &two, &b), noErr);
    EXPECT_EQ(a, b);
    ASSERT_TRUE(rx.waitForLines("QNts/", 2));
    const auto events = rx.eventLines();
    ASSERT_EQ(events.size(), 2);
    EXPECT_TRUE(events[0].startsWith(loggedAs("Ejct", 1)));
    EXPECT_TRUE(events[1].startsWith(loggedAs("Ejct", 2)));
    // The ordinary event names its sender: this test process.
    EXPECT_TRUE(events[1].endsWith("from=" + QByteArray::number(::getpid()))) << events[1].toStdString();
    EXPECT_EQ(rx.count("start"), 1);
    EXPECT_EQ(quitAndWait(a), noErr);
}

// With the default quit handler and with a program's own (which cleans up
// before terminating): the notification comes last, then the exit.
class QuitHandling : public testing::TestWithParam<bool> {};

TEST_P(QuitHandling, QuitPostsWillTerminateThenExits)
{
    const bool ownHandler = GetParam();
    ReceiverFixture rx;
    if (ownHandler)
        ::setenv("QN_EVENT_CUSTOM_QUIT", "1", 1);
    ProcessSerialNumber psn;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, nullptr, &psn), noErr);
    ASSERT_TRUE(rx.waitForLines("aevt/oapp", 1));
    EXPECT_EQ(quitAndWait(psn), noErr);
    EXPECT_FALSE(psn.isAlive());
    const QList<QByteArray> tail = ownHandler ? QList<QByteArray>{"cleanup", "will-terminate", "exit code=0"}
                                              : QList<QByteArray>{"will-terminate", "exit code=0"};
    const auto lines = rx.lines();
    ASSERT_GT(lines.size(), tail.size());
    EXPECT_EQ(lines.mid(lines.size() - tail.size()), tail);
    if (ownHandler) {
        const QByteArray quitLine = lines[lines.size() - tail.size() - 1];
        EXPECT_TRUE(quitLine.startsWith("aevt/quit list:00000000") && quitLine.endsWith("custom"))
            << quitLine.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(DefaultAndOwn, QuitHandling, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) { return info.param ? "Own" : "Default"; });

TEST(LaunchServices, RacingLaunchesEndInOneInstanceThatGetsEveryEvent)
{
    ReceiverFixture rx;
    constexpr int kLaunchers = 4;
    std::vector<std::unique_ptr<QProcess>> launchers;
    for (int i = 0; i < kLaunchers; ++i) {
        auto p = std::make_unique<QProcess>();
        p->start(rx.program(), {QStringLiteral("--launch"), rx.program(), QStringLiteral("QNts"),
                                QStringLiteral("Race"), QString::number(i)});
        launchers.push_back(std::move(p));
    }
    QSet<QByteArray> reported;
    for (auto& p : launchers) {
        ASSERT_TRUE(p->waitForFinished(30000));
        const QByteArray out = p->readAllStandardOutput().trimmed();
        EXPECT_TRUE(out.startsWith("status=0 ")) << out.toStdString();
        reported.insert(out);
    }
    // Every launcher was told about the same process.
    EXPECT_EQ(reported.size(), 1);
    ASSERT_TRUE(rx.waitForLines("QNts/Race", kLaunchers));
    EXPECT_EQ(rx.count("start") - rx.count("forwarded"), 1);
    EXPECT_EQ(rx.count("aevt/oapp"), 0);
    QSet<QByteArray> values;
    for (const QByteArray& l : rx.eventLines())
        values.insert(l.split(' ').value(1));
    EXPECT_EQ(values.size(), kLaunchers);
    const auto instances = rx.startedInstances();
    for (const auto& psn : instances)
        if (psn.isAlive())
            quitAndWait(psn);
}

TEST(LaunchServices, DirectStartsRacingEndInOneInstance)
{
    ReceiverFixture rx;
    // Started by hand (no launcher lock): the instance lock decides, and the
    // loser hands its reopen to the winner.
    QProcess a, b;
    a.start(rx.program(), {});
    b.start(rx.program(), {});
    ASSERT_TRUE(rx.waitForLines("aevt/", 2));
    ASSERT_TRUE(rx.waitForLines("forwarded", 1));
    EXPECT_EQ(rx.count("aevt/oapp"), 1);
    EXPECT_EQ(rx.count("aevt/rapp"), 1);
    EXPECT_EQ(rx.count("forwarded"), 1);
    const ProcessSerialNumber running = LaunchServices::runningInstance(rx.program());
    ASSERT_FALSE(running.isNull());
    EXPECT_EQ(quitAndWait(running), noErr);
    // Both processes end: the loser right after forwarding, the winner on quit.
    for (QProcess* p : {&a, &b}) {
        if (p->state() != QProcess::NotRunning) {
            EXPECT_TRUE(p->waitForFinished(10000));
        }
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
    }
}

TEST(LaunchServices, EventFromAnotherUserIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a sender as another user (setpriv)";
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        GTEST_SKIP() << "setpriv (util-linux) is not installed";
    ReceiverFixture rx;
    ProcessSerialNumber psn;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, nullptr, &psn), noErr);
    ASSERT_TRUE(rx.waitForLines("aevt/oapp", 1));

    // Open the way to the socket for the other user, so that the peer check is
    // what refuses it (folder permissions would stop it earlier otherwise).
    const QString dir = runtimeDirectory();
    const QString socket = runtime::socketPath(dir, psn);
    QString walk = dir;
    QStringList opened;
    while (walk != QLatin1String("/") && !walk.isEmpty()) {
        opened << walk;
        walk = QFileInfo(walk).path();
    }
    for (const QString& d : opened)
        ::chmod(QFile::encodeName(d).constData(), 0755);
    ::chmod(QFile::encodeName(socket).constData(), 0666);
    const QString payloadFile = qn::test::homeDir() + QStringLiteral("/foreign.bin");
    {
        QFile f(payloadFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(frame(testEvent("Frgn", 1).encode()));
    }
    ::chmod(QFile::encodeName(payloadFile).constData(), 0644);
    const auto r = qn::test::runProcess(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                                  QStringLiteral("--clear-groups"), rx.program(),
                                                  QStringLiteral("--send-raw"), socket, payloadFile});
    ::chmod(QFile::encodeName(socket).constData(), 0600);
    for (const QString& d : opened.mid(0, 2))
        ::chmod(QFile::encodeName(d).constData(), 0700);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    // It got through to the socket, and was turned away without an answer.
    EXPECT_EQ(r.out.trimmed(), "closed") << r.out.toStdString();

    EXPECT_EQ(sendEvent(testEvent("Mine", 2), psn), noErr);
    ASSERT_TRUE(rx.waitForLines("QNts/", 1));
    EXPECT_EQ(rx.count("QNts/Frgn"), 0);
    EXPECT_EQ(rx.count("QNts/Mine"), 1);
    EXPECT_EQ(quitAndWait(psn), noErr);
}

TEST(LaunchServices, GoneOrReusedAddressesAreRefused)
{
    ReceiverFixture rx;
    ProcessSerialNumber psn;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, nullptr, &psn), noErr);
    ASSERT_TRUE(rx.waitForLines("aevt/oapp", 1));
    ProcessSerialNumber reused = psn;
    reused.highLongOfPSN ^= 1;  // same pid, another start time
    EXPECT_EQ(sendEvent(testEvent("Lost", 1), reused), procNotFound);
    EXPECT_EQ(quitAndWait(psn), noErr);
    EXPECT_EQ(sendEvent(testEvent("Lost", 2), psn), procNotFound);
    EXPECT_EQ(sendEvent(testEvent("Lost", 3)), paramErr);  // no target
    // A process that accepts no events.
    EXPECT_EQ(sendEvent(testEvent("Lost", 4), ProcessSerialNumber::current()), connectionInvalid);
    EXPECT_EQ(rx.count("QNts/Lost"), 0);
}

TEST(LaunchServices, UnresolvableOrUnrunnablePathsReportLaunchStatuses)
{
    ProcessSerialNumber psn{7, 7};
    EXPECT_EQ(LaunchServices::openApplication(QStringLiteral("/no/such/QNTraylift"), kLSLaunchDefaults, nullptr, &psn),
              fnfErr);
    EXPECT_EQ(LaunchServices::openApplication(QString(), kLSLaunchDefaults, nullptr, &psn), fnfErr);
    EXPECT_EQ(LaunchServices::openApplication(QDir::tempPath(), kLSLaunchDefaults, nullptr, &psn),
              toStatus(LaunchError::NotAnApplication));
    const QString plain = qn::test::homeDir() + QStringLiteral("/not-a-program");
    {
        QFile f(plain);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("just text\n");
    }
    EXPECT_EQ(LaunchServices::openApplication(plain, kLSLaunchDefaults, nullptr, &psn), toStatus(LaunchError::NotAnApplication));
    // Executable bit, but nothing the kernel can run.
    ::chmod(QFile::encodeName(plain).constData(), 0755);
    QFile::resize(plain, 0);
    {
        QFile f(plain);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\x7f" "ELF garbage");
    }
    EXPECT_EQ(LaunchServices::openApplication(plain, kLSLaunchDefaults, nullptr, &psn), toStatus(LaunchError::ExecutableIncorrectFormat));
    EXPECT_EQ(psn, (ProcessSerialNumber{7, 7}));  // untouched on failure
}

TEST(LaunchServices, ProgramStartsDetachedWithTheLauncherSignalStateUndone)
{
    // A script reports what it started with: parent, blocked and ignored
    // signals, and where stdin and stderr lead. The status is read with
    // builtins before the shell starts any command: dash blocks every signal
    // around each fork, and a command reading the shell's status then would
    // see that mask instead of the one it started with.
    const QString script = qn::test::homeDir() + QStringLiteral("/report-start.sh");
    const QString out = qn::test::homeDir() + QStringLiteral("/report-start.out");
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n"
                "{ while IFS= read -r l; do case \"$l\" in PPid:*|SigBlk:*|SigIgn:*) printf '%s\\n' \"$l\";; esac;"
                " done < /proc/$$/status; readlink /proc/$$/fd/0 /proc/$$/fd/2; } > \"$QN_TEST_START_OUT.tmp\"\n"
                "mv \"$QN_TEST_START_OUT.tmp\" \"$QN_TEST_START_OUT\"\n");
    }
    ::chmod(QFile::encodeName(script).constData(), 0755);
    QFile::remove(out);
    ::setenv("QN_TEST_START_OUT", QFile::encodeName(out).constData(), 1);

    // The launcher ignores one signal, handles another and blocks a third.
    struct sigaction ignore{}, handle{}, oldUsr1{}, oldUsr2{};
    ignore.sa_handler = SIG_IGN;
    handle.sa_handler = [](int) {};
    ::sigaction(SIGUSR2, &ignore, &oldUsr2);
    ::sigaction(SIGUSR1, &handle, &oldUsr1);
    sigset_t block, previous;
    ::sigemptyset(&block);
    ::sigaddset(&block, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &block, &previous);
    ProcessSerialNumber psn;
    const OSStatus status = LaunchServices::openApplication(script, kLSLaunchDefaults | kLSLaunchAsync, nullptr, &psn);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::sigaction(SIGUSR1, &oldUsr1, nullptr);
    ::sigaction(SIGUSR2, &oldUsr2, nullptr);
    ::unsetenv("QN_TEST_START_OUT");
    ASSERT_EQ(status, noErr);

    ASSERT_TRUE(qn::test::waitUntil([&] { return QFile::exists(out); }, 10000));
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_NE(lines[0].section(QLatin1Char('\t'), 1).toLongLong(), qint64(::getpid()));
    EXPECT_EQ(lines[1], QStringLiteral("SigBlk:\t0000000000000000"));
    EXPECT_EQ(lines[2], QStringLiteral("SigIgn:\t0000000000000000"));
    EXPECT_EQ(lines[3], QStringLiteral("/dev/null"));
    EXPECT_EQ(lines[4], QStringLiteral("/dev/null"));
}

// With kLSLaunchKeepTerminalStandardError the program keeps the launcher's
// standard error when that is a terminal, and only then: a pipe is never
// handed on (its reader would wait for the program).
TEST(LaunchServices, TerminalStandardErrorIsKeptOnRequestAndNothingElse)
{
    const QString script = qn::test::homeDir() + QStringLiteral("/report-stderr.sh");
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\nreadlink /proc/$$/fd/2 > \"$QN_TEST_START_OUT.tmp\"\n"
                "mv \"$QN_TEST_START_OUT.tmp\" \"$QN_TEST_START_OUT\"\n");
    }
    ::chmod(QFile::encodeName(script).constData(), 0755);

    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QByteArray terminal = ::ptsname(master);
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);

    struct Case {
        const char* name;
        int stderrFd;
        quint32 flags;
        QByteArray expected;
    };
    const int slave = ::open(terminal.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0);
    const quint32 keep = kLSLaunchDefaults | kLSLaunchAsync | kLSLaunchKeepTerminalStandardError;
    const Case cases[] = {
        {"terminal, asked", slave, keep, terminal},
        {"terminal, not asked", slave, kLSLaunchDefaults | kLSLaunchAsync, "/dev/null"},
        {"pipe, asked", pipeFds[1], keep, "/dev/null"},
    };
    for (const Case& c : cases) {
        const QString out = qn::test::homeDir() + QStringLiteral("/report-stderr.out");
        QFile::remove(out);
        ::setenv("QN_TEST_START_OUT", QFile::encodeName(out).constData(), 1);
        const int savedStderr = ::dup(2);
        ::dup2(c.stderrFd, 2);
        ProcessSerialNumber psn;
        const OSStatus status = LaunchServices::openApplication(script, c.flags, nullptr, &psn);
        ::dup2(savedStderr, 2);
        ::close(savedStderr);
        ::unsetenv("QN_TEST_START_OUT");
        ASSERT_EQ(status, noErr) << c.name;
        ASSERT_TRUE(qn::test::waitUntil([&] { return QFile::exists(out); }, 10000)) << c.name;
        QFile f(out);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll().trimmed(), c.expected) << c.name;
    }
    for (int fd : {slave, master, pipeFds[0], pipeFds[1]})
        ::close(fd);
}

TEST(LaunchServices, LaunchFlagsReachTheProgram)
{
    ReceiverFixture rx;
    ProcessSerialNumber psn;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults | kLSLaunchDontSwitch, nullptr, &psn),
              noErr);
    ASSERT_TRUE(rx.waitForLines("aevt/oapp", 1));
    EXPECT_TRUE(rx.lines().first().endsWith("flags=201")) << rx.lines().first().toStdString();
    EXPECT_EQ(quitAndWait(psn), noErr);
}

TEST(LaunchServices, ProgramWithoutEventManagerDoesNotHoldUpItsLauncher)
{
    ReceiverFixture rx;
    ::setenv("QN_EVENT_NO_MANAGER", "1", 1);
    const AppleEvent eject = testEvent("Ejct", 1);
    ProcessSerialNumber psn;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, &eject, &psn), noErr);
    EXPECT_EQ(rx.count("start-bare"), 1);
    // The program answered when its loop began: had it not, the launch would
    // have returned only when the program ended (its channel closing), which
    // comes before the hand-over time-out.
    EXPECT_TRUE(psn.isAlive());
    ::kill(psn.pid(), SIGTERM);
    EXPECT_TRUE(qn::test::waitUntil([&] { return !psn.isAlive(); }, 5000));
}

TEST(LaunchServices, EventSentToOneselfIsQueuedBehindTheLaunchEvent)
{
    EventManager events;
    std::vector<QString> seen;
    events.installHandler(typeWildCard, typeWildCard, [&](const AppleEvent& e) { seen.push_back(e.name()); });
    EXPECT_EQ(sendEvent(testEvent("Self", 1), ProcessSerialNumber::current()), connectionInvalid);  // not started
    ASSERT_EQ(events.start(), EventManager::StartResult::Started) << events.errorString().toStdString();
    EXPECT_EQ(sendEvent(testEvent("Self", 2), ProcessSerialNumber::current(), 1000), noErr);
    ASSERT_TRUE(qn::test::waitUntil([&] { return seen.size() >= 2; }, 5000));
    EXPECT_EQ(seen, (std::vector<QString>{QStringLiteral("'aevt'/'oapp'"), QStringLiteral("'QNts'/'Self'")}));
}

TEST(LaunchServices, LaunchDuringQuitStartsAFreshInstance)
{
    ReceiverFixture rx;
    const QString gate = qn::test::homeDir() + QStringLiteral("/cleanup-gate");
    QFile::remove(gate);
    ASSERT_EQ(::mkfifo(QFile::encodeName(gate).constData(), 0600), 0);
    ::setenv("QN_EVENT_CLEANUP_GATE", QFile::encodeName(gate).constData(), 1);
    ProcessSerialNumber old;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, nullptr, &old), noErr);
    ASSERT_TRUE(rx.waitForLines("aevt/oapp", 1));
    ::unsetenv("QN_EVENT_CLEANUP_GATE");
    AppleEvent quit(kCoreEventClass, kAEQuitApplication);
    ASSERT_EQ(sendEvent(quit, old), noErr);
    ASSERT_TRUE(rx.waitForLines("will-terminate", 1));  // the old one is cleaning up, held at the gate
    const AppleEvent eject = testEvent("Ejct", 5);
    ProcessSerialNumber fresh;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, &eject, &fresh), noErr);
    EXPECT_TRUE(old.isAlive());
    EXPECT_NE(fresh, old);
    ASSERT_TRUE(rx.waitForLines("QNts/Ejct", 1));
    EXPECT_EQ(rx.count("start"), 2);
    const int opener = ::open(QFile::encodeName(gate).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(opener, 0);
    EXPECT_EQ(::write(opener, "x", 1), 1);
    ::close(opener);
    EXPECT_TRUE(qn::test::waitUntil([&] { return !old.isAlive(); }, 5000));
    EXPECT_EQ(quitAndWait(fresh), noErr);
}

TEST(LaunchServices, NewInstanceFlagStartsASecondProcessBesideTheInstance)
{
    ReceiverFixture rx;
    ProcessSerialNumber first, extra, again;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, nullptr, &first), noErr);
    const AppleEvent one = testEvent("Ejct", 1), two = testEvent("Ejct", 2);
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults | kLSLaunchNewInstance, &one, &extra),
              noErr);
    EXPECT_NE(extra, first);
    // Ordinary launches still go to the instance that holds the role.
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, &two, &again), noErr);
    EXPECT_EQ(again, first);
    ASSERT_TRUE(rx.waitForLines("QNts/Ejct", 2));
    EXPECT_EQ(rx.count("start"), 2);
    EXPECT_EQ(rx.count("forwarded"), 0);
    EXPECT_EQ(quitAndWait(extra), noErr);
    EXPECT_EQ(quitAndWait(first), noErr);
}
