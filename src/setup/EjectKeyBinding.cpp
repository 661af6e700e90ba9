// SPDX-License-Identifier: MIT
#include "EjectKeyBinding.h"

// GIO names a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include "layout/Bundle.h"
#include "strings/LocalizedString.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

#include <memory>

namespace {

const QString kDesktopKey = QStringLiteral("desktop");
const QString kKeysKey = QStringLiteral("keys");
const QString kCommandKey = QStringLiteral("command");
const QString kShortcutName = QStringLiteral("QNTraylift");

// --- GNOME: gnome-settings-daemon's media-keys plugin -----------------------------------------
const char* const kMediaKeysSchema = "org.gnome.settings-daemon.plugins.media-keys";
const char* const kCustomSchema = "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
const char* const kCustomList = "custom-keybindings";
const char* const kEjectStatic = "eject-static";
const QString kCustomFolder = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/");
const QString kGnomePathsKey = QStringLiteral("paths");
const QString kGnomeTookEjectKey = QStringLiteral("tookEjectStatic");
const QString kGnomeEjectWasDefaultKey = QStringLiteral("ejectStaticWasDefault");

// --- KDE: kglobalaccel runs the "_launch" action of a command's .desktop file -----------------
const QString kKdeService = QStringLiteral("org.kde.kglobalaccel");
const QString kKdePath = QStringLiteral("/kglobalaccel");
const QString kKdeInterface = QStringLiteral("org.kde.KGlobalAccel");
const QString kKdeComponent = QStringLiteral("qntraylift-eject.desktop");
const QString kKdeAction = QStringLiteral("_launch");
const QString kKdeFileKey = QStringLiteral("desktopFile");

// --- Xfce: xfconfd, channel of xfce4-settings' keyboard shortcuts -----------------------------
const QString kXfconfService = QStringLiteral("org.xfce.Xfconf");
const QString kXfconfPath = QStringLiteral("/org/xfce/Xfconf");
const QString kXfconfInterface = QStringLiteral("org.xfce.Xfconf");
const QString kXfceChannel = QStringLiteral("xfce4-keyboard-shortcuts");
const QString kXfceCustom = QStringLiteral("/commands/custom/");
const QString kXfcePropertiesKey = QStringLiteral("properties");

template <typename T, void (*Free)(T*)>
struct GDeleter {
    void operator()(T* p) const { Free(p); }
};
void unrefObject(GSettings* s) { g_object_unref(s); }
using GSettingsPtr = std::unique_ptr<GSettings, GDeleter<GSettings, unrefObject>>;
using GStrvPtr = std::unique_ptr<gchar*, GDeleter<gchar*, g_strfreev>>;
using GCharPtr = std::unique_ptr<gchar, GDeleter<void, g_free>>;

QString text(const char* key) { return qn::localizedString(key); }

QString keyText(const QKeyCombination& key)
{
    // Qt names the Eject key in English unless its own translations are installed.
    if (key == QKeyCombination(Qt::Key_Eject))
        return text("EjectKeyName");
    return QKeySequence(key).toString(QKeySequence::NativeText);
}

QString keysText(const QList<QKeyCombination>& keys)
{
    QStringList names;
    for (const QKeyCombination& k : keys)
        names << keyText(k);
    return names.join(QStringLiteral(", "));
}

EjectKeyBinding::Result failed(EjectKeyBinding::Desktop desktop, const QString& why, const QVariantMap& left = {})
{
    return {false, text("EjectKeyFailed").arg(EjectKeyBinding::desktopName(desktop), why), left};
}

// Quotes for a POSIX shell (and g_shell_parse_argv) when needed.
QString shellQuoted(const QString& word)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_./+:=@%-]+$"));
    if (safe.match(word).hasMatch())
        return word;
    QString quoted = word;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QStringList toList(gchar** strv)
{
    QStringList list;
    for (gchar** p = strv; p && *p; ++p)
        list << QString::fromUtf8(*p);
    return list;
}

bool setList(GSettings* settings, const char* key, const QStringList& list)
{
    QList<QByteArray> bytes;
    for (const QString& s : list)
        bytes << s.toUtf8();
    std::vector<const gchar*> strv;
    for (const QByteArray& b : bytes)
        strv.push_back(b.constData());
    strv.push_back(nullptr);
    return g_settings_set_strv(settings, key, strv.data());
}

