// SPDX-License-Identifier: MIT
// The widget plug-in as a widget sees it: the QML module is loaded in a
// QQmlEngine and called from JavaScript, over a simulated machine shared with
// the processes the plug-in launches.
//
// The module is copied from the staged tree into a private installation
// (<home>/prefix/lib/qml/QNTraylift), so each test decides what lies at that
// installation's bin/QNTraylift: nothing, a recording stand-in agent, or the
// real agent.
#include "SimulatedMachine.h"
#include "TestSupport.h"

#include "defaults/UserDefaults.h"
#include "events/AppleEvent.h"
#include "events/LaunchServices.h"
#include "hardware/DeviceRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJSEngine>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>

using namespace qn;
using namespace qn::events;
using qn::hardware::SimDrive;

namespace {

QString prefixDir()
{
    return test::homeDir() + QStringLiteral("/prefix");
}
QString agentPath()
{
    return prefixDir() + QStringLiteral("/bin/QNTraylift");
}
QString ejectLogPath()
{
    return test::homeDir() + QStringLiteral("/ejects.log");
}
QString stagedModuleDir()
{
    return test::stageDir() + QStringLiteral("/lib/qml/QNTraylift");
}

// Runs before any test: the private installation of the module.
class PluginEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        qputenv("QN_TEST_EJECT_LOG", QFile::encodeName(ejectLogPath()));
        const QString moduleDir = prefixDir() + QStringLiteral("/lib/qml/QNTraylift");
        ASSERT_TRUE(QDir().mkpath(moduleDir));
        ASSERT_TRUE(QDir().mkpath(prefixDir() + QStringLiteral("/bin")));
        const QStringList files = QDir(stagedModuleDir()).entryList(QDir::Files);
        ASSERT_TRUE(files.contains(QStringLiteral("qmldir"))) << "module not staged in " << stagedModuleDir().toStdString();
        for (const QString& f : files)
            ASSERT_TRUE(QFile::copy(stagedModuleDir() + u'/' + f, moduleDir + u'/' + f)) << f.toStdString();
    }
};
const auto* const environment = ::testing::AddGlobalTestEnvironment(new PluginEnvironment);

SimDrive drive(const QString& bsdName, const QByteArray& guid, const QString& vendor, const QString& product)
{
    SimDrive d;
    d.bsdName = bsdName;
    d.guid = guid;
    d.vendor = vendor;
    d.product = product;
    d.revision = QStringLiteral("1.00");
    return d;
}
const SimDrive kFirst = drive("sr0", QByteArray::fromHex("0a0b0c0d01"), "HL-DT-ST", "DVDRAM GH24NSD1");
const SimDrive kSecond = drive("sr1", QByteArray::fromHex("0a0b0c0d02"), "PLDS", "DVD+-RW DU-8A5LH");
const SimDrive kThird = drive("sr2", QByteArray::fromHex("0a0b0c0d03"), "TSSTcorp", "CDDVDW SE-208GB");

