// SPDX-License-Identifier: MIT
#include "LoopbackServer.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <csignal>
#include <unistd.h>
#include <vector>
#include <sys/types.h>
#include <sys/wait.h>

LoopbackServer::LoopbackServer(Kind kind, const QStringList& extraArgs) : _kind(kind)
{
    const QString scripts = qEnvironmentVariable("QN_TRANSFER_SCRIPTS");
    const QString portFile = _work.filePath(QStringLiteral("port"));
    QStringList args{qn::test::systemPython()};
    if (kind == Kind::Http)
        args << scripts + QStringLiteral("/http_server.py") << root() << portFile;
    else
        args << scripts + QStringLiteral("/ftp_server.py") << root() << portFile
             << _work.filePath(QStringLiteral("ftp.log"));
    args << extraArgs;

    // Everything the child needs is built before fork: after it, only exec.
    std::vector<QByteArray> storage;
    for (const QString& a : args)
        storage.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (pid < 0) {
        _error = QStringLiteral("cannot fork");
        return;
    }
    _pid = pid;
    for (int i = 0; i < 200 && _port == 0; ++i) {
        QFile f(portFile);
        if (f.open(QIODevice::ReadOnly)) {
            _port = f.readAll().trimmed().toInt();
        } else {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                _pid = 0;
                _error = QStringLiteral("server exited at start (status %1)").arg(status);
                return;
            }
            QThread::msleep(50);
        }
    }
    if (_port == 0)
        _error = QStringLiteral("server did not report a port");
}

LoopbackServer::~LoopbackServer()
{
    if (_pid > 0) {
        ::kill(static_cast<pid_t>(_pid), SIGKILL);
        ::waitpid(static_cast<pid_t>(_pid), nullptr, 0);
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
