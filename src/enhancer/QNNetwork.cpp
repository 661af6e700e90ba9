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
    , _async(std::make_unique<qn::http::AsyncTransfer>(
          this, qn::http::AsyncTransfer::Names{kQNNetworkASyncLoadDidReceiveDataNotification,
                                               kQNNetworkAsyncConnectionDidEndNotification, kQNNetworkError,
                                               kQNNetworkUserCancel}))
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
    _async->start(url, [&] { return _manager->get(qn::http::uncached(QNetworkRequest(url))); });
    return _async->data();
}

bool QNNetwork::HTTPUploadData(const QByteArray& data, const QUrl& url, bool isAsynchronous)
{
    QNetworkRequest request(url);
    // Qt insists on a content type for a body; an empty one says nothing.
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray());
    if (!isAsynchronous)
        return !waitFor(_manager->sendCustomRequest(request, "POST", data)).isNull();
    _async->start(url, [&] { return _manager->sendCustomRequest(request, "POST", data); });
    return true;
}

void QNNetwork::cancelConnectionWithPostNotification(bool post)
{
    _async->cancel(post);
}

void QNNetwork::clearAsyncData()
{
    _async->clear();
}

void QNNetwork::showNetworkDiagnostic()
{
    qn::http::showNetworkDiagnostic(_async->url());
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