QStringList readEjectLog()
{
    QFile f(ejectLogPath());
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

// A QQmlEngine with the private installation on its import path, and the
// module's script object as a JavaScript value.
class ScriptHost {
public:
    ScriptHost()
    {
        engine.addImportPath(prefixDir() + QStringLiteral("/lib/qml"));
        QQmlComponent component(&engine);
        component.setData("import QtQml\nimport QNTraylift\nQtObject { property var control: QNTrayliftControl }\n",
                          QUrl(QStringLiteral("file:///host.qml")));
        holder.reset(component.create());
        if (!holder) {
            error = component.errorString();
            return;
        }
        control = holder->property("control").value<QJSValue>();
    }

    /// Runs a function body with the script object in scope under its own
    /// name, as a widget's script sees it.
    QJSValue run(const QString& body)
    {
        QJSValue f = engine.evaluate(QStringLiteral("(function (QNTrayliftControl) { %1 })").arg(body));
        return f.call({control});
    }
    /// QNTrayliftControl.<operation>(<argument>) as script calls it.
    QJSValue call(const char* operation, const QString& argument = {})
    {
        return run(QStringLiteral("return QNTrayliftControl.%1(%2);").arg(QLatin1String(operation), argument));
    }
    int count() { return call("numberOfDevices").toInt(); }

    QQmlEngine engine;
    std::unique_ptr<QObject> holder;
    QJSValue control;
    QString error;
};

class QNTrayliftControlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(ejectLogPath());
        QFile::remove(agentPath());
    }
    void TearDown() override
    {
        stopAgent();
        QFile::remove(agentPath());
    }

    // Plugs `d` and returns once this process's registry has announced it to
    // every watcher: a live subscription of the plug-in would have seen it.
    void plugAndWaitForAnnouncement(const SimDrive& d)
    {
        hardware::DeviceRegistry& registry = hardware::DeviceRegistry::instance();
        ASSERT_TRUE(registry.startWatching());
        bool announced = false;
        const QMetaObject::Connection c = QObject::connect(
            &registry, &hardware::DeviceRegistry::drivesAppeared, [&](const QList<QVariantMap>& drives) {
                for (const QVariantMap& p : drives)
                    announced = announced || p.value(hardware::kBSDNameKey).toString() == d.bsdName;
            });
        hw.plugDrive(d);
        const bool ok = test::waitUntil([&] { return announced; }, 10000);
        QObject::disconnect(c);
        registry.stopWatching();
        ASSERT_TRUE(ok) << "the registry did not announce " << d.bsdName.toStdString();
    }
    // The module loaded in `host`, then the first two drives plugged and scanned.
    void scanTwoDrives(ScriptHost& host)
    {
        ASSERT_TRUE(host.error.isEmpty()) << host.error.toStdString();
        hw.plugDrive(kFirst);
        hw.plugDrive(kSecond);
        host.call("scanDevices");
        ASSERT_EQ(host.count(), 2);
    }
    void installRecordingAgent()
    {
        ASSERT_TRUE(QFile::copy(test::testBinDir() + QStringLiteral("/qn_test_eject_recorder"), agentPath()));
    }
    // Asks whatever runs at agentPath() to quit, and kills it (by pid) when
    // it does not.
    void stopAgent()
    {
        const ProcessSerialNumber psn = LaunchServices::runningInstance(agentPath());
        if (psn.isNull())
            return;
        sendEvent(AppleEvent(kCoreEventClass, kAEQuitApplication), psn);
        if (!test::waitUntil([&] { return !psn.isAlive(); }, 10000))
            ::kill(psn.pid(), SIGKILL);
    }

    // The registry picks its backend and file once per process: every test's
    // machine lies at the same place.
    test::SimulatedMachine hw{test::homeDir()};
};

TEST_F(QNTrayliftControlTest, ModuleLoadsAndShowsExactlyTheFiveOperations)
{
    ScriptHost host;
    ASSERT_TRUE(host.error.isEmpty()) << host.error.toStdString();
    // Every own property, enumerable or not, with its type.
    const QJSValue keys = host.run(QStringLiteral(
        "return Object.getOwnPropertyNames(QNTrayliftControl).sort().map(function (k) {"
        " return k + ':' + typeof QNTrayliftControl[k]; }).join(',');"));
    EXPECT_EQ(keys.toString(), QStringLiteral("ejectTrayWithDeviceIndex:function,numberOfDevices:function,"
                                              "productNameAtIndex:function,scanDevices:function,"
                                              "vendorNameAtIndex:function"));
    // Nothing of the object behind it leaks through, and script cannot
    // replace or add operations.
    EXPECT_TRUE(host.run(QStringLiteral("return QNTrayliftControl.objectName;")).isUndefined());
    EXPECT_TRUE(host.run(QStringLiteral("return QNTrayliftControl.deleteLater;")).isUndefined());
    EXPECT_TRUE(host.run(QStringLiteral("return QNTrayliftControl.deviceArray;")).isUndefined());
    EXPECT_TRUE(host.run(QStringLiteral("QNTrayliftControl.scanDevices = null; QNTrayliftControl.extra = 1;"
                                        " return typeof QNTrayliftControl.scanDevices === 'function'"
                                        " && QNTrayliftControl.extra === undefined;"))
                    .toBool());
}

