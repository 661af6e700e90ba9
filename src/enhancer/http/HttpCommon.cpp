// SPDX-License-Identifier: MIT
#include "HttpCommon.h"

#include "alerts/AlertPresenter.h"
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

}  // namespace qn::http
