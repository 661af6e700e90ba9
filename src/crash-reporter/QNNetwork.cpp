// SPDX-License-Identifier: MIT
#include "QNNetwork.h"

#include "HttpCommon.h"
#include "notify/NotificationCenter.h"
#include "strings/LocalizedString.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <algorithm>

namespace qn::reporter {

const QString kQNNetworkASyncLoadDidReceiveDataNotification = QStringLiteral("kQNNetworkASyncLoadDidReceiveDataNotification");
const QString kQNNetworkAsyncConnectionDidEndNotification = QStringLiteral("kQNNetworkAsyncConnectionDidEndNotification");
const QString kQNNetworkError = QStringLiteral("kQNNetworkError");
const QString kQNNetworkUserCancel = QStringLiteral("kQNNetworkUserCancel");
const QString kQNErrorDomain = QStringLiteral("com.qnlab.QNErrorDomain");

namespace {

const QByteArray kBodyAttributeMethod = "POST";

// The reporter's table, also where the tests and tools that share this
// client have not installed it.
QString text(const char* key)
{
    return qn::tableString(QStringLiteral("QNCrashReporter"), key);
}

QNNetworkErrorInfo platformError(QNetworkReply* reply)
{
    QNNetworkErrorInfo e;
    e.domain = QStringLiteral("QNetworkReply");
    e.code = int(reply->error());
    e.localizedDescription = reply->errorString();
    return e;
}

}  // namespace

QNNetwork::QNNetwork()
    : _manager(std::make_unique<QNetworkAccessManager>())
{
    _manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    _async = std::make_unique<qn::http::AsyncTransfer>(
        this, qn::http::AsyncTransfer::Names{kQNNetworkASyncLoadDidReceiveDataNotification,
                                             kQNNetworkAsyncConnectionDidEndNotification, kQNNetworkError,
                                             kQNNetworkUserCancel});
    _async->failure = [](QNetworkReply* reply) { return QVariant::fromValue(platformError(reply)); };
    _async->stopped = [this] {
        _connectTimer->stop();
        _totalTimer->stop();
    };
    _connectTimer = new QTimer(this);
    _totalTimer = new QTimer(this);
    for (QTimer* t : {_connectTimer, _totalTimer})
        t->setSingleShot(true);
    connect(_connectTimer, &QTimer::timeout, this, [this] { onTimeout(true); });
    connect(_totalTimer, &QTimer::timeout, this, [this] { onTimeout(false); });
}

QNNetwork::~QNNetwork()
{
    cancelConnectionWithPostNotification(true);
    clearAsyncData();
}

QByteArray QNNetwork::loadURL(const QUrl& url, bool isAsynchronous)
{
    if (isAsynchronous) {
        startAsync(QNetworkRequest(url), "GET", {});
        return _async->data();
    }
    return qn::http::loadSynchronously(*_manager, url);
}

bool QNNetwork::HTTPUploadData(const QByteArray& body, const QNetworkRequest& request, bool isAsynchronous,
                               QNNetworkErrorInfo* error)
{
    const QString scheme = request.url().scheme();
    if (scheme.compare(QLatin1String("http"), Qt::CaseInsensitive) != 0) {
        if (error)
            *error = errorForUnsupportedScheme(scheme);
        return false;
    }
    if (isAsynchronous) {
        startAsync(request, kBodyAttributeMethod, body);
        return true;
    }
    QNetworkReply* reply = _manager->sendCustomRequest(qn::http::uncached(request), kBodyAttributeMethod, body);
    qn::http::waitForFinished(reply);
    const int status = qn::http::httpStatus(reply);
    bool ok = false;
    if (status == 0) {
        // No answer at all: the transfer itself failed.
        if (error)
            *error = platformError(reply);
    } else {
        ok = HTTPCheckResponse(QNHTTPResponse{status, reply->url()}, error);
    }
    reply->deleteLater();
    return ok;
}

bool QNNetwork::HTTPSendFormWithDictionary(const QVariantMap& fields, const QUrl& url, bool isAsynchronous,
                                           QNNetworkErrorInfo* error)
{
    const QByteArray body = formBody(fields);
    QNetworkRequest request(url);
    request.setRawHeader("Content-type", "application/x-www-form-urlencoded");
    return HTTPUploadData(body, request, isAsynchronous, error);
}

bool QNNetwork::HTTPCheckResponse(const QNHTTPResponse& response, QNNetworkErrorInfo* error)
{
    if (response.statusCode == 404) {
        if (error)
            *error = errorForURLNotFound(response.url);
        return false;
    }
    if (response.statusCode <= 299)
        return true;
    if (error)
        *error = errorForNetworkConnection();
    return false;
}

QByteArray QNNetwork::percentEscape(const QString& text)
{
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() * 3);
    for (const char ch : utf8) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
            || c == '_' || c == '*') {
            out.append(char(c));
        } else {
            out.append('%');
            out.append(hex[c >> 4]);
            out.append(hex[c & 15]);
        }
    }
    return out;
}

