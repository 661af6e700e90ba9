// SPDX-License-Identifier: MIT
// Real processes end to end: a tracked program crashes (or ends otherwise),
// the observer notices, the reporter shows its windows (answered through the
// alert hook) and posts the report to PHP's own form decoder.
#include "HttpTestServer.h"
#include "process/ProcessTable.h"
#include "QNCrashLogFile.h"
#include "PrivateSessionBus.h"
#include "TestSupport.h"
#include "defaults/UserDefaults.h"
#include "events/LaunchServices.h"
#include "plist/PropertyList.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <optional>
#include <utility>
#include <vector>

using namespace qn::events;

namespace {

QString home(const QString& rel)
{
    return qn::test::homeDir() + QLatin1Char('/') + rel;
}

QString crasherPath()
{
    return qn::test::testBinDir() + QStringLiteral("/qn_test_crasher");
}

QString reporterPath()
{
    return qn::test::stageDir() + QStringLiteral("/libexec/qnlab/QNCrashReporter");
}

QString crasherLog()
{
    return QNCrashLogFile::crashLogFilePathForApplicationName(QStringLiteral("qn_test_crasher"));
}

qsizetype entryCount(const QString& path)
{
    QNCrashLogFile log(path);
    return log.crashEntries() ? log.crashEntries()->size() : 0;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QList<QJsonObject> shown()
{
    QList<QJsonObject> out;
    QFile f(home(QStringLiteral("shown.jsonl")));
    if (!f.open(QIODevice::ReadOnly))
        return out;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        if (!line.isEmpty())
            out << QJsonDocument::fromJson(line).object();
    }
    return out;
}

// Live reporters started for this test: they inherit its QNLAB_TEST_SHOWN
// (a zombie's environment reads empty; other programs' reporters differ).
int reportersOfThisTest()
{
    pid_t pids[64];
    size_t count = 0;
    qn::process::allPidsForName("QNCrashReporter", pids, 64, &count);
    const QByteArray mine = "QNLAB_TEST_SHOWN=" + qgetenv("QNLAB_TEST_SHOWN");
    int found = 0;
    for (size_t i = 0; i < std::min<size_t>(count, 64); ++i) {
        QFile environ(QStringLiteral("/proc/%1/environ").arg(pids[i]));
        if (environ.open(QIODevice::ReadOnly) && environ.readAll().split('\0').contains(mine))
            ++found;
    }
    return found;
}

QStringList shownKinds()
{
    QStringList kinds;
    for (const QJsonObject& o : shown())
        kinds << o.value("kind").toString();
    return kinds;
}

QList<QJsonObject> shownOfKind(const QString& kind)
{
    QList<QJsonObject> out;
    for (const QJsonObject& o : shown()) {
        if (o.value(QStringLiteral("kind")).toString() == kind)
            out << o;
    }
    return out;
}

bool pidGone(pid_t pid)
{
    std::optional<ProcessSerialNumber> psn = ProcessSerialNumber::forPid(pid);
    return !psn || !psn->isAlive();
}

// The target-info a reporter is handed; no path key when path is empty.
QVariantMap targetInfo(const QString& name, const QString& path)
{
    QVariantMap info{{QStringLiteral("kQNCrashReporterTargetNameKey"), name}};
    if (!path.isEmpty())
        info.insert(QStringLiteral("kQNCrashReporterTargetPathKey"), path);
    return info;
}

AppleEvent setTargetEvent(const QString& name, const QString& path)
{
    AppleEvent event(fourCC("QNcr"), fourCC("SetT"));
    event.putParam(keyDirectObject, Descriptor::fromUtf8Text(QString::fromUtf8(
                                        qn::plist::write(targetInfo(name, path), qn::plist::Format::Xml))));
    return event;
}

void endIfRunning(QProcess& process)
{
    if (process.state() != QProcess::NotRunning) {
        ::kill(pid_t(process.processId()), SIGKILL);
        process.waitForFinished();
    }
}

QVariantMap decodeForm(const QByteArray& body)
{
    QVariantMap out;
    for (const QByteArray& pair : body.split('&')) {
        const qsizetype eq = pair.indexOf('=');
        out.insert(QString::fromUtf8(QByteArray::fromPercentEncoding(pair.left(eq))),
                   QString::fromUtf8(QByteArray::fromPercentEncoding(pair.mid(eq + 1))));
    }
    return out;
}

class CrashEndToEnd : public ::testing::Test {
protected:
    static inline PhpFormServer* php = nullptr;

