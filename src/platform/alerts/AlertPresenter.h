// SPDX-License-Identifier: MIT
// src/platform/alerts: every alert and question of the suite, answerable by tests, never blocking unattended.
#pragma once
// Every alert and every question window of the suite goes through here, so
// tests can answer them.
//
// In-process tests answer the modal QMessageBox with Qt Test as usual.
// Out-of-process tests use one hook made of two environment variables:
//   QNLAB_TEST_ANSWERS  a file of scripted answers, one JSON object a line:
//                         {"kind":"Alert","button":1}
//                         {"kind":"NotifyWindow","button":"Show Report"}
//                         {"kind":"ReportWindow","button":"Send","comment":"a&b"}
//                       "button" is an index (0 = first) or a button text;
//                       further members are the window's own inputs. The n-th
//                       interaction of a kind in a process takes the n-th line
//                       of that kind; with no line left it waits for the user.
//   QNLAB_TEST_SHOWN    a file to which every shown interaction is appended as
//                       one JSON line: kind, title, message, buttons, answer
//                       (-1 when nobody answered yet), "shownAtMs" (ms since
//                       the epoch) and the "pid" of the showing process.
// Both are read only by this class.
//
// Without a display nobody can answer: a program that starts without one calls
// startWithoutDisplayIfNeeded() before making its QApplication. From then on an
// alert that no scripted answer settles is written to standard error, offered
// to the session's notification service (org.freedesktop.Notifications) when
// the session bus has one, and answered at once with its safe button.
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace qn {

class AlertPresenter {
public:
    enum class Style { Informational, Warning, Critical };
    struct Alert {
        QString title;
        QString message;
        QString informativeText;
        QStringList buttons;  // first is the default; empty means one "OK"
        Style style = Style::Warning;
        int safeButton = 0;   // taken when nobody can answer (a question's "No")
    };

    /// True when Qt can show windows: a platform was chosen (QT_QPA_PLATFORM)
    /// or an X11 or Wayland display is named.
    static bool displayAvailable();
    /// Posts a desktop notification when the session bus is connected. With
    /// waitMs 0 it is queued without waiting (a missing service costs nothing);
    /// otherwise it is sent only when org.freedesktop.Notifications is there,
    /// waiting up to waitMs for the answer (for a process about to end).
    static void notifyDesktop(const QString& appName, const QString& summary, const QString& body, int waitMs = 0);

    /// Call before the QApplication exists. When neither QT_QPA_PLATFORM,
    /// DISPLAY nor WAYLAND_DISPLAY is set, selects the offscreen platform and
    /// marks the process as having nobody to answer. Returns that mark.
    static bool startWithoutDisplayIfNeeded();
    /// Whether alerts can wait for a person (false after the fallback above,
    /// or after setPersonPresent(false)).
    static bool personPresent();
    static void setPersonPresent(bool present);

    /// Shows the alert modally; returns the index of the chosen button
    /// (-1 when the box was closed without a button). With nobody present and
    /// no scripted answer, reports it as described above and returns
    /// alert.safeButton without waiting.
    static int run(const Alert& alert, QWidget* parent = nullptr);

    /// For windows that ask the user something: records that the window of
    /// this kind was shown and returns its scripted answer, if any. The caller
    /// then acts on the answer as if the user had given it.
    static std::optional<QJsonObject> shown(const QString& kind, const QString& title,
                                            const QString& message, const QStringList& buttons);

    /// The index of a scripted answer's "button" among buttons (-1 when it names none).
    static int buttonIndex(const QJsonObject& answer, const QStringList& buttons);
};

}  // namespace qn
