// SPDX-License-Identifier: MIT
#include "QNSubTask.h"
#include "TaskUtility.h"

#include "TestSupport.h"
#include "notify/NotificationCenter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class Collector : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void gotOutput(const QByteArray& data, const QVariant& context)
    {
        pieces.append(data);
        contexts.append(context);
        runningAtPiece.append(process && process->state() != QProcess::NotRunning);
    }
    QByteArray all() const { return pieces.join(); }

    QList<QByteArray> pieces;
    QVariantList contexts;
    QList<bool> runningAtPiece;
    std::shared_ptr<QProcess> process;
};

// Waits until every sub-task has cleaned up after its child.
bool allSubTasksGone() { return qn::test::waitUntil([] { return QNSubTask::liveCount() == 0; }, 10000); }

}  // namespace

TEST(TaskUtility, AProgramThatCannotStartGivesNullAndLeavesNothingRunning)
{
    ASSERT_TRUE(allSubTasksGone());
    Collector c;
    const QString dir = qn::test::homeDir();
    struct { QString line, wd; } cases[] = {
        {"/nonexistent/program -x", {}},
        {qn::test::homeDir(), {}},                           // a folder, not a program
        {"/bin/echo hi", dir + "/no/such/folder"},           // bad working directory
        {"echo bare-name", "/"},                             // never looked up in PATH
    };
    for (const auto& k : cases) {
        EXPECT_FALSE(TaskUtility::runCommandLine(k.line, k.wd, &c, "gotOutput", 1)) << k.line.toStdString();
        EXPECT_EQ(QNSubTask::preparedCount(), 0) << "a timer is still polling after " << k.line.toStdString();
    }
    EXPECT_TRUE(allSubTasksGone());
    // Blank and invalid lines start nothing at all.
    EXPECT_FALSE(TaskUtility::runCommandLine("  ", {}, &c, "gotOutput", 1));
    EXPECT_FALSE(TaskUtility::runCommandLine("/bin/echo \" \"", {}, &c, "gotOutput", 1));
    EXPECT_EQ(QNSubTask::liveCount(), 0);
    EXPECT_TRUE(c.pieces.isEmpty());
}

TEST(TaskUtility, OutputWrittenJustBeforeExitReachesTheTarget)
{
    Collector c;
    c.process = TaskUtility::runCommandLine("/bin/sh -c 'sleep 0.3; printf last-words; exit 3'", {}, &c,
                                            "gotOutput", QStringLiteral("ctx"));
    ASSERT_TRUE(c.process);
    ASSERT_TRUE(qn::test::waitUntil([&] { return c.process->state() == QProcess::NotRunning; }, 10000));
    ASSERT_TRUE(allSubTasksGone());
    EXPECT_EQ(c.all(), QByteArray("last-words"));
    EXPECT_EQ(c.process->exitCode(), 3);
    for (const QVariant& v : c.contexts)
        EXPECT_EQ(v, QVariant(QStringLiteral("ctx")));
    EXPECT_EQ(QNSubTask::preparedCount(), 0);
}

TEST(TaskUtility, PiecesArriveWhileTheChildRuns)
{
    Collector c;
    c.process = TaskUtility::runCommandLine("/bin/sh -c 'printf first; sleep 1; printf second'", {}, &c,
                                            "gotOutput", 7);
    ASSERT_TRUE(c.process);
    ASSERT_TRUE(qn::test::waitUntil([&] { return !c.pieces.isEmpty(); }, 5000));
    EXPECT_EQ(c.pieces.first(), QByteArray("first"));
    EXPECT_TRUE(c.runningAtPiece.first()) << "the first piece came only after the child ended";
    ASSERT_TRUE(allSubTasksGone());
    EXPECT_EQ(c.all(), QByteArray("firstsecond"));
    EXPECT_EQ(c.contexts.first(), QVariant(7));
}

TEST(TaskUtility, RunsInTheWorkingDirectoryAndBareNamesAreRelativeToIt)
{
    QTemporaryDir dir(qn::test::homeDir() + QStringLiteral("/wdXXXXXX"));
    ASSERT_TRUE(dir.isValid());
    const QString script = dir.filePath(QStringLiteral("tool.sh"));
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\npwd\necho \"$#:$1\"\n");
    }
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Collector c;
    c.process = TaskUtility::runCommandLine("tool.sh 'one arg'", dir.path(), &c, "gotOutput", {});
    ASSERT_TRUE(c.process);
    ASSERT_TRUE(allSubTasksGone());
    EXPECT_EQ(c.all(), QDir(dir.path()).canonicalPath().toUtf8() + "\n1:one arg\n");
}

TEST(QNSubTask, EndsOfOtherTasksAreIgnored)
{
    Collector slow, quick;
    slow.process = TaskUtility::runCommandLine("/bin/sh -c 'sleep 1.5; printf slow'", {}, &slow, "gotOutput", {});
    quick.process = TaskUtility::runCommandLine("/bin/echo quick", {}, &quick, "gotOutput", {});
    ASSERT_TRUE(slow.process && quick.process);
    ASSERT_TRUE(qn::test::waitUntil([&] { return quick.process->state() == QProcess::NotRunning; }));
    ASSERT_TRUE(qn::test::waitUntil([] { return QNSubTask::liveCount() == 1; }));
    // A stranger's termination notice changes nothing either.
    int stranger = 0;
    qn::NotificationCenter::defaultCenter().post(kQNTaskDidTerminateNotification, &stranger);
    EXPECT_EQ(QNSubTask::preparedCount(), 1);
    ASSERT_TRUE(allSubTasksGone());
    EXPECT_EQ(quick.all(), QByteArray("quick\n"));
    EXPECT_EQ(slow.all(), QByteArray("slow"));
}

TEST(QNSubTask, ATargetDestroyedMidRunIsNoLongerCalled)
{
    auto* c = new Collector;
    auto process = TaskUtility::runCommandLine("/bin/sh -c 'sleep 0.4; printf late'", {}, c, "gotOutput", {});
    ASSERT_TRUE(process);
    delete c;
    ASSERT_TRUE(allSubTasksGone());
    EXPECT_EQ(process->exitCode(), 0);
}

TEST(QNSubTask, SettersKeepValuesAndANewTaskGetsItsOutputCaptured)
{
    QNSubTask t;
    EXPECT_FALSE(t.stdoutTarget());
    EXPECT_TRUE(t.stdoutSelector().isEmpty());
    EXPECT_FALSE(t.task());
    Collector c;
    t.setStdoutTarget(&c, "gotOutput", 42);
    EXPECT_EQ(t.stdoutTarget(), &c);
    EXPECT_EQ(t.stdoutSelector(), QByteArray("gotOutput"));
    EXPECT_EQ(t.context(), QVariant(42));
    auto p = std::make_shared<QProcess>();
    t.setTask(p);
    EXPECT_EQ(t.task(), p);
    p->start(QStringLiteral("/bin/echo"), {QStringLiteral("direct")});
    ASSERT_TRUE(p->waitForFinished(5000));
    t.readStdout();
    EXPECT_EQ(c.all(), QByteArray("direct\n"));
    EXPECT_EQ(c.contexts.value(0), QVariant(42));
    t.setTask(nullptr);
    EXPECT_FALSE(t.task());
    t.readStdout();  // nothing to read, no crash
}

#include "QNSubTaskTest.moc"
