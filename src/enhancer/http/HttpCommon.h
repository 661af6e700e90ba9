// SPDX-License-Identifier: MIT
#pragma once
// What the two HTTP clients (libQNEnhancer's QNNetwork and the crash
// reporter's qn::reporter::QNNetwork) do alike: uncached requests, waiting
// for a synchronous reply, reading its status, and the network diagnosis with
// its texts (table "QNHttpClient"). A small static library of its own, so the
// reporter uses it without linking libQNEnhancer.
#include <QByteArray>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <functional>

class QNetworkAccessManager;
class QObject;
class QNetworkReply;

namespace qn::http {

/// The text for key from the diagnosis table, whatever tables the program installed.
QString text(const char* key);

/// request, set to bypass and not fill any cache.
QNetworkRequest uncached(QNetworkRequest request);

/// Runs the event loop (user input excluded) until reply has finished.
void waitForFinished(QNetworkReply* reply);

/// The HTTP status of a finished reply; 0 when no HTTP answer came.
int httpStatus(QNetworkReply* reply);

/// Whether the server answered at all (any HTTP status, or no error).
bool answered(QNetworkReply* reply);

/// The body of a finished reply: a null QByteArray when ok is false, an
/// empty (non-null) one when nothing came. Schedules the reply's deletion.
QByteArray takeBody(QNetworkReply* reply, bool ok);

/// GETs url without cache and waits: the body, or a null QByteArray on any
/// error, HTTP ones included.
QByteArray loadSynchronously(QNetworkAccessManager& manager, const QUrl& url);

/// Checks whether url's host can be reached (a TCP connection to its port,
/// within 5 s) and shows the result in an informational alert.
void showNetworkDiagnostic(const QUrl& url);

/// The asynchronous transfer both clients run: at most one at a time, its
/// bytes collected as they arrive, its course announced through
/// qn::NotificationCenter with the client as sender, under the names the
/// client gives (the two clients' end notifications are named differently).
class AsyncTransfer {
public:
    struct Names {
        QString received;    // after each chunk
        QString ended;       // once per transfer
        QString error;       // user-info key of a failure
        QString userCancel;  // user-info key of a cancel: true
    };
    AsyncTransfer(QObject* client, Names names);
    AsyncTransfer(const AsyncTransfer&) = delete;
    AsyncTransfer& operator=(const AsyncTransfer&) = delete;

    /// What a finished reply that got no answer reports under the error key.
    std::function<QVariant(QNetworkReply*)> failure;
    /// Called whenever a running transfer stops (ends, fails, is cancelled).
    std::function<void()> stopped;

    /// Cancels a running transfer (announced), drops buffer and URL, then
    /// starts the reply send() makes, for url. Returns it.
    QNetworkReply* start(const QUrl& url, const std::function<QNetworkReply*()>& send);
    /// Stops a running transfer; with post, announces it with userCancel.
    void cancel(bool post);
    /// Stops a running transfer and announces error as its failure.
    void fail(const QVariant& error);
    /// Drops the buffer and the URL.
    void clear();

    const QByteArray& data() const { return _data; }
    const QUrl& url() const { return _url; }
    bool isRunning() const { return _reply != nullptr; }

private:
    void onReadyRead();
    void onFinished();
    void end(const QVariantMap& info);

    QObject* _client;
    Names _names;
    QUrl _url;
    QByteArray _data;
    QNetworkReply* _reply = nullptr;
};

}  // namespace qn::http
