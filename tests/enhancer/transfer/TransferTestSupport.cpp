// SPDX-License-Identifier: MIT
#include "TransferTestSupport.h"

#include "TestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

Completions::Completions(const QNLowNetwork* engine)
{
    _token = qn::NotificationCenter::defaultCenter().addObserver(
        QString::fromLatin1(kQNLowNetworkOperationCompleteNotification), engine,
        [this](const qn::Notification& n) {
            std::lock_guard g(_mutex);
            _codes.push_back(QNLowNetworkResult(n.userInfo.value(QString::fromLatin1(kQNLowNetworkResultKey)).toInt()));
        });
}

Completions::~Completions()
{
    qn::NotificationCenter::defaultCenter().removeObserver(_token);
}

using enum QNLowNetworkResult;

namespace {

template <typename Start>
std::optional<QNLowNetworkResult> transferToEnd(const QUrl& url, Start start)
{
    QNLowNetwork engine;
    Completions done(&engine);
    const QNLowNetworkResult code = start(engine);
    EXPECT_EQ(code, kQNLowNetworkStarted) << "refused at once: " << url.toString().toStdString();
    return code == kQNLowNetworkStarted ? done.wait() : std::optional(code);
}

}  // namespace

std::optional<QNLowNetworkResult> downloadToEnd(const QUrl& url, const QString& target, const QVariantMap& option)
{
    return transferToEnd(url, [&](QNLowNetwork& e) { return e.downloadURL(url, target, nullptr, option); });
}

std::optional<QNLowNetworkResult> uploadToEnd(const QUrl& url, const QString& source, const QVariantMap& option)
{
    return transferToEnd(url, [&](QNLowNetwork& e) { return e.uploadToURL(url, source, nullptr, option); });
}

QStringList namesOf(const QVariantList& records)
{
    QStringList out;
    for (const QVariant& r : records)
        out << r.toMap().value(kQNLowNetworkDirectoryContentsKeyName).toString();
    return out;
}

std::vector<QNLowNetworkResult> Completions::codes() const
{
    std::lock_guard g(_mutex);
    return _codes;
}

std::optional<QNLowNetworkResult> Completions::wait(int timeoutMs) const
{
    qn::test::waitUntil([this] { return !codes().empty(); }, timeoutMs);
    const auto c = codes();
    if (c.empty())
        return std::nullopt;
    return c.front();
}

QByteArray patternBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(gen.generate() & 0xff);
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}
