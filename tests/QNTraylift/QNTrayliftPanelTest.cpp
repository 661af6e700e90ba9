// SPDX-License-Identifier: MIT
// The agent's panel, version gate, preference lookup and request decoding,
// driven in-process.
#include "QNEjectWindow.h"
#include "QNEjectWindowController.h"
#include "QNTraylift.h"

#include "SimulatedMachine.h"
#include "TestSupport.h"

#include "events/EventManager.h"
#include "events/EventTypes.h"
#include "hardware/DeviceRegistry.h"
#include "strings/LocalizedString.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <gtest/gtest.h>

using namespace qn;

namespace {

// Clicks the given button of the next modal message box.
void answerNextMessageBox(int buttonIndex)
{
    QTimer::singleShot(0, [buttonIndex] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && buttonIndex < box->buttons().size()) {
            // The presenter adds its buttons in order; find ours by role order.
            QList<QAbstractButton*> buttons = box->buttons();
            std::sort(buttons.begin(), buttons.end(), [box](QAbstractButton* a, QAbstractButton* b) {
                return box->buttonRole(a) < box->buttonRole(b);
            });
            buttons.at(buttonIndex)->click();
        }
    });
}

}  // namespace

TEST(QNEjectWindow, CentresAndRaisesPanelInUpwardCoordinates)
{
    const QPointF origin = QNEjectWindow::panelOrigin(QRectF(0, 0, 1280, 800), QSizeF(300, 200));
    EXPECT_DOUBLE_EQ(origin.x(), 490.0);
    EXPECT_DOUBLE_EQ(origin.y(), 350.0);
    // 50 above the middle is 50 nearer the top in Qt's downward coordinates.
    EXPECT_EQ(QNEjectWindow::topLeftForOrigin(origin, QSizeF(300, 200), 800), QPoint(490, 250));

    // A screen whose frame does not start at the origin keeps its offset.
    const QPointF shifted = QNEjectWindow::panelOrigin(QRectF(100, 40, 1000, 600), QSizeF(301, 201));
    EXPECT_DOUBLE_EQ(shifted.x(), 100 + 699 * 0.5);
    EXPECT_DOUBLE_EQ(shifted.y(), 40 + 399 * 0.5 + 50);
}