TEST_F(QNTrayliftControlTest, CountsAndNamesComeFromTheLastScan)
{
    hw.plugDrive(kFirst);
    hw.plugDrive(kSecond);
    ScriptHost host;
    ASSERT_TRUE(host.error.isEmpty()) << host.error.toStdString();

    // Nothing before the first scan, even with drives present.
    EXPECT_EQ(host.count(), 0);
    EXPECT_TRUE(host.call("productNameAtIndex", "0").isUndefined());
    EXPECT_TRUE(host.call("vendorNameAtIndex", "0").isUndefined());

    EXPECT_TRUE(host.call("scanDevices").isUndefined());
    const QJSValue count = host.call("numberOfDevices");
    EXPECT_TRUE(count.isNumber());
    EXPECT_EQ(count.toInt(), 2);
    EXPECT_EQ(host.call("vendorNameAtIndex", "0").toString(), "HL-DT-ST");
    EXPECT_EQ(host.call("productNameAtIndex", "0").toString(), "DVDRAM GH24NSD1");
    EXPECT_EQ(host.call("vendorNameAtIndex", "1").toString(), "PLDS");
    EXPECT_EQ(host.call("productNameAtIndex", "1").toString(), "DVD+-RW DU-8A5LH");
    EXPECT_TRUE(host.run(QStringLiteral("return typeof QNTrayliftControl.productNameAtIndex(1);")).toString() == "string");
}

TEST_F(QNTrayliftControlTest, OutOfRangeIndexesGiveNoValue)
{
    ScriptHost host;
    ASSERT_NO_FATAL_FAILURE(scanTwoDrives(host));
    // -1 reads as the largest unsigned position; 2^32-1 and 2^32+1 arrive as
    // the int32 values -1 and 1, like any script number passed as an int32.
    for (const char* index : {"2", "-1", "-2", "2147483647", "-2147483648", "4294967295"}) {
        SCOPED_TRACE(index);
        EXPECT_TRUE(host.call("productNameAtIndex", index).isUndefined());
        EXPECT_TRUE(host.call("vendorNameAtIndex", index).isUndefined());
    }
    EXPECT_EQ(host.call("vendorNameAtIndex", "4294967297").toString(), "PLDS");
}

TEST_F(QNTrayliftControlTest, SnapshotChangesOnlyWithTheNextScan)
{
    ScriptHost host;
    ASSERT_NO_FATAL_FAILURE(scanTwoDrives(host));

    plugAndWaitForAnnouncement(kThird);
    EXPECT_EQ(host.count(), 2);
    EXPECT_TRUE(host.call("productNameAtIndex", "2").isUndefined());

    host.call("scanDevices");
    EXPECT_EQ(host.count(), 3);
    EXPECT_EQ(host.call("vendorNameAtIndex", "2").toString(), "TSSTcorp");

    // A removal shifts the later drives down, again only after a scan.
    hw.unplug(QStringLiteral("sr0"));
    EXPECT_EQ(host.count(), 3);
    EXPECT_EQ(host.call("vendorNameAtIndex", "0").toString(), "HL-DT-ST");
    host.call("scanDevices");
    EXPECT_EQ(host.count(), 2);
    EXPECT_EQ(host.call("vendorNameAtIndex", "0").toString(), "PLDS");
    EXPECT_EQ(host.call("vendorNameAtIndex", "1").toString(), "TSSTcorp");

    // A machine without drives empties the snapshot.
    hw.unplug(QStringLiteral("sr1"));
    hw.unplug(QStringLiteral("sr2"));
    host.call("scanDevices");
    EXPECT_EQ(host.count(), 0);
}