    static void SetUpTestSuite() { php = new PhpFormServer(home(QStringLiteral("php"))); }
    static void TearDownTestSuite()
    {
        delete php;
        php = nullptr;
    }

    void SetUp() override
    {
        for (const char* f : {"answers.jsonl", "shown.jsonl", "php/received.json"})
            QFile::remove(home(QString::fromLatin1(f)));
        qputenv("QNLAB_TEST_ANSWERS", QFile::encodeName(home(QStringLiteral("answers.jsonl"))));
        qputenv("QNLAB_TEST_SHOWN", QFile::encodeName(home(QStringLiteral("shown.jsonl"))));
        setReportURL(php->url().toString());
    }

    void TearDown() override
    {
        // Programs the test caused to start are ended by pid if still running.
        for (const QJsonObject& o : shown()) {
            const pid_t pid = pid_t(o.value(QStringLiteral("pid")).toInteger());
            if (pid > 0 && !pidGone(pid))
                ::kill(pid, SIGKILL);
        }
        for (pid_t pid : started) {
            if (pid > 0 && !pidGone(pid))
                ::kill(pid, SIGKILL);
        }
        qunsetenv("QNLAB_TEST_ANSWERS");
        qunsetenv("QNLAB_TEST_SHOWN");
        qunsetenv("QN_CRASHER_MARK");
        reporterDefaults().removeObject(QStringLiteral("ReportTimeout"));
    }

    static qn::UserDefaults reporterDefaults() { return qn::UserDefaults(QStringLiteral("com.qnlab.QNCrashReporter")); }
    static void setReportURL(const QString& url) { reporterDefaults().setObject(url, QStringLiteral("ReportURL")); }
    static void setReportTimeout(int seconds) { reporterDefaults().setObject(seconds, QStringLiteral("ReportTimeout")); }

    void answers(const QList<QJsonObject>& list)
    {
        QByteArray bytes;
        for (const QJsonObject& o : list)
            bytes += QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
        writeFile(home(QStringLiteral("answers.jsonl")), bytes);
    }

    /// Runs the crasher; remembers the observer's pid.
    qn::test::ProcessResult runCrasher(const QString& mode, pid_t* observer = nullptr)
    {
        qn::test::ProcessResult r = qn::test::runProcess(crasherPath(), {mode}, 30000);
        const qsizetype at = r.out.indexOf("observer=");
        const pid_t pid = at < 0 ? 0 : pid_t(r.out.mid(at + 9).split('\n').value(0).toLong());
        started << pid;
        if (observer)
            *observer = pid;
        EXPECT_TRUE(r.out.contains("tracking=1")) << r.out.constData() << r.err.constData();
        return r;
    }

    /// Launches the reporter directly with a target-info event.
    pid_t launchReporter(const QString& name, const QString& path = crasherPath())
    {
        AppleEvent event = setTargetEvent(name, path);
        ProcessSerialNumber psn;
        EXPECT_EQ(LaunchServices::openApplication(reporterPath(), kLSLaunchDefaults, &event, &psn), noErr);
        started << psn.pid();
        return psn.pid();
    }

