// SPDX-License-Identifier: MIT
#include "QNAuthorize.h"

#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using qn::test::readFile;
using enum AuthorizationStatus;

bool writeScript(const QString& path, const QByteArray& body)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write("#!/bin/sh\n" + body) < 0)
        return false;
    f.close();
    return f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// Runs the real helper unprivileged behind a fake elevator: a script that
// records each start (one line = one prompt) and then runs the helper, or
// answers like a dismissed (126) or refused (127) pkexec prompt.
class QNAuthorizeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // The tests' tools are allowed next to a private copy of the helper.
        helper = qn::test::privilegedHelperAllowing(
            dir.filePath("suite"), {"/bin/sh", "/bin/true", "/bin/false", "/bin/touch", dir.filePath("no-such-tool"),
                                    dir.filePath("args.sh")});
        ASSERT_FALSE(helper.isEmpty());
        prompts = dir.filePath("prompts.log");
        ASSERT_TRUE(writeScript(dir.filePath("grant"), "echo \"$@\" >> '" + prompts.toUtf8() + "'\nexec \"$@\"\n"));
        ASSERT_TRUE(writeScript(dir.filePath("dismiss"), "echo \"$@\" >> '" + prompts.toUtf8() + "'\nexit 126\n"));
        ASSERT_TRUE(writeScript(dir.filePath("refuse"), "exit 127\n"));
    }
    std::unique_ptr<QNAuthorize> runner(const char* elevator)
    {
        auto r = std::make_unique<QNAuthorize>();
        r->setHelperPath(helper);
        r->setElevationCommand({dir.filePath(QString::fromLatin1(elevator))});
        return r;
    }
    int promptCount() const { return int(readFile(prompts).count('\n')); }

    QTemporaryDir dir;
    QString helper, prompts;
};

}  // namespace

TEST(QNArgumentVector, IsNullTerminatedUtf8)
{
    const auto empty = QNAuthorize::commandLineArgumentDataWithArray({});
    EXPECT_EQ(empty->count(), 0);
    EXPECT_EQ(empty->data()[0], nullptr);

    const auto v = QNAuthorize::commandLineArgumentDataWithArray({"-Rf", QString::fromUtf8("/tmp/é x ")});
    ASSERT_EQ(v->count(), 2);
    EXPECT_STREQ(v->data()[0], "-Rf");
    EXPECT_STREQ(v->data()[1], "/tmp/\xc3\xa9 x ");
    EXPECT_EQ(v->data()[2], nullptr);
}

TEST_F(QNAuthorizeTest, OnePromptServesTheRunnersLife)
{
    const QString out = dir.filePath("out.txt");
    {
        auto r = runner("grant");
        EXPECT_FALSE(r->isAuthorized());
        EXPECT_TRUE(r->openPrivilegedTool("/bin/sh", {"-c", "echo first >> \"$0\"", out}));
        EXPECT_TRUE(r->openPrivilegedTool("/bin/sh", {"-c", "echo second >> \"$0\"", out}));
        EXPECT_TRUE(r->isAuthorized());
        EXPECT_EQ(readFile(out), "first\nsecond\n");
        EXPECT_EQ(promptCount(), 1);
        EXPECT_EQ(readFile(prompts).trimmed(), helper.toUtf8());
    }
    // A new runner asks again.
    auto again = runner("grant");
    EXPECT_TRUE(again->openPrivilegedTool("/bin/true", {}));
    EXPECT_EQ(promptCount(), 2);
}

