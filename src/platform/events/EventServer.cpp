// SPDX-License-Identifier: MIT
#include "events/EventServer.h"

#include "events/EventTransport.h"

#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace qn::events {

namespace {
// The answer is four bytes to a peer that is waiting for them; a peer that
// does not read is not waited for long.
constexpr int kAnswerTimeoutMs = 200;
}  // namespace

struct EventServer::Connection {
    explicit Connection(int maxSize) : decoder(maxSize) {}
    transport::FrameDecoder decoder;
    QSocketNotifier* notifier = nullptr;
    QTimer* timer = nullptr;
    ProcessSerialNumber sender;
};

EventServer::EventServer(QObject* parent) : QObject(parent) {}

EventServer::~EventServer()
{
    close();
}

bool EventServer::listen(const QString& socketFile, QString* error)
{
    const QByteArray path = QFile::encodeName(socketFile);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof addr.sun_path) {
        *error = QStringLiteral("socket path too long: %1").arg(socketFile);
        return false;
    }
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    ::unlink(path.constData());  // left by a process that had this pid and start time: impossible, but harmless
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0
        || ::chmod(path.constData(), 0600) != 0 || ::listen(fd, kMaxConnections) != 0) {
        *error = QStringLiteral("cannot listen on %1: %2").arg(socketFile, QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    _listenFd = fd;
    _socketFile = socketFile;
    _acceptNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(_acceptNotifier, &QSocketNotifier::activated, this, [this] { acceptAll(); });
    return true;
}

void EventServer::close()
{
    while (!_connections.empty())
        drop(_connections.begin()->first);
    if (_listenFd < 0)
        return;
    delete _acceptNotifier;
    _acceptNotifier = nullptr;
    ::close(_listenFd);
    _listenFd = -1;
    ::unlink(QFile::encodeName(_socketFile).constData());
    _socketFile.clear();
}

void EventServer::acceptAll()
{
    for (;;) {
        const int fd = ::accept4(_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        ucred cred{};
        socklen_t len = sizeof cred;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::getuid()
            || _connections.size() >= size_t(kMaxConnections)) {
            ::close(fd);  // another user's process (or a flood): no answer at all
            continue;
        }
        auto c = std::make_unique<Connection>(AppleEvent::kMaxEncodedSize);
        c->sender = ProcessSerialNumber::forPid(cred.pid).value_or(ProcessSerialNumber{0, quint32(cred.pid)});
        c->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        c->timer = new QTimer(this);
        c->timer->setSingleShot(true);
        connect(c->notifier, &QSocketNotifier::activated, this, [this, fd] { readFrom(fd); });
        connect(c->timer, &QTimer::timeout, this, [this, fd] { drop(fd); });
        c->timer->start(kConnectionTimeoutMs);
        _connections[fd] = std::move(c);
    }
}

void EventServer::readFrom(int fd)
{
    auto it = _connections.find(fd);
    if (it == _connections.end())
        return;
    transport::FrameDecoder& decoder = it->second->decoder;
    char chunk[16384];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            if (decoder.feed(chunk, size_t(n)) == transport::FrameDecoder::State::Malformed)
                break;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        drop(fd);  // the peer went away (or failed) before a whole frame
        return;
    }
    switch (decoder.state()) {
    case transport::FrameDecoder::State::NeedMore:
        return;  // wait for the rest
    case transport::FrameDecoder::State::Malformed:
        finish(fd, errAECorruptData);
        return;
    case transport::FrameDecoder::State::Complete:
        break;
    }
    std::optional<AppleEvent> event = AppleEvent::decode(decoder.payload());
    if (!event) {
        finish(fd, errAECorruptData);
        return;
    }
    event->setSender(it->second->sender);
    finish(fd, noErr);
    emit received(*event);
}

void EventServer::finish(int fd, qint32 status)
{
    transport::writeAll(fd, reinterpret_cast<const char*>(&status), sizeof status, kAnswerTimeoutMs);
    drop(fd);
}

void EventServer::drop(int fd)
{
    auto it = _connections.find(fd);
    if (it == _connections.end())
        return;
    it->second->notifier->setEnabled(false);
    it->second->notifier->deleteLater();
    it->second->timer->stop();
    it->second->timer->deleteLater();
    ::close(fd);
    _connections.erase(it);
}

}  // namespace qn::events