QString stringOf(GSettings* settings, const char* key)
{
    GCharPtr value(g_settings_get_string(settings, key));
    return QString::fromUtf8(value.get());
}

// GSettings aborts the program on a malformed path; a list entry written by
// hand may hold one.
bool validSettingsPath(const QString& path)
{
    return path.startsWith(u'/') && path.endsWith(u'/') && !path.contains(QStringLiteral("//"));
}

// The media-keys settings, or an error text when GNOME's schemas are missing
// (g_settings_new() would abort the program) or nothing would store a change.
GSettingsPtr openGnome(const char* schemaId, const QString& path, QString* why)
{
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, schemaId, TRUE) : nullptr;
    if (!schema) {
        *why = QStringLiteral("the settings schema %1 is not installed").arg(QString::fromLatin1(schemaId));
        return nullptr;
    }
    if (!path.isEmpty() && !validSettingsPath(path)) {
        g_settings_schema_unref(schema);
        *why = QStringLiteral("the settings path %1 is not valid").arg(path);
        return nullptr;
    }
    const QByteArray p = path.toUtf8();
    GSettingsPtr settings(g_settings_new_full(schema, nullptr, path.isEmpty() ? nullptr : p.constData()));
    g_settings_schema_unref(schema);
    GSettingsBackend* backend = nullptr;
    g_object_get(settings.get(), "backend", &backend, nullptr);
    const bool volatileOnly = backend && QByteArray(G_OBJECT_TYPE_NAME(backend)) == "GMemorySettingsBackend";
    if (backend)
        g_object_unref(backend);
    if (volatileOnly) {
        *why = QStringLiteral("no settings storage (dconf) is installed");
        return nullptr;
    }
    return settings;
}

QDBusMessage call(const QDBusConnection& bus, const QString& service, const QString& path, const QString& iface,
                  const QString& method, const QVariantList& args)
{
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, iface, method);
    m.setArguments(args);
    return bus.call(m, QDBus::Block, 10000);
}

QString errorText(const QDBusMessage& reply)
{
    return reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage();
}

QString kdeDesktopFileText(const QString& command)
{
    // Desktop-entry quoting: the command is already a shell word list; only
    // the characters special to Exec are escaped.
    QString exec = command;
    exec.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Comment=Opens or closes the optical drive's tray\n"
                          "Exec=%2\n"
                          "NoDisplay=true\n"
                          "StartupNotify=false\n"
                          "X-KDE-GlobalAccel-CommandShortcut=true\n"
                          "X-QNTraylift-EjectKey=true\n")
        .arg(kShortcutName, exec);
}

}  // namespace

EjectKeyBinding::Desktop EjectKeyBinding::detectDesktop(const QString& xdgCurrentDesktop)
{
    for (const QString& name : xdgCurrentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString n = name.trimmed().toUpper();
        if (n == u"GNOME" || n.startsWith(u"GNOME-"))
            return Desktop::Gnome;
        if (n == u"KDE")
            return Desktop::Kde;
        if (n == u"XFCE")
            return Desktop::Xfce;
    }
    return Desktop::Other;
}