    QList<pid_t> started;
};

const QJsonObject kShowReport{{"kind", "NotifyWindow"}, {"button", "Show Report"}};
const QJsonObject kCloseNotify{{"kind", "NotifyWindow"}, {"button", "Close"}};

struct CrashMode {
    const char* mode;
    int signal;
    const char* signalLine;
    const char* symbolisedFrame;  // a line of the symbolised backtrace starts with it
};

class CrashModes : public CrashEndToEnd, public ::testing::WithParamInterface<CrashMode> {};

TEST_P(CrashModes, CrashIsRecordedReportedAndPostedIntact)
{
    if (!php->ok())
        GTEST_SKIP() << "php-cli is not installed or does not start";
    const QString comment = QStringLiteral("I pressed a&b=c+d %20 100%\nthen \"this\" ~*");
    answers({kShowReport, QJsonObject{{"kind", "ReportWindow"}, {"button", "Send"}, {"comment", comment}}});
    const qsizetype before = entryCount(crasherLog());

    const qn::test::ProcessResult r = runCrasher(QString::fromLatin1(GetParam().mode));
    EXPECT_EQ(r.signal, GetParam().signal);
    EXPECT_EQ(entryCount(crasherLog()), before + 1);

    const QString received = php->received;
    ASSERT_TRUE(qn::test::waitUntil([&] { return QFile::exists(received); }, 20000)) << "nothing was posted";
    QNCrashLogFile log(crasherLog());
    ASSERT_TRUE(log.crashEntries().has_value());
    const QString entry = log.crashEntries()->last();
    EXPECT_TRUE(entry.startsWith(QStringLiteral("Date/Time:")));
    EXPECT_TRUE(entry.contains(QString::fromLatin1(GetParam().signalLine))) << entry.toStdString();
    EXPECT_TRUE(entry.contains(QStringLiteral("Command:        qn_test_crasher")));
    EXPECT_TRUE(entry.contains(QStringLiteral("Backtrace:")));

    QFile f(received);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonObject form = QJsonDocument::fromJson(f.readAll()).object();
    // The entry as recorded, then its frames made readable.
    const QString sent = form.value("report").toString();
    EXPECT_TRUE(sent.startsWith(entry));
    const QString symbolised = sent.mid(entry.size());
    EXPECT_TRUE(symbolised.startsWith(QStringLiteral("\nSymbolised backtrace:\n"))) << symbolised.toStdString();
    EXPECT_TRUE(symbolised.contains(QLatin1Char('\n') + QString::fromLatin1(GetParam().symbolisedFrame)))
        << symbolised.toStdString();
    EXPECT_EQ(symbolised.count(QLatin1Char('\n')) - 2, qsizetype(entry.section(QStringLiteral("Backtrace:\n"), 1).count(QLatin1Char('\n'))))
        << "one symbolised line per frame";
    EXPECT_EQ(form.value("userComment").toString(), comment);
    EXPECT_EQ(form.value("programName").toString(), QStringLiteral("qn_test_crasher"));

    const QList<QJsonObject> notify = shownOfKind(QStringLiteral("NotifyWindow"));
    ASSERT_EQ(notify.size(), 1);  // one reporter per crash
    EXPECT_TRUE(notify.first().value("message").toString().contains(QStringLiteral("qn_test_crasher")));
    const QList<QJsonObject> report = shownOfKind(QStringLiteral("ReportWindow"));
    ASSERT_EQ(report.size(), 1);
    EXPECT_EQ(report.first().value("message").toString(), sent);
    // A successful send ends the reporter.
    const pid_t reporter = pid_t(report.first().value("pid").toInteger());
    EXPECT_TRUE(qn::test::waitUntil([&] { return pidGone(reporter); }, 10000));
}

INSTANTIATE_TEST_SUITE_P(Signals, CrashModes,
                         ::testing::Values(CrashMode{"segv", SIGSEGV, "Signal:         SIGSEGV (11)", "crashWithSegv() (Crasher.cpp:"},
                                           CrashMode{"abort", SIGABRT, "Signal:         SIGABRT (6)", "(anonymous namespace)::act(QByteArray const&) "},
                                           CrashMode{"fpe", SIGFPE, "Code:           FPE_INTDIV", "(anonymous namespace)::act(QByteArray const&) "},
                                           CrashMode{"stack", SIGSEGV, "Signal:         SIGSEGV (11)", "recurse(int) (Crasher.cpp:"},
                                           CrashMode{"thread", SIGSEGV, "SEGV_MAPERR", "crashWithSegv() (Crasher.cpp:"},
                                           // A QThread started after tracking began gets its
                                           // alternate stack from the kit's thread-start hook.
                                           CrashMode{"thread-overflow", SIGSEGV, "Signal:         SIGSEGV (11)", "recurse(int) (Crasher.cpp:"}),
                         [](const auto& info) {
                             std::string name = info.param.mode;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// Run by hand with QN_TOGETHER_RUNS=300 for a longer series.
TEST_F(CrashEndToEnd, ThreadsFaultingTogetherWriteOneEntryPerCrash)
{
    const int runs = qEnvironmentVariableIsSet("QN_TOGETHER_RUNS") ? qEnvironmentVariableIntValue("QN_TOGETHER_RUNS") : 50;
    const qsizetype before = entryCount(crasherLog());
    int bySignal = 0;
    for (int i = 0; i < runs; ++i) {
        const qn::test::ProcessResult r = qn::test::runProcess(crasherPath(), {QStringLiteral("together")}, 20000,
                                                               {QStringLiteral("QN_CRASHER_RECORD_ONLY=1")});
        ASSERT_TRUE(r.out.contains("armed=1")) << r.out.constData() << r.err.constData();
        if (r.signal == SIGSEGV)
            ++bySignal;
    }
    EXPECT_EQ(bySignal, runs);
    EXPECT_EQ(entryCount(crasherLog()), before + runs);
    QNCrashLogFile log(crasherLog());
    for (qsizetype i = before; i < log.crashEntries()->size(); ++i)
        EXPECT_TRUE(log.crashEntries()->at(i).contains(QStringLiteral("crashWithSegv")));
}

// Run by hand with QN_EARLY_RUNS=100 for a longer series.
TEST_F(CrashEndToEnd, CrashRightAfterTrackingBeganIsReportedAndNoObserverStays)
{
    const int runs = qEnvironmentVariableIsSet("QN_EARLY_RUNS") ? qEnvironmentVariableIntValue("QN_EARLY_RUNS") : 20;
    answers({kCloseNotify});
    const qsizetype before = entryCount(crasherLog());
    QList<pid_t> observers;
    for (int i = 0; i < runs; ++i) {
        pid_t observer = 0;
        const qn::test::ProcessResult r = runCrasher(QStringLiteral("early"), &observer);
        ASSERT_EQ(r.signal, SIGSEGV);
        ASSERT_GT(observer, 0);
        observers << observer;
        ASSERT_TRUE(qn::test::waitUntil([&] { return shownOfKind(QStringLiteral("NotifyWindow")).size() == i + 1; },
                                        15000))
            << "no report for crash " << i + 1;
        const pid_t reporter = pid_t(shownOfKind(QStringLiteral("NotifyWindow")).last().value("pid").toInteger());
        ASSERT_TRUE(qn::test::waitUntil([&] { return pidGone(observer) && pidGone(reporter); }, 15000))
            << "the observer or reporter of crash " << i + 1 << " stayed";
    }
    EXPECT_EQ(entryCount(crasherLog()), before + runs);
    for (const QJsonObject& o : shownOfKind(QStringLiteral("NotifyWindow")))
        EXPECT_TRUE(o.value("message").toString().contains(QStringLiteral("qn_test_crasher")));
    EXPECT_EQ(std::count_if(observers.begin(), observers.end(), [](pid_t pid) { return !pidGone(pid); }), 0);
}

TEST_F(CrashEndToEnd, EachTrackedProgramHasItsOwnObserver)
{
    answers({kCloseNotify});
    // The second program crashes after the first has quit normally.
    QProcess crashing;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QN_CRASHER_DELAY_MS"), QStringLiteral("3000"));
    crashing.setProcessEnvironment(env);
    crashing.start(crasherPath(), {QStringLiteral("segv")});
    ASSERT_TRUE(crashing.waitForStarted());
    started << pid_t(crashing.processId());
    QByteArray out;
    ASSERT_TRUE(qn::test::waitUntil([&] {
        out += crashing.readAllStandardOutput();
        return out.contains("observer=") && out.endsWith('\n');
    }, 10000));
    const pid_t crashingObserver = pid_t(out.mid(out.indexOf("observer=") + 9).split('\n').value(0).toLong());
    started << crashingObserver;

    pid_t quittingObserver = 0;
    const qn::test::ProcessResult quit = runCrasher(QStringLiteral("quit"), &quittingObserver);
    EXPECT_EQ(quit.exitCode, 0);
    EXPECT_NE(quittingObserver, crashingObserver);
    EXPECT_TRUE(qn::test::waitUntil([&] { return pidGone(quittingObserver); }, 5000));
    EXPECT_FALSE(pidGone(crashingObserver)) << "quitting one program stopped the other's observer";

    ASSERT_TRUE(crashing.waitForFinished(15000));
    EXPECT_EQ(crashing.exitStatus(), QProcess::CrashExit);
    ASSERT_TRUE(qn::test::waitUntil([] { return !shownOfKind(QStringLiteral("NotifyWindow")).isEmpty(); }, 15000))
        << "the crash of the second program was not reported";
    EXPECT_TRUE(shownOfKind(QStringLiteral("NotifyWindow")).first().value("message").toString().contains(
        QStringLiteral("qn_test_crasher")));
    EXPECT_TRUE(qn::test::waitUntil([&] { return pidGone(crashingObserver); }, 10000));
}

struct QuietEnd {
    const char* mode;
    int exitCode;
    int signal;
    int observerGoneWithinMs;
};

class QuietEnds : public CrashEndToEnd, public ::testing::WithParamInterface<QuietEnd> {};

TEST_P(QuietEnds, NoEntryNoReporterObserverEnds)
{
    answers({kShowReport});
    const qsizetype before = entryCount(crasherLog());
    pid_t observer = 0;
    const qn::test::ProcessResult r = runCrasher(QString::fromLatin1(GetParam().mode), &observer);
    EXPECT_EQ(r.exitCode, GetParam().exitCode);
    EXPECT_EQ(r.signal, GetParam().signal);
    ASSERT_GT(observer, 0);
    EXPECT_TRUE(qn::test::waitUntil([&] { return pidGone(observer); }, GetParam().observerGoneWithinMs))
        << "the observer did not end";
    EXPECT_EQ(entryCount(crasherLog()), before);
    // The observer launches a reporter before it ends: with the observer gone,
    // none runs and none has shown anything.
    EXPECT_EQ(reportersOfThisTest(), 0);
    EXPECT_TRUE(shownOfKind(QStringLiteral("NotifyWindow")).isEmpty());
}

// A normal quit makes the kit stop the observer at once; the other ends are
// noticed and wait out the 5 s crash-log time-out.
INSTANTIATE_TEST_SUITE_P(Ends, QuietEnds,
                         ::testing::Values(QuietEnd{"quit", 0, 0, 3000}, QuietEnd{"exit1", 1, 0, 12000},
                                           QuietEnd{"sigterm", -1, SIGTERM, 12000},
                                           QuietEnd{"sigkill", -1, SIGKILL, 12000}),
                         [](const auto& info) { return std::string(info.param.mode); });

TEST_F(CrashEndToEnd, NotificationProcessIsEndedBeforeTheReporterStarts)
{
    if (!php->ok())
        GTEST_SKIP() << "php-cli is not installed or does not start";
    // A stand-in process carrying the system dialog's name.
    const QString fake = home(QStringLiteral("bin/UserNotificationCenter"));
    QDir().mkpath(QFileInfo(fake).absolutePath());
    QFile::remove(fake);
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), fake));
    QFile::setPermissions(fake, QFile::ReadOwner | QFile::ExeOwner);
    QProcess dialog;
    dialog.start(fake, {QStringLiteral("60")});
    ASSERT_TRUE(dialog.waitForStarted());
    answers({kCloseNotify});

