// SPDX-License-Identifier: MIT
// The window programs started from a terminal: "--help", and no display.
#include "TestSupport.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

struct WindowProgramCase {
    const char* name;
    const char* leftUndone;  // what it says it did not do
};

// An empty variable counts as unset.
const QStringList kNoDisplay = {QStringLiteral("DISPLAY="), QStringLiteral("WAYLAND_DISPLAY="),
                                QStringLiteral("QT_QPA_PLATFORM=")};

qn::test::ProcessResult runStaged(const char* name, const QStringList& args)
{
    return qn::test::runProcess(qn::test::stageDir() + QStringLiteral("/bin/") + QString::fromLatin1(name), args,
                                30000, kNoDisplay);
}

}  // namespace

class WindowProgramHelp : public ::testing::TestWithParam<const char*> {};

TEST_P(WindowProgramHelp, PrintsItsUsage)
{
    const auto r = runStaged(GetParam(), {QStringLiteral("--help")});
    ASSERT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.out.startsWith("Usage: " + QByteArray(GetParam()) + " [--help]\n")) << r.out.constData();
}

INSTANTIATE_TEST_SUITE_P(Programs, WindowProgramHelp, ::testing::Values("QNTraylift", "QNTrayliftSetup", "QNUninstaller"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

// The agent works without a display (its alerts go to standard error); these
// two are nothing without their window.
class WindowOnlyProgram : public ::testing::TestWithParam<WindowProgramCase> {};

TEST_P(WindowOnlyProgram, WithoutADisplaySaysSoAndEndsInsteadOfAbortingOrWaiting)
{
    const WindowProgramCase& c = GetParam();
    const auto r = runStaged(c.name, {});
    ASSERT_FALSE(r.timedOut) << "waited at a window nobody can see";
    EXPECT_EQ(r.signal, 0) << r.err.constData();
    EXPECT_EQ(r.exitCode, 1) << r.err.constData();
    EXPECT_TRUE(r.err.contains(QByteArray(c.name) + ": there is no display to show its window on. " + c.leftUndone))
        << r.err.constData();
    EXPECT_TRUE(QFile::exists(qn::test::stageDir() + QStringLiteral("/bin/qneject")));
}

INSTANTIATE_TEST_SUITE_P(Programs, WindowOnlyProgram,
                         ::testing::Values(WindowProgramCase{"QNTrayliftSetup", "Nothing was changed."},
                                           WindowProgramCase{"QNUninstaller", "Nothing was removed."}),
                         [](const ::testing::TestParamInfo<WindowProgramCase>& info) {
                             return std::string(info.param.name);
                         });