EjectKeyBinding::Desktop EjectKeyBinding::currentDesktop()
{
    return detectDesktop(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
}

QString EjectKeyBinding::desktopName(Desktop desktop)
{
    switch (desktop) {
    case Desktop::Gnome:
        return QStringLiteral("GNOME");
    case Desktop::Kde:
        return QStringLiteral("KDE Plasma");
    case Desktop::Xfce:
        return QStringLiteral("Xfce");
    case Desktop::Other:
        break;
    }
    const QString named = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    return named.isEmpty() ? text("UnknownDesktop") : named;
}

EjectKeyBinding::EjectKeyBinding(Desktop desktop, QString command, QDBusConnection bus)
    : _desktop(desktop)
    , _command(std::move(command))
    , _bus(std::move(bus))
{
}

QString EjectKeyBinding::defaultCommand()
{
    return shellQuoted(qn::Bundle::programPath(QStringLiteral("qneject")));
}

QString EjectKeyBinding::acceleratorName(const QKeyCombination& key)
{
    const int k = key.key();
    QString name;
    if (k == Qt::Key_Eject)
        name = QStringLiteral("XF86Eject");
    else if (k >= Qt::Key_A && k <= Qt::Key_Z)
        name = QChar(u'a' + (k - Qt::Key_A));
    else if (k >= Qt::Key_0 && k <= Qt::Key_9)
        name = QChar(u'0' + (k - Qt::Key_0));
    else if (k >= Qt::Key_F1 && k <= Qt::Key_F35)
        name = QStringLiteral("F%1").arg(k - Qt::Key_F1 + 1);
    else if (k == Qt::Key_Pause)
        name = QStringLiteral("Pause");
    else if (k == Qt::Key_Print)
        name = QStringLiteral("Print");
    else if (k == Qt::Key_Insert)
        name = QStringLiteral("Insert");
    else if (k == Qt::Key_Space)
        name = QStringLiteral("space");
    else if (k == Qt::Key_LaunchMedia)
        name = QStringLiteral("XF86AudioMedia");
    else
        return {};
    QString modifiers;
    const Qt::KeyboardModifiers m = key.keyboardModifiers();
    if (m & Qt::ControlModifier)
        modifiers += QStringLiteral("<Control>");
    if (m & Qt::AltModifier)
        modifiers += QStringLiteral("<Alt>");
    if (m & Qt::ShiftModifier)
        modifiers += QStringLiteral("<Shift>");
    if (m & Qt::MetaModifier)
        modifiers += QStringLiteral("<Super>");
    return modifiers + name;
}

EjectKeyBinding::Result EjectKeyBinding::bind(const QKeySequence& extraKey)
{
    QList<QKeyCombination> keys{QKeyCombination(Qt::Key_Eject)};
    if (!extraKey.isEmpty() && extraKey[0].key() != Qt::Key_Eject && extraKey[0].key() != Qt::Key_unknown)
        keys << extraKey[0];
    if (_desktop == Desktop::Other)
        return {false, text("EjectKeyByHand").arg(desktopName(_desktop), _command), {}};
    if (_desktop != Desktop::Kde) {
        for (const QKeyCombination& k : keys)
            if (acceleratorName(k).isEmpty())
                return {false, text("EjectKeyUnsupportedKey").arg(keyText(k)), {}};
    }
    switch (_desktop) {
    case Desktop::Gnome:
        return bindGnome(keys);
    case Desktop::Kde:
        return bindKde(keys);
    case Desktop::Xfce:
        return bindXfce(keys);
    case Desktop::Other:
        break;
    }
    return {false, text("EjectKeyByHand").arg(desktopName(_desktop), _command), {}};
}

EjectKeyBinding::Result EjectKeyBinding::unbind(const QVariantMap& record)
{
    const QString desktop = record.value(kDesktopKey).toString();
    if (desktop == desktopName(Desktop::Gnome))
        return unbindGnome(record);
    if (desktop == desktopName(Desktop::Kde))
        return unbindKde(record);
    if (desktop == desktopName(Desktop::Xfce))
        return unbindXfce(record);
    return {true, QString(), {}};
}

// Builds the status of a bind: which keys now run the command, which were
// left to their owners, and how to undo it.
static EjectKeyBinding::Result bindResult(EjectKeyBinding::Desktop desktop, const QList<QKeyCombination>& bound,
                                          const QStringList& taken, QVariantMap record, const char* undoKey)
{
    QStringList lines;
    for (const QString& t : taken)
        lines << t;
    const bool ejectBound = !bound.isEmpty() && bound.first().key() == Qt::Key_Eject;
    if (!bound.isEmpty()) {
        lines.prepend(text("EjectKeyBound").arg(EjectKeyBinding::desktopName(desktop), keysText(bound)));
        lines << text(undoKey);
    }
    QVariantMap kept = std::move(record);
    QStringList names;
    for (const QKeyCombination& k : bound)
        names << QKeySequence(k).toString(QKeySequence::PortableText);
    kept.insert(kKeysKey, names);
    return {ejectBound, lines.join(QLatin1Char('\n')), bound.isEmpty() ? QVariantMap() : kept};
}

// --- GNOME ------------------------------------------------------------------------------------

EjectKeyBinding::Result EjectKeyBinding::bindGnome(const QList<QKeyCombination>& keys)
{
    QString why;
    GSettingsPtr mediaKeys = openGnome(kMediaKeysSchema, {}, &why);
    if (!mediaKeys)
        return failed(_desktop, why);

    GStrvPtr listed(g_settings_get_strv(mediaKeys.get(), kCustomList));
    const QStringList existing = toList(listed.get());
    // Who binds what already: gsd's own actions and other custom shortcuts
    // keep their keys. The built-in eject grab is the one we take over.
    QHash<QString, QString> owners;
    GSettingsSchema* schema = nullptr;
    g_object_get(mediaKeys.get(), "settings-schema", &schema, nullptr);
    GStrvPtr keyNames(schema ? g_settings_schema_list_keys(schema) : nullptr);
    for (const QString& keyName : toList(keyNames.get())) {
        GSettingsSchemaKey* schemaKey = g_settings_schema_get_key(schema, keyName.toUtf8().constData());
        const bool isList = g_variant_type_equal(g_settings_schema_key_get_value_type(schemaKey), G_VARIANT_TYPE_STRING_ARRAY);
        g_settings_schema_key_unref(schemaKey);
        if (!isList || keyName == QLatin1String(kCustomList))
            continue;
        GStrvPtr values(g_settings_get_strv(mediaKeys.get(), keyName.toUtf8().constData()));
        for (const QString& accel : toList(values.get())) {
            if (!accel.isEmpty() && !(keyName == QLatin1String(kEjectStatic) && accel == u"XF86Eject"))
                owners.insert(accel.toLower(), keyName);
        }
    }
    if (schema)
        g_settings_schema_unref(schema);
    for (const QString& path : existing) {
        if (GSettingsPtr custom = openGnome(kCustomSchema, path, &why)) {
            const QString binding = stringOf(custom.get(), "binding");
            if (!binding.isEmpty())
                owners.insert(binding.toLower(), stringOf(custom.get(), "name"));
        }
    }

    QStringList added;
    QStringList taken;
    QList<QKeyCombination> bound;
    for (const QKeyCombination& key : keys) {
        const QString accel = acceleratorName(key);
        if (owners.contains(accel.toLower())) {
            taken << text("EjectKeyTaken").arg(keyText(key), owners.value(accel.toLower()));
            continue;
        }
        // A folder name no listed shortcut uses, so no one else's entry is reused.
        QString path;
        for (int n = 0;; ++n) {
            path = kCustomFolder + QStringLiteral("qntraylift-%1%2/")
                                       .arg(key.key() == Qt::Key_Eject ? QStringLiteral("eject") : QStringLiteral("key"))
                                       .arg(n ? QString::number(n) : QString());
            if (!existing.contains(path) && !added.contains(path))
                break;
        }
        GSettingsPtr custom = openGnome(kCustomSchema, path, &why);
        if (!custom)
            return failed(_desktop, why);
        g_settings_set_string(custom.get(), "name", kShortcutName.toUtf8().constData());
        g_settings_set_string(custom.get(), "command", _command.toUtf8().constData());
        g_settings_set_string(custom.get(), "binding", accel.toUtf8().constData());
        added << path;
        bound << key;
    }

    QVariantMap record{{kDesktopKey, desktopName(_desktop)}, {kCommandKey, _command}, {kGnomePathsKey, added}};
    if (!added.isEmpty()) {
        setList(mediaKeys.get(), kCustomList, existing + added);
        // gsd's built-in eject action grabs the key too; take the key from it
        // while our shortcut exists and remember to give it back.
        if (bound.first().key() == Qt::Key_Eject) {
            GStrvPtr statics(g_settings_get_strv(mediaKeys.get(), kEjectStatic));
            QStringList list = toList(statics.get());
            GVariant* userValue = g_settings_get_user_value(mediaKeys.get(), kEjectStatic);
            if (userValue)
                g_variant_unref(userValue);
            if (list.removeAll(QStringLiteral("XF86Eject")) > 0) {
                setList(mediaKeys.get(), kEjectStatic, list);
                record.insert(kGnomeTookEjectKey, true);
                record.insert(kGnomeEjectWasDefaultKey, userValue == nullptr);
            }
        }
    }
    g_settings_sync();
    return bindResult(_desktop, bound, taken, record, "EjectKeyUndoGnome");
}

EjectKeyBinding::Result EjectKeyBinding::unbindGnome(const QVariantMap& record)
{
    QString why;
    GSettingsPtr mediaKeys = openGnome(kMediaKeysSchema, {}, &why);
    if (!mediaKeys)
        return {false, text("EjectKeyRemoveFailed").arg(desktopName(Desktop::Gnome), why), record};

    const QStringList ours = record.value(kGnomePathsKey).toStringList();
    GStrvPtr listed(g_settings_get_strv(mediaKeys.get(), kCustomList));
    QStringList list = toList(listed.get());
    for (const QString& path : ours) {
        // Only our own folders: a record naming anything else is not ours to remove.
        if (!path.startsWith(kCustomFolder + QStringLiteral("qntraylift-")))
            continue;
        list.removeAll(path);
        if (GSettingsPtr custom = openGnome(kCustomSchema, path, &why)) {
            for (const char* key : {"name", "command", "binding"})
                g_settings_reset(custom.get(), key);
        }
    }
    setList(mediaKeys.get(), kCustomList, list);
    if (record.value(kGnomeTookEjectKey).toBool()) {
        GStrvPtr statics(g_settings_get_strv(mediaKeys.get(), kEjectStatic));
        QStringList list = toList(statics.get());
        // Untouched since: back to the default, leaving no value of ours behind.
        if (list.isEmpty() && record.value(kGnomeEjectWasDefaultKey).toBool()) {
            g_settings_reset(mediaKeys.get(), kEjectStatic);
        } else if (!list.contains(QStringLiteral("XF86Eject"))) {
            list.prepend(QStringLiteral("XF86Eject"));
            setList(mediaKeys.get(), kEjectStatic, list);
        }
    }
    g_settings_sync();
    return {true, text("EjectKeyRemoved").arg(desktopName(Desktop::Gnome)), {}};
}

// --- KDE Plasma -------------------------------------------------------------------------------

EjectKeyBinding::Result EjectKeyBinding::bindKde(const QList<QKeyCombination>& keys)
{
    const QStringList actionId{kKdeComponent, kKdeAction, kShortcutName, text("EjectKeyActionName")};
    QStringList taken;
    QList<QKeyCombination> bound;
    QList<int> codes;
    for (const QKeyCombination& key : keys) {
        const QDBusMessage owner =
            call(_bus, kKdeService, kKdePath, kKdeInterface, QStringLiteral("action"), {key.toCombined()});
        if (owner.type() == QDBusMessage::ErrorMessage)
            return failed(_desktop, errorText(owner));
        const QStringList ownerId = owner.arguments().value(0).toStringList();
        if (ownerId.size() >= 2 && ownerId.at(0) != kKdeComponent) {
            const QString ownerName = ownerId.size() >= 4 && !ownerId.at(3).isEmpty() ? ownerId.at(3) : ownerId.at(1);
            taken << text("EjectKeyTaken").arg(keyText(key), ownerName);
            continue;
        }
        bound << key;
        codes << key.toCombined();
    }
    if (bound.isEmpty())
        return bindResult(_desktop, bound, taken, {}, "EjectKeyUndoKde");

    // kglobalaccel runs the Exec line of the component's .desktop file.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
    const QString file = QDir(folder).filePath(kKdeComponent);
    QDir().mkpath(folder);
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(kdeDesktopFileText(_command).toUtf8()) < 0 || !out.commit())
        return failed(_desktop, out.errorString());

    const QVariantMap record{{kDesktopKey, desktopName(_desktop)}, {kCommandKey, _command}, {kKdeFileKey, file}};
    QDBusMessage reply = call(_bus, kKdeService, kKdePath, kKdeInterface, QStringLiteral("doRegister"), {actionId});
    if (reply.type() != QDBusMessage::ErrorMessage)
        reply = call(_bus, kKdeService, kKdePath, kKdeInterface, QStringLiteral("setForeignShortcut"),
                     {actionId, QVariant::fromValue(codes)});
    if (reply.type() == QDBusMessage::ErrorMessage) {
        unbindKde(record);
        return failed(_desktop, errorText(reply));
    }
    return bindResult(_desktop, bound, taken, record, "EjectKeyUndoKde");
}

