// SPDX-License-Identifier: MIT
#include "EventTestSupport.h"
#include "events/EventManager.h"
#include "events/EventTransport.h"
#include "events/RuntimeDirectory.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace qn::events;
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

// Connects to a process's socket and writes raw bytes; returns the reply
// status, or 1 when the receiver closed without one.
qint32 sendRaw(const ProcessSerialNumber& psn, const QByteArray& bytes, bool closeEarly = false)
{
    const QString path = transport::socketPath(runtimeDirectory(), psn);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, QFile::encodeName(path).constData(), sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return 2;
    }
    ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
    if (closeEarly) {
        ::close(fd);
        return 1;
    }
    qint32 reply = 0;
    const ssize_t n = ::recv(fd, &reply, sizeof reply, MSG_WAITALL);
    ::close(fd);
    return n == sizeof reply ? reply : 1;
}

QByteArray frame(const QByteArray& payload)
{
    const quint32 n = quint32(payload.size());
    return QByteArray(reinterpret_cast<const char*>(&n), 4) + payload;
}

}  // namespace

TEST(LaunchServices, InitialEventIsDispatchedFirstAndReplacesThePlainLaunch)
{
    ReceiverFixture rx;
    const AppleEvent eject = testEvent("Ejct", 3);
    ProcessSerialNumber psn;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, &eject, &psn), noErr);
    ASSERT_TRUE(psn.isAlive());
    ASSERT_TRUE(rx.waitForLines("QNts/", 1));
    // The launch's event was the first and only event; no 'oapp' at all.
    ASSERT_EQ(rx.eventLines().size(), 1);
    EXPECT_TRUE(rx.eventLines()[0].startsWith(loggedAs("Ejct", 3))) << rx.eventLines()[0].toStdString();
    EXPECT_EQ(rx.count("aevt/oapp"), 0);
    // The instance we were told about is the one that started.
    EXPECT_EQ(rx.startedInstances(), QList<ProcessSerialNumber>{psn});
    // Detached: not our child, in a session of its own.
    EXPECT_NE(::getsid(psn.pid()), ::getsid(0));
    EXPECT_EQ(quitAndWait(psn), noErr);
    EXPECT_FALSE(psn.isAlive());
}

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

TEST(LaunchServices, QuitPostsWillTerminateThenExits)
{
    ReceiverFixture rx;
    ProcessSerialNumber psn;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, nullptr, &psn), noErr);
    ASSERT_TRUE(rx.waitForLines("aevt/oapp", 1));
    EXPECT_EQ(quitAndWait(psn), noErr);
    EXPECT_FALSE(psn.isAlive());
    const auto lines = rx.lines();
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[lines.size() - 2], "will-terminate");
    EXPECT_EQ(lines.last(), "exit code=0");
}

TEST(LaunchServices, ProgramsOwnQuitHandlerRunsItsCleanUp)
{
    ReceiverFixture rx;
    ::setenv("QN_EVENT_CUSTOM_QUIT", "1", 1);
    ProcessSerialNumber psn;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, nullptr, &psn), noErr);
    ASSERT_TRUE(rx.waitForLines("aevt/oapp", 1));
    EXPECT_EQ(quitAndWait(psn), noErr);
    const auto lines = rx.lines();
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines[lines.size() - 4].startsWith("aevt/quit list:00000000")) << lines[lines.size() - 4].toStdString();
    EXPECT_TRUE(lines[lines.size() - 4].endsWith("custom"));
    EXPECT_EQ(lines[lines.size() - 3], "cleanup");
    EXPECT_EQ(lines[lines.size() - 2], "will-terminate");
    EXPECT_EQ(lines.last(), "exit code=0");
}

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

