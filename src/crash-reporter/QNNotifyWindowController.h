// SPDX-License-Identifier: MIT
#pragma once
// The small window that tells the user an application has terminated and
// offers: close (code 0), show the report (1), reopen the application (2).
#include <QString>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;

class QNNotifyWindowController : public QWidget {
    Q_OBJECT
public:
    enum Code { CloseCode = 0, ShowReportCode = 1, ReopenCode = 2 };
    using DidEnd = std::function<void(int code)>;

    explicit QNNotifyWindowController(const QString& applicationName);

    void setApplicationName(const QString& name);
    const QString& applicationName() const { return _appName; }
    QString messageTitle() const;

    /// Shows the window and calls didEnd once with the chosen code.
    void doInteraction(DidEnd didEnd);
    void endInteractionWithCode(int code);

    static QStringList buttonTitles();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void updateMessageTitle();
    void interactionWillStart();

    QLabel* _messageTitle = nullptr;
    QString _appName;
    DidEnd _didEnd;
    QList<QPushButton*> _buttons;
};
