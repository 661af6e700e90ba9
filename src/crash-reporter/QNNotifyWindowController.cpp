// SPDX-License-Identifier: MIT
#include "QNNotifyWindowController.h"

#include "alerts/AlertPresenter.h"
#include "strings/LocalizedString.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

QNNotifyWindowController::QNNotifyWindowController(const QString& applicationName)
{
    setObjectName(QStringLiteral("NotifyWindow"));
    setWindowTitle(qn::localizedString("CrashReporterTitle"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    auto* layout = new QVBoxLayout(this);
    _messageTitle = new QLabel(this);
    _messageTitle->setObjectName(QStringLiteral("messageTitle"));
    _messageTitle->setWordWrap(true);
    _messageTitle->setMinimumWidth(360);
    layout->addWidget(_messageTitle);
    auto* row = new QHBoxLayout;
    const QStringList titles = buttonTitles();
    for (int code = 0; code < titles.size(); ++code) {
        auto* button = new QPushButton(titles.at(code), this);
        connect(button, &QPushButton::clicked, this, [this, code] { endInteractionWithCode(code); });
        _buttons << button;
    }
    // Reopen on the left, close and report on the right.
    row->addWidget(_buttons.at(ReopenCode));
    row->addStretch();
    row->addWidget(_buttons.at(CloseCode));
    row->addWidget(_buttons.at(ShowReportCode));
    _buttons.at(ShowReportCode)->setDefault(true);
    layout->addLayout(row);
    setApplicationName(applicationName);
    updateMessageTitle();
}

QStringList QNNotifyWindowController::buttonTitles()
{
    return {qn::localizedString("ButtonClose"), qn::localizedString("ButtonShowReport"),
            qn::localizedString("ButtonReopen")};
}

void QNNotifyWindowController::setApplicationName(const QString& name)
{
    if (name == _appName)
        return;
    _appName = name;
    updateMessageTitle();
}

QString QNNotifyWindowController::messageTitle() const
{
    return _messageTitle->text();
}

void QNNotifyWindowController::updateMessageTitle()
{
    _messageTitle->setText(qn::localizedString("TerminateApplication").arg(_appName));
}

void QNNotifyWindowController::interactionWillStart()
{
    adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    raise();
    activateWindow();
}

void QNNotifyWindowController::doInteraction(DidEnd didEnd)
{
    _didEnd = std::move(didEnd);
    show();
    interactionWillStart();
    if (auto answer = qn::AlertPresenter::shown(QStringLiteral("NotifyWindow"), windowTitle(), messageTitle(),
                                                buttonTitles())) {
        // A scripted answer may also close the window as the window manager
        // would ("closeWindow": true), and may come "afterMs" later.
        const int delay = answer->value(QStringLiteral("afterMs")).toInt();
        const int code = qn::AlertPresenter::buttonIndex(*answer, buttonTitles());
        if (answer->value(QStringLiteral("closeWindow")).toBool())
            QTimer::singleShot(delay, this, &QWidget::close);
        else if (code >= 0)
            QTimer::singleShot(delay, _buttons.at(code), &QPushButton::click);
    }
}

void QNNotifyWindowController::endInteractionWithCode(int code)
{
    DidEnd didEnd = std::move(_didEnd);
    _didEnd = nullptr;
    close();
    if (didEnd)
        didEnd(code);
}

void QNNotifyWindowController::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    // Closed from the title bar while the user had not chosen: that is "Close".
    if (_didEnd)
        QTimer::singleShot(0, this, [this] { endInteractionWithCode(CloseCode); });
}