    runCrasher(QStringLiteral("segv"));
    EXPECT_TRUE(dialog.waitForFinished(10000));
    EXPECT_EQ(dialog.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(dialog.exitCode(), SIGTERM);
    EXPECT_TRUE(qn::test::waitUntil([] { return !shownOfKind(QStringLiteral("NotifyWindow")).isEmpty(); }, 10000));
    endIfRunning(dialog);
}

TEST_F(CrashEndToEnd, AnotherUsersNotificationProcessIsNeitherEndedNorWaitedFor)
{
    if (::geteuid() != 0 || !QFile::exists(QStringLiteral("/usr/bin/setpriv")))
        GTEST_SKIP() << "starting a process of another user needs root and setpriv";
    // Outside our private home, which the other user cannot enter.
    QTemporaryDir dir(QStringLiteral("/tmp/qn-other-user-XXXXXX"));
    ASSERT_TRUE(dir.isValid());
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                                          | QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
    const QString fake = dir.filePath(QStringLiteral("UserNotificationCenter"));
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), fake));
    QFile::setPermissions(fake, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    QProcess other;
    other.start(QStringLiteral("/usr/bin/setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                                     QStringLiteral("--clear-groups"), fake, QStringLiteral("60")});
    ASSERT_TRUE(other.waitForStarted());
    ASSERT_TRUE(qn::test::waitUntil([] { return qn::process::pidForName("UserNotificationCenter") > 0; }, 5000));
    answers({kCloseNotify});

    runCrasher(QStringLiteral("segv"));
    EXPECT_TRUE(qn::test::waitUntil([] { return !shownOfKind(QStringLiteral("NotifyWindow")).isEmpty(); }, 10000))
        << "another user's process held the report back";
    EXPECT_EQ(other.state(), QProcess::Running) << "another user's process was ended";
    endIfRunning(other);
}

TEST_F(CrashEndToEnd, ReporterWithoutPathShowsNoWindowAndQuitsOnRequest)
{
    const pid_t pid = launchReporter(QStringLiteral("SomeApp"), {});
    ASSERT_GT(pid, 0);
    EXPECT_FALSE(pidGone(pid));
    AppleEvent quit(kCoreEventClass, kAEQuitApplication);
    EXPECT_EQ(sendEvent(quit, *ProcessSerialNumber::forPid(pid)), noErr);
    EXPECT_TRUE(qn::test::waitUntil([&] { return pidGone(pid); }, 5000));
    // It handled the quit after its start-up, so a window it would show has been shown.
    EXPECT_TRUE(shown().isEmpty());
}

TEST_F(CrashEndToEnd, ReportShowsNewestOfThreeAndAServerErrorStillEndsTheReporter)
{
    TinyHttpServer server;
    server.status = 500;
    setReportURL(server.url().toString());
    QFile::remove(QNCrashLogFile::crashLogFilePathForApplicationName(QStringLiteral("SomeApp")));
    QDir().mkpath(QFileInfo(QNCrashLogFile::crashLogFilePathForApplicationName(QStringLiteral("SomeApp"))).path());
    ASSERT_TRUE(QFile::copy(qn::test::dataPath(QStringLiteral("crash/three-crashes.crash.log")),
                            QNCrashLogFile::crashLogFilePathForApplicationName(QStringLiteral("SomeApp"))));
    answers({kShowReport, QJsonObject{{"kind", "ReportWindow"}, {"button", "Send"}}});
    const pid_t pid = launchReporter(QStringLiteral("SomeApp"));
    ASSERT_TRUE(qn::test::waitUntil([&] { return pidGone(pid); }, 10000));
    ASSERT_EQ(server.requests.size(), 1);
    const QVariantMap form = decodeForm(server.requests.first().body);
    QNCrashLogFile log(qn::test::dataPath(QStringLiteral("crash/three-crashes.crash.log")));
    EXPECT_EQ(form.value("report").toString(), log.crashEntries()->at(2));
    EXPECT_EQ(form.value("userComment").toString(), QStringLiteral(" "));
    EXPECT_EQ(form.value("programName").toString(), QStringLiteral("SomeApp"));
    const QList<QJsonObject> report = shownOfKind(QStringLiteral("ReportWindow"));
    ASSERT_EQ(report.size(), 1);
    EXPECT_TRUE(report.first().value("message").toString().startsWith(QStringLiteral("Date/Time")));
    EXPECT_TRUE(report.first().value("message").toString().contains(QStringLiteral("3003")));
}

TEST_F(CrashEndToEnd, ClosingTheReportWindowEndsTheReporterWithoutSending)
{
    TinyHttpServer server;
    setReportURL(server.url().toString());
    answers({kShowReport, QJsonObject{{"kind", "ReportWindow"}, {"button", "Close"}}});
    const pid_t pid = launchReporter(QStringLiteral("SomeApp"));
    EXPECT_TRUE(qn::test::waitUntil([&] { return pidGone(pid); }, 10000));
    EXPECT_EQ(shownOfKind(QStringLiteral("ReportWindow")).size(), 1);
    EXPECT_TRUE(server.requests.isEmpty());
}

TEST_F(CrashEndToEnd, ReopenStartsTheTargetAgainAndEndsTheReporter)
{
    const QString mark = home(QStringLiteral("relaunched.mark"));
    QFile::remove(mark);
    qputenv("QN_CRASHER_MARK", QFile::encodeName(mark));
    answers({QJsonObject{{"kind", "NotifyWindow"}, {"button", "Reopen"}}});
    const pid_t pid = launchReporter(QStringLiteral("qn_test_crasher"));
    EXPECT_TRUE(qn::test::waitUntil([&] { return QFile::exists(mark); }, 10000));
    EXPECT_TRUE(qn::test::waitUntil([&] { return pidGone(pid); }, 10000));
}

// The report window is offered again only after its buttons were enabled
// again; closing it then ends the reporter. The alert's text is returned.
QString alertThenWindowAgain(pid_t reporter)
{
    EXPECT_TRUE(qn::test::waitUntil([&] { return pidGone(reporter); }, 15000)) << "the reporter hangs";
    EXPECT_EQ(shownKinds(), (QStringList{"NotifyWindow", "ReportWindow", "Alert", "ReportWindow"}));
    const QList<QJsonObject> alerts = shownOfKind(QStringLiteral("Alert"));
    EXPECT_EQ(alerts.size(), 1);
    return alerts.value(0).value("message").toString();
}

TEST_F(CrashEndToEnd, FailedSendShowsTheErrorAndReenablesTheButtons)
{
    QTcpServer probe;
    probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
    setReportURL(QStringLiteral("http://127.0.0.1:%1/crashreport_send.php").arg(probe.serverPort()));
    probe.close();  // nothing listens there any more
    answers({kShowReport, QJsonObject{{"kind", "ReportWindow"}, {"button", "Send"}},
             QJsonObject{{"kind", "Alert"}, {"button", 0}}, QJsonObject{{"kind", "ReportWindow"}, {"button", "Close"}}});
    EXPECT_FALSE(alertThenWindowAgain(launchReporter(QStringLiteral("SomeApp"))).isEmpty());
}

TEST_F(CrashEndToEnd, ServerThatNeverAnswersTimesOutAndTheWindowIsUsableAgain)
{
    TinyHttpServer server;
    server.holdRequests = true;  // accepts and reads, never answers
    setReportURL(server.url().toString());
    setReportTimeout(1);
    answers({kShowReport, QJsonObject{{"kind", "ReportWindow"}, {"button", "Send"}},
             QJsonObject{{"kind", "Alert"}, {"button", "No"}}, QJsonObject{{"kind", "ReportWindow"}, {"button", "Close"}}});
    const QString message = alertThenWindowAgain(launchReporter(QStringLiteral("SomeApp")));
    EXPECT_TRUE(message.contains(QStringLiteral("did not answer within 1 seconds"))) << message.toStdString();
    EXPECT_EQ(server.requests.size(), 1);
}

// Sets the locale variables for programs started while it lives.
struct LocaleEnvironment {
    explicit LocaleEnvironment(const QByteArray& lang)
    {
        for (const char* name : kNames) {
            saved.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
            qunsetenv(name);
        }
        qputenv("LANG", lang);
    }
    ~LocaleEnvironment()
    {
        for (const auto& [name, value] : saved) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }
    static constexpr const char* kNames[] = {"LANG", "LC_ALL", "LC_MESSAGES", "LANGUAGE"};
    std::vector<std::pair<const char*, std::optional<QByteArray>>> saved;
};

// The windows, the buttons and the network client's error all come in the
// desktop's language; the scripted answers pick buttons by position.
TEST_F(CrashEndToEnd, GermanDesktopSeesWindowsButtonsAndNetworkErrorInGerman)
{
    TinyHttpServer server;
    server.holdRequests = true;
    setReportURL(server.url().toString());
    setReportTimeout(1);
    answers({QJsonObject{{"kind", "NotifyWindow"}, {"button", 1}}, QJsonObject{{"kind", "ReportWindow"}, {"button", 1}},
             QJsonObject{{"kind", "Alert"}, {"button", 1}}, QJsonObject{{"kind", "ReportWindow"}, {"button", 0}}});
    pid_t pid = 0;
    {
        const LocaleEnvironment german("de_DE.UTF-8");
        pid = launchReporter(QStringLiteral("SomeApp"));
    }
    ASSERT_TRUE(qn::test::waitUntil([&] { return pidGone(pid); }, 15000));

    const QList<QJsonObject> notify = shownOfKind(QStringLiteral("NotifyWindow"));
    ASSERT_EQ(notify.size(), 1);
    EXPECT_EQ(notify.first().value("title").toString(), QStringLiteral("Absturzbericht"));
    EXPECT_EQ(notify.first().value("message").toString(), QStringLiteral("Das Programm SomeApp wurde unerwartet beendet."));
    EXPECT_EQ(notify.first().value("buttons").toVariant().toStringList(),
              (QStringList{QStringLiteral("Schließen"), QStringLiteral("Bericht anzeigen"), QStringLiteral("Erneut öffnen")}));
    const QList<QJsonObject> report = shownOfKind(QStringLiteral("ReportWindow"));
    ASSERT_EQ(report.size(), 2);
    EXPECT_EQ(report.first().value("title").toString(), QStringLiteral("Problembericht für SomeApp"));
    EXPECT_EQ(report.first().value("buttons").toVariant().toStringList(),
              (QStringList{QStringLiteral("Schließen"), QStringLiteral("Senden")}));
    const QList<QJsonObject> alerts = shownOfKind(QStringLiteral("Alert"));
    ASSERT_EQ(alerts.size(), 1);
    EXPECT_EQ(alerts.first().value("title").toString(), QStringLiteral("Absturzbericht"));
    EXPECT_TRUE(alerts.first().value("message").toString().contains(
        QStringLiteral("Der Server hat innerhalb von 1 Sekunden nicht geantwortet.")))
        << alerts.first().value("message").toString().toStdString();
    EXPECT_EQ(alerts.first().value("buttons").toVariant().toStringList(),
              (QStringList{QStringLiteral("Ja"), QStringLiteral("Nein")}));
}


// Starts the reporter directly without any display and hands it the target.
qn::test::ProcessResult runReporterWithoutDisplay(const QString& busAddress)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS"})
        env.remove(QString::fromLatin1(v));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
               busAddress.isEmpty() ? QStringLiteral("unix:path=/nonexistent/bus") : busAddress);
    QProcess reporter;
    reporter.setProcessEnvironment(env);
    reporter.start(reporterPath(), {});
    qn::test::ProcessResult r;
    if (!reporter.waitForStarted())
        return r;
    const ProcessSerialNumber psn = ProcessSerialNumber::forPid(pid_t(reporter.processId())).value_or(ProcessSerialNumber{});
    const AppleEvent event = setTargetEvent(QStringLiteral("SomeApp"), crasherPath());
    qn::test::waitUntil([&] { return sendEvent(event, psn, 1000) == noErr; }, 10000);
    r.timedOut = !reporter.waitForFinished(10000);
    endIfRunning(reporter);
    r.exitCode = reporter.exitStatus() == QProcess::NormalExit ? reporter.exitCode() : -1;
    r.signal = reporter.exitStatus() == QProcess::CrashExit ? reporter.exitCode() : 0;
    r.err = reporter.readAllStandardError();
    return r;
}

