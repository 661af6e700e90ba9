// SPDX-License-Identifier: MIT
#pragma once
// Helpers shared by the transfer engine tests.
#include "QNLowNetwork.h"
#include "TestSupport.h"
#include "notify/NotificationCenter.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <mutex>
#include <optional>
#include <ostream>
#include <vector>

/// gtest prints result codes by their number.
inline void PrintTo(QNLowNetworkResult code, std::ostream* os)
{
    *os << qint32(code);
}

/// Records the completion notifications of one engine (posted on its worker).
/// Declare it before the engine so that the engine, which waits for its
/// worker, goes first.
class Completions {
public:
    explicit Completions(const QNLowNetwork* engine);
    ~Completions();
    std::vector<QNLowNetworkResult> codes() const;
    /// Waits (processing events) until at least one notification came; the
    /// first code, or nothing when none came in time.
    std::optional<QNLowNetworkResult> wait(int timeoutMs = 30000) const;

private:
    mutable std::mutex _mutex;
    std::vector<QNLowNetworkResult> _codes;
    qn::NotificationCenter::Token _token = 0;
};

/// Starts one transfer on a fresh engine (in the background, no window) and
/// waits for its end: the code it ended with. A refused start fails the test
/// and gives the refusal's code.
std::optional<QNLowNetworkResult> downloadToEnd(const QUrl& url, const QString& target, const QVariantMap& option);
std::optional<QNLowNetworkResult> uploadToEnd(const QUrl& url, const QString& source, const QVariantMap& option);

/// The names of directory-listing records, in their order.
QStringList namesOf(const QVariantList& records);

QByteArray patternBytes(qsizetype size, quint32 seed);
using qn::test::readFile;
bool writeFile(const QString& path, const QByteArray& content);
/// A loopback TCP port that nothing listens on (bound once, then released).
int freeLoopbackPort();