TEST(QNEjectWindow, FloatsFramelessTranslucentWithCountdownControlsHidden)
{
    QNEjectWindowController controller;
    QNEjectWindow* w = controller.window();
    EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(w->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_NEAR(w->windowOpacity(), 0.9, 0.01);
    EXPECT_EQ(w->size(), QSize(300, 200));

    controller.showWindow();
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(controller.closeTrayButton()->isHidden());
    EXPECT_TRUE(controller.terminateButton()->isHidden());
    EXPECT_TRUE(controller.autocloseMessageField()->isHidden());
    EXPECT_FALSE(controller.imageView()->pixmap().isNull());

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(w->pos().x(), screen.x() + (screen.width() - 300) / 2);
    EXPECT_EQ(w->pos().y(), screen.y() + (screen.height() - 200) / 2 - 50);
}

// A simulated machine for the panel's own tray commands: one drive, tray out.
class PanelOnSimulatedDrive : public ::testing::Test {
protected:
    void SetUp() override
    {
        _name = _hw.plugDrive(QStringLiteral("SIM"), QStringLiteral("Writer"), /*trayOpen*/ true);
        // The registry the agent makes: the fixture's machine, chosen by the environment.
        _registry = hardware::DeviceRegistry::create();
        ASSERT_EQ(_registry->backendName(), QStringLiteral("sim"));
        const QList<QVariantMap> drives = _registry->matchingDrives();
        ASSERT_EQ(drives.size(), 1);
        _device = QNDeviceScanner::deviceFromProperties(drives.first());
        _controller.setDeviceOperator(QNDeviceOperator::deviceOperatorForDevice(_device, *_registry));
        ASSERT_TRUE(_controller.deviceOperator());
        _controller.setTerminator([this](QObject* sender) {
            ++_terminations;
            _lastSender = sender;
        });
    }

    bool trayOpen() const { return _hw.drive(_name)->trayOpen; }
    void armCountdown(QTimer& closeTimer)
    {
        closeTimer.setSingleShot(true);
        closeTimer.setTimerType(Qt::PreciseTimer);  // fires in deadline order with the test's own timers
        QObject::connect(&closeTimer, &QTimer::timeout, [this] { ++_deadlineFired; });
        closeTimer.start(kCountdownMs);
        _controller.setCloseTrayTimer(&closeTimer);
        _controller.terminateButton()->show();
        _controller.closeTrayButton()->show();
        _controller.autocloseMessageField()->show();
        _controller.showWindow();
    }

    static constexpr int kCountdownMs = 300;
    test::SimulatedMachine _hw;
    std::unique_ptr<hardware::DeviceRegistry> _registry;
    QString _name;
    QNDevicePtr _device;
    QNEjectWindowController _controller;
    int _terminations = 0;
    int _deadlineFired = 0;
    QObject* _lastSender = nullptr;
};

TEST_F(PanelOnSimulatedDrive, CloseButtonCancelsDeadlineHidesControlsClosesTrayAndQuits)
{
    QTimer closeTimer;
    armCountdown(closeTimer);
    _controller.closeTrayButton()->click();

    EXPECT_FALSE(closeTimer.isActive());
    EXPECT_TRUE(_controller.closeTrayButton()->isHidden());
    EXPECT_TRUE(_controller.terminateButton()->isHidden());
    EXPECT_TRUE(_controller.autocloseMessageField()->isHidden());
    EXPECT_FALSE(trayOpen());
    EXPECT_EQ(_terminations, 1);
    EXPECT_EQ(_lastSender, &_controller);
    // The agent's own deadline never fires afterwards. Sync point: a timer
    // armed now with the whole countdown fires after any deadline armed
    // before it, as timers fire in the order of their deadlines.
    bool witnessFired = false;
    QTimer::singleShot(kCountdownMs, [&] { witnessFired = true; });
    ASSERT_TRUE(qn::test::waitUntil([&] { return witnessFired; }));
    EXPECT_EQ(_deadlineFired, 0);
    // A second press (or request) finds the controls hidden and does nothing.
    _controller.onCloseTray(nullptr);
    EXPECT_EQ(_terminations, 1);
}

TEST_F(PanelOnSimulatedDrive, CloseWithoutCountdownDoesNothing)
{
    _controller.showWindow();
    _controller.onCloseTray(nullptr);
    EXPECT_TRUE(trayOpen());
    EXPECT_EQ(_terminations, 0);
}

TEST_F(PanelOnSimulatedDrive, TerminateButtonQuitsWithTrayStillOpen)
{
    QTimer closeTimer;
    armCountdown(closeTimer);
    _controller.terminateButton()->click();
    EXPECT_EQ(_terminations, 1);
    EXPECT_TRUE(trayOpen());
}

TEST_F(PanelOnSimulatedDrive, TrayClosedByHandIsRecheckedFiveTimesWithoutCloseCommand)
{
    QTimer closeTimer;
    armCountdown(closeTimer);
    _hw.moveTray(_name, false);
    const int before = QNEjectWindowController::retryCount();
    _controller.closeTrayButton()->click();
    EXPECT_EQ(_terminations, 0);
    ASSERT_TRUE(qn::test::waitUntil([this] { return _terminations == 1; }, 8000));
    EXPECT_EQ(QNEjectWindowController::retryCount() - before, 5);
    EXPECT_EQ(_hw.log(QStringLiteral("tray-close")), QStringList());
}

TEST(QNTraylift, VersionGatePassesFrom1040AndReadsLow16BitsSigned)
{
    EXPECT_TRUE(QNTraylift::systemVersionPasses(0x1040));
    EXPECT_TRUE(QNTraylift::systemVersionPasses(0x1049));
    EXPECT_FALSE(QNTraylift::systemVersionPasses(0x103F));
    EXPECT_FALSE(QNTraylift::systemVersionPasses(0x1039));
    EXPECT_FALSE(QNTraylift::systemVersionPasses(0x8040));        // negative as 16 bits
    EXPECT_TRUE(QNTraylift::systemVersionPasses(0x00011040));    // high bits ignored
    EXPECT_TRUE(QNTraylift::systemVersionPasses(QNTraylift::currentSystemVersion()));
}

TEST(QNTraylift, FailedVersionGateShowsCriticalAlertAndSchedulesTermination)
{
    qn::installTranslations(QStringLiteral("QNTraylift"));
    int terminations = 0;
    QString shownText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->buttons().size(), 1);
        shownText = box->text() + QLatin1Char('|') + box->informativeText();
        box->buttons().first()->click();
    });
    std::unique_ptr<QNTraylift> delegate = QNTraylift::create(0x1039, [&](QObject*) { ++terminations; });
    EXPECT_EQ(delegate, nullptr);
    EXPECT_EQ(shownText, QStringLiteral("This system is not supported.|QNTraylift needs Linux 3.0 or later."));
    EXPECT_EQ(terminations, 0);  // by a timer, after the alert
    EXPECT_TRUE(qn::test::waitUntil([&] { return terminations == 1; }, 2000));
}

TEST(QNTraylift, WelcomeQuestionIsTrueOnlyForYes)
{
    qn::installTranslations(QStringLiteral("QNTraylift"));
    std::unique_ptr<QNTraylift> delegate = QNTraylift::create(0x1040, [](QObject*) {});
    ASSERT_NE(delegate, nullptr);
    answerNextMessageBox(0);
    EXPECT_TRUE(delegate->showFirstTimeMessage());
    answerNextMessageBox(1);
    EXPECT_FALSE(delegate->showFirstTimeMessage());
}

