// SPDX-License-Identifier: MIT
// The setup window driven in-process (offscreen) over a simulated machine:
// drive list, remembered records, target bookkeeping, options, closing.
#include "SetupTestSupport.h"

#include "QNDeviceScanner.h"
#include "QNTrayliftSetup.h"

#include <QAction>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>

using namespace setuptest;

namespace {

const QString kAgentIndex = QStringLiteral("targetDeviceIndex");

void clickRow(QTableView* table, int row)
{
    const QRect rect = table->visualRect(table->model()->index(row, QNDeviceTableModel::ProductColumn));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, rect.center());
}

}  // namespace

class SetupWindowTest : public WindowTest {};

TEST_F(SetupWindowTest, FirstStartWithTwoDrivesAndNoFileWritesDefaultsAndMarksFirst)
{
    hw.plug("sr0", "DVD-A");
    hw.plug("sr1", "DVD-B", [](auto& d) { d.interconnect = QStringLiteral("USB"); });
    open();

    const QVariantMap prefs = agentPreferences();
    EXPECT_EQ(prefs.value("autoCloseTray"), QVariant(true));
    EXPECT_DOUBLE_EQ(prefs.value("timeIntervalUntilCloseTray").toDouble(), 10.0);
    EXPECT_EQ(prefs.value("isNotFirstTime"), QVariant(true));
    EXPECT_FALSE(prefs.contains(kAgentIndex));
    const QVariantList records = prefs.value("deviceProperties").toList();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[0].toMap(), (QVariantMap{{"vendorName", "SIMLAB"}, {"productName", "DVD-A"}, {"interconnection", "ATAPI"}}));
    EXPECT_EQ(records[1].toMap().value("interconnection"), "USB");
    EXPECT_EQ(targetColumn(), (QStringList{mark(), ""}));
    EXPECT_EQ(productColumn(), (QStringList{"DVD-A", "DVD-B"}));

    // The first window asks about the tray check by itself, once.
    ASSERT_TRUE(qn::test::waitUntil([&] { return window->checkTraysAlert() != nullptr; }));
    EXPECT_TRUE(window->checkTraysAlert()->isVisible());
    EXPECT_EQ(window->checkTraysAlert()->windowModality(), Qt::WindowModal);
    EXPECT_EQ(agentPreferences().value("didShowCheckTray"), QVariant(true));
}

TEST_F(SetupWindowTest, SameModelTwiceSharesOneRecordWithDistinctEntries)
{
    setAgentPreferences(laterStart());
    hw.plug("sr0", "Twin");
    hw.plug("sr1", "Twin");
    open();

    EXPECT_EQ(agentPreferences().value("deviceProperties").toList().size(), 1);
    const auto& entries = window->connectedDeviceArray();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].value("GUID").toByteArray(), QByteArray("GUID-sr0"));
    EXPECT_EQ(entries[1].value("GUID").toByteArray(), QByteArray("GUID-sr1"));
    EXPECT_EQ(entries[0].value("productName"), entries[1].value("productName"));
    // The GUID stays in memory: the file never holds it.
    EXPECT_FALSE(agentPreferences().value("deviceProperties").toList()[0].toMap().contains("GUID"));
}

