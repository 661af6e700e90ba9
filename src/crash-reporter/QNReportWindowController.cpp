// SPDX-License-Identifier: MIT
#include "QNReportWindowController.h"

#include "alerts/AlertPresenter.h"
#include "defaults/UserDefaults.h"
#include "strings/LocalizedString.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

using namespace qn::reporter;

const char kReportURL[] = "http://www.qnlab.com/crashreport_send.php";
const QString kReportKey = QStringLiteral("report");
const QString kUserCommentKey = QStringLiteral("userComment");
const QString kProgramNameKey = QStringLiteral("programName");

namespace {
// In the program's language, so asked for once its tables are installed.
QStringList reportButtons()
{
    return {qn::localizedString("ButtonClose"), qn::localizedString("ButtonSend")};
}
}  // namespace

QNReportWindowController::QNReportWindowController()
{
    setObjectName(QStringLiteral("ReportWindow"));
    resize(640, 480);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(qn::localizedString("ReportWillBeSent"), this));
    _detailsView = new QPlainTextEdit(this);
    _detailsView->setReadOnly(true);
    _detailsView->setLineWrapMode(QPlainTextEdit::NoWrap);
    _detailsView->setFont(QFont(QStringLiteral("monospace")));
    layout->addWidget(_detailsView, 3);
    layout->addWidget(new QLabel(qn::localizedString("CommentLabel"), this));
    _commentView = new QPlainTextEdit(this);
    layout->addWidget(_commentView, 1);
    auto* row = new QHBoxLayout;
    _sendingProgressIndicator = new QProgressBar(this);
    _sendingProgressIndicator->setRange(0, 0);
    _sendingProgressIndicator->setMaximumWidth(120);
    _sendingProgressIndicator->hide();
    _sendingMessageView = new QLabel(qn::localizedString("SendingReport"), this);
    _sendingMessageView->hide();
    const QStringList buttons = reportButtons();
    _closeButton = new QPushButton(buttons.at(0), this);
    _sendButton = new QPushButton(buttons.at(1), this);
    _sendButton->setDefault(true);
    row->addWidget(_sendingProgressIndicator);
    row->addWidget(_sendingMessageView);
    row->addStretch();
    row->addWidget(_closeButton);
    row->addWidget(_sendButton);
    layout->addLayout(row);
    connect(_closeButton, &QPushButton::clicked, this, &QWidget::close);
    connect(_sendButton, &QPushButton::clicked, this, &QNReportWindowController::onSendReport);

    _endToken = qn::NotificationCenter::defaultCenter().addObserver(
        kQNNetworkAsyncConnectionDidEndNotification, &_network,
        [this](const qn::Notification& note) { onEndConnectionNotification(note); });
}

QNReportWindowController::~QNReportWindowController()
{
    qn::NotificationCenter::defaultCenter().removeObserver(_endToken);
}

QUrl QNReportWindowController::reportURL()
{
    const QString custom = qn::UserDefaults(QStringLiteral("com.qnlab.QNCrashReporter"))
                               .stringForKey(QStringLiteral("ReportURL"));
    const QUrl url(custom);
    return (!custom.isEmpty() && url.isValid()) ? url : QUrl(QString::fromLatin1(kReportURL));
}

int QNReportWindowController::reportTimeoutMs()
{
    const QVariant value = qn::UserDefaults(QStringLiteral("com.qnlab.QNCrashReporter"))
                               .objectForKey(QStringLiteral("ReportTimeout"));
    bool ok = false;
    const double seconds = value.toDouble(&ok);
    if (!ok || !(seconds > 0) || seconds > 3600)
        return QNNetwork::kDefaultTotalTimeoutMs;
    return std::max(1, int(seconds * 1000));
}

void QNReportWindowController::setApplicationName(const QString& name)
{
    _applicationName = name;
    if (!name.isNull())
        setWindowTitle(qn::localizedString("WindowTitle").arg(name));
}

