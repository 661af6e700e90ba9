// SPDX-License-Identifier: MIT
#include "DriveButtonOption.h"

#include "strings/LocalizedString.h"

#include <QCheckBox>
#include <QLabel>
#include <QProcess>
#include <QSignalBlocker>
#include <QStandardPaths>

namespace {
// systemctl answers at once, or fails at once without a user manager; the
// bound only keeps a stuck one from holding the window.
constexpr int kSystemctlBoundMs = 20000;
}  // namespace

DriveButtonOption::DriveButtonOption(QCheckBox* checkBox, QLabel* status, QObject* parent)
    : QObject(parent)
    , _checkBox(checkBox)
    , _status(status)
{
    _checkBox->setText(qn::localizedString("DriveButtonOption"));
    _status->setWordWrap(true);
    _status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    refresh();
    connect(_checkBox, &QCheckBox::toggled, this, &DriveButtonOption::onToggled);
}

DriveButtonOption::Run DriveButtonOption::systemctl(const QStringList& arguments)
{
    Run run;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("systemctl"));
    if (program.isEmpty())
        return run;
    QProcess process;
    process.start(program, QStringList{QStringLiteral("--user")} + arguments);
    run.found = process.waitForStarted(kSystemctlBoundMs);
    if (!run.found)
        return run;
    process.closeWriteChannel();
    run.finished = process.waitForFinished(kSystemctlBoundMs) && process.exitStatus() == QProcess::NormalExit;
    if (!run.finished)
        process.kill();  // our own child, by its handle
    process.waitForFinished(1000);
    run.exitCode = run.finished ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().trimmed();
    run.err = process.readAllStandardError().trimmed();
    return run;
}

QString DriveButtonOption::failureText(const Run& run)
{
    if (!run.err.isEmpty())
        return QString::fromLocal8Bit(run.err);
    if (!run.out.isEmpty())
        return QString::fromLocal8Bit(run.out);
    return run.finished ? QStringLiteral("exit status %1").arg(run.exitCode) : QStringLiteral("no answer");
}

void DriveButtonOption::refresh()
{
    const Run run = systemctl({QStringLiteral("is-enabled"), QLatin1String(kUnitName)});
    // is-enabled prints the state on standard output and exits non-zero for
    // every state but the enabled ones.
    const QByteArray state = run.out;
    const bool enabled = run.finished && run.exitCode == 0 && (state == "enabled" || state == "enabled-runtime");
    {
        const QSignalBlocker block(_checkBox);
        _checkBox->setChecked(enabled);
    }
    _checkBox->setEnabled(run.found);
    if (!run.found)
        show(qn::localizedString("DriveButtonNoSystemctl"));
    else if (state == "not-found" || run.err.contains("No such file"))
        show(qn::localizedString("DriveButtonNotInstalled"));
    else if (!run.finished || (run.exitCode != 0 && state.isEmpty()))
        show(qn::localizedString("DriveButtonStateUnknown").arg(failureText(run)));
    else
        show({});
}

void DriveButtonOption::onToggled(bool on)
{
    const Run run = systemctl({on ? QStringLiteral("enable") : QStringLiteral("disable"), QStringLiteral("--now"),
                               QLatin1String(kUnitName)});
    const bool ok = run.finished && run.exitCode == 0;
    refresh();  // the box follows what systemctl says now
    if (!run.found)
        show(qn::localizedString("DriveButtonNoSystemctl"));
    else if (!ok)
        show(qn::localizedString("DriveButtonFailed").arg(failureText(run)));
    else
        show(qn::localizedString(on ? "DriveButtonOn" : "DriveButtonOff"));
}

void DriveButtonOption::show(const QString& status)
{
    _status->setText(status);
    _status->setVisible(!status.isEmpty());
}
