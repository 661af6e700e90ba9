// SPDX-License-Identifier: MIT
#pragma once
// EjectKeyBinding: binds the Eject key (XF86Eject), and optionally one more
// key, to qneject in the running desktop's own shortcut settings, and removes
// exactly what it added again.
//
//   GNOME  a custom keybinding of gnome-settings-daemon (GSettings, through
//          GIO: typed string lists, a schema check that cannot abort, one
//          sync to flush); the Eject key is taken from gsd's built-in eject
//          action ("eject-static") and given back on removal.
//   KDE    a global shortcut of a command entry (a hidden .desktop file whose
//          "_launch" action kglobalaccel runs), over D-Bus.
//   Xfce   a command under /commands/custom/ of the channel
//          "xfce4-keyboard-shortcuts", through xfconfd over D-Bus.
//
// What was added is returned as a record (a plain map kept in the setup's
// preferences); removal works from that record alone, leaves every binding it
// did not add untouched, and never takes a key that another command uses.
#include <QDBusConnection>
#include <QKeySequence>
#include <QList>
#include <QString>
#include <QVariantMap>

class EjectKeyBinding {
public:
    enum class Desktop { Gnome, Kde, Xfce, Other };

    /// The first desktop of XDG_CURRENT_DESKTOP (a colon-separated list such
    /// as "ubuntu:GNOME") that can be set up from here; Other otherwise.
    static Desktop detectDesktop(const QString& xdgCurrentDesktop);
    /// The desktop of this session (XDG_CURRENT_DESKTOP).
    static Desktop currentDesktop();
    static QString desktopName(Desktop desktop);

    struct Result {
        bool ok = false;
        /// What the window shows: what was bound and how to undo it, why
        /// nothing was bound, or the command to bind by hand.
        QString status;
        /// What was added (bind) or what is still left (unbind, on failure);
        /// empty when nothing of ours is in the desktop's settings.
        QVariantMap record;
    };

    /// `command` is the qneject command line the keys run; `bus` the session
    /// bus that reaches kglobalaccel and xfconfd.
    EjectKeyBinding(Desktop desktop, QString command, QDBusConnection bus = QDBusConnection::sessionBus());

    /// Binds XF86Eject and `extraKey` (when not empty; its first key only).
    /// A key already bound by someone else is left alone and reported;
    /// `ok` is true when at least the Eject key now runs the command.
    Result bind(const QKeySequence& extraKey = {});
    /// Removes what `record` says was added, on the desktop it names.
    Result unbind(const QVariantMap& record);

    /// The command as the keys run it (absolute path, shell-quoted).
    QString command() const { return _command; }
    /// qneject beside this installation's programs, quoted for a shell.
    static QString defaultCommand();

    /// GTK accelerator name ("XF86Eject", "<Control><Alt>e") of a key as
    /// GNOME and Xfce store it; empty for keys without a known name.
    static QString acceleratorName(const QKeyCombination& key);

private:
    Result bindGnome(const QList<QKeyCombination>& keys);
    Result unbindGnome(const QVariantMap& record);
    Result bindKde(const QList<QKeyCombination>& keys);
    Result unbindKde(const QVariantMap& record);
    Result bindXfce(const QList<QKeyCombination>& keys);
    Result unbindXfce(const QVariantMap& record);

    Desktop _desktop;
    QString _command;
    QDBusConnection _bus;
};