TEST_F(SetupWindowTest, KnownRecordIsReusedAndNeverRemoved)
{
    const QVariantMap old{{"vendorName", "SIMLAB"}, {"productName", "Old"}, {"interconnection", "ATAPI"},
                          {"slotLoading", true}};
    setAgentPreferences(laterStart({{"deviceProperties", QVariantList{old}}}));
    hw.plug("sr0", "Old");
    hw.plug("sr1", "Old", [](auto& d) { d.interconnect = QStringLiteral("USB"); });  // another model
    open();

    const QVariantList records = agentPreferences().value("deviceProperties").toList();
    ASSERT_EQ(records.size(), 2);
    EXPECT_EQ(records[0].toMap(), old);
    EXPECT_EQ(window->connectedDeviceArray()[0].value("slotLoading"), QVariant(true));
    EXPECT_FALSE(window->connectedDeviceArray()[1].contains("slotLoading"));
    auto* model = window->deviceTableModel();
    EXPECT_EQ(model->index(0, QNDeviceTableModel::SlotLoadingColumn).data().toString(), qn::localizedString("Yes"));
    EXPECT_EQ(model->index(1, QNDeviceTableModel::SlotLoadingColumn).data().toString(),
              qn::localizedString("NotChecked"))
        << "a model the tray check never saw is not called a tray loader";

    ASSERT_EQ(hw.machine.unplug("sr0"), 0);
    ASSERT_TRUE(rowsAre(1));
    EXPECT_EQ(agentPreferences().value("deviceProperties").toList().size(), 2);
}

// The mark follows the stored target index as the agent reads it (an index
// beyond the list, negative included, means the last drive) without rewriting
// it; unplugging the target or a drive before it keeps the stored index
// pointing at a connected drive.
struct TargetCase {
    const char* name;
    int stored;
    QStringList products;
    int markedAtOpen;
    QStringList unplugged;  // in this order, one at a time
    QStringList productsAfter;
    int markedAfter;  // -1: no row is marked
    int storedAfter;
};

class SetupWindowTarget : public WindowTest, public ::testing::WithParamInterface<TargetCase> {
protected:
    QStringList marks(int rows, int at) const
    {
        QStringList out;
        for (int row = 0; row < rows; ++row)
            out << (row == at ? mark() : QString());
        return out;
    }
};

