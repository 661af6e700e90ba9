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

// A run that reaches the agent: exit status 0, nothing on standard output,
// and the agent logs what it was asked for (the stored target is position 1).
struct RunCase {
    const char* name;
    QStringList args;
    QStringList logged;      // entries the agent wrote, by prefix
    const char* notLogged;   // a prefix the agent never wrote
    const char* err;         // part of the diagnostic, or "" when none is looked for
};

class QNEjectRun : public QNEjectProgram, public ::testing::WithParamInterface<RunCase> {};

TEST_P(QNEjectRun, ReachesTheAgentWithTheRequestItNames)
{
    const RunCase& c = GetParam();
    const AgentHarness::Run r = h.qneject(c.args);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    if (*c.err) {
        EXPECT_TRUE(r.err.contains(c.err)) << r.err.toStdString();
    }
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent quit status")));
    for (const QString& entry : c.logged)
        EXPECT_TRUE(h.first(entry)) << entry.toStdString();
    EXPECT_FALSE(h.first(QString::fromLatin1(c.notLogged)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QNEjectRun,
    ::testing::Values(
        RunCase{"WithoutArgumentsLaunchesAgentForStoredTarget", {},
                {"agent launch index=1", "agent drive position=1"}, "agent request", ""},
        RunCase{"DashDRequestsThatPosition", {"-d", "1"}, {"agent request index=1"}, "agent launch", ""},
        RunCase{"NonNumericDeviceRequestsPositionZero", {"-d", "abc"},
                {"agent request index=0", "agent drive position=0"}, "agent launch", ""},
        RunCase{"OtherPositionalArgumentIsIgnored", {"foo"}, {"agent launch index=1"}, "agent request", ""},
        RunCase{"UnknownOptionIsDiagnosedAndAgentStillLaunched", {"-x"}, {"agent launch index=1"}, "agent request",
                "invalid option"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(QNEjectProgram, QuestionMarkPrintsUsageOnly)
{
    const AgentHarness::Run r = h.qneject({QStringLiteral("?")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, QByteArray("Usage : qneject [-d device]\n"));
    // qneject returns only after the agent took a request over, so an agent
    // would have written by now; give it a moment more anyway.
    EXPECT_FALSE(qn::test::waitUntil([&] { return !h.agentPids().isEmpty(); }, 1500));
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
