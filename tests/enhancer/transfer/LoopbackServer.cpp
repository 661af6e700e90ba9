#include "LoopbackServer.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <csignal>
#include <sys/types.h>
#include <sys/wait.h>

LoopbackServer::LoopbackServer(Kind kind, const QStringList& extraArgs) : _kind(kind)
{
    const QString scripts = qEnvironmentVariable("QN_TRANSFER_SCRIPTS");
    const QString portFile = _work.filePath(QStringLiteral("port"));
    QStringList args;
    if (kind == Kind::Http)
        args << scripts + QStringLiteral("/http_server.py") << root() << portFile;
    else
        args << scripts + QStringLiteral("/ftp_server.py") << root() << portFile
             << _work.filePath(QStringLiteral("ftp.log"));
    args << extraArgs;
    _process = std::make_unique<QProcess>();
    _process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    _process->start(qn::test::systemPython(), args);
    if (!_process->waitForStarted(10000)) {
        _error = QStringLiteral("cannot start python: ") + _process->errorString();
        return;
    }
    for (int i = 0; i < 200 && _port == 0; ++i) {
        QFile f(portFile);
        if (f.open(QIODevice::ReadOnly))
            _port = f.readAll().trimmed().toInt();
        else if (_process->state() == QProcess::NotRunning)
            break;
        else
            QThread::msleep(50);
    }
    if (_port == 0)
        _error = QStringLiteral("server did not report a port");
}

LoopbackServer::~LoopbackServer()
{
    if (_process && _process->state() != QProcess::NotRunning) {
        const qint64 pid = _process->processId();
        if (pid > 0)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
        _process->waitForFinished(5000);
    }
}

QString LoopbackServer::base() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(_kind == Kind::Http ? "http" : "ftp").arg(_port);
}

QByteArray LoopbackServer::log() const
{
    QFile f(_work.filePath(QStringLiteral("ftp.log")));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void LoopbackServer::put(const QString& relative, const QByteArray& content) const
{
    const QString path = root() + QLatin1Char('/') + relative;
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
}
