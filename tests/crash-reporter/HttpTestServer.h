// SPDX-License-Identifier: MIT
#pragma once
// The HTTP test peers of the crash tests: a tiny scripted server, and PHP's
// own form decoder.
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <csignal>

// A tiny HTTP/1.1 server on 127.0.0.1: answers every request with the
// configured status (or holds it unanswered) and keeps what it received.
class TinyHttpServer : public QObject {
public:
    struct Request {
        QByteArray method, path, body;
        QList<QByteArray> headerLines;
    };
    int status = 200;
    bool holdRequests = false;
    QList<Request> requests;

    TinyHttpServer()
    {
        _server.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        QObject::connect(&_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = _server.nextPendingConnection()) {
                s->setParent(this);
                QObject::connect(s, &QTcpSocket::readyRead, this, [this, s] { onData(s); });
            }
        });
    }
    QUrl url(const QString& path = QStringLiteral("/crashreport_send.php")) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(_server.serverPort()).arg(path));
    }

private:
    void onData(QTcpSocket* s)
    {
        QByteArray& buf = _buffers[s];
        buf += s->readAll();
        const qsizetype end = buf.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> lines = buf.left(end).split('\n');
        qsizetype length = 0;
        for (const QByteArray& l : lines) {
            if (l.toLower().startsWith("content-length:"))
                length = l.mid(15).trimmed().toLongLong();
        }
        if (buf.size() < end + 4 + length)
            return;
        Request r;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        r.method = first.value(0);
        r.path = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i)
            r.headerLines << lines.at(i).trimmed();
        r.body = buf.mid(end + 4, length);
        requests << r;
        buf.clear();
        if (holdRequests)
            return;
        const QByteArray body = "answer";
        s->write("HTTP/1.1 " + QByteArray::number(status) + " Status\r\nContent-Length: "
                 + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        s->disconnectFromHost();
    }
    QTcpServer _server;
    QHash<QTcpSocket*, QByteArray> _buffers;
};


// PHP's built-in server running the form receiver from folder/www, which
// writes what PHP decoded to folder/received.json. Ended by its pid.
// Check ok() (false without php-cli).
class PhpFormServer {
public:
    explicit PhpFormServer(const QString& folder)
        : received(folder + QStringLiteral("/received.json"))
    {
        const QString php = QStringLiteral("/usr/bin/php");
        if (!QFile::exists(php))
            return;
        QDir().mkpath(folder + QStringLiteral("/www"));
        QFile::copy(qn::test::dataPath(QStringLiteral("crash/www/crashreport_send.php")),
                    folder + QStringLiteral("/www/crashreport_send.php"));
        QTcpServer probe;
        probe.listen(QHostAddress(QStringLiteral("127.0.0.1")), 0);
        _port = probe.serverPort();
        probe.close();
        _process.start(php, {QStringLiteral("-S"), QStringLiteral("127.0.0.1:%1").arg(_port), QStringLiteral("-t"),
                             folder + QStringLiteral("/www")});
        _ok = _process.waitForStarted() && qn::test::waitUntil([this] {
            QTcpSocket s;
            s.connectToHost(QStringLiteral("127.0.0.1"), _port);
            return s.waitForConnected(100);
        });
    }
    ~PhpFormServer()
    {
        if (_process.state() != QProcess::NotRunning) {
            ::kill(pid_t(_process.processId()), SIGTERM);
            _process.waitForFinished(5000);
        }
    }
    bool ok() const { return _ok; }
    QUrl url() const { return QUrl(QStringLiteral("http://127.0.0.1:%1/crashreport_send.php").arg(_port)); }
    const QString received;

private:
    QProcess _process;
    quint16 _port = 0;
    bool _ok = false;
};
