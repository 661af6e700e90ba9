// SPDX-License-Identifier: MIT
#include "events/LaunchHandOver.h"

#include "events/EventTransport.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qn::events {

namespace {

bool gHandOverTaken = false;

quint32 readLaunchFlags()
{
    bool ok = false;
    const quint32 v = qEnvironmentVariable(LaunchHandOver::kFlagsVariable).toUInt(&ok, 16);
    return ok ? v : kLSLaunchDefaults;
}

quint32& launchFlagsSlot()
{
    static quint32 flags = readLaunchFlags();
    return flags;
}

// A launched program that reaches its event loop without having taken its
// hand-over (it started no EventManager) still answers its launcher, so that
// the launch does not wait for the hand-over time-out. Its initial event has
// nowhere to go.
void answerLauncherIfNobodyListens()
{
    if (qEnvironmentVariableIsEmpty(LaunchHandOver::kFdVariable))
        return;
    QTimer::singleShot(0, QCoreApplication::instance(), [] {
        if (!LaunchHandOver::wasTaken())
            LaunchHandOver::take().acknowledge(noErr, ProcessSerialNumber::current());
    });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(answerLauncherIfNobodyListens)

LaunchHandOver LaunchHandOver::take()
{
    LaunchHandOver handOver;
    if (gHandOverTaken)
        return handOver;
    gHandOverTaken = true;
    const QByteArray fdText = qgetenv(kFdVariable);
    launchFlagsSlot();  // remember the flags before the variables go
    ::unsetenv(kFdVariable);
    ::unsetenv(kFlagsVariable);
    if (fdText.isEmpty())
        return handOver;
    bool ok = false;
    const int fd = fdText.toInt(&ok);
    struct stat st{};
    if (!ok || fd < 3 || ::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode))
        return handOver;
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    handOver._fd = fd;
    const auto frame = transport::readFrame(fd, AppleEvent::kMaxEncodedSize, kReadTimeoutMs);
    if (frame && !frame->isEmpty())
        handOver._event = AppleEvent::decode(*frame);
    return handOver;
}

bool LaunchHandOver::wasTaken()
{
    return gHandOverTaken;
}

quint32 LaunchHandOver::launchFlags()
{
    return launchFlagsSlot();
}

LaunchHandOver::~LaunchHandOver()
{
    if (_fd >= 0)
        ::close(_fd);
}

void LaunchHandOver::acknowledge(OSStatus status, const ProcessSerialNumber& receiver)
{
    if (_fd < 0)
        return;
    char reply[12];
    std::memcpy(reply, &status, 4);
    std::memcpy(reply + 4, &receiver.highLongOfPSN, 4);
    std::memcpy(reply + 8, &receiver.lowLongOfPSN, 4);
    transport::writeAll(_fd, reply, sizeof reply, 1000);
    ::close(_fd);
    _fd = -1;
}

bool LaunchHandOver::give(int channel, const std::optional<AppleEvent>& event, int timeoutMs)
{
    return transport::writeFrame(channel, event ? event->encode() : QByteArray(), timeoutMs);
}

std::optional<std::pair<OSStatus, ProcessSerialNumber>> LaunchHandOver::awaitAnswer(int channel, int timeoutMs)
{
    char reply[12];
    if (!transport::readExact(channel, reply, sizeof reply, timeoutMs))
        return std::nullopt;
    OSStatus status = noErr;
    ProcessSerialNumber receiver;
    std::memcpy(&status, reply, 4);
    std::memcpy(&receiver.highLongOfPSN, reply + 4, 4);
    std::memcpy(&receiver.lowLongOfPSN, reply + 8, 4);
    return std::pair{status, receiver};
}

}  // namespace qn::events