TEST_F(CrashEndToEnd, WithoutDisplayTheReporterSaysWhereTheReportIsAndEnds)
{
    const QString expected = QStringLiteral("a crash report for SomeApp is in %1")
                                 .arg(QNCrashLogFile::crashLogFilePathForApplicationName(QStringLiteral("SomeApp")));
    const qn::test::ProcessResult plain = runReporterWithoutDisplay({});
    EXPECT_FALSE(plain.timedOut);
    EXPECT_EQ(plain.exitCode, 0) << plain.err.constData();
    EXPECT_TRUE(QString::fromLocal8Bit(plain.err).contains(expected)) << plain.err.constData();

    // With a session bus that offers notifications, the same text is posted.
    const QString log = home(QStringLiteral("notifications.log"));
    QFile::remove(log);
    qn::test::ProcessResult withBus;
    {
        qn::test::PrivateSessionBus bus;
        QString why;
        if (!bus.start(&why) || !bus.startNotificationDaemon(log, &why))
            GTEST_SKIP() << why.toStdString();
        withBus = runReporterWithoutDisplay(bus.address());
    }
    EXPECT_EQ(withBus.exitCode, 0) << withBus.err.constData();
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString calls = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(calls.contains(QStringLiteral("Notify")) && calls.contains(expected)) << calls.toStdString();
}


