// SPDX-License-Identifier: MIT
#pragma once
// DriveButtonOption: the setup window's "Handle the drive's eject button"
// option. It turns the user service qntraylift-watch.service on and off with
// `systemctl --user enable --now` / `disable --now`, and the box shows what
// `systemctl --user is-enabled` says, not what was asked for. A missing or
// failing systemctl (no user session manager, the unit not installed) is
// named in the status line and changes nothing.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class QCheckBox;
class QLabel;

class DriveButtonOption : public QObject {
    Q_OBJECT
public:
    static constexpr char kUnitName[] = "qntraylift-watch.service";

    DriveButtonOption(QCheckBox* checkBox, QLabel* status, QObject* parent = nullptr);

    QCheckBox* checkBox() const { return _checkBox; }
    QLabel* statusLabel() const { return _status; }
    /// Asks systemctl again and shows the answer.
    void refresh();

private:
    struct Run {
        bool found = false;    // systemctl was found and started
        bool finished = false; // it ended by itself within the bound
        int exitCode = -1;
        QByteArray out, err;
    };
    static Run systemctl(const QStringList& arguments);
    /// systemctl's own words for a failed run, or its exit status.
    static QString failureText(const Run& run);
    void onToggled(bool on);
    void show(const QString& status);

    QCheckBox* _checkBox;
    QLabel* _status;
};
