// SPDX-License-Identifier: MIT
// The Eject key option against the desktops' own settings stores: GNOME's
// GSettings with the keyfile backend (read back by the gsettings program), and
// kglobalaccel and xfconfd doubles (python3-dbusmock) on a private bus.
#include "EjectKeyBinding.h"
#include "EjectKeyOption.h"
#include "QNOtherAppDefaults.h"

#include "strings/LocalizedString.h"

#include "PrivateSessionBus.h"
#include "TestSupport.h"

#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include <QCheckBox>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using Desktop = EjectKeyBinding::Desktop;

namespace {

const char* const kMediaKeys = "org.gnome.settings-daemon.plugins.media-keys";
const QString kCustomFolder = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/");
// A path with a space, quoted as a shell word as the setup passes it.
const QString kQuotedCommand = QStringLiteral("'/opt/qn lab/bin/qneject'");
const QKeyCombination kEject(Qt::Key_Eject);
const QKeyCombination kExtra(Qt::ControlModifier | Qt::AltModifier, Qt::Key_E);
const QKeyCombination kOtherAppsKey(Qt::Key_F9);

// --- A private bus with the KDE and Xfce doubles ------------------------------------------------
class DesktopDoubles {
public:
    bool start(QString* why)
    {
        if (!_bus.start(why))
            return false;
        const QString ready = _dir.filePath(QStringLiteral("ready"));
        return _bus.startPython({QStringLiteral(QN_DESKTOP_DOUBLES_SCRIPT), _bus.address(), ready},
                                [&] { return QFile::exists(ready); }, QStringLiteral("the kglobalaccel/xfconfd doubles"),
                                why);
    }
    QString address() const { return _bus.address(); }

private:
    QTemporaryDir _dir;
    qn::test::PrivateSessionBus _bus;
};

// The setup's English texts, installed once.
void useSetupTexts()
{
    static const bool installed = qn::installTranslations(QStringLiteral("QNTrayliftSetup"));
    ASSERT_TRUE(installed);
}

DesktopDoubles* gDoubles = nullptr;
QString gDoublesProblem;

QDBusConnection doublesBus()
{
    return QDBusConnection::connectToBus(gDoubles->address(), QStringLiteral("qntest-desktop-doubles"));
}

QDBusMessage callDouble(const QString& service, const QString& path, const QString& iface, const QString& method,
                        const QVariantList& args)
{
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, iface, method);
    m.setArguments(args);
    return doublesBus().call(m);
}

QDBusMessage kglobalaccel(const QString& method, const QVariantList& args)
{
    return callDouble(QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/kglobalaccel"),
                      QStringLiteral("org.kde.KGlobalAccel"), method, args);
}

QDBusMessage xfconf(const QString& method, const QVariantList& args)
{
    return callDouble(QStringLiteral("org.xfce.Xfconf"), QStringLiteral("/org/xfce/Xfconf"),
                      QStringLiteral("org.xfce.Xfconf"), method, args);
}

// --- GNOME: settings written in-process, read back by the gsettings program ---------------------
QString gsettings(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("gsettings"), args);
    if (!p.waitForFinished(10000))
        return QStringLiteral("<gsettings did not finish>");
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

QString customSchema(const QString& path)
{
    return QString::fromLatin1(kMediaKeys) + QStringLiteral(".custom-keybinding:") + path;
}

