// SPDX-License-Identifier: MIT
#include "QNNetwork.h"

#include "alerts/AlertPresenter.h"
#include "notify/NotificationCenter.h"
#include "strings/LocalizedString.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>

const QString kQNNetworkASyncLoadDidReceiveDataNotification = QStringLiteral("kQNNetworkASyncLoadDidReceiveDataNotification");
const QString kQNNetworkAsyncConnectionDidEndNotification = QStringLiteral("kQNNetworkAsyncLoadDidEndNotification");
const QString kQNNetworkError = QStringLiteral("kQNNetworkError");
const QString kQNNetworkUserCancel = QStringLiteral("kQNNetworkUserCancel");

namespace {

// The framework's own table, whatever tables the program installed.
QString text(const char* key)
{
    return qn::tableString(QStringLiteral("QNEnhancer"), key);
}

QNetworkRequest uncached(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    return request;
}

bool answered(QNetworkReply* reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()
        || reply->error() == QNetworkReply::NoError;
}

}  // namespace

QNNetwork::QNNetwork()
    : _manager(std::make_unique<QNetworkAccessManager>())
{
    _manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

QNNetwork::~QNNetwork()
{
    cancelConnectionWithPostNotification(true);
    clearAsyncData();
}

QByteArray QNNetwork::waitFor(QNetworkReply* reply)
{
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    QByteArray bytes;
    if (answered(reply)) {
        bytes = reply->readAll();
        if (bytes.isNull())
            bytes = QByteArray("", 0);
    }
    reply->deleteLater();
    return bytes;
}

QByteArray QNNetwork::loadURL(const QUrl& url, bool isAsynchronous)
{
    if (!isAsynchronous) {
        QNetworkReply* reply = _manager->get(uncached(url));
        // A load counts as failed on any error, HTTP ones included.
        QEventLoop loop;
        connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        QByteArray bytes;
        if (reply->error() == QNetworkReply::NoError) {
            bytes = reply->readAll();
            if (bytes.isNull())
                bytes = QByteArray("", 0);
        }
        reply->deleteLater();
        return bytes;
    }
    cancelConnectionWithPostNotification(true);
    clearAsyncData();
    start(_manager->get(uncached(url)), url);
    return _asyncData;
}

bool QNNetwork::HTTPUploadData(const QByteArray& data, const QUrl& url, bool isAsynchronous)
{
    QNetworkRequest request(url);
    // Qt insists on a content type for a body; an empty one says nothing.
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray());
    if (!isAsynchronous)
        return !waitFor(_manager->sendCustomRequest(request, "POST", data)).isNull();
    cancelConnectionWithPostNotification(true);
    clearAsyncData();
    start(_manager->sendCustomRequest(request, "POST", data), url);
    return true;
}

void QNNetwork::start(QNetworkReply* reply, const QUrl& url)
{
    _asyncData = QByteArray("", 0);
    _asyncURL = url;
    _asyncConnection = reply;
    connect(reply, &QNetworkReply::readyRead, this, &QNNetwork::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &QNNetwork::onFinished);
}

void QNNetwork::cancelConnectionWithPostNotification(bool post)
{
    if (!_asyncConnection)
        return;
    QNetworkReply* reply = _asyncConnection;
    _asyncConnection = nullptr;
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
    if (post)
        qn::NotificationCenter::defaultCenter().post(kQNNetworkAsyncConnectionDidEndNotification, this,
                                                     {{kQNNetworkUserCancel, true}});
}

void QNNetwork::clearAsyncData()
{
    _asyncData = QByteArray();
    _asyncURL = QUrl();
}

void QNNetwork::showNetworkDiagnostic()
{
    QString message;
    if (_asyncURL.host().isEmpty()) {
        message = text("NetworkDiagnosticNoServer");
    } else {
        QTcpSocket socket;
        const quint16 port = quint16(_asyncURL.port(80));
        socket.connectToHost(_asyncURL.host(), port);
        message = socket.waitForConnected(5000)
            ? text("NetworkDiagnosticReachable").arg(_asyncURL.host()).arg(port)
            : text("NetworkDiagnosticUnreachable").arg(_asyncURL.host()).arg(port).arg(socket.errorString());
    }
    qn::AlertPresenter::run({text("NetworkDiagnostic"), message, {}, {text("OK")}, qn::AlertPresenter::Style::Informational});
}

void QNNetwork::onReadyRead()
{
    if (!_asyncConnection)
        return;
    _asyncData.append(_asyncConnection->readAll());
    qn::NotificationCenter::defaultCenter().post(kQNNetworkASyncLoadDidReceiveDataNotification, this);
}

void QNNetwork::onFinished()
{
    QNetworkReply* reply = _asyncConnection;
    if (!reply)
        return;
    _asyncData.append(reply->readAll());
    const bool ok = answered(reply);
    const QString error = reply->errorString();
    cancelConnectionWithPostNotification(false);
    QVariantMap info;
    if (!ok)
        info.insert(kQNNetworkError, error);
    qn::NotificationCenter::defaultCenter().post(kQNNetworkAsyncConnectionDidEndNotification, this, info);
}