void QNReportWindowController::setReport(const QString& report)
{
    if (report == _report && report.isNull() == _report.isNull())
        return;
    _report = report;
    _detailsView->setPlainText(report);
}

QString QNReportWindowController::userComment() const
{
    return _commentView->toPlainText();
}

void QNReportWindowController::setUserComment(const QString& comment)
{
    _commentView->setPlainText(comment);
}

QVariantMap QNReportWindowController::formFields() const
{
    const QString comment = userComment();
    return {{kReportKey, _report.isEmpty() ? QStringLiteral(" ") : _report},
            {kUserCommentKey, comment.isEmpty() ? QStringLiteral(" ") : comment},
            {kProgramNameKey, _applicationName}};
}

void QNReportWindowController::prepareContent()
{
    if (!_report.isNull())
        _detailsView->setPlainText(_report);
    setWindowTitle(qn::localizedString("WindowTitle").arg(_applicationName));
}

void QNReportWindowController::showWindow()
{
    show();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    prepareContent();
    raise();
    activateWindow();
    askScriptedAnswer();
}

void QNReportWindowController::askScriptedAnswer()
{
    const QStringList buttons = reportButtons();
    auto answer = qn::AlertPresenter::shown(QStringLiteral("ReportWindow"), windowTitle(),
                                            _detailsView->toPlainText(), buttons);
    if (!answer)
        return;
    if (answer->contains(QStringLiteral("comment")))
        setUserComment(answer->value(QStringLiteral("comment")).toString());
    // As in the notify window: "closeWindow" closes it as the window manager
    // would, "afterMs" delays the answer.
    const int delay = answer->value(QStringLiteral("afterMs")).toInt();
    const int index = qn::AlertPresenter::buttonIndex(*answer, buttons);
    if (answer->value(QStringLiteral("closeWindow")).toBool())
        QTimer::singleShot(delay, this, &QWidget::close);
    else if (index >= 0)
        QTimer::singleShot(delay, index == 0 ? _closeButton : _sendButton, &QPushButton::click);
}

void QNReportWindowController::onSendReport()
{
    _sendingProgressIndicator->show();
    _sendingMessageView->show();
    _closeButton->setEnabled(false);
    _sendButton->setEnabled(false);
    // A server that accepts and never answers must not keep the buttons
    // disabled: the post ends with an error after ReportTimeout seconds.
    const int totalMs = reportTimeoutMs();
    _network.setTimeouts(std::min(totalMs, QNNetwork::kDefaultConnectTimeoutMs), totalMs);
    // The outcome arrives as the end notification.
    _network.HTTPSendFormWithDictionary(formFields(), reportURL(), true);
}

void QNReportWindowController::onEndConnectionNotification(const qn::Notification& note)
{
    _sendingProgressIndicator->hide();
    _sendingMessageView->hide();
    const bool cancelled = note.userInfo.value(kQNNetworkUserCancel).toBool();
    const bool failed = note.userInfo.contains(kQNNetworkError);
    if (!failed && !cancelled) {
        // Sent (whatever the server's status): the reporter's work is done.
        emit reportSent();
        return;
    }
    _sendButton->setEnabled(true);
    _closeButton->setEnabled(true);
    if (failed) {
        const auto error = note.userInfo.value(kQNNetworkError).value<QNNetworkErrorInfo>();
        const int choice = qn::AlertPresenter::run({qn::localizedString("CrashReporterTitle"), error.localizedDescription,
                                                    error.recoverySuggestion, error.recoveryOptions,
                                                    qn::AlertPresenter::Style::Warning},
                                                   this);
        if (error.recoveryAttempter && choice >= 0)
            error.recoveryAttempter->attemptRecoveryFromError(error, choice);
    }
    askScriptedAnswer();
}

void QNReportWindowController::closeEvent(QCloseEvent* event)
{
    emit windowWillClose();
    QWidget::closeEvent(event);
}
