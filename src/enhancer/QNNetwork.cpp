// SPDX-License-Identifier: MIT
#include "QNNetwork.h"

#include "HttpCommon.h"
#include "notify/NotificationCenter.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

const QString kQNNetworkASyncLoadDidReceiveDataNotification = QStringLiteral("kQNNetworkASyncLoadDidReceiveDataNotification");
const QString kQNNetworkAsyncConnectionDidEndNotification = QStringLiteral("kQNNetworkAsyncLoadDidEndNotification");
const QString kQNNetworkError = QStringLiteral("kQNNetworkError");
const QString kQNNetworkUserCancel = QStringLiteral("kQNNetworkUserCancel");

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
    qn::http::waitForFinished(reply);
    return qn::http::takeBody(reply, qn::http::answered(reply));
}

QByteArray QNNetwork::loadURL(const QUrl& url, bool isAsynchronous)
{
    if (!isAsynchronous)
        return qn::http::loadSynchronously(*_manager, url);
    cancelConnectionWithPostNotification(true);
    clearAsyncData();
    start(_manager->get(qn::http::uncached(QNetworkRequest(url))), url);
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
    qn::http::showNetworkDiagnostic(_asyncURL);
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
    const bool ok = qn::http::answered(reply);
    const QString error = reply->errorString();
    cancelConnectionWithPostNotification(false);
    QVariantMap info;
    if (!ok)
        info.insert(kQNNetworkError, error);
    qn::NotificationCenter::defaultCenter().post(kQNNetworkAsyncConnectionDidEndNotification, this, info);
}
