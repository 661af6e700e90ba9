// SPDX-License-Identifier: MIT
#pragma once
// Shared by the launch tests: the receiving test program, its log and
// clean-up of every instance a test started (by pid).
#include "TestSupport.h"
#include "events/LaunchServices.h"

#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <csignal>
#include <cstdlib>

namespace qn::test {

class ReceiverFixture {
public:
    ReceiverFixture()
    {
        _log = _dir.path() + QStringLiteral("/events.log");
        ::setenv("QN_EVENT_LOG", QFile::encodeName(_log).constData(), 1);
        clearReceiverOptions();
    }
    ~ReceiverFixture()
    {
        // Every instance logged "start pid=N psn=H/L ...": end those that
        // still run (the start word guards against a reused pid).
        for (const QByteArray& line : lines()) {
            if (!line.startsWith("start pid="))
                continue;
            const events::ProcessSerialNumber psn = startedPsn(line);
            if (psn.isAlive())
                ::kill(psn.pid(), SIGKILL);
        }
        ::unsetenv("QN_EVENT_LOG");
        clearReceiverOptions();
    }

    static events::ProcessSerialNumber startedPsn(const QByteArray& startLine)
    {
        const int at = startLine.indexOf("psn=");
        if (at < 0)
            return {};
        const QList<QByteArray> words = startLine.mid(at + 4).split(' ').first().split('/');
        if (words.size() != 2)
            return {};
        return {words[0].toUInt(), words[1].toUInt()};
    }
    /// PSNs of every instance that logged its start.
    QList<events::ProcessSerialNumber> startedInstances() const
    {
        QList<events::ProcessSerialNumber> out;
        for (const QByteArray& line : lines())
            if (line.startsWith("start pid="))
                out << startedPsn(line);
        return out;
    }

    static QString program() { return testBinDir() + QStringLiteral("/qn_test_event_receiver"); }

    QList<QByteArray> lines() const
    {
        QFile f(_log);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QList<QByteArray> out = f.readAll().split('\n');
        while (!out.isEmpty() && out.last().isEmpty())
            out.removeLast();
        return out;
    }
    /// Lines that describe events (neither start/exit bookkeeping nor notifications).
    QList<QByteArray> eventLines() const
    {
        QList<QByteArray> out;
        for (const QByteArray& l : lines())
            if (l.contains('/') && !l.startsWith("start") && !l.startsWith("exit"))
                out << l;
        return out;
    }
    int count(const QByteArray& prefix) const
    {
        int n = 0;
        for (const QByteArray& l : lines())
            n += l.startsWith(prefix) ? 1 : 0;
        return n;
    }
    bool waitForLines(const QByteArray& prefix, int n, int timeoutMs = 10000) const
    {
        return waitUntil([&] { return count(prefix) >= n; }, timeoutMs);
    }

private:
    // The switches a test may set for the receivers it starts.
    static void clearReceiverOptions()
    {
        for (const char* name : {"QN_EVENT_CUSTOM_QUIT", "QN_EVENT_NO_MANAGER", "QN_EVENT_CLEANUP_GATE"})
            ::unsetenv(name);
    }

    QTemporaryDir _dir;
    QString _log;
};

/// `payload` behind its 4-byte length, as the event socket reads it.
inline QByteArray frame(const QByteArray& payload)
{
    const quint32 n = quint32(payload.size());
    return QByteArray(reinterpret_cast<const char*>(&n), 4) + payload;
}

/// 'QNts'/<id> with a signed 32-bit direct object.
inline events::AppleEvent testEvent(const char (&id)[5], qint32 value)
{
    events::AppleEvent e(events::fourCC("QNts"), events::fourCC(id));
    e.putParam(events::keyDirectObject, events::Descriptor::fromInt32(value));
    return e;
}

/// The log's rendering of testEvent(id, value).
inline QByteArray loggedAs(const char (&id)[5], qint32 value)
{
    return "QNts/" + QByteArray(id) + " long:" + QByteArray(reinterpret_cast<const char*>(&value), 4).toHex();
}

}  // namespace qn::test