TEST_F(CrashEndToEnd, SecondTargetWaitsItsTurnAndWindowManagerCloseEndsEachReport)
{
    QFile::remove(QNCrashLogFile::crashLogFilePathForApplicationName(QStringLiteral("FirstApp")));
    answers({QJsonObject{{"kind", "NotifyWindow"}, {"button", "Show Report"}},
             // The first report stays open until the second target has arrived.
             QJsonObject{{"kind", "ReportWindow"}, {"closeWindow", true}, {"afterMs", 1500}},
             QJsonObject{{"kind", "NotifyWindow"}, {"closeWindow", true}}});
    const pid_t pid = launchReporter(QStringLiteral("FirstApp"), QStringLiteral("/opt/first"));
    ASSERT_TRUE(qn::test::waitUntil([] { return !shownOfKind(QStringLiteral("ReportWindow")).isEmpty(); }, 10000));
    EXPECT_EQ(launchReporter(QStringLiteral("SecondApp"), QStringLiteral("/opt/second")),
              pid);  // delivered to the running reporter
    ASSERT_TRUE(qn::test::waitUntil([&] { return pidGone(pid); }, 15000))
        << "the reporter did not end after its windows were closed from the title bar";

    QStringList seen;
    for (const QJsonObject& o : shown())
        seen << o.value("kind").toString() + QLatin1Char(':') + o.value("title").toString() + QLatin1Char(':')
                + o.value("message").toString().section(QLatin1Char(' '), 0, 0);
    ASSERT_EQ(shown().size(), 3) << seen.join(QLatin1Char('\n')).toStdString();
    const QList<QJsonObject> notify = shownOfKind(QStringLiteral("NotifyWindow"));
    EXPECT_TRUE(notify.at(0).value("message").toString().contains(QStringLiteral("FirstApp")));
    EXPECT_TRUE(notify.at(1).value("message").toString().contains(QStringLiteral("SecondApp")));
    EXPECT_TRUE(shownOfKind(QStringLiteral("ReportWindow")).first().value("title").toString().contains(
        QStringLiteral("FirstApp")));
}

}  // namespace