// A value as gsettings prints it (GVariant text), decoded.
QStringList decodedList(const QString& printed)
{
    QStringList list;
    GVariant* v = g_variant_parse(G_VARIANT_TYPE_STRING_ARRAY, printed.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (!v)
        return {QStringLiteral("<unparsable: %1>").arg(printed)};
    gsize n = 0;
    const gchar** strv = g_variant_get_strv(v, &n);
    for (gsize i = 0; i < n; ++i)
        list << QString::fromUtf8(strv[i]);
    g_free(strv);
    g_variant_unref(v);
    return list;
}

QString decodedString(const QString& printed)
{
    GVariant* v = g_variant_parse(G_VARIANT_TYPE_STRING, printed.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (!v)
        return QStringLiteral("<unparsable: %1>").arg(printed);
    const QString text = QString::fromUtf8(g_variant_get_string(v, nullptr));
    g_variant_unref(v);
    return text;
}

QStringList customPaths()
{
    return decodedList(gsettings({QStringLiteral("get"), QString::fromLatin1(kMediaKeys), QStringLiteral("custom-keybindings")}));
}

void gnomeSetList(const char* key, const QStringList& values)
{
    GSettings* s = g_settings_new(kMediaKeys);
    QList<QByteArray> bytes;
    std::vector<const gchar*> strv;
    for (const QString& v : values)
        bytes << v.toUtf8();
    for (const QByteArray& b : bytes)
        strv.push_back(b.constData());
    strv.push_back(nullptr);
    g_settings_set_strv(s, key, strv.data());
    g_object_unref(s);
    g_settings_sync();
}

void gnomeSetCustom(const QString& path, const QString& name, const QString& command, const QString& binding)
{
    GSettings* s = g_settings_new_with_path(
        "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding", path.toUtf8().constData());
    g_settings_set_string(s, "name", name.toUtf8().constData());
    g_settings_set_string(s, "command", command.toUtf8().constData());
    g_settings_set_string(s, "binding", binding.toUtf8().constData());
    g_object_unref(s);
    g_settings_sync();
}

bool gnomeSchemasInstalled()
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, kMediaKeys, TRUE) : nullptr;
    if (schema)
        g_settings_schema_unref(schema);
    return schema != nullptr;
}

void startDoubles()
{
    useSetupTexts();
    gDoubles = new DesktopDoubles;
    if (!gDoubles->start(&gDoublesProblem)) {
        delete gDoubles;
        gDoubles = nullptr;
    }
}

void stopDoubles()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("qntest-desktop-doubles"));
    delete gDoubles;
    gDoubles = nullptr;
}

// --- One view over the three desktops ----------------------------------------------------------
class EjectKeyDesktop : public ::testing::TestWithParam<Desktop> {
protected:
    static void SetUpTestSuite() { startDoubles(); }
    static void TearDownTestSuite() { stopDoubles(); }

    void SetUp() override
    {
        if (desktop() == Desktop::Gnome) {
            if (!gnomeSchemasInstalled())
                GTEST_SKIP() << "GNOME's media-keys schema is not installed (gnome-settings-daemon-common)";
            // A fresh store: what earlier cases left is reset in-process.
            gnomeSetList("custom-keybindings", {});
            GSettings* s = g_settings_new(kMediaKeys);
            g_settings_reset(s, "eject-static");
            g_object_unref(s);
            g_settings_sync();
        } else {
            if (!gDoubles)
                GTEST_SKIP() << gDoublesProblem.toStdString();
            kglobalaccel(QStringLiteral("unregister"), {QStringLiteral("org.other.app.desktop"), QStringLiteral("_launch")});
            kglobalaccel(QStringLiteral("unregister"), {QStringLiteral("qntraylift-eject.desktop"), QStringLiteral("_launch")});
            xfconf(QStringLiteral("ResetProperty"), {QStringLiteral("xfce4-keyboard-shortcuts"), QStringLiteral("/"), true});
        }
    }

    Desktop desktop() const { return GetParam(); }

    EjectKeyBinding binding() const
    {
        return EjectKeyBinding(desktop(), kQuotedCommand, gDoubles ? doublesBus() : QDBusConnection::sessionBus());
    }

    /// Another program binds `key` to "other-app" in the desktop's settings.
    void seedOtherApp(const QKeyCombination& key)
    {
        const QString accel = EjectKeyBinding::acceleratorName(key);
        switch (desktop()) {
        case Desktop::Gnome: {
            const QString path = kCustomFolder + QStringLiteral("custom0/");
            gnomeSetCustom(path, QStringLiteral("Other"), QStringLiteral("other-app"), accel);
            gnomeSetList("custom-keybindings", {path});
            break;
        }
        case Desktop::Kde: {
            const QStringList id{QStringLiteral("org.other.app.desktop"), QStringLiteral("_launch"),
                                 QStringLiteral("Other"), QStringLiteral("other-app")};
            kglobalaccel(QStringLiteral("doRegister"), {id});
            kglobalaccel(QStringLiteral("setForeignShortcut"), {id, QVariant::fromValue(QList<int>{key.toCombined()})});
            break;
        }
        case Desktop::Xfce:
            xfconf(QStringLiteral("SetProperty"), {QStringLiteral("xfce4-keyboard-shortcuts"),
                                                   QStringLiteral("/commands/custom/") + accel,
                                                   QVariant::fromValue(QDBusVariant(QStringLiteral("other-app")))});
            break;
        case Desktop::Other:
            break;
        }
    }

