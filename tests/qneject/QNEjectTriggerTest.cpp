// SPDX-License-Identifier: MIT
// qneject as users run it: option parsing, its messages and exit status, and
// the request the agent receives (seen in the simulated machine's log).
#include "QNEjectTrigger.h"

#include "AgentHarness.h"
#include "TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

#include <climits>
#include <vector>

using qn::test::AgentHarness;

namespace {

QVariantMap parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "qneject");
    std::vector<char*> argv;
    for (const char* a : args)
        argv.push_back(const_cast<char*>(a));
    argv.push_back(nullptr);
    opterr = 0;  // keep the test output quiet; the program's own run prints
    const QVariantMap options = qnEjectParseOptions(int(args.size()), argv.data());
    opterr = 1;
    return options;
}

}  // namespace

TEST(QNEjectTrigger, DeviceIndexIsTheLeadingDecimalInteger)
{
    EXPECT_EQ(qnEjectDeviceIndex(QStringLiteral("1")), 1);
    EXPECT_EQ(qnEjectDeviceIndex(QStringLiteral("abc")), 0);
    EXPECT_EQ(qnEjectDeviceIndex(QStringLiteral("12abc")), 12);
    EXPECT_EQ(qnEjectDeviceIndex(QStringLiteral("-3")), -3);
    EXPECT_EQ(qnEjectDeviceIndex(QStringLiteral("+4")), 4);
    EXPECT_EQ(qnEjectDeviceIndex(QStringLiteral(" 5")), 5);
    EXPECT_EQ(qnEjectDeviceIndex(QString()), 0);
    EXPECT_EQ(qnEjectDeviceIndex(QStringLiteral("99999999999")), INT_MAX);
    EXPECT_EQ(qnEjectDeviceIndex(QStringLiteral("-99999999999")), INT_MIN);
}

TEST(QNEjectTrigger, OptionsKeepLastDeviceUnknownOptionsAndPositionals)
{
    QVariantMap o = parse({"-d", "1", "-d", "2", "foo", "bar"});
    EXPECT_EQ(o.value(QStringLiteral("d")).toString(), QStringLiteral("2"));
    EXPECT_EQ(o.value(QString::fromLatin1(kDirectParametersKey)).toStringList(),
              (QStringList{QStringLiteral("foo"), QStringLiteral("bar")}));

    o = parse({"-x"});
    EXPECT_TRUE(o.contains(QStringLiteral("?")));
    EXPECT_TRUE(o.value(QStringLiteral("?")).isNull());
    EXPECT_FALSE(o.contains(QString::fromLatin1(kDirectParametersKey)));

    o = parse({"-d"});  // missing argument
    EXPECT_TRUE(o.contains(QStringLiteral("?")));
    EXPECT_FALSE(o.contains(QStringLiteral("d")));

    o = parse({"-d3"});
    EXPECT_EQ(o.value(QStringLiteral("d")).toString(), QStringLiteral("3"));
}

class QNEjectProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QFile::exists(qn::test::stageDir() + QStringLiteral("/bin/QNTraylift")))
            GTEST_SKIP() << "the agent is not built in " << qn::test::stageDir().toStdString();
        h.plugDrive(QStringLiteral("SIMLAB"), QStringLiteral("DVD-RW"), false);
        h.plugDrive(QStringLiteral("SIMLAB"), QStringLiteral("BD-RE"), false);
        h.setPreferences({{QStringLiteral("isNotFirstTime"), true}, {QStringLiteral("targetDeviceIndex"), 1}});
    }
    void TearDown() override { EXPECT_TRUE(h.waitForAgentsToQuit(15000)); }

    AgentHarness h;
};

TEST_F(QNEjectProgram, WithoutArgumentsLaunchesAgentForStoredTarget)
{
    const AgentHarness::Run r = h.qneject({});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty());
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent quit status")));
    EXPECT_TRUE(h.first(QStringLiteral("agent launch index=1")));
    EXPECT_FALSE(h.first(QStringLiteral("agent request")));
    EXPECT_TRUE(h.first(QStringLiteral("agent drive position=1")));
}

TEST_F(QNEjectProgram, DashDRequestsThatPosition)
{
    const AgentHarness::Run r = h.qneject({QStringLiteral("-d"), QStringLiteral("1")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty());
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent quit status")));
    EXPECT_TRUE(h.first(QStringLiteral("agent request index=1")));
    EXPECT_FALSE(h.first(QStringLiteral("agent launch")));
}

TEST_F(QNEjectProgram, NonNumericDeviceRequestsPositionZero)
{
    EXPECT_EQ(h.qneject({QStringLiteral("-d"), QStringLiteral("abc")}).exitCode, 0);
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent quit status")));
    EXPECT_TRUE(h.first(QStringLiteral("agent request index=0")));
    EXPECT_TRUE(h.first(QStringLiteral("agent drive position=0")));
}

TEST_F(QNEjectProgram, QuestionMarkPrintsUsageOnly)
{
    const AgentHarness::Run r = h.qneject({QStringLiteral("?")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, QByteArray("Usage : qneject [-d device]\n"));
    // qneject returns only after the agent took a request over, so an agent
    // would have written by now; give it a moment more anyway.
    EXPECT_FALSE(qn::test::waitUntil([&] { return !h.agentPids().isEmpty(); }, 1500));
}

TEST_F(QNEjectProgram, OtherPositionalArgumentIsIgnored)
{
    const AgentHarness::Run r = h.qneject({QStringLiteral("foo")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty());
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent quit status")));
    EXPECT_TRUE(h.first(QStringLiteral("agent launch index=1")));
}

TEST_F(QNEjectProgram, UnknownOptionIsDiagnosedAndAgentStillLaunched)
{
    const AgentHarness::Run r = h.qneject({QStringLiteral("-x")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("invalid option")) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent quit status")));
    EXPECT_TRUE(h.first(QStringLiteral("agent launch")));
}

TEST_F(QNEjectProgram, MissingAgentPrintsErrorWithStatus)
{
    const QString prefix = h.makeInstallCopy({QStringLiteral("qneject")});
    for (const QStringList& args : {QStringList{}, QStringList{QStringLiteral("-d"), QStringLiteral("1")}}) {
        const AgentHarness::Run r = h.qneject(args, prefix);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, QByteArray("Error occurred in launching QNTraylift. (-43)\n"));
    }
    EXPECT_TRUE(h.agentPids().isEmpty());
}
