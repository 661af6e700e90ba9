// SPDX-License-Identifier: MIT
// The setup window changes the agent's options; the real agent, started
// afterwards as its own process on the same simulated machine, honours them.
#include "SetupTestSupport.h"

#include "AgentHarness.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using qn::test::AgentHarness;

namespace {

QString agentPath()
{
    return qn::test::stageDir() + QStringLiteral("/bin/QNTraylift");
}

/// Starts the agent with a plain launch (it acts on the stored target) and
/// waits until it has quit.
void runAgent(AgentHarness& h)
{
    qint64 pid = 0;
    ASSERT_TRUE(QProcess::startDetached(agentPath(), {}, {}, &pid));
    ASSERT_TRUE(h.waitFor(QStringLiteral("agent launch"), 20000)) << "the agent did not start";
    EXPECT_TRUE(h.waitForAgentsToQuit(30000)) << "the agent had to be killed";
}

}  // namespace

class SetupThenAgent : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!QFile::exists(agentPath()))
            GTEST_SKIP() << "the agent is not built in " << qn::test::stageDir().toStdString();
        QNBoolTransformer::registerTransformer();
        QNTargetDeviceTransformer::registerTransformer();
        h.setPreferences({{"didShowCheckTray", true}});
        first = h.plugDrive("SIMLAB", "First", /*trayOpen*/ false);
        second = h.plugDrive("SIMLAB", "Second", /*trayOpen*/ false);
    }

    AgentHarness h;
    QString first, second;
};

TEST_F(SetupThenAgent, AgentUsesTheTargetAndCountdownChosenInTheWindow)
{
    {
        qn::hardware::SimDeviceRegistry registry(h.machine().path());
        QNSetupWindowController window(&registry);
        window.setQuitHandler([] {});
        window.show();
        ASSERT_EQ(window.deviceTableModel()->rowCount(), 2);

        QTableView* table = window.tableView();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                          table->visualRect(table->model()->index(1, QNDeviceTableModel::ProductColumn)).center());
        QTest::mouseClick(window.setAsTargetButton(), Qt::LeftButton);
        ASSERT_TRUE(window.autoCloseCheckBox()->isChecked());
        QLineEdit* field = window.secondsField();
        field->selectAll();
        QTest::keyClicks(field, "2");
        QTest::keyClick(field, Qt::Key_Return);
        window.close();
    }

    runAgent(h);
    EXPECT_TRUE(h.first(QStringLiteral("agent launch index=1")));
    EXPECT_TRUE(h.first(QStringLiteral("agent countdown armed 2s")));
    const auto opened = h.first(QStringLiteral("tray-open ") + second);
    const auto closed = h.first(QStringLiteral("tray-close ") + second);
    ASSERT_TRUE(opened);
    ASSERT_TRUE(closed);
    const double waited = AgentHarness::seconds(*opened, *closed);
    EXPECT_GT(waited, 1.5);
    EXPECT_LT(waited, 10.0) << "not the default 10 s countdown";
    EXPECT_TRUE(h.entries(QStringLiteral("tray-open ") + first).isEmpty());
}

TEST_F(SetupThenAgent, AutoCloseSwitchedOffAndSlotLoadingResultKeepTheTrayOpen)
{
    {
        qn::hardware::SimDeviceRegistry registry(h.machine().path());
        QNSetupWindowController window(&registry);
        window.setQuitHandler([] {});
        window.show();
        QTest::mouseClick(window.autoCloseCheckBox(), Qt::LeftButton);
        ASSERT_FALSE(window.autoCloseCheckBox()->isChecked());
    }
    runAgent(h);
    EXPECT_TRUE(h.first(QStringLiteral("tray-open ") + first));
    EXPECT_FALSE(h.first(QStringLiteral("agent countdown armed")));
    EXPECT_TRUE(h.drive(first)->trayOpen);
}
