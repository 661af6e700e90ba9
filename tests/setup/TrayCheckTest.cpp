// SPDX-License-Identifier: MIT
// The tray check on simulated drives, driven through the real window and its
// question sheet.
#include "SetupTestSupport.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "alerts/AlertPresenter.h"

using namespace setuptest;

class TrayCheckTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        setAgentPreferences(laterStart());
    }
    /// Clicks "Check Trays" and answers the sheet with the button at `index`
    /// (0 "Yes", 1 "No").
    void askAndAnswer(int index)
    {
        QTest::mouseClick(window->checkTraysButton(), Qt::LeftButton);
        QMessageBox* box = window->checkTraysAlert();
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(box->isVisible());
        EXPECT_EQ(box->windowModality(), Qt::WindowModal);
        EXPECT_EQ(box->text(), qn::localizedString("CheckTray"));
        const QList<QAbstractButton*> buttons = box->buttons();
        ASSERT_EQ(buttons.size(), 2);
        QAbstractButton* chosen = nullptr;
        for (QAbstractButton* b : buttons)
            if (b->text() == qn::localizedString(index == 0 ? "Yes" : "No"))
                chosen = b;
        ASSERT_NE(chosen, nullptr);
        QTest::mouseClick(chosen, Qt::LeftButton);
    }
    void runCheck()
    {
        askAndAnswer(0);
        ASSERT_TRUE(qn::test::waitUntil([&] { return !window->isCheckingTrays(); }, 60000));
    }
    QVariantList records() const { return agentPreferences().value("deviceProperties").toList(); }
    QVariant slotLoadingOf(int record) const { return records().value(record).toMap().value("slotLoading"); }
};

TEST_F(TrayCheckTest, NoDrivesShowsIndicatorThenEndsAndWritesTheFile)
{
    open();
    const QString file = qn::UserDefaults::pathForDomain(kQNAgentDomain);
    QFile::remove(file);

    askAndAnswer(0);
    EXPECT_EQ(window->checkTraysAlert(), nullptr) << "the sheet goes away at once";
    EXPECT_TRUE(window->isCheckingTrays());
    EXPECT_TRUE(window->indicator()->isVisible());
    EXPECT_FALSE(window->checkTraysButton()->isEnabled());

    ASSERT_TRUE(qn::test::waitUntil([&] { return !window->isCheckingTrays(); }));
    EXPECT_FALSE(window->indicator()->isVisible());
    EXPECT_TRUE(window->checkTraysButton()->isEnabled());
    EXPECT_TRUE(QFile::exists(file)) << "the end of the check writes the file";
}

// One drive with a working tray: the check moves it only as far as needed to
// see it open and leaves it closed, a mounted disc ejected first.
struct OneTrayCase {
    const char* name;
    void (*prepare)(qn::hardware::SimDrive&);
    QStringList trayMoves;
    bool unmounts;
};

class TrayCheckOneTray : public TrayCheckTest, public ::testing::WithParamInterface<OneTrayCase> {};