TEST(LaunchServices, MalformedMessagesAreDroppedWhileTheProgramKeepsServing)
{
    ReceiverFixture rx;
    ProcessSerialNumber psn;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, nullptr, &psn), noErr);
    ASSERT_TRUE(rx.waitForLines("aevt/oapp", 1));

    const QByteArray valid = testEvent("Good", 9).encode();
    EXPECT_EQ(sendRaw(psn, frame("hello, not an event")), errAECorruptData);
    EXPECT_EQ(sendRaw(psn, frame(valid + 'x')), errAECorruptData);      // trailing byte
    EXPECT_EQ(sendRaw(psn, frame(valid.left(valid.size() - 1)) ), errAECorruptData);  // one byte short
    EXPECT_EQ(sendRaw(psn, QByteArray("\xff\xff\xff\x7f", 4)), errAECorruptData);  // absurd length
    EXPECT_EQ(sendRaw(psn, QByteArray(4, '\0')), errAECorruptData);       // empty message
    EXPECT_EQ(sendRaw(psn, frame(valid) + "extra"), errAECorruptData);    // two messages in one
    sendRaw(psn, frame(valid).left(10), true);                            // truncated, then gone
    EXPECT_EQ(sendRaw(psn, frame(QByteArray(1000, '\x01'))), errAECorruptData);

    EXPECT_EQ(sendEvent(testEvent("Good", 10), psn), noErr);
    ASSERT_TRUE(rx.waitForLines("QNts/", 1));
    const auto events = rx.eventLines();
    ASSERT_EQ(events.size(), 2);  // 'oapp' and the one good event
    EXPECT_TRUE(events[1].startsWith(loggedAs("Good", 10)));
    EXPECT_TRUE(psn.isAlive());
    EXPECT_EQ(quitAndWait(psn), noErr);
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
    const QString socket = transport::socketPath(dir, psn);
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
    // signals, and where stdin and stderr lead.
    const QString script = qn::test::homeDir() + QStringLiteral("/report-start.sh");
    const QString out = qn::test::homeDir() + QStringLiteral("/report-start.out");
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n"
                "{ grep -E '^(PPid|SigBlk|SigIgn):' /proc/$$/status; readlink /proc/$$/fd/0 /proc/$$/fd/2; }"
                " > \"$QN_TEST_START_OUT.tmp\"\n"
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
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, &eject, &psn), noErr);
    // Far below the hand-over time-out: the program answered when its loop began.
    EXPECT_LT(clock.elapsed(), LaunchServices::kHandOverTimeoutMs / 2);
    EXPECT_EQ(rx.count("start-bare"), 1);
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
    ::setenv("QN_EVENT_SLOW_CLEANUP_MS", "1500", 1);
    ProcessSerialNumber old;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, nullptr, &old), noErr);
    ASSERT_TRUE(rx.waitForLines("aevt/oapp", 1));
    AppleEvent quit(kCoreEventClass, kAEQuitApplication);
    ASSERT_EQ(sendEvent(quit, old), noErr);
    ASSERT_TRUE(rx.waitForLines("will-terminate", 1));  // the old one is cleaning up
    ::unsetenv("QN_EVENT_SLOW_CLEANUP_MS");
    const AppleEvent eject = testEvent("Ejct", 5);
    ProcessSerialNumber fresh;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults, &eject, &fresh), noErr);
    EXPECT_NE(fresh, old);
    ASSERT_TRUE(rx.waitForLines("QNts/Ejct", 1));
    EXPECT_EQ(rx.count("start"), 2);
    EXPECT_TRUE(qn::test::waitUntil([&] { return !old.isAlive(); }, 5000));
    EXPECT_EQ(quitAndWait(fresh), noErr);
}

TEST(LaunchServices, AsynchronousLaunchStillDeliversTheEventFirst)
{
    ReceiverFixture rx;
    const AppleEvent eject = testEvent("Ejct", 8);
    ProcessSerialNumber psn;
    ASSERT_EQ(LaunchServices::openApplication(rx.program(), kLSLaunchDefaults | kLSLaunchAsync, &eject, &psn), noErr);
    ASSERT_FALSE(psn.isNull());
    ASSERT_TRUE(rx.waitForLines("QNts/Ejct", 1));
    ASSERT_EQ(rx.eventLines().size(), 1);
    EXPECT_EQ(rx.count("aevt/oapp"), 0);
    ASSERT_TRUE(qn::test::waitUntil([&] { return !LaunchServices::runningInstance(rx.program()).isNull(); }));
    EXPECT_EQ(LaunchServices::runningInstance(rx.program()), psn);
    EXPECT_EQ(quitAndWait(psn), noErr);
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
