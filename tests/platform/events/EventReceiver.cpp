// SPDX-License-Identifier: MIT
// A program of the suite's test kit that receives events and writes each one
// to the file named by QN_EVENT_LOG, one line per event:
//   start pid=<pid> psn=<high>/<low> flags=<hex>
//   <class>/<id> [<type>:<hex bytes of the direct parameter>] from=<sender pid>
//   will-terminate
//   forwarded            (another instance got this start's event)
// QN_EVENT_NO_MANAGER=1 runs three seconds without any EventManager (less
// than the launcher's hand-over time-out, so a launcher still waiting for an
// answer would see it end).
// QN_EVENT_CLEANUP_GATE=<fifo> makes the will-terminate clean-up wait until a
// byte arrives on that FIFO (at most 20 s): a clean-up that takes a while.
// QN_EVENT_CUSTOM_QUIT=1 installs its own quit handler ("cleanup" before
// terminating).
//
// Other modes, used by tests as separate processes:
//   --launch <program> [<class> <id> <int32>]   openApplication, prints "status=<n> psn=<h>/<l>"
//   --send-raw <socket> <file>                  writes the file's bytes, prints the reply
#include "events/EventManager.h"
#include "events/LaunchServices.h"
#include "notify/NotificationCenter.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace qn::events;

namespace {

void logLine(const QByteArray& line)
{
    QFile f(qEnvironmentVariable("QN_EVENT_LOG"));
    if (f.fileName().isEmpty() || !f.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    f.write(line + '\n');
}

QByteArray describe(const AppleEvent& event)
{
    QByteArray line = fourCCString(event.eventClass()).toLatin1() + '/' + fourCCString(event.eventID()).toLatin1();
    if (auto direct = event.param(keyDirectObject))
        line += ' ' + fourCCString(direct->type()).toLatin1() + ':' + direct->data().toHex();
    line += " from=" + QByteArray::number(event.sender().lowLongOfPSN);
    return line;
}

FourCharCode codeOf(const char* s)
{
    if (std::strlen(s) != 4)
        return 0;
    return (FourCharCode(quint8(s[0])) << 24) | (FourCharCode(quint8(s[1])) << 16) | (FourCharCode(quint8(s[2])) << 8)
        | FourCharCode(quint8(s[3]));
}

int launchMode(int argc, char** argv)
{
    AppleEvent event;
    const bool withEvent = argc >= 6;
    if (withEvent) {
        event = AppleEvent(codeOf(argv[3]), codeOf(argv[4]));
        event.putParam(keyDirectObject, Descriptor::fromInt32(std::atoi(argv[5])));
    }
    ProcessSerialNumber psn;
    const OSStatus s = LaunchServices::openApplication(QString::fromLocal8Bit(argv[2]), kLSLaunchDefaults,
                                                       withEvent ? &event : nullptr, &psn);
    std::printf("status=%d psn=%u/%u\n", int(s), psn.highLongOfPSN, psn.lowLongOfPSN);
    return 0;
}

int sendRawMode(const char* socketPath, const char* file)
{
    QFile f(QString::fromLocal8Bit(file));
    if (!f.open(QIODevice::ReadOnly))
        return 2;
    const QByteArray bytes = f.readAll();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socketPath, sizeof addr.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        std::printf("connect-failed errno=%d\n", errno);
        return 0;
    }
    if (::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) != bytes.size()) {
        std::printf("closed\n");
        return 0;
    }
    qint32 reply = 0;
    const ssize_t n = ::recv(fd, &reply, sizeof reply, MSG_WAITALL);
    if (n == sizeof reply)
        std::printf("reply=%d\n", int(reply));
    else
        std::printf("closed\n");
    return 0;
}

void waitAtCleanupGate()
{
    const QByteArray gate = qgetenv("QN_EVENT_CLEANUP_GATE");
    if (gate.isEmpty())
        return;
    const int fd = ::open(gate.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, 20000);
    ::close(fd);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--launch") == 0)
        return launchMode(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--send-raw") == 0)
        return sendRawMode(argv[2], argv[3]);

    QCoreApplication app(argc, argv);
    if (qEnvironmentVariable("QN_EVENT_NO_MANAGER") == QLatin1String("1")) {
        // A program that takes no events at all: runs a while, then ends.
        logLine("start-bare pid=" + QByteArray::number(::getpid()));
        QTimer::singleShot(3000, [] { QCoreApplication::exit(0); });
        return app.exec();
    }
    EventManager events;
    const ProcessSerialNumber self = ProcessSerialNumber::current();
    logLine("start pid=" + QByteArray::number(::getpid()) + " psn=" + self.toString().toLatin1()
            + " flags=" + QByteArray::number(EventManager::launchFlags(), 16));

    auto record = [](const AppleEvent& e) { logLine(describe(e)); };
    events.installHandler(kCoreEventClass, kAEOpenApplication, record);
    events.installHandler(kCoreEventClass, kAEReopenApplication, record);
    events.installHandler(fourCC("QNts"), typeWildCard, record);
    if (qEnvironmentVariable("QN_EVENT_CUSTOM_QUIT") == QLatin1String("1")) {
        events.installHandler(kCoreEventClass, kAEQuitApplication, [](const AppleEvent& e) {
            logLine(describe(e) + " custom");
            logLine("cleanup");
            EventManager::terminate(0);
        });
    }
    qn::NotificationCenter::defaultCenter().addObserver(
        QString::fromLatin1(qn::kApplicationWillTerminateNotification), nullptr,
        [](const qn::Notification&) {
            logLine("will-terminate");
            waitAtCleanupGate();
        });

    switch (events.start()) {
    case EventManager::StartResult::ForwardedToRunningInstance:
        logLine("forwarded pid=" + QByteArray::number(::getpid()));
        return 0;
    case EventManager::StartResult::Failed:
        logLine("start-failed " + events.errorString().toUtf8());
        break;
    case EventManager::StartResult::Started:
        break;
    }
    const int code = app.exec();
    logLine("exit code=" + QByteArray::number(code));
    return code;
}