TEST_P(TrayCheckOneTray, TrayEndsClosedAndIsRecordedAsATray)
{
    const OneTrayCase& c = GetParam();
    hw.plug("sr0", "Drive", c.prepare);  // a null tweak leaves the drive as plugged
    open();
    runCheck();

    const auto drive = hw.drive("sr0");
    EXPECT_FALSE(drive->trayOpen);
    EXPECT_EQ(hw.log("tray-"), c.trayMoves) << hw.log().join('\n').toStdString();
    EXPECT_EQ(hw.log("unmount sr0").isEmpty(), !c.unmounts);
    if (c.unmounts) {
        EXPECT_FALSE(drive->volumes.value(0).mounted);
    }
    EXPECT_EQ(slotLoadingOf(0), QVariant(false));
    EXPECT_EQ(window->deviceTableModel()->index(0, QNDeviceTableModel::SlotLoadingColumn).data().toString(),
              qn::localizedString("No"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrayCheckOneTray,
    ::testing::Values(
        OneTrayCase{"OpenTrayIsOnlyClosed", [](qn::hardware::SimDrive& d) { d.trayOpen = true; }, {"tray-close sr0"},
                    false},
        OneTrayCase{"ClosedEmptyTrayIsOpenedAndClosedAgain", nullptr, {"tray-open sr0", "tray-close sr0"}, false},
        OneTrayCase{"MountedDiscIsEjectedAndTheOpenTrayClosedWithoutAnOpenCommand",
                    qn::test::SimulatedMachine::withMountedDisc, {"tray-close sr0"}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TrayCheckTest, DriveRefusingTheOpenCommandIsSlotLoading)
{
    hw.plug("sr0", "Slot", [](auto& d) { d.trayMotor = false; });
    hw.plug("sr1", "Fine");
    open();
    runCheck();

    EXPECT_EQ(slotLoadingOf(0), QVariant(true));
    EXPECT_EQ(slotLoadingOf(1), QVariant(false));
    EXPECT_EQ(hw.log("tray-open sr0"), QStringList{"tray-open sr0 refused no-motor"});
    EXPECT_TRUE(hw.log("tray-close sr0").isEmpty()) << "a refused open is not waited for";
    EXPECT_EQ(window->deviceTableModel()->index(0, QNDeviceTableModel::SlotLoadingColumn).data().toString(),
              qn::localizedString("Yes"));
}

TEST_F(TrayCheckTest, TrayThatNeverReportsOpenEndsAtTheWaitLimitAsSlotLoading)
{
    hw.plug("sr0", "Stuck", [](auto& d) { d.reportedTrayState = 0; });
    open();
    EXPECT_EQ(window->trayWaitLimit(), 30000) << "the default bound";
    window->setTrayWaitLimit(400);
    QElapsedTimer clock;
    clock.start();
    runCheck();
    EXPECT_LT(clock.elapsed(), 20000) << "the wait gave up instead of blocking";
    EXPECT_EQ(slotLoadingOf(0), QVariant(true));
    EXPECT_TRUE(window->checkTraysButton()->isEnabled());
}

TEST_F(TrayCheckTest, SameModelTwiceKeepsTheLaterResult)
{
    hw.plug("sr0", "Twin");
    hw.plug("sr1", "Twin", [](auto& d) { d.trayMotor = false; });
    open();
    runCheck();
    ASSERT_EQ(records().size(), 1);
    EXPECT_EQ(slotLoadingOf(0), QVariant(true));

    // And the other way round: a working later drive clears the mark.
    hw.machine.modify([](qn::hardware::SimMachineState& s, QString&, QString&) {
        s.drive("sr0")->trayMotor = false;
        s.drive("sr1")->trayMotor = true;
        return qn::hardware::Status();
    });
    runCheck();
    EXPECT_EQ(slotLoadingOf(0), QVariant(false));
}

TEST_F(TrayCheckTest, AnsweringNoChangesOnlyDidShowCheckTray)
{
    setAgentPreferences({{"didShowCheckTray", false}, {"targetDeviceIndex", 0}});
    hw.plug("sr0", "A", [](auto& d) { d.trayOpen = true; });
    open();
    EXPECT_EQ(agentPreferences().value("didShowCheckTray"), QVariant(true));
    // The first window asks by itself; take that sheet away with "No".
    ASSERT_TRUE(qn::test::waitUntil([&] { return window->checkTraysAlert() != nullptr; }));
    const QVariantMap before = agentPreferences();
    const int logLines = hw.machine.readLog().size();
    QMessageBox* box = window->checkTraysAlert();
    for (QAbstractButton* b : box->buttons())
        if (b->text() == qn::localizedString("No"))
            QTest::mouseClick(b, Qt::LeftButton);
    EXPECT_EQ(window->checkTraysAlert(), nullptr);
    EXPECT_FALSE(window->isCheckingTrays());
    EXPECT_EQ(agentPreferences(), before);

    // The button asks again; "No" again changes nothing.
    askAndAnswer(1);
    EXPECT_FALSE(window->isCheckingTrays());
    EXPECT_EQ(agentPreferences(), before);

    // Sync point: a check answered with "Yes" now. Had either "No" started
    // one, this one could not start, or the log would show a second cycle.
    EXPECT_EQ(hw.machine.readLog().size(), logLines) << "no tray was touched";
    EXPECT_TRUE(hw.drive("sr0")->trayOpen);
    runCheck();
    EXPECT_EQ(hw.log("tray-"), QStringList{"tray-close sr0"}) << hw.log().join('\n').toStdString();
}

TEST_F(TrayCheckTest, DriveUnpluggedDuringTheCheckEndsItEarly)
{
    hw.plug("sr0", "A");
    hw.plug("sr1", "B");
    open();
    askAndAnswer(0);
    // Pull the second drive before the first step runs.
    ASSERT_EQ(hw.machine.unplug("sr1"), 0);
    ASSERT_TRUE(qn::test::waitUntil([&] { return !window->isCheckingTrays(); }, 30000));
    EXPECT_TRUE(hw.log("tray-open sr1").isEmpty());
    EXPECT_EQ(slotLoadingOf(0), QVariant(false));
    EXPECT_EQ(window->deviceTableModel()->rowCount(), 1);
}

TEST_F(TrayCheckTest, WindowStaysResponsiveWhileATrayMovesAndClosingItStopsTheCheck)
{
    hw.plug("sr0", "Stuck", [](auto& d) { d.reportedTrayState = 0; });  // never reports open
    open();
    askAndAnswer(0);
    // The window's own event loop keeps turning while the tray is watched.
    ASSERT_TRUE(qn::test::waitUntil([&] { return !hw.log("tray-open sr0").isEmpty(); }, 10000));
    bool ticked = false;
    QTimer::singleShot(100, window.get(), [&] { ticked = true; });
    ASSERT_TRUE(qn::test::waitUntil([&] { return ticked; }, 5000));
    EXPECT_TRUE(window->isCheckingTrays()) << "still within the 30 s wait for the tray";

    const int logLines = hw.machine.readLog().size();
    window->close();
    EXPECT_FALSE(window->isCheckingTrays());
    EXPECT_TRUE(window->checkTraysButton()->isEnabled());
    // Sync point: the quit is armed after the check stopped, with a delay no
    // shorter than a look at the tray, so any look still pending came first.
    ASSERT_TRUE(qn::test::waitUntil([&] { return quits == 1; }));
    EXPECT_EQ(hw.machine.readLog().size(), logLines) << "nothing touches the drive after the window closed";
}

TEST_F(TrayCheckTest, BusyDiscRecordsNothingAndNamesTheDriveToEmptyFirst)
{
    hw.plug("sr0", "Busy", [](auto& d) {
        d.discPresent = true;
        d.volumes = {{QStringLiteral("sr0"), QStringLiteral("/media/sim/sr0"), true, /*busy*/ true}};
    });
    hw.plug("sr1", "Fine");
    open();
    // Nobody answers in-process: the alert is recorded and not waited for.
    const QString shown = qn::test::homeDir() + QStringLiteral("/shown-busy.jsonl");
    qputenv("QNLAB_TEST_SHOWN", QFile::encodeName(shown));
    qn::AlertPresenter::setPersonPresent(false);
    runCheck();
    qn::AlertPresenter::setPersonPresent(true);
    qunsetenv("QNLAB_TEST_SHOWN");

    EXPECT_FALSE(records().value(0).toMap().contains("slotLoading")) << "a busy disc says nothing about the tray";
    EXPECT_EQ(slotLoadingOf(1), QVariant(false));
    EXPECT_EQ(window->deviceTableModel()->index(0, QNDeviceTableModel::SlotLoadingColumn).data().toString(),
              qn::localizedString("NotChecked"));
    QFile f(shown);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray alerts = f.readAll();
    EXPECT_TRUE(alerts.contains("Busy")) << alerts.constData();
    EXPECT_FALSE(alerts.contains("Fine")) << alerts.constData();
}
