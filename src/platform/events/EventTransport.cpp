// SPDX-License-Identifier: MIT
#include "events/EventTransport.h"

#include "events/RuntimeDirectory.h"

#include <QDeadlineTimer>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace qn::events::transport {

namespace {

bool waitFor(int fd, short events, const QDeadlineTimer& deadline, bool* timedOut)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int ms = int(std::min<qint64>(deadline.remainingTime(), 1 << 30));
        const int r = ::poll(&p, 1, ms < 0 ? 0 : ms);
        if (r > 0)
            return true;
        if (r == 0) {
            if (timedOut)
                *timedOut = true;
            return false;
        }
        if (errno != EINTR)
            return false;
    }
}

}  // namespace

bool writeAll(int fd, const char* data, size_t size, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            size -= size_t(n);
            continue;
        }
        if (n < 0 && errno == ENOTSOCK) {
            const ssize_t w = ::write(fd, data, size);
            if (w > 0) {
                data += w;
                size -= size_t(w);
                continue;
            }
            if (w < 0 && errno != EAGAIN && errno != EINTR)
                return false;
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return false;
        }
        if (!waitFor(fd, POLLOUT, deadline, nullptr))
            return false;
    }
    return true;
}

bool readExact(int fd, char* data, size_t size, int timeoutMs, bool* timedOut)
{
    if (timedOut)
        *timedOut = false;
    QDeadlineTimer deadline(timeoutMs);
    while (size > 0) {
        if (!waitFor(fd, POLLIN, deadline, timedOut))
            return false;
        const ssize_t n = ::read(fd, data, size);
        if (n == 0)
            return false;
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool writeFrame(int fd, const QByteArray& payload, int timeoutMs)
{
    char len[4];
    const quint32 n = quint32(payload.size());
    len[0] = char(n & 0xff);
    len[1] = char((n >> 8) & 0xff);
    len[2] = char((n >> 16) & 0xff);
    len[3] = char((n >> 24) & 0xff);
    QByteArray frame(len, 4);
    frame.append(payload);
    return writeAll(fd, frame.constData(), size_t(frame.size()), timeoutMs);
}

FrameDecoder::State FrameDecoder::feed(const char* data, size_t size)
{
    while (size > 0 && _state != State::Malformed) {
        if (_headerFill < 4) {
            const size_t take = std::min(size, 4 - _headerFill);
            std::memcpy(_header + _headerFill, data, take);
            _headerFill += take;
            data += take;
            size -= take;
            if (_headerFill < 4)
                break;
            _length = quint32(_header[0]) | (quint32(_header[1]) << 8) | (quint32(_header[2]) << 16)
                | (quint32(_header[3]) << 24);
            if (_length > quint32(_maxSize)) {
                _state = State::Malformed;
                break;
            }
            _payload.reserve(qsizetype(_length));
            if (_length == 0)
                _state = State::Complete;
            continue;
        }
        if (_state == State::Complete) {  // one frame per connection
            _state = State::Malformed;
            break;
        }
        const size_t take = std::min(size, size_t(_length) - size_t(_payload.size()));
        _payload.append(data, qsizetype(take));
        data += take;
        size -= take;
        if (size_t(_payload.size()) == _length)
            _state = State::Complete;
    }
    return _state;
}

size_t FrameDecoder::missing() const
{
    if (_state != State::NeedMore)
        return 0;
    if (_headerFill < 4)
        return 4 - _headerFill;
    return size_t(_length) - size_t(_payload.size());
}

std::optional<QByteArray> readFrame(int fd, int maxSize, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    FrameDecoder decoder(maxSize);
    QByteArray chunk;
    while (decoder.state() == FrameDecoder::State::NeedMore) {
        // Only what the frame still lacks, so a blocking reader never reads past it.
        chunk.resize(qsizetype(decoder.missing()));
        if (!readExact(fd, chunk.data(), size_t(chunk.size()), int(std::max<qint64>(deadline.remainingTime(), 0))))
            return std::nullopt;
        decoder.feed(chunk.constData(), size_t(chunk.size()));
    }
    if (decoder.state() == FrameDecoder::State::Malformed)
        return std::nullopt;
    return decoder.payload();
}

OSStatus deliver(const QString& dir, const ProcessSerialNumber& psn, const QByteArray& encoded, int timeoutMs)
{
    const QByteArray path = QFile::encodeName(runtime::socketPath(dir, psn));
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof addr.sun_path)
        return connectionInvalid;
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return memFullErr;
    QDeadlineTimer deadline(timeoutMs);
    OSStatus status = connectionInvalid;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (errno == EINPROGRESS || errno == EAGAIN) {
            // The backlog is full: the receiver is busy. Wait for it.
            bool timedOut = false;
            if (!waitFor(fd, POLLOUT, deadline, &timedOut)) {
                ::close(fd);
                return timedOut ? errAETimeout : connectionInvalid;
            }
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
            if (err != 0) {
                ::close(fd);
                return connectionInvalid;
            }
        } else {
            ::close(fd);
            return psn.isAlive() ? connectionInvalid : procNotFound;
        }
    }
    if (!writeFrame(fd, encoded, int(deadline.remainingTime()))) {
        ::close(fd);
        return connectionInvalid;
    }
    char reply[4];
    bool timedOut = false;
    if (readExact(fd, reply, 4, int(std::max<qint64>(deadline.remainingTime(), 0)), &timedOut)) {
        qint32 v;
        std::memcpy(&v, reply, 4);
        status = v;
    } else {
        status = timedOut ? errAETimeout : connectionInvalid;
    }
    ::close(fd);
    return status;
}

}  // namespace qn::events::transport