TEST_F(QNAuthorizeTest, DismissedPromptGivesUserCanceled)
{
    auto r = runner("dismiss");
    std::optional<QNError> error;
    const QString marker = dir.filePath("must-not-exist");
    EXPECT_FALSE(r->openPrivilegedTool("/bin/touch", {marker}, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, NSOSStatusErrorDomain);
    EXPECT_EQ(error->code, qint32(errAuthorizationCanceled));
    EXPECT_TRUE(error->userInfo.isEmpty());
    EXPECT_FALSE(QFile::exists(marker));
    // The next call asks again; without an out-parameter it still fails.
    EXPECT_FALSE(r->openPrivilegedTool("/bin/touch", {marker}));
    EXPECT_EQ(promptCount(), 2);
    EXPECT_FALSE(QFile::exists(marker));
}

TEST_F(QNAuthorizeTest, RefusalAndMissingElevatorAreReported)
{
    std::optional<QNError> error;
    EXPECT_FALSE(runner("refuse")->openPrivilegedTool("/bin/true", {}, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, qint32(errAuthorizationDenied));

    auto r = runner("no-such-elevator");
    EXPECT_FALSE(r->openPrivilegedTool("/bin/true", {}, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, qint32(errAuthorizationInternal));
}

TEST_F(QNAuthorizeTest, ToolThatCannotStartKeepsTheGrant)
{
    auto r = runner("grant");
    std::optional<QNError> error;
    EXPECT_FALSE(r->openPrivilegedTool(dir.filePath("no-such-tool"), {}, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, NSOSStatusErrorDomain);
    EXPECT_EQ(error->code, qint32(errAuthorizationToolExecuteFailure));
    // A relative path is refused the same way, not looked up on PATH.
    EXPECT_FALSE(r->openPrivilegedTool("true", {}, &error));
    EXPECT_EQ(error->code, qint32(errAuthorizationToolExecuteFailure));

    // So is a request the helper would reject (and end on, losing the grant).
    EXPECT_FALSE(r->openPrivilegedTool("/bin/sh", {"-c", QStringLiteral("true") + QChar(0)}, &error));
    EXPECT_EQ(error->code, qint32(errAuthorizationToolExecuteFailure));

    EXPECT_TRUE(r->openPrivilegedTool("/bin/true", {}, &error));
    EXPECT_FALSE(error) << "a successful call clears the error";
    EXPECT_EQ(promptCount(), 1);
}

TEST_F(QNAuthorizeTest, ToolsOutsideTheAllowListAreRefused)
{
    auto r = runner("grant");
    std::optional<QNError> error;
    const QString marker = dir.filePath("must-not-exist");
    EXPECT_FALSE(r->openPrivilegedTool("/usr/bin/touch", {marker}, &error)) << "listed as /bin/touch only";
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, qint32(errAuthorizationToolExecuteFailure));
    EXPECT_EQ(r->lastExitStatus(), -1);
    EXPECT_TRUE(r->isAuthorized()) << "a refused tool keeps the grant";
    EXPECT_FALSE(QFile::exists(marker));

    // A list that others may write grants nothing.
    ::chmod(QFile::encodeName(dir.filePath("suite/share/qnlab/privileged-tools")).constData(), 0666);
    auto fresh = runner("grant");
    EXPECT_FALSE(fresh->openPrivilegedTool("/bin/touch", {marker}, &error));
    EXPECT_FALSE(QFile::exists(marker));
}

TEST_F(QNAuthorizeTest, ReleaseEndsTheHelper)
{
    auto r = runner("grant");
    ASSERT_TRUE(r->openPrivilegedTool("/bin/true", {}));
    ASSERT_TRUE(r->isAuthorized());
    r->release();
    EXPECT_FALSE(r->isAuthorized());
    EXPECT_TRUE(r->openPrivilegedTool("/bin/true", {}));
    EXPECT_EQ(promptCount(), 2) << "a released runner asks again";
}

TEST_F(QNAuthorizeTest, FailingToolStillCountsAsRun)
{
    auto r = runner("grant");
    EXPECT_TRUE(r->openPrivilegedTool("/bin/false", {}));
    EXPECT_EQ(r->lastExitStatus(), 1);
    EXPECT_TRUE(r->openPrivilegedTool("/bin/sh", {"-c", "exit 3"}));
    EXPECT_EQ(r->lastExitStatus(), 3) << "the helper reports the tool's exit status";
    EXPECT_TRUE(r->openPrivilegedTool("/bin/sh", {"-c", "kill -TERM $$"}));
    EXPECT_EQ(r->lastExitStatus(), 128 + 15);
    EXPECT_TRUE(r->openPrivilegedTool("/bin/true", {}));
    EXPECT_EQ(r->lastExitStatus(), 0);
}

TEST_F(QNAuthorizeTest, OutputIsDrainedInSmallReadsBeforeReturning)
{
    auto r = runner("grant");
    const QString done = dir.filePath("done");
    // The tool keeps writing after a pause; the call must wait for the end.
    ASSERT_TRUE(r->openPrivilegedTool(
        "/bin/sh", {"-c", "head -c 700 /dev/zero; sleep 0.3; head -c 300 /dev/zero; touch \"$0\"", done}));
    EXPECT_TRUE(QFile::exists(done));
    EXPECT_EQ(r->lastOutputSize(), 1000u);
    EXPECT_GE(r->lastOutputReads(), 8u) << "reads are at most 128 bytes each";

    // Far more than a pipe buffer holds: the tool must not block.
    ASSERT_TRUE(r->openPrivilegedTool("/bin/sh", {"-c", "head -c 300000 /dev/zero"}));
    EXPECT_EQ(r->lastOutputSize(), 300000u);
}

TEST_F(QNAuthorizeTest, ArgumentsArriveExactly)
{
    const QString script = dir.filePath("args.sh");
    const QString out = dir.filePath("args.txt");
    ASSERT_TRUE(writeScript(script, "echo $# > '" + out.toUtf8() + "'\nfor a; do printf '[%s]\\n' \"$a\" >> '"
                                        + out.toUtf8() + "'; done\n"));
    auto r = runner("grant");
    ASSERT_TRUE(r->openPrivilegedTool(script, {}));
    EXPECT_EQ(readFile(out), "0\n");
    ASSERT_TRUE(r->openPrivilegedTool(script, {"-Rf", "/path/with trailing ", "", QString::fromUtf8("ünï")}));
    EXPECT_EQ(readFile(out), QByteArray("4\n[-Rf]\n[/path/with trailing ]\n[]\n[\xc3\xbcn\xc3\xaf]\n"));
}
