// SPDX-License-Identifier: MIT
// The event socket from the client's side: real Unix-socket clients against
// this process's own EventManager.
#include "EventTestSupport.h"
#include "events/EventManager.h"
#include "events/RuntimeDirectory.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace qn::events;
using qn::test::frame;

namespace {

// A non-blocking client; the test's loop keeps the server (same thread) running.
class Client {
public:
    explicit Client(const QString& socketFile)
    {
        _fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, QFile::encodeName(socketFile).constData(), sizeof addr.sun_path - 1);
        _connected = ::connect(_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~Client() { ::close(_fd); }
    bool connected() const { return _connected; }
    bool send(const QByteArray& bytes)
    {
        return ::send(_fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
    }
    /// Waits until the server closed the connection; the status it answered
    /// before, or nullopt when it closed without one.
    std::optional<qint32> statusAtClose()
    {
        const bool closed = qn::test::waitUntil([&] { return readSome(); }, 10000);
        if (!closed || _received.size() != 4)
            return std::nullopt;
        qint32 status;
        std::memcpy(&status, _received.constData(), 4);
        return status;
    }
    /// True while the server keeps the connection open without answering.
    bool openAndUnanswered()
    {
        return !readSome() && _received.isEmpty();
    }

private:
    // Reads what is there; true once the server closed its end.
    bool readSome()
    {
        char buf[64];
        for (;;) {
            const ssize_t n = ::recv(_fd, buf, sizeof buf, 0);
            if (n > 0) {
                _received.append(buf, n);
                continue;
            }
            return n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
        }
    }

    int _fd = -1;
    bool _connected = false;
    QByteArray _received;
};

}  // namespace

// One frame decoder serves every connection: a client that stalls halfway, an
// oversized length and a malformed frame each cost only their own connection
// (answered errAECorruptData and closed), and a well-formed request from
// another client is served while the stalled one still holds its connection.
TEST(EventServer, BadFramesDropOnlyTheirOwnConnection)
{
    EventManager events;
    std::vector<AppleEvent> seen;
    events.installHandler(typeWildCard, typeWildCard, [&](const AppleEvent& e) { seen.push_back(e); });
    ASSERT_EQ(events.start(), EventManager::StartResult::Started) << events.errorString().toStdString();
    ASSERT_TRUE(qn::test::waitUntil([&] { return seen.size() == 1; }));  // the plain launch's 'oapp'
    const QString socketFile = runtime::socketPath(runtimeDirectory(), ProcessSerialNumber::current());

    const QByteArray valid = qn::test::testEvent("Good", 7).encode();
    Client stalled(socketFile);
    ASSERT_TRUE(stalled.connected());
    ASSERT_TRUE(stalled.send(frame(valid).left(2)));  // half a length, then nothing

    struct Bad {
        const char* what;
        QByteArray bytes;
    };
    const Bad bad[] = {
        {"oversized length", QByteArray("\xff\xff\xff\x7f", 4) + QByteArray(4096, 'x')},
        {"limit plus one", frame(QByteArray(AppleEvent::kMaxEncodedSize + 1, '\x01'))},
        {"not an event", frame("hello, not an event")},
        {"filler bytes", frame(QByteArray(1000, '\x01'))},
        {"event one byte short", frame(valid.left(valid.size() - 1))},
        {"event with a trailing byte", frame(valid + 'x')},
        {"a second frame after the first", frame(valid) + "extra"},
        {"empty frame", frame({})},
    };
    for (const Bad& b : bad) {
        Client c(socketFile);
        ASSERT_TRUE(c.connected()) << b.what;
        c.send(b.bytes);  // the server may close before it has read everything
        EXPECT_EQ(c.statusAtClose(), std::optional<qint32>(errAECorruptData)) << b.what;
    }

    {
        Client gone(socketFile);  // part of a frame, then the client goes away
        ASSERT_TRUE(gone.send(frame(valid).left(10)));
    }

    Client good(socketFile);
    ASSERT_TRUE(good.connected());
    ASSERT_TRUE(good.send(frame(valid)));
    EXPECT_EQ(good.statusAtClose(), std::optional<qint32>(noErr));
    ASSERT_TRUE(qn::test::waitUntil([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen[1].name(), QStringLiteral("'QNts'/'Good'"));
    EXPECT_EQ(seen[1].param(keyDirectObject)->toInt32(), 7);
    EXPECT_EQ(seen[1].sender(), ProcessSerialNumber::current());
    // Served after the good request: none of the bad frames became an event,
    // and the stalled client still waits (it is dropped only at its time-out).
    EXPECT_EQ(seen.size(), 2u);
    EXPECT_TRUE(stalled.openAndUnanswered());
}
