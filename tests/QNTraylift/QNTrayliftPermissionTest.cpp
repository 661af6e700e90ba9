// SPDX-License-Identifier: MIT
// The agent for a user who may not open the drive's node: the real agent
// runs as an unprivileged user (setpriv) without a display on a mocked drive
// (umockdev) whose node belongs to root and group "disk", with udisks2 played
// by a D-Bus double that every user may reach.
#include "TestSupport.h"
#include "UDisksDouble.h"
#include "UMockdevDrives.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using qn::test::UDisksDouble;
using qn::test::UMockdevDrives;

namespace {

const char kExpectedAlert[] =
    "QNTraylift: You have no permission to open or close the tray of /dev/sr0. Log in at this computer itself "
    "(not remotely), or ask an administrator to add you to the group \u201cdisk\u201d, which owns /dev/sr0, then "
    "log out and in again.";

struct PermissionCase {
    const char* name;
    const char* eject;      // the double's Drive.Eject; nullptr: no udisks2 on the bus
    double countdown;       // "timeIntervalUntilCloseTray" with "autoCloseTray" on; 0: off
    QStringList calls;      // what udisks2 is asked
    bool alert;             // the no-permission alert is shown (at the start or at the deadline)
};

bool chownTree(const QString& path, uid_t uid, gid_t gid)
{
    if (::chown(QFile::encodeName(path).constData(), uid, gid) != 0)
        return false;
    for (const QString& entry : QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString child = path + QLatin1Char('/') + entry;
        if (QFileInfo(child).isDir() ? !chownTree(child, uid, gid)
                                     : ::chown(QFile::encodeName(child).constData(), uid, gid) != 0)
            return false;
    }
    return true;
}

}  // namespace

class AgentWithoutNodeAccess : public ::testing::TestWithParam<PermissionCase> {
protected:
    void SetUp() override
    {
        agent = qn::test::stageDir() + QStringLiteral("/bin/QNTraylift");
        if (!QFile::exists(agent))
            GTEST_SKIP() << "the agent is not built";
        if (!drives.usable())
            GTEST_SKIP() << "not running under umockdev-wrapper";
        if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
            GTEST_SKIP() << "needs root and setpriv to run the agent as another user";
        const passwd* nobody = ::getpwnam("nobody");
        const group* disk = ::getgrnam("disk");
        if (!nobody || !disk)
            GTEST_SKIP() << "no user nobody or group disk";
        user = nobody->pw_uid;
        userGroup = nobody->pw_gid;
        drives.addDrive("sr0", 0, {"ID_CDROM=1", "ID_BUS=ata", "ID_SERIAL=SIMLAB_DVD-RW_0001"});
        ASSERT_TRUE(drives.restrictNode("sr0", disk->gr_gid));
    }

    // The agent's home with its preferences, owned by the user it runs as.
    QProcessEnvironment agentEnvironment(double countdown)
    {
        const QString home = dir.path() + QStringLiteral("/home");
        for (const char* sub : {"/.config/qnlab", "/.local/state", "/.cache", "/runtime", "/tmp"})
            QDir().mkpath(home + QLatin1String(sub));
        QFile prefs(home + QStringLiteral("/.config/qnlab/com.qnlab.QNTraylift.plist"));
        EXPECT_TRUE(prefs.open(QIODevice::WriteOnly));
        prefs.write(QStringLiteral(
                        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                        "<key>isNotFirstTime</key><true/><key>targetDeviceIndex</key><integer>0</integer>"
                        "<key>autoCloseTray</key><%1/><key>timeIntervalUntilCloseTray</key><real>%2</real>"
                        "</dict></plist>\n")
                        .arg(countdown > 0 ? QStringLiteral("true") : QStringLiteral("false"))
                        .arg(countdown)
                        .toUtf8());
        prefs.close();
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        EXPECT_TRUE(chownTree(home, user, userGroup));
        ::chmod(QFile::encodeName(home + QStringLiteral("/runtime")).constData(), 0700);

        // Inherits umockdev's preload and testbed; no display, so alerts go to
        // standard error.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "QNLAB_SIMULATED_HARDWARE",
                                 "QNLAB_TEST_ANSWERS"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/.local/state"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
        env.insert(QStringLiteral("TMPDIR"), home + QStringLiteral("/tmp"));
        env.insert(QStringLiteral("QNLAB_TEST_SHOWN"), home + QStringLiteral("/shown.jsonl"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/bus"));
        return env;
    }

    QList<QJsonObject> shownAlerts() const
    {
        QList<QJsonObject> shown;
        QFile f(dir.path() + QStringLiteral("/home/shown.jsonl"));
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                if (!line.trimmed().isEmpty())
                    shown << QJsonDocument::fromJson(line).object();
        return shown;
    }

    QString agent;
    UMockdevDrives drives;
    QTemporaryDir dir;
    uid_t user = 0;
    gid_t userGroup = 0;
};

TEST_P(AgentWithoutNodeAccess, EjectsThroughUDisksOrTellsTheUserWhatToDo)
{
    const PermissionCase& c = GetParam();
    UDisksDouble udisks;
    QString why;
    const bool started = c.eject ? udisks.start({{"drive:sr0", c.eject}}, &why, UDisksDouble::Users::Every)
                                 : udisks.startWithoutUDisks(&why, UDisksDouble::Users::Every);
    if (!started)
        GTEST_SKIP() << why.toStdString();

    QProcessEnvironment env = agentEnvironment(c.countdown);
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), udisks.busAddress());
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=%1").arg(user), QStringLiteral("--regid=%1").arg(userGroup),
                                        QStringLiteral("--clear-groups"), agent});
    ASSERT_TRUE(p.waitForStarted(10000));
    // The agent quits by itself: 1.6 s after the operation, or at the deadline.
    const bool finished = p.waitForFinished(60000);
    if (!finished) {
        p.kill();
        p.waitForFinished(5000);
    }
    ASSERT_TRUE(finished) << "the agent did not quit";
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 0) << err.toStdString();
    EXPECT_EQ(udisks.calls(), c.calls);
    const qsizetype alerts = err.count(QString::fromUtf8(kExpectedAlert));
    EXPECT_EQ(alerts, c.alert ? 1 : 0) << err.toStdString();
    const QList<QJsonObject> shown = shownAlerts();
    ASSERT_EQ(shown.size(), c.alert ? 1 : 0);
    if (c.alert) {
        EXPECT_TRUE(shown.first().value(QStringLiteral("message")).toString().contains(QStringLiteral("/dev/sr0")));
    }
    // Never through the node itself.
    EXPECT_EQ(drives.withIoctls([](UMockdevDrives::Ioctls& s) { return s.received; }), QList<QByteArray>{});
}

INSTANTIATE_TEST_SUITE_P(
    DriveEject, AgentWithoutNodeAccess,
    ::testing::Values(
        // udisks2 ejects: the tray opened, nothing to tell.
        PermissionCase{"ok", "ok", 0, {"Eject sr0"}, false},
        // ... and with a countdown on, none is armed: closing would need the node.
        PermissionCase{"ok_countdown", "ok", 30, {"Eject sr0"}, false},
        PermissionCase{"notauth", "notauth", 0, {"Eject sr0"}, true},
        PermissionCase{"absent", nullptr, 0, {}, true}),
    [](const auto& info) { return std::string(info.param.name); });