EjectKeyBinding::Result EjectKeyBinding::unbindKde(const QVariantMap& record)
{
    const QDBusMessage reply = call(_bus, kKdeService, kKdePath, kKdeInterface, QStringLiteral("unregister"),
                                    {kKdeComponent, kKdeAction});
    // The file is ours only while it still carries our mark.
    const QString file = record.value(kKdeFileKey).toString();
    QFile f(file);
    if (file.endsWith(u'/' + kKdeComponent) && f.open(QIODevice::ReadOnly)
        && f.readAll().contains("\nX-QNTraylift-EjectKey=true\n")) {
        f.close();
        f.remove();
    }
    if (reply.type() == QDBusMessage::ErrorMessage)
        return {false, text("EjectKeyRemoveFailed").arg(desktopName(Desktop::Kde), errorText(reply)), record};
    return {true, text("EjectKeyRemoved").arg(desktopName(Desktop::Kde)), {}};
}

// --- Xfce -------------------------------------------------------------------------------------

EjectKeyBinding::Result EjectKeyBinding::bindXfce(const QList<QKeyCombination>& keys)
{
    QStringList added;
    QStringList taken;
    QList<QKeyCombination> bound;
    for (const QKeyCombination& key : keys) {
        const QString property = kXfceCustom + acceleratorName(key);
        const QDBusMessage exists = call(_bus, kXfconfService, kXfconfPath, kXfconfInterface,
                                         QStringLiteral("PropertyExists"), {kXfceChannel, property});
        if (exists.type() == QDBusMessage::ErrorMessage)
            return failed(_desktop, errorText(exists));
        if (exists.arguments().value(0).toBool()) {
            const QDBusMessage value = call(_bus, kXfconfService, kXfconfPath, kXfconfInterface,
                                            QStringLiteral("GetProperty"), {kXfceChannel, property});
            const QString current = value.arguments().value(0).value<QDBusVariant>().variant().toString();
            taken << text("EjectKeyTaken").arg(keyText(key), current);
            continue;
        }
        const QDBusMessage set =
            call(_bus, kXfconfService, kXfconfPath, kXfconfInterface, QStringLiteral("SetProperty"),
                 {kXfceChannel, property, QVariant::fromValue(QDBusVariant(_command))});
        if (set.type() == QDBusMessage::ErrorMessage) {
            unbindXfce({{kDesktopKey, desktopName(_desktop)}, {kCommandKey, _command}, {kXfcePropertiesKey, added}});
            return failed(_desktop, errorText(set));
        }
        added << property;
        bound << key;
    }
    const QVariantMap record{{kDesktopKey, desktopName(_desktop)}, {kCommandKey, _command}, {kXfcePropertiesKey, added}};
    return bindResult(_desktop, bound, taken, record, "EjectKeyUndoXfce");
}

