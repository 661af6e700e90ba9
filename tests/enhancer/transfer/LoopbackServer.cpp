// SPDX-License-Identifier: MIT
#include "LoopbackServer.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <csignal>
#include <unistd.h>
#include <vector>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>

namespace {

// Owns a descriptor; -1 when none.
struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace

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
    // Watch the work folder before the server can write its port file
    // (written to a temporary, then renamed into place).
    const Fd watch(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    if (watch.fd >= 0)
        ::inotify_add_watch(watch.fd, QFile::encodeName(_work.path()).constData(), IN_MOVED_TO | IN_CLOSE_WRITE);
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
    // Wait for the port file or the server's exit, whichever comes first.
    const Fd exited(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (_port == 0) {
        QFile f(portFile);
        if (f.open(QIODevice::ReadOnly)) {
            _port = f.readAll().trimmed().toInt();
            break;
        }
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            _pid = 0;
            _error = QStringLiteral("server exited at start (status %1)").arg(status);
            return;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || watch.fd < 0)
            break;
        pollfd fds[2] = {{watch.fd, POLLIN, 0}, {exited.fd, POLLIN, 0}};
        ::poll(fds, exited.fd >= 0 ? 2 : 1, static_cast<int>(left.count()));
        char events[4096];
        while (::read(watch.fd, events, sizeof events) > 0) {
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
