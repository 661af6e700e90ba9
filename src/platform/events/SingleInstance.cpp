// SPDX-License-Identifier: MIT
#include "events/SingleInstance.h"

#include "events/RuntimeDirectory.h"
#include "events/LaunchServices.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <unistd.h>

namespace qn::events {

SingleInstance::SingleInstance(const QString& dir, const QString& key)
    : _lockPath(runtime::instanceLockPath(dir, key)), _psnPath(runtime::instancePsnPath(dir, key))
{
}

SingleInstance::~SingleInstance()
{
    release();
}

SingleInstance::Claim SingleInstance::claim(const AppleEvent& event, int timeoutMs, ProcessSerialNumber* holder,
                                            QString* error)
{
    const ProcessSerialNumber self = ProcessSerialNumber::current();
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        bool busy = false;
        _lockFd = runtime::lockFile(_lockPath, false, &busy);
        if (_lockFd >= 0)
            return Claim::Holder;
        if (!busy) {
            *error = QStringLiteral("cannot open %1").arg(_lockPath);
            return Claim::Unguarded;
        }
        const auto other = runtime::readInstancePsn(_psnPath);
        if (other && *other != self && other->isAlive() && sendEvent(event, *other, timeoutMs) == noErr) {
            *holder = *other;
            return Claim::Forwarded;
        }
        if (deadline.hasExpired()) {
            *error = QStringLiteral("another instance holds the lock but accepts no events");
            return Claim::Unguarded;
        }
        // The holder is between taking the lock and recording itself, or
        // between giving up its socket and its lock: both take milliseconds.
        QThread::msleep(10);
    }
}

bool SingleInstance::recordSelf(QString* error)
{
    if (_lockFd < 0)
        return true;
    if (runtime::writeInstancePsn(_psnPath, ProcessSerialNumber::current()))
        return true;
    *error = QStringLiteral("cannot record this instance in %1").arg(_psnPath);
    return false;
}

void SingleInstance::release()
{
    if (_lockFd < 0)
        return;
    const auto recorded = runtime::readInstancePsn(_psnPath);
    if (recorded && *recorded == ProcessSerialNumber::current())
        QFile::remove(_psnPath);
    ::close(_lockFd);
    _lockFd = -1;
}

std::optional<ProcessSerialNumber> SingleInstance::holder(const QString& dir, const QString& key)
{
    bool busy = false;
    const int probe = runtime::lockFile(runtime::instanceLockPath(dir, key), false, &busy);
    if (probe >= 0) {
        ::close(probe);
        return std::nullopt;
    }
    const auto running = runtime::readInstancePsn(runtime::instancePsnPath(dir, key));
    return running && running->isAlive() ? *running : ProcessSerialNumber{};
}

}  // namespace qn::events
