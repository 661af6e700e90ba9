// SPDX-License-Identifier: MIT
#include "alerts/AlertPresenter.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace qn {

namespace {

bool& personPresentFlag()
{
    static bool present = true;
    return present;
}

// One line per alert on standard error, then a best-effort desktop
// notification: the message is queued on the session bus without waiting
// for an answer, so a missing service or bus costs nothing.
void reportWithoutPerson(const AlertPresenter::Alert& alert, const QStringList& buttons, int answer)
{
    QString text = alert.title.isEmpty() ? alert.message : alert.title + QStringLiteral(": ") + alert.message;
    if (!alert.informativeText.isEmpty())
        text += QLatin1Char(' ') + alert.informativeText;
    if (buttons.size() > 1)
        text += QStringLiteral(" [") + buttons.at(answer) + QLatin1Char(']');  // the answer taken
    const QByteArray line = text.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);

    AlertPresenter::notifyDesktop(alert.title.isEmpty() ? QCoreApplication::applicationName() : alert.title,
                                  alert.message, alert.informativeText);
}

QHash<QString, int>& usedAnswers()
{
    static QHash<QString, int> used;
    return used;
}

std::optional<QJsonObject> nextAnswer(const QString& kind)
{
    const QByteArray path = qgetenv("QNLAB_TEST_ANSWERS");
    if (path.isEmpty())
        return std::nullopt;
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    int wanted = usedAnswers().value(kind, 0);
    int seen = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const QJsonObject obj = QJsonDocument::fromJson(line).object();
        if (obj.value(QStringLiteral("kind")).toString() != kind)
            continue;
        if (seen++ == wanted) {
            usedAnswers()[kind] = wanted + 1;
            return obj;
        }
    }
    return std::nullopt;
}

void record(const QString& kind, const QString& title, const QString& message,
            const QStringList& buttons, int answer)
{
    const QByteArray path = qgetenv("QNLAB_TEST_SHOWN");
    if (path.isEmpty())
        return;
    QJsonObject obj{{QStringLiteral("kind"), kind},
                    {QStringLiteral("title"), title},
                    {QStringLiteral("message"), message},
                    {QStringLiteral("buttons"), QJsonArray::fromStringList(buttons)},
                    {QStringLiteral("answer"), answer},
                    {QStringLiteral("shownAtMs"), QDateTime::currentMSecsSinceEpoch()},
                    {QStringLiteral("pid"), qint64(QCoreApplication::applicationPid())}};
    QFile file(QFile::decodeName(path));
    if (file.open(QIODevice::Append | QIODevice::WriteOnly))
        file.write(QJsonDocument(obj).toJson(QJsonDocument::Compact) + '\n');
}

}  // namespace

int AlertPresenter::buttonIndex(const QJsonObject& answer, const QStringList& buttons)
{
    const QJsonValue b = answer.value(QStringLiteral("button"));
    if (b.isDouble()) {
        const int i = b.toInt(-1);
        return (i >= 0 && i < buttons.size()) ? i : -1;
    }
    return buttons.indexOf(b.toString());
}

std::optional<QJsonObject> AlertPresenter::shown(const QString& kind, const QString& title,
                                                 const QString& message, const QStringList& buttons)
{
    std::optional<QJsonObject> answer = nextAnswer(kind);
    record(kind, title, message, buttons, answer ? buttonIndex(*answer, buttons) : -1);
    return answer;
}

bool AlertPresenter::displayAvailable()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void AlertPresenter::notifyDesktop(const QString& appName, const QString& summary, const QString& body, int waitMs)
{
    const QString service = QStringLiteral("org.freedesktop.Notifications");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    if (waitMs > 0 && (!bus.interface() || !bus.interface()->isServiceRegistered(service)))
        return;
    QDBusMessage notify = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/Notifications"),
                                                         service, QStringLiteral("Notify"));
    notify << appName << uint(0) << QString() << summary << body << QStringList() << QVariantMap() << qint32(-1);
    if (waitMs > 0)
        bus.call(notify, QDBus::Block, waitMs);
    else
        bus.send(notify);
}

bool AlertPresenter::startWithoutDisplayIfNeeded()
{
    if (displayAvailable())
        return false;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    personPresentFlag() = false;
    return true;
}

bool AlertPresenter::personPresent()
{
    return personPresentFlag();
}

void AlertPresenter::setPersonPresent(bool present)
{
    personPresentFlag() = present;
}

int AlertPresenter::run(const Alert& alert, QWidget* parent)
{
    QStringList buttons = alert.buttons;
    if (buttons.isEmpty())
        buttons << QStringLiteral("OK");
    const QString message = alert.informativeText.isEmpty() ? alert.message
                                                            : alert.message + QLatin1Char('\n') + alert.informativeText;
    std::optional<QJsonObject> answer = nextAnswer(QStringLiteral("Alert"));
    const int scripted = answer ? buttonIndex(*answer, buttons) : -1;
    if (scripted < 0 && !personPresent()) {
        const int safe = (alert.safeButton >= 0 && alert.safeButton < buttons.size()) ? alert.safeButton : 0;
        record(QStringLiteral("Alert"), alert.title, message, buttons, safe);
        reportWithoutPerson(alert, buttons, safe);
        return safe;
    }
    record(QStringLiteral("Alert"), alert.title, message, buttons, scripted);
    QMessageBox box(parent);
    box.setWindowTitle(alert.title);
    box.setText(alert.message);
    box.setInformativeText(alert.informativeText);
    box.setIcon(alert.style == Style::Critical        ? QMessageBox::Critical
                : alert.style == Style::Informational ? QMessageBox::Information
                                                      : QMessageBox::Warning);
    QList<QAbstractButton*> made;
    for (int i = 0; i < buttons.size(); ++i)
        made << box.addButton(buttons.at(i), i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
    box.setDefaultButton(qobject_cast<QPushButton*>(made.first()));

    if (scripted >= 0)
        QTimer::singleShot(0, &box, [&made, scripted] { made.at(scripted)->click(); });
    box.exec();
    return made.indexOf(box.clickedButton());
}

}  // namespace qn
