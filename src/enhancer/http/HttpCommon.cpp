// SPDX-License-Identifier: MIT
#include "HttpCommon.h"

#include "alerts/AlertPresenter.h"
#include "notify/NotificationCenter.h"
#include "strings/LocalizedString.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>

namespace qn::http {

QString text(const char* key)
{
    return qn::tableString(QStringLiteral("QNHttpClient"), key);
}

QNetworkRequest uncached(QNetworkRequest request)
{
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    return request;
}

void waitForFinished(QNetworkReply* reply)
{
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
}

int httpStatus(QNetworkReply* reply)
{
    const QVariant v = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    return v.isValid() ? v.toInt() : 0;
}

bool answered(QNetworkReply* reply)
{
    return httpStatus(reply) != 0 || reply->error() == QNetworkReply::NoError;
}

QByteArray takeBody(QNetworkReply* reply, bool ok)
{
    QByteArray bytes;
    if (ok) {
        bytes = reply->readAll();
        if (bytes.isNull())
            bytes = QByteArray("", 0);
    }
    reply->deleteLater();
    return bytes;
}

QByteArray loadSynchronously(QNetworkAccessManager& manager, const QUrl& url)
{
    QNetworkReply* reply = manager.get(uncached(QNetworkRequest(url)));
    waitForFinished(reply);
    return takeBody(reply, reply->error() == QNetworkReply::NoError);
}

void showNetworkDiagnostic(const QUrl& url)
{
    QString message;
    if (!url.isValid() || url.host().isEmpty()) {
        message = text("NetworkDiagnosticNoServer");
    } else {
        const quint16 port = quint16(url.port(80));
        QTcpSocket socket;
        socket.connectToHost(url.host(), port);
        if (socket.waitForConnected(5000))
            message = text("NetworkDiagnosticReachable").arg(url.host()).arg(port);
        else
            message = text("NetworkDiagnosticUnreachable").arg(url.host()).arg(port).arg(socket.errorString());
    }
    qn::AlertPresenter::run({text("NetworkDiagnostic"), message, {}, {text("OK")}, qn::AlertPresenter::Style::Informational});
}

AsyncTransfer::AsyncTransfer(QObject* client, Names names) : _client(client), _names(std::move(names)) {}

QNetworkReply* AsyncTransfer::start(const QUrl& url, const std::function<QNetworkReply*()>& send)
{
    cancel(true);
    clear();
    _data = QByteArray("", 0);
    _url = url;
    _reply = send();
    QObject::connect(_reply, &QNetworkReply::readyRead, _client, [this] { onReadyRead(); });
    QObject::connect(_reply, &QNetworkReply::finished, _client, [this] { onFinished(); });
    return _reply;
}

void AsyncTransfer::cancel(bool post)
{
    if (!_reply)
        return;
    QNetworkReply* reply = _reply;
    _reply = nullptr;
    if (stopped)
        stopped();
    reply->disconnect(_client);
    reply->abort();
    reply->deleteLater();
    if (post)
        qn::NotificationCenter::defaultCenter().post(_names.ended, _client, {{_names.userCancel, true}});
}

void AsyncTransfer::fail(const QVariant& error)
{
    if (!_reply)
        return;
    cancel(false);
    end({{_names.error, error}});
}

void AsyncTransfer::clear()
{
    _data = QByteArray();
    _url = QUrl();
}

void AsyncTransfer::onReadyRead()
{
    if (!_reply)
        return;
    _data.append(_reply->readAll());
    qn::NotificationCenter::defaultCenter().post(_names.received, _client);
}

void AsyncTransfer::onFinished()
{
    QNetworkReply* reply = _reply;
    if (!reply)
        return;
    _data.append(reply->readAll());
    // Any HTTP answer ends as finished, whatever its status; only a transfer
    // that got no answer fails.
    QVariantMap info;
    if (!answered(reply))
        info.insert(_names.error, failure ? failure(reply) : QVariant(reply->errorString()));
    cancel(false);
    end(info);
}

void AsyncTransfer::end(const QVariantMap& info)
{
    qn::NotificationCenter::defaultCenter().post(_names.ended, _client, info);
}

}  // namespace qn::http