TEST_P(SetupWindowTarget, MarkFollowsTheStoredIndexAndTheUnplugs)
{
    const TargetCase& c = GetParam();
    setAgentPreferences(laterStart({{kAgentIndex, c.stored}}));
    for (int i = 0; i < c.products.size(); ++i)
        hw.plug(QStringLiteral("sr%1").arg(i), c.products[i]);
    open();
    EXPECT_EQ(targetColumn(), marks(int(c.products.size()), c.markedAtOpen));
    EXPECT_EQ(agentPreferences().value(kAgentIndex).toInt(), c.stored) << "opening rewrites nothing";

    int rows = int(c.products.size());
    for (const QString& name : c.unplugged) {
        ASSERT_EQ(hw.machine.unplug(name), 0);
        ASSERT_TRUE(rowsAre(--rows)) << name.toStdString();
    }
    EXPECT_EQ(productColumn(), c.productsAfter);
    EXPECT_EQ(targetColumn(), marks(rows, c.markedAfter));
    EXPECT_EQ(agentPreferences().value(kAgentIndex), QVariant(c.storedAfter));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetupWindowTarget,
    ::testing::Values(
        TargetCase{"SecondRemovedFallsBackToFirst", 1, {"A", "B"}, 1, {"sr1"}, {"A"}, 0, 0},
        TargetCase{"DriveBeforeTargetRemovedMovesIndexWithIt", 1, {"A", "B"}, 1, {"sr0"}, {"B"}, 0, 0},
        TargetCase{"ThirdRemovedMarksFirst", 2, {"A", "B", "C"}, 2, {"sr2"}, {"A", "B"}, 0, 0},
        TargetCase{"EveryDriveGoneMarksNothingAndStoresZero", 2, {"A", "B", "C"}, 2, {"sr2", "sr0", "sr1"}, {}, -1, 0},
        TargetCase{"BeyondTheDrivesMarksTheLast", 5, {"A", "B"}, 1, {}, {"A", "B"}, 1, 5},
        TargetCase{"NegativeMarksTheLast", -1, {"A", "B"}, 1, {}, {"A", "B"}, 1, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SetupWindowTest, SetAsTargetFollowsTheSelection)
{
    setAgentPreferences(laterStart());
    hw.plug("sr0", "A");
    hw.plug("sr1", "B");
    open();
    const QVariantMap before = agentPreferences();

    // Without a selection the command is disabled and does nothing.
    EXPECT_FALSE(window->isEnableSetAsTarget());
    EXPECT_FALSE(window->setAsTargetButton()->isEnabled());
    window->onSetAsTargetDevice();
    EXPECT_EQ(agentPreferences(), before);
    EXPECT_EQ(targetColumn(), (QStringList{mark(), ""}));

    clickRow(window->tableView(), 1);
    ASSERT_TRUE(window->isEnableSetAsTarget());
    ASSERT_TRUE(window->setAsTargetButton()->isEnabled());
    QTest::mouseClick(window->setAsTargetButton(), Qt::LeftButton);
    EXPECT_EQ(agentPreferences().value(kAgentIndex), QVariant(1));
    EXPECT_EQ(targetColumn(), (QStringList{"", mark()}));

    clickRow(window->tableView(), 0);
    QTest::mouseClick(window->setAsTargetButton(), Qt::LeftButton);
    EXPECT_EQ(agentPreferences().value(kAgentIndex), QVariant(0));
    EXPECT_EQ(targetColumn(), (QStringList{mark(), ""}));
}

TEST_F(SetupWindowTest, OptionControlsWriteTheAgentFileAtOnce)
{
    setAgentPreferences(laterStart({{"autoCloseTray", true}, {"timeIntervalUntilCloseTray", 7.0}}));
    open();
    EXPECT_TRUE(window->autoCloseCheckBox()->isChecked());
    EXPECT_EQ(window->secondsField()->text(), "7");

    QTest::mouseClick(window->autoCloseCheckBox(), Qt::LeftButton);
    EXPECT_EQ(agentPreferences().value("autoCloseTray"), QVariant(false));

    QLineEdit* field = window->secondsField();
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "3.5");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(agentPreferences().value("timeIntervalUntilCloseTray").toDouble(), 3.5);

    // Letters are refused by the field; the file keeps the last number.
    field->selectAll();
    QTest::keyClicks(field, "abc");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(agentPreferences().value("timeIntervalUntilCloseTray").toDouble(), 3.5);

    // An emptied field removes the key, so the agent falls back to its default.
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_TRUE(field->text().isEmpty());
    const QVariantMap prefs = agentPreferences();
    EXPECT_FALSE(prefs.contains("timeIntervalUntilCloseTray"));
    EXPECT_EQ(prefs.value("autoCloseTray"), QVariant(false)) << "the rest of the file is kept";
}

TEST_F(SetupWindowTest, ClosingTheWindowQuitsShortlyAfter)
{
    setAgentPreferences(laterStart());
    open();
    EXPECT_TRUE(window->close());
    EXPECT_EQ(quits, 0) << "the quit comes from a short timer, not from inside the close";
    // Sync point: a marker armed right after the close with the window's own
    // 0.05 s delay fires after every timer that close armed.
    bool marker = false;
    QTimer::singleShot(50, [&] { marker = true; });
    EXPECT_TRUE(qn::test::waitUntil([&] { return quits == 1 && marker; }));
    EXPECT_EQ(quits, 1) << "one close, one quit";
}

TEST_F(SetupWindowTest, HotPlugFromAnotherProcessUpdatesTableAndStoredIndex)
{
    const QString tool = qn::test::stageDir() + "/bin/qn-simdrive";
    if (!QFile::exists(tool))
        GTEST_SKIP() << "qn-simdrive is not built in " << qn::test::stageDir().toStdString();
    setAgentPreferences(laterStart({{kAgentIndex, 1}}));
    hw.plug("sr0", "A");
    hw.plug("sr1", "B");
    open();
    ASSERT_EQ(targetColumn(), (QStringList{"", mark()}));

    auto run = [&](const QStringList& args) {
        const auto r = qn::test::runProcess(tool, QStringList{"--machine", hw.machine.path()} + args);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    };
    run({"plug", "--name", "sr5", "--vendor", "OTHER", "--product", "C", "--interconnect", "USB"});
    ASSERT_TRUE(rowsAre(3));
    EXPECT_EQ(productColumn(), (QStringList{"A", "B", "C"}));
    EXPECT_EQ(targetColumn(), (QStringList{"", mark(), ""}));
    EXPECT_EQ(agentPreferences().value(kAgentIndex), QVariant(1));
    EXPECT_EQ(agentPreferences().value("deviceProperties").toList().size(), 3);

    run({"unplug", "sr0"});
    ASSERT_TRUE(rowsAre(2));
    EXPECT_EQ(productColumn(), (QStringList{"B", "C"}));
    EXPECT_EQ(targetColumn(), (QStringList{mark(), ""}));
    EXPECT_EQ(agentPreferences().value(kAgentIndex), QVariant(0));
}

// --- Transformers and the delegate ------------------------------------------

TEST(QNTargetDeviceTransformer, OnlyATrueMarkGivesText)
{
    QNTargetDeviceTransformer t;
    const QString text = qn::localizedString("TargetDevice");
    EXPECT_FALSE(text.isEmpty());
    EXPECT_EQ(t.transformedValue(true).toString(), text);
    EXPECT_EQ(t.transformedValue(1).toString(), text);
    for (const QVariant& v : {QVariant(false), QVariant(), QVariant(0), QVariant(QString("")), QVariant(QString("0"))}) {
        const QVariant out = t.transformedValue(v);
        EXPECT_EQ(out.typeId(), QMetaType::QString) << v.toString().toStdString();
        EXPECT_EQ(out.toString(), "") << v.toString().toStdString();
    }
    EXPECT_EQ(QNTargetDeviceTransformer::transformedValueClass(), QMetaType::fromType<QString>());
    EXPECT_FALSE(QNTargetDeviceTransformer::allowsReverseTransformation());
}

class UrlCatcher : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { urls << url; }

public:
    QList<QUrl> urls;
};