QByteArray QNNetwork::formBody(const QVariantMap& fields)
{
    QByteArray body;
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        if (!body.isEmpty())
            body.append('&');
        body.append(percentEscape(it.key()));
        body.append('=');
        body.append(percentEscape(it.value().toString()));
    }
    return body;
}

QNNetworkErrorInfo QNNetwork::errorForUnsupportedScheme(const QString& scheme)
{
    QNNetworkErrorInfo e;
    e.domain = kQNErrorDomain;
    e.code = 201;
    e.localizedDescription = text("URLConnectFailed");
    e.recoverySuggestion = text("SchemeNotSupported").arg(scheme);
    return e;
}

QNNetworkErrorInfo QNNetwork::errorForURLNotFound(const QUrl& url)
{
    QNNetworkErrorInfo e;
    e.domain = kQNErrorDomain;
    e.code = 201;
    e.localizedDescription = text("URLNotFound");
    e.recoverySuggestion = text("URLNotFoundInfo").arg(url.toString());
    return e;
}

QNNetworkErrorInfo QNNetwork::errorForNetworkConnection()
{
    QNNetworkErrorInfo e;
    e.domain = kQNErrorDomain;
    e.code = 200;
    e.localizedDescription = text("NetworkConnectFailed");
    e.recoverySuggestion = text("NetworkConnectFailedInfo");
    e.recoveryOptions = {text("Yes"), text("No")};
    e.recoveryAttempter = this;
    return e;
}

QNNetworkErrorInfo QNNetwork::errorForTimeout(bool connecting, int timeoutMs)
{
    QNNetworkErrorInfo e = errorForNetworkConnection();
    const QString seconds = QString::number(timeoutMs / 1000.0, 'g', 3);
    e.localizedDescription = connecting
        ? text("ServerUnreachableTimeout").arg(seconds)
        : text("ServerSilentTimeout").arg(seconds);
    e.recoverySuggestion = text("ReportNotSentTimeoutInfo");
    return e;
}

void QNNetwork::setTimeouts(int connectMs, int totalMs)
{
    _totalTimeoutMs = totalMs > 0 ? totalMs : kDefaultTotalTimeoutMs;
    _connectTimeoutMs = std::min(connectMs > 0 ? connectMs : kDefaultConnectTimeoutMs, _totalTimeoutMs);
}

void QNNetwork::onTimeout(bool connecting)
{
    if (!_async->isRunning())
        return;
    const int limit = connecting ? _connectTimeoutMs : _totalTimeoutMs;
    _async->fail(QVariant::fromValue(errorForTimeout(connecting, limit)));
}

void QNNetwork::attemptRecoveryFromError(const QNNetworkErrorInfo& error, int optionIndex)
{
    if (error.domain == kQNErrorDomain && error.code == 200 && optionIndex == 0)
        showNetworkDiagnostic();
}

void QNNetwork::showNetworkDiagnostic()
{
    ++_diagnosticsRun;
    qn::http::showNetworkDiagnostic(_async->url());
}

void QNNetwork::cancelConnectionWithPostNotification(bool post)
{
    _async->cancel(post);
}

void QNNetwork::clearAsyncData()
{
    _async->clear();
}

const QByteArray& QNNetwork::asyncData() const
{
    return _async->data();
}

const QUrl& QNNetwork::asyncURL() const
{
    return _async->url();
}

bool QNNetwork::isTransferring() const
{
    return _async->isRunning();
}

void QNNetwork::startAsync(const QNetworkRequest& request, const QByteArray& method, const QByteArray& body)
{
    QNetworkReply* reply = _async->start(request.url(), [&] {
        return _manager->sendCustomRequest(qn::http::uncached(request), method, body);
    });
    // Sending the request completely needs a connection: from then on only
    // the overall limit applies.
    connect(reply, &QNetworkReply::requestSent, _connectTimer, &QTimer::stop);
    _connectTimer->start(_connectTimeoutMs);
    _totalTimer->start(_totalTimeoutMs);
}

}  // namespace qn::reporter
