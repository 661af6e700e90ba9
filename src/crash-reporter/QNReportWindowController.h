// SPDX-License-Identifier: MIT
#pragma once
// The report window: shows the crash entry that will be sent, takes the
// user's comment and sends both to the report URL as an HTML form.
#include "QNNetwork.h"
#include "notify/NotificationCenter.h"

#include <QString>
#include <QUrl>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

extern const char kReportURL[];
extern const QString kReportKey;
extern const QString kUserCommentKey;
extern const QString kProgramNameKey;

class QNReportWindowController : public QWidget {
    Q_OBJECT
public:
    QNReportWindowController();
    ~QNReportWindowController() override;

    /// kReportURL, or the "ReportURL" entry of the reporter's defaults
    /// (com.qnlab.QNCrashReporter) for sites running their own server.
    static QUrl reportURL();
    /// The report post's overall limit: "ReportTimeout" (seconds, a number
    /// up to 3600) in the domain com.qnlab.QNCrashReporter, else 30 s.
    static int reportTimeoutMs();

    void setApplicationName(const QString& name);
    const QString& applicationName() const { return _applicationName; }
    void setReport(const QString& report);
    const QString& report() const { return _report; }
    QString userComment() const;
    void setUserComment(const QString& comment);

    /// The fields that onSendReport posts.
    QVariantMap formFields() const;

    void showWindow();
    void onSendReport();
    qn::reporter::QNNetwork& network() { return _network; }

signals:
    void windowWillClose();
    /// The report went out (any HTTP answer counts).
    void reportSent();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void prepareContent();
    void askScriptedAnswer();
    void onEndConnectionNotification(const qn::Notification& note);

    QPlainTextEdit* _detailsView = nullptr;
    QPlainTextEdit* _commentView = nullptr;
    QProgressBar* _sendingProgressIndicator = nullptr;
    QLabel* _sendingMessageView = nullptr;
    QPushButton* _closeButton = nullptr;
    QPushButton* _sendButton = nullptr;
    QString _report;
    QString _applicationName;
    qn::reporter::QNNetwork _network;
    qn::NotificationCenter::Token _endToken = 0;
};