TEST_F(SetupWindowTest, DelegateRegistersTransformersBeforeTheWindowAndOpensBothPages)
{
    qn::ValueTransformer::setValueTransformer(nullptr, "QNBoolTransformer");
    qn::ValueTransformer::setValueTransformer(nullptr, "QNTargetDeviceTransformer");
    setAgentPreferences(laterStart());
    hw.plug("sr0", "A");

    QNTrayliftSetup delegate;
    delegate.applicationDidFinishLaunching(/*trackCrashes*/ false, &hw.registry);
    QNSetupWindowController* w = delegate.setupWindowController();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_NE(qn::ValueTransformer::valueTransformerForName("QNBoolTransformer"), nullptr);
    EXPECT_NE(qn::ValueTransformer::valueTransformerForName("QNTargetDeviceTransformer"), nullptr);
    auto* model = w->deviceTableModel();
    EXPECT_EQ(model->index(0, QNDeviceTableModel::TargetColumn).data().toString(), mark());
    EXPECT_EQ(model->index(0, QNDeviceTableModel::SlotLoadingColumn).data().toString(),
              qn::localizedString("NotChecked"));

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    w->officialWebSiteAction()->trigger();
    w->contactingFormAction()->trigger();
    QDesktopServices::unsetUrlHandler("https");
    ASSERT_EQ(catcher.urls.size(), 2);
    EXPECT_EQ(catcher.urls[0].path(), "/qntraylift/");
    EXPECT_EQ(catcher.urls[1].path(), "/contact.php");
    EXPECT_EQ(catcher.urls[0].host(), catcher.urls[1].host());
    EXPECT_EQ(catcher.urls[0].host(), QUrl(kQNWebServer).host());

    w->setQuitHandler([] {});
    delegate.applicationShouldTerminate();
    EXPECT_EQ(delegate.setupWindowController(), nullptr);
}

#include "SetupWindowTest.moc"
