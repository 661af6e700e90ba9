// SPDX-License-Identifier: MIT
#pragma once
// A small HTTP client over Qt Network: loads a URL or sends a request,
// synchronously (the call returns the outcome) or asynchronously (outcome
// announced through qn::NotificationCenter with the client as sender), posts
// HTML forms and judges synchronous responses by their status code.
//
// Asynchronous transfers are delivered on the thread that started them (it
// needs a running Qt event loop). At most one runs per client: starting
// another cancels the running one, which then ends with kQNNetworkUserCancel.
#include <QByteArray>
#include <QMetaType>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>
#include <memory>

class QNetworkAccessManager;
class QTimer;
class QNetworkReply;
namespace qn::http {
class AsyncTransfer;
}

// In a namespace of its own: libQNEnhancer has an older global QNNetwork
// whose end notification constant holds another value.
namespace qn::reporter {

class QNNetwork;

extern const QString kQNNetworkASyncLoadDidReceiveDataNotification;
extern const QString kQNNetworkAsyncConnectionDidEndNotification;
extern const QString kQNNetworkError;       // user-info key: QNNetworkErrorInfo
extern const QString kQNNetworkUserCancel;  // user-info key: bool true
extern const QString kQNErrorDomain;        // "com.qnlab.QNErrorDomain"

/// An error object: domain, code and the user-facing texts.
struct QNNetworkErrorInfo {
    QString domain;
    int code = 0;
    QString localizedDescription;
    QString recoverySuggestion;
    QStringList recoveryOptions;
    QPointer<QNNetwork> recoveryAttempter;
};

/// What a synchronous send answered (status 0 when there was no HTTP answer).
struct QNHTTPResponse {
    int statusCode = 0;
    QUrl url;
};

class QNNetwork : public QObject {
    Q_OBJECT
public:
    QNNetwork();
    ~QNNetwork() override;

    /// Synchronous: the bytes (null QByteArray on failure), no cache used.
    /// Asynchronous: starts a GET and returns an empty buffer; the bytes
    /// collect in asyncData() as they arrive.
    QByteArray loadURL(const QUrl& url, bool isAsynchronous);

    /// Sends the prepared request (method and body set on it via the
    /// request's attributes: use HTTPSendFormWithDictionary or give body).
    /// Only "http" is accepted (error 201 otherwise).
    bool HTTPUploadData(const QByteArray& body, const QNetworkRequest& request, bool isAsynchronous,
                        QNNetworkErrorInfo* error = nullptr);
    /// Posts the fields as application/x-www-form-urlencoded.
    bool HTTPSendFormWithDictionary(const QVariantMap& fields, const QUrl& url, bool isAsynchronous,
                                    QNNetworkErrorInfo* error = nullptr);
    /// 404: not-found error; up to 299: true; above: network error.
    bool HTTPCheckResponse(const QNHTTPResponse& response, QNNetworkErrorInfo* error = nullptr);

    /// The form body: escaped name=value pairs joined by "&".
    static QByteArray formBody(const QVariantMap& fields);
    /// UTF-8, then every byte but letters, digits, "-", ".", "_", "*" as %XX.
    static QByteArray percentEscape(const QString& text);

    QNNetworkErrorInfo errorForUnsupportedScheme(const QString& scheme);
    QNNetworkErrorInfo errorForURLNotFound(const QUrl& url);
    QNNetworkErrorInfo errorForNetworkConnection();
    /// Code 200 as errorForNetworkConnection, saying which limit passed:
    /// no connection within connectMs, or no complete answer within totalMs.
    QNNetworkErrorInfo errorForTimeout(bool connecting, int timeoutMs);

    /// Limits of every later asynchronous transfer: the connection must be
    /// made (the request sent) within connectMs and the whole transfer done
    /// within totalMs; otherwise it is aborted and ends with errorForTimeout
    /// under kQNNetworkError. Defaults: 10 s and 30 s. Values <= 0 keep the
    /// default; connectMs never exceeds totalMs.
    void setTimeouts(int connectMs, int totalMs);
    static constexpr int kDefaultConnectTimeoutMs = 10000;
    static constexpr int kDefaultTotalTimeoutMs = 30000;

    /// "Yes" (index 0) on the network error runs showNetworkDiagnostic.
    void attemptRecoveryFromError(const QNNetworkErrorInfo& error, int optionIndex);
    /// Checks whether the host of the last asynchronous transfer can be
    /// reached (a TCP connection to its port) and shows the result in an alert.
    void showNetworkDiagnostic();

    /// Stops a running transfer; with post, announces it with kQNNetworkUserCancel.
    void cancelConnectionWithPostNotification(bool post);
    void clearAsyncData();

    const QByteArray& asyncData() const;
    const QUrl& asyncURL() const;
    bool isTransferring() const;

    /// Counts diagnostics run (for tests of the recovery path).
    int diagnosticsRun() const { return _diagnosticsRun; }

private:
    void startAsync(const QNetworkRequest& request, const QByteArray& method, const QByteArray& body);
    void onTimeout(bool connecting);

    std::unique_ptr<QNetworkAccessManager> _manager;
    std::unique_ptr<qn::http::AsyncTransfer> _async;  // the asynchronous URL, buffer and connection
    int _diagnosticsRun = 0;
    int _connectTimeoutMs = kDefaultConnectTimeoutMs;
    int _totalTimeoutMs = kDefaultTotalTimeoutMs;
    QTimer* _connectTimer = nullptr;
    QTimer* _totalTimer = nullptr;
};

}  // namespace qn::reporter

Q_DECLARE_METATYPE(qn::reporter::QNNetworkErrorInfo)
