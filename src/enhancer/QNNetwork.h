// SPDX-License-Identifier: MIT
#pragma once
// The utility framework's HTTP client: loads a URL or uploads bytes with
// POST, synchronously or asynchronously (outcome announced through
// qn::NotificationCenter with the client as sender). It neither checks the
// scheme nor judges the HTTP status. Its end notification has its own name
// ("kQNNetworkAsyncLoadDidEndNotification"), so observers of the crash
// reporter's client do not hear this one.
#include <QByteArray>
#include <QObject>
#include <QUrl>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
namespace qn::http {
class AsyncTransfer;
}

extern const QString kQNNetworkASyncLoadDidReceiveDataNotification;
extern const QString kQNNetworkAsyncConnectionDidEndNotification;  // "kQNNetworkAsyncLoadDidEndNotification"
extern const QString kQNNetworkError;       // user-info key: the QNetworkReply error text (QString)
extern const QString kQNNetworkUserCancel;  // user-info key: bool true

class QNNetwork : public QObject {
    Q_OBJECT
public:
    QNNetwork();
    ~QNNetwork() override;

    /// Synchronous: the bytes, or a null QByteArray on failure (no cache used).
    /// Asynchronous: starts a GET; returns the (empty) receive buffer.
    QByteArray loadURL(const QUrl& url, bool isAsynchronous);
    /// POSTs data (no header fields added). Synchronous: true exactly when a
    /// body came back, whatever the status. Asynchronous: true once started.
    bool HTTPUploadData(const QByteArray& data, const QUrl& url, bool isAsynchronous);

    void cancelConnectionWithPostNotification(bool post);
    void clearAsyncData();
    /// Checks that the host of the last asynchronous transfer can be reached
    /// and shows the result in an alert.
    void showNetworkDiagnostic();

    const QByteArray& asyncData() const;
    const QUrl& asyncURL() const;
    bool isTransferring() const;

private:
    QByteArray waitFor(QNetworkReply* reply);

    std::unique_ptr<QNetworkAccessManager> _manager;
    std::unique_ptr<qn::http::AsyncTransfer> _async;  // the asynchronous URL, buffer and connection
};