TEST(QNTraylift, DrivePropertyMatchesVendorAndProductLiterallyFirstRecordWins)
{
    std::unique_ptr<QNTraylift> delegate = QNTraylift::create(0x1040, [](QObject*) {});
    ASSERT_NE(delegate, nullptr);
    const auto record = [](const char* vendor, const char* product, const char* link, QVariant slot) {
        QVariantMap m{{QStringLiteral("vendorName"), QString::fromLatin1(vendor)},
                      {QStringLiteral("productName"), QString::fromLatin1(product)},
                      {QStringLiteral("interconnection"), QString::fromLatin1(link)}};
        if (slot.isValid())
            m.insert(QStringLiteral("slotLoading"), slot);
        return m;
    };
    delegate->defaults().setPersistentDomain(
        {{QStringLiteral("deviceProperties"),
          QVariantList{record("sim", "Writer", "USB", true),             // case differs
                       QVariantMap{{QStringLiteral("productName"), QStringLiteral("Writer")}},  // no vendor
                       record("SIM", "Writer", "ATAPI", QVariant()),     // first real match
                       record("SIM", "Writer", "USB", true)}}});
    QNDevice drive;
    drive.setVendorName(QStringLiteral("SIM"));
    drive.setProductName(QStringLiteral("Writer"));
    const std::optional<QVariantMap> found = delegate->devicePropertyWithDevice(drive);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->value(QStringLiteral("interconnection")).toString(), QStringLiteral("ATAPI"));
    EXPECT_FALSE(found->value(QStringLiteral("slotLoading")).toBool());

    QNDevice nameless;  // empty names match no record lacking them
    EXPECT_FALSE(delegate->devicePropertyWithDevice(nameless));
    delegate->defaults().setPersistentDomain({});
    EXPECT_FALSE(delegate->devicePropertyWithDevice(drive));
}

TEST(QNTraylift, EmptyPreferencesTargetDriveZeroWithTenSecondFallback)
{
    std::unique_ptr<QNTraylift> delegate = QNTraylift::create(0x1040, [](QObject*) {});
    ASSERT_NE(delegate, nullptr);
    delegate->defaults().setPersistentDomain({});
    events::EventManager events;
    delegate->applicationWillFinishLaunching(events);
    EXPECT_EQ(delegate->deviceIndex(), 0);
    EXPECT_FALSE(delegate->defaults().boolForKey(QStringLiteral("autoCloseTray")));
    EXPECT_FLOAT_EQ(delegate->defaults().floatForKey(QStringLiteral("timeIntervalUntilCloseTray")), 10.0f);
}

TEST(QNTraylift, RequestIndexAndDriveChoice)
{
    using events::AppleEvent;
    using events::Descriptor;
    AppleEvent request(kQNTrayliftEventClass, kQNEjectTrayEventID);
    EXPECT_EQ(QNTraylift::requestedIndex(request), 0);  // no direct object
    request.putParam(events::keyDirectObject, Descriptor::fromUtf8Text(QStringLiteral("3")));
    EXPECT_EQ(QNTraylift::requestedIndex(request), 0);  // not an integer
    request.putParam(events::keyDirectObject, Descriptor::fromInt32(-3));
    EXPECT_EQ(QNTraylift::requestedIndex(request), -3);

    EXPECT_EQ(QNTraylift::chooseDrivePosition(7, 2), 1);
    EXPECT_EQ(QNTraylift::chooseDrivePosition(-1, 2), 1);
    EXPECT_EQ(QNTraylift::chooseDrivePosition(INT32_MIN, 3), 2);
    EXPECT_EQ(QNTraylift::chooseDrivePosition(0, 2), 0);
    EXPECT_EQ(QNTraylift::chooseDrivePosition(1, 2), 1);
    EXPECT_EQ(QNTraylift::chooseDrivePosition(0, 0), -1);
}

TEST(QNTraylift, EnglishTextsForEveryKey)
{
    ASSERT_TRUE(qn::installTranslations(QStringLiteral("QNTraylift")));
    for (const char* key : {"The disc is busy.", "TryAgainAfterQuitApplication", "TrayWillBeClosed", "ThisIsFirstTime",
                            "Yes", "No", "SystemNotSupported", "RequiredSystem"}) {
        const QString text = qn::localizedString(key);
        EXPECT_FALSE(text.isEmpty()) << key;
        if (qstrcmp(key, "The disc is busy.") != 0 && qstrcmp(key, "Yes") != 0 && qstrcmp(key, "No") != 0) {
            EXPECT_NE(text, QString::fromLatin1(key)) << key;
        }
    }
    EXPECT_EQ(qn::localizedString("TrayWillBeClosed").arg(7), QStringLiteral("The tray will be closed in 7 seconds."));
}