    /// What the desktop runs for the key: a command, or "" for nothing.
    QString commandFor(const QKeyCombination& key) const
    {
        const QString accel = EjectKeyBinding::acceleratorName(key);
        switch (desktop()) {
        case Desktop::Gnome:
            for (const QString& path : customPaths()) {
                if (decodedString(gsettings({QStringLiteral("get"), customSchema(path), QStringLiteral("binding")})) == accel)
                    return decodedString(gsettings({QStringLiteral("get"), customSchema(path), QStringLiteral("command")}));
            }
            return {};
        case Desktop::Kde: {
            const QStringList owner = kglobalaccel(QStringLiteral("action"), {key.toCombined()}).arguments().value(0).toStringList();
            if (owner.isEmpty())
                return {};
            if (owner.first() != u"qntraylift-eject.desktop")
                return owner.value(3);
            QFile file(QDir(QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation))
                           .filePath(owner.first()));
            if (!file.open(QIODevice::ReadOnly))
                return QStringLiteral("<no desktop file>");
            for (const QByteArray& line : file.readAll().split('\n'))
                if (line.startsWith("Exec="))
                    return QString::fromUtf8(line.mid(5));
            return QStringLiteral("<no Exec line>");
        }
        case Desktop::Xfce: {
            const QDBusMessage reply = xfconf(QStringLiteral("GetProperty"),
                                              {QStringLiteral("xfce4-keyboard-shortcuts"), QStringLiteral("/commands/custom/") + accel});
            return reply.type() == QDBusMessage::ErrorMessage ? QString()
                                                              : reply.arguments().value(0).value<QDBusVariant>().variant().toString();
        }
        case Desktop::Other:
            break;
        }
        return {};
    }

    /// Everything of the desktop's settings that the binding could touch.
    QString snapshot() const
    {
        QStringList lines;
        switch (desktop()) {
        case Desktop::Gnome: {
            const QString list = gsettings({QStringLiteral("get"), QString::fromLatin1(kMediaKeys), QStringLiteral("custom-keybindings")});
            lines << list << gsettings({QStringLiteral("get"), QString::fromLatin1(kMediaKeys), QStringLiteral("eject-static")});
            for (const QString& path : decodedList(list))
                lines << gsettings({QStringLiteral("list-recursively"), customSchema(path)});
            for (const char* ours : {"qntraylift-eject/", "qntraylift-key/"})
                lines << gsettings({QStringLiteral("list-recursively"), customSchema(kCustomFolder + QLatin1String(ours))});
            break;
        }
        case Desktop::Kde:
            for (const QKeyCombination& key : {kEject, kExtra, kOtherAppsKey})
                lines << kglobalaccel(QStringLiteral("action"), {key.toCombined()}).arguments().value(0).toStringList().join(u'|');
            lines << QString::number(QDir(QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation))
                                         .entryList(QDir::Files).size());
            break;
        case Desktop::Xfce: {
            const QVariantMap all = qdbus_cast<QVariantMap>(
                xfconf(QStringLiteral("GetAllProperties"), {QStringLiteral("xfce4-keyboard-shortcuts"), QStringLiteral("/")})
                    .arguments().value(0));
            for (auto it = all.begin(); it != all.end(); ++it)
                lines << it.key() + u'=' + it.value().toString();
            break;
        }
        case Desktop::Other:
            break;
        }
        return lines.join(u'\n');
    }
};

}  // namespace