EjectKeyBinding::Result EjectKeyBinding::unbindXfce(const QVariantMap& record)
{
    QStringList left;
    QString why;
    const QString command = record.value(kCommandKey, _command).toString();
    for (const QString& property : record.value(kXfcePropertiesKey).toStringList()) {
        if (!property.startsWith(kXfceCustom))
            continue;
        // Changed by the user since: theirs now, left alone.
        const QDBusMessage value = call(_bus, kXfconfService, kXfconfPath, kXfconfInterface,
                                        QStringLiteral("GetProperty"), {kXfceChannel, property});
        if (value.type() == QDBusMessage::ErrorMessage) {
            if (value.errorName() == u"org.xfce.Xfconf.Error.PropertyNotFound")
                continue;
            left << property;
            why = errorText(value);
            continue;
        }
        if (value.arguments().value(0).value<QDBusVariant>().variant().toString() != command)
            continue;
        const QDBusMessage reset = call(_bus, kXfconfService, kXfconfPath, kXfconfInterface,
                                        QStringLiteral("ResetProperty"), {kXfceChannel, property, false});
        if (reset.type() == QDBusMessage::ErrorMessage) {
            left << property;
            why = errorText(reset);
        }
    }
    if (!left.isEmpty())
        return {false, text("EjectKeyRemoveFailed").arg(desktopName(Desktop::Xfce), why),
                {{kDesktopKey, desktopName(Desktop::Xfce)}, {kCommandKey, command}, {kXfcePropertiesKey, left}}};
    return {true, text("EjectKeyRemoved").arg(desktopName(Desktop::Xfce)), {}};
}