TEST_F(QNTrayliftControlTest, EjectRequestReachesTheAgentWithTheIndexUnchanged)
{
    installRecordingAgent();
    ScriptHost host;
    ASSERT_TRUE(host.error.isEmpty()) << host.error.toStdString();

    // The first request starts the agent, the next ones go to the running
    // instance. Indexes are not checked against the (empty) snapshot.
    EXPECT_TRUE(host.call("ejectTrayWithDeviceIndex", "1").isUndefined());
    ASSERT_TRUE(test::waitUntil([] { return readEjectLog().size() == 1; }, 15000)) << "the agent got no request";
    const ProcessSerialNumber agent = LaunchServices::runningInstance(agentPath());
    ASSERT_FALSE(agent.isNull());
    host.call("ejectTrayWithDeviceIndex", "-1");
    host.call("ejectTrayWithDeviceIndex", "7");
    ASSERT_TRUE(test::waitUntil([] { return readEjectLog().size() == 3; }, 15000)) << readEjectLog().join(" | ").toStdString();

    const QString pid = QString::number(agent.pid());
    EXPECT_EQ(readEjectLog(), QStringList({"pid=" + pid + " index=1", "pid=" + pid + " index=-1",
                                           "pid=" + pid + " index=7"}));
}

TEST_F(QNTrayliftControlTest, EjectRequestIsDroppedWhenNoAgentIsInstalled)
{
    ScriptHost host;
    ASSERT_NO_FATAL_FAILURE(scanTwoDrives(host));

    const QJSValue result = host.call("ejectTrayWithDeviceIndex", "1");
    EXPECT_FALSE(result.isError()) << result.toString().toStdString();
    EXPECT_TRUE(result.isUndefined());

    // A folder where the program should be is no agent either.
    ASSERT_TRUE(QDir().mkpath(agentPath()));
    EXPECT_TRUE(host.call("ejectTrayWithDeviceIndex", "0").isUndefined());
    QDir(agentPath()).removeRecursively();
    EXPECT_TRUE(LaunchServices::runningInstance(agentPath()).isNull());

    // Sync point: once an agent is installed, a later request arrives, and
    // it arrives alone: nothing of the dropped ones was kept for it.
    installRecordingAgent();
    host.call("ejectTrayWithDeviceIndex", "5");
    ASSERT_TRUE(test::waitUntil([] { return !readEjectLog().isEmpty(); }, 15000)) << "the agent got no request";
    EXPECT_EQ(readEjectLog().size(), 1);
    EXPECT_TRUE(readEjectLog().first().endsWith(" index=5")) << readEjectLog().first().toStdString();
    const auto state = hw.machine.read();
    ASSERT_TRUE(state.has_value());
    for (const SimDrive& d : state->drives)
        EXPECT_FALSE(d.trayOpen) << d.bsdName.toStdString();
    // The plug-in keeps working afterwards.
    EXPECT_EQ(host.count(), 2);
}

TEST_F(QNTrayliftControlTest, EjectOfIndexOneOpensTheSecondTrayThroughTheAgent)
{
    const QString stagedAgent = test::stageDir() + QStringLiteral("/bin/QNTraylift");
    if (!QFileInfo(stagedAgent).isExecutable())
        GTEST_SKIP() << "the agent is not built in this tree (" << stagedAgent.toStdString() << " missing)";
    ASSERT_TRUE(QFile::link(stagedAgent, agentPath()));
    // A returning user who wants no countdown: the agent acts at once.
    UserDefaults prefs(QStringLiteral("com.qnlab.QNTraylift"));
    ASSERT_TRUE(prefs.setBool(true, QStringLiteral("isNotFirstTime")));
    ASSERT_TRUE(prefs.setBool(false, QStringLiteral("autoCloseTray")));
    hw.plugDrive(kFirst);
    hw.plugDrive(kSecond);

    ScriptHost host;
    ASSERT_TRUE(host.error.isEmpty()) << host.error.toStdString();
    host.call("ejectTrayWithDeviceIndex", "1");
    auto trayOpen = [&](const QString& bsdName) {
        const auto d = hw.drive(bsdName);
        return d && d->trayOpen;
    };
    EXPECT_TRUE(test::waitUntil([&] { return trayOpen(QStringLiteral("sr1")); }, 20000))
        << "the second drive's tray did not open";
    EXPECT_FALSE(trayOpen(QStringLiteral("sr0")));
    // Without a countdown the agent quits by itself.
    EXPECT_TRUE(test::waitUntil([] { return LaunchServices::runningInstance(agentPath()).isNull(); }, 20000));
}