TEST_P(EjectKeyDesktop, BindsEjectAndExtraKeyThenRemovesExactlyThat)
{
    seedOtherApp(kOtherAppsKey);
    const QString before = snapshot();

    EjectKeyBinding b = binding();
    const EjectKeyBinding::Result bound = b.bind(QKeySequence(kExtra));
    ASSERT_TRUE(bound.ok) << bound.status.toStdString();
    EXPECT_FALSE(bound.record.isEmpty());
    EXPECT_TRUE(bound.status.contains(EjectKeyBinding::desktopName(desktop()))) << bound.status.toStdString();
    EXPECT_EQ(commandFor(kEject), kQuotedCommand);
    EXPECT_EQ(commandFor(kExtra), kQuotedCommand);
    EXPECT_EQ(commandFor(kOtherAppsKey), QStringLiteral("other-app"));
    if (desktop() == Desktop::Gnome) {  // gsd's own eject grab gives the key up while ours exists
        EXPECT_EQ(gsettings({QStringLiteral("get"), QString::fromLatin1(kMediaKeys), QStringLiteral("eject-static")}),
                  QStringLiteral("@as []"));
    }

    // Only the stored record is needed to remove it (a later run of the setup).
    const EjectKeyBinding::Result removed = binding().unbind(bound.record);
    EXPECT_TRUE(removed.ok) << removed.status.toStdString();
    EXPECT_TRUE(removed.record.isEmpty());
    EXPECT_EQ(commandFor(kEject), QString());
    EXPECT_EQ(commandFor(kExtra), QString());
    EXPECT_EQ(snapshot(), before);
    if (desktop() == Desktop::Gnome) {  // the default is back as the default, no value of ours stays
        QFile keyfile(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                      + QStringLiteral("/glib-2.0/settings/keyfile"));
        ASSERT_TRUE(keyfile.open(QIODevice::ReadOnly));
        const QByteArray written = keyfile.readAll();
        EXPECT_TRUE(written.contains("custom-keybindings=")) << written.constData();
        EXPECT_FALSE(written.contains("eject-static")) << written.constData();
    }
}

TEST_P(EjectKeyDesktop, KeyOfAnotherProgramIsLeftAlone)
{
    seedOtherApp(kEject);
    const QString before = snapshot();

    const EjectKeyBinding::Result result = binding().bind();
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.record.isEmpty());
    // The status names the key's owner.
    EXPECT_TRUE(result.status.contains(QStringLiteral("other"), Qt::CaseInsensitive)) << result.status.toStdString();
    EXPECT_EQ(commandFor(kEject), QStringLiteral("other-app"));
    EXPECT_EQ(snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(Desktops, EjectKeyDesktop, ::testing::Values(Desktop::Gnome, Desktop::Kde, Desktop::Xfce),
                         [](const auto& info) {
                             return EjectKeyBinding::desktopName(info.param).remove(u' ').toStdString();
                         });

class EjectKeyXfce : public ::testing::Test {
protected:
    static void SetUpTestSuite() { startDoubles(); }
    static void TearDownTestSuite() { stopDoubles(); }
};

TEST_F(EjectKeyXfce, CommandChangedByTheUserStaysOnRemoval)
{
    if (!gDoubles)
        GTEST_SKIP() << gDoublesProblem.toStdString();
    xfconf(QStringLiteral("ResetProperty"), {QStringLiteral("xfce4-keyboard-shortcuts"), QStringLiteral("/"), true});
    EjectKeyBinding b(Desktop::Xfce, kQuotedCommand, doublesBus());
    const EjectKeyBinding::Result bound = b.bind();
    ASSERT_TRUE(bound.ok) << bound.status.toStdString();
    xfconf(QStringLiteral("SetProperty"), {QStringLiteral("xfce4-keyboard-shortcuts"), QStringLiteral("/commands/custom/XF86Eject"),
                                           QVariant::fromValue(QDBusVariant(QStringLiteral("my-own-eject")))});
    EXPECT_TRUE(b.unbind(bound.record).ok);
    const QDBusMessage value = xfconf(QStringLiteral("GetProperty"),
                                      {QStringLiteral("xfce4-keyboard-shortcuts"), QStringLiteral("/commands/custom/XF86Eject")});
    EXPECT_EQ(value.arguments().value(0).value<QDBusVariant>().variant().toString(), QStringLiteral("my-own-eject"));
}

TEST(EjectKeyBinding, OtherDesktopsGetTheExactCommandToBindByHand)
{
    useSetupTexts();
    const EjectKeyBinding::Result result = EjectKeyBinding(Desktop::Other, kQuotedCommand).bind();
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.record.isEmpty());
    EXPECT_TRUE(result.status.endsWith(u'\n' + kQuotedCommand)) << result.status.toStdString();
    EXPECT_TRUE(result.status.contains(QStringLiteral("XF86Eject")));
}