// The visible items of a loaded widget with this object name, in the order a
// depth-first walk of the item tree meets them (the order of the rows).
QList<QQuickItem*> itemsNamed(QQuickItem* root, const QString& name)
{
    QList<QQuickItem*> found;
    std::function<void(QQuickItem*)> walk = [&](QQuickItem* item) {
        if (item->objectName() == name && item->isVisible())
            found.append(item);
        for (QQuickItem* child : item->childItems())
            walk(child);
    };
    walk(root);
    return found;
}

QStringList textsOf(const QList<QQuickItem*>& items)
{
    QStringList texts;
    for (QQuickItem* item : items)
        texts.append(item->property("text").toString());
    return texts;
}

TEST_F(QNTrayliftControlTest, SampleWidgetListsDrivesRefreshesAndEjectsTheChosenOne)
{
    const QString widget = test::stageDir() + QStringLiteral("/share/qnlab/widget/QNTrayliftWidget.qml");
    ASSERT_TRUE(QFileInfo::exists(widget)) << widget.toStdString();
    installRecordingAgent();
    hw.plugDrive(kFirst);
    hw.plugDrive(kSecond);

    QQmlApplicationEngine engine;
    engine.addImportPath(prefixDir() + QStringLiteral("/lib/qml"));
    QStringList warnings;
    QObject::connect(&engine, &QQmlEngine::warnings, [&](const QList<QQmlError>& list) {
        for (const QQmlError& e : list)
            warnings.append(e.toString());
    });
    engine.load(QUrl::fromLocalFile(widget));
    ASSERT_EQ(engine.rootObjects().size(), 1) << warnings.join('\n').toStdString();
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    ASSERT_NE(window, nullptr);
    // The window's content item holds the header as well as the rows.
    QQuickItem* root = window->contentItem();

    // Scanned on load: one row per drive, vendor then product.
    EXPECT_EQ(textsOf(itemsNamed(root, "driveLabel")),
              QStringList({"HL-DT-ST DVDRAM GH24NSD1", "PLDS DVD+-RW DU-8A5LH"}));
    EXPECT_TRUE(itemsNamed(root, "emptyLabel").isEmpty());

    // A drive plugged in later shows after a refresh, not before.
    plugAndWaitForAnnouncement(kThird);
    EXPECT_EQ(itemsNamed(root, "driveLabel").size(), 2);
    const QList<QQuickItem*> refresh = itemsNamed(root, "refreshButton");
    ASSERT_EQ(refresh.size(), 1);
    ASSERT_TRUE(QMetaObject::invokeMethod(refresh.first(), "clicked"));
    EXPECT_EQ(textsOf(itemsNamed(root, "driveLabel")),
              QStringList({"HL-DT-ST DVDRAM GH24NSD1", "PLDS DVD+-RW DU-8A5LH", "TSSTcorp CDDVDW SE-208GB"}));

    // The button of the second row asks the agent for position 1.
    const QList<QQuickItem*> eject = itemsNamed(root, "ejectButton");
    ASSERT_EQ(eject.size(), 3);
    ASSERT_TRUE(QMetaObject::invokeMethod(eject.at(1), "clicked"));
    ASSERT_TRUE(test::waitUntil([] { return readEjectLog().size() == 1; }, 15000)) << "the agent got no request";
    EXPECT_TRUE(readEjectLog().first().endsWith(" index=1")) << readEjectLog().first().toStdString();

    // With every drive gone the widget says so.
    for (const char* name : {"sr0", "sr1", "sr2"})
        hw.unplug(QString::fromLatin1(name));
    ASSERT_TRUE(QMetaObject::invokeMethod(refresh.first(), "clicked"));
    EXPECT_TRUE(itemsNamed(root, "driveLabel").isEmpty());
    EXPECT_EQ(itemsNamed(root, "emptyLabel").size(), 1);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
}

}  // namespace