TEST(EjectKeyBinding, DesktopFromXdgCurrentDesktop)
{
    const QList<QPair<QString, Desktop>> cases{
        {QStringLiteral("GNOME"), Desktop::Gnome},         {QStringLiteral("ubuntu:GNOME"), Desktop::Gnome},
        {QStringLiteral("GNOME-Flashback:GNOME"), Desktop::Gnome}, {QStringLiteral("KDE"), Desktop::Kde},
        {QStringLiteral("XFCE"), Desktop::Xfce},           {QStringLiteral("X-Cinnamon"), Desktop::Other},
        {QStringLiteral("sway"), Desktop::Other},          {QString(), Desktop::Other},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(EjectKeyBinding::detectDesktop(value), expected) << value.toStdString();
}

// The window's option on GNOME: on stores what was added and says how to undo
// it; off removes it and forgets the record. A later setup starts checked.
TEST(EjectKeyOption, TurnsOnAndOffThroughTheStore)
{
    useSetupTexts();
    if (!gnomeSchemasInstalled())
        GTEST_SKIP() << "GNOME's media-keys schema is not installed (gnome-settings-daemon-common)";
    gnomeSetList("custom-keybindings", {});
    QTemporaryDir dir;
    QNOtherAppDefaults store;
    store.setIdentifier(dir.filePath(QStringLiteral("agent.plist")));
    ASSERT_TRUE(store.properties());

    QCheckBox box;
    QKeySequenceEdit edit;
    QLabel status;
    auto option = std::make_unique<EjectKeyOption>(&box, &edit, &status, store);
    option->setBindingFactory([] { return EjectKeyBinding(Desktop::Gnome, kQuotedCommand); });
    EXPECT_FALSE(box.isChecked());

    box.click();
    EXPECT_TRUE(box.isChecked());
    EXPECT_FALSE(option->record().isEmpty());
    EXPECT_TRUE(status.text().contains(QStringLiteral("GNOME"))) << status.text().toStdString();
    EXPECT_TRUE(status.text().contains(QStringLiteral("Custom Shortcuts")));
    EXPECT_EQ(customPaths().size(), 1);

    option = std::make_unique<EjectKeyOption>(&box, &edit, &status, store);
    option->setBindingFactory([] { return EjectKeyBinding(Desktop::Gnome, kQuotedCommand); });
    EXPECT_TRUE(box.isChecked());

    box.click();
    EXPECT_FALSE(box.isChecked());
    EXPECT_TRUE(option->record().isEmpty());
    EXPECT_FALSE(store.objectForKey(QStringLiteral("ejectKeyBinding")).isValid());
    EXPECT_EQ(customPaths(), QStringList());
}

// A hand-edited list entry that is no settings path would abort GSettings if
// opened: it is skipped when binding and kept when removing.
TEST(EjectKeyGnome, MalformedListEntryIsSkippedAndKept)
{
    useSetupTexts();
    if (!gnomeSchemasInstalled())
        GTEST_SKIP() << "GNOME's media-keys schema is not installed (gnome-settings-daemon-common)";
    gnomeSetList("custom-keybindings", {QStringLiteral("not-a-path")});

    EjectKeyBinding b(Desktop::Gnome, kQuotedCommand);
    const EjectKeyBinding::Result bound = b.bind();
    ASSERT_TRUE(bound.ok) << bound.status.toStdString();
    EXPECT_EQ(customPaths(), (QStringList{QStringLiteral("not-a-path"), kCustomFolder + QStringLiteral("qntraylift-eject/")}));
    EXPECT_TRUE(b.unbind(bound.record).ok);
    EXPECT_EQ(customPaths(), QStringList{QStringLiteral("not-a-path")});
}
