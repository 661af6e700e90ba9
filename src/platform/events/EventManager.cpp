// SPDX-License-Identifier: MIT
#include "events/EventManager.h"

#include "events/EventTransport.h"
#include "events/LaunchServices.h"
#include "notify/NotificationCenter.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace qn::events {

namespace {

EventManager* gInstance = nullptr;
bool gHandOverTaken = false;

constexpr int kMaxConnections = 64;
constexpr int kConnectionTimeoutMs = 5000;
constexpr int kForwardTimeoutMs = 5000;

quint32 readLaunchFlags()
{
    bool ok = false;
    const quint32 v = qEnvironmentVariable(transport::kLaunchFlagsVariable).toUInt(&ok, 16);
    return ok ? v : kLSLaunchDefaults;
}

quint32& launchFlagsSlot()
{
    static quint32 flags = readLaunchFlags();
    return flags;
}

bool ensurePrivateDir(const QByteArray& path, QString* error)
{
    const uid_t uid = ::getuid();
    struct stat st{};
    if (::lstat(path.constData(), &st) != 0) {
        if (errno != ENOENT || (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)) {
            if (error)
                *error = QStringLiteral("cannot create %1: %2").arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        if (::lstat(path.constData(), &st) != 0) {
            if (error)
                *error = QStringLiteral("cannot inspect %1").arg(QFile::decodeName(path));
            return false;
        }
    }
    if (!S_ISDIR(st.st_mode)) {
        if (error)
            *error = QStringLiteral("%1 is not a folder").arg(QFile::decodeName(path));
        return false;
    }
    if (st.st_uid != uid) {
        if (error)
            *error = QStringLiteral("%1 belongs to another user").arg(QFile::decodeName(path));
        return false;
    }
    if ((st.st_mode & 0777) != 0700 && ::chmod(path.constData(), 0700) != 0) {
        if (error)
            *error = QStringLiteral("cannot make %1 private").arg(QFile::decodeName(path));
        return false;
    }
    return true;
}

}  // namespace

struct EventManager::Private {
    struct Connection {
        int fd = -1;
        QByteArray buffer;
        QSocketNotifier* notifier = nullptr;
        QTimer* timer = nullptr;
        ProcessSerialNumber sender;
    };

    EventManager* q = nullptr;
    std::map<std::pair<FourCharCode, FourCharCode>, Handler> handlers;
    std::deque<AppleEvent> queue;
    bool dispatchScheduled = false;
    bool started = false;
    StartResult result = StartResult::Failed;
    QString dir;
    int listenFd = -1;
    QSocketNotifier* acceptNotifier = nullptr;
    QString socketFile;
    int instanceLockFd = -1;
    QString psnFile;
    std::map<int, std::unique_ptr<Connection>> connections;

    // Stops taking events and gives up the instance role, so that a launch
    // from now on starts a fresh instance instead of feeding one that ends.
    void shutdown()
    {
        for (auto& [fd, c] : connections) {
            delete c->notifier;
            delete c->timer;
            ::close(fd);
        }
        connections.clear();
        if (listenFd >= 0) {
            delete acceptNotifier;
            acceptNotifier = nullptr;
            ::close(listenFd);
            listenFd = -1;
            ::unlink(QFile::encodeName(socketFile).constData());
        }
        if (instanceLockFd >= 0) {
            const auto recorded = transport::readInstancePsn(psnFile);
            if (recorded && *recorded == ProcessSerialNumber::current())
                QFile::remove(psnFile);
            ::close(instanceLockFd);
            instanceLockFd = -1;
        }
    }

    void enqueue(AppleEvent event)
    {
        queue.push_back(std::move(event));
        scheduleDispatch();
    }

    void scheduleDispatch()
    {
        if (dispatchScheduled || queue.empty())
            return;
        dispatchScheduled = true;
        QMetaObject::invokeMethod(q, [this] { dispatchOne(); }, Qt::QueuedConnection);
    }

    const Handler* findHandler(FourCharCode cls, FourCharCode id) const
    {
        for (const auto& key : {std::pair{cls, id}, std::pair{cls, typeWildCard}, std::pair{typeWildCard, typeWildCard}}) {
            auto it = handlers.find(key);
            if (it != handlers.end())
                return &it->second;
        }
        return nullptr;
    }

    void dispatchOne()
    {
        dispatchScheduled = false;
        if (queue.empty())
            return;
        AppleEvent event = std::move(queue.front());
        queue.pop_front();
        bool handled = true;
        if (const Handler* h = findHandler(event.eventClass(), event.eventID())) {
            Handler copy = *h;  // the handler may replace itself
            copy(event);
        } else if (event.eventClass() == kCoreEventClass && event.eventID() == kAEQuitApplication) {
            EventManager::terminate(0);
        } else if (event.eventClass() == kCoreEventClass
                   && (event.eventID() == kAEOpenApplication || event.eventID() == kAEReopenApplication)) {
            // Nothing to do for a plain launch or reopen by default.
        } else {
            handled = false;
        }
        emit q->eventDispatched(event, handled);
        scheduleDispatch();
    }

    bool listen(QString* error)
    {
        const ProcessSerialNumber self = ProcessSerialNumber::current();
        socketFile = transport::socketPath(dir, self);
        const QByteArray path = QFile::encodeName(socketFile);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        if (size_t(path.size()) >= sizeof addr.sun_path) {
            *error = QStringLiteral("socket path too long: %1").arg(socketFile);
            socketFile.clear();
            return false;
        }
        std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
        ::unlink(path.constData());  // left by a process that had this pid and start time: impossible, but harmless
        listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (listenFd < 0 || ::bind(listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0
            || ::chmod(path.constData(), 0600) != 0 || ::listen(listenFd, 64) != 0) {
            *error = QStringLiteral("cannot listen on %1: %2").arg(socketFile, QString::fromLocal8Bit(std::strerror(errno)));
            if (listenFd >= 0)
                ::close(listenFd);
            listenFd = -1;
            socketFile.clear();
            return false;
        }
        acceptNotifier = new QSocketNotifier(listenFd, QSocketNotifier::Read, q);
        QObject::connect(acceptNotifier, &QSocketNotifier::activated, q, [this] { acceptAll(); });
        return true;
    }

    void acceptAll()
    {
        for (;;) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0)
                return;
            ucred cred{};
            socklen_t len = sizeof cred;
            if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::getuid()
                || connections.size() >= size_t(kMaxConnections)) {
                ::close(fd);  // another user's process (or a flood): no answer at all
                continue;
            }
            auto c = std::make_unique<Connection>();
            c->fd = fd;
            c->sender = ProcessSerialNumber::forPid(cred.pid).value_or(ProcessSerialNumber{0, quint32(cred.pid)});
            c->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, q);
            c->timer = new QTimer(q);
            c->timer->setSingleShot(true);
            QObject::connect(c->notifier, &QSocketNotifier::activated, q, [this, fd] { readFrom(fd); });
            QObject::connect(c->timer, &QTimer::timeout, q, [this, fd] { drop(fd); });
            c->timer->start(kConnectionTimeoutMs);
            connections[fd] = std::move(c);
        }
    }

    void answer(int fd, OSStatus status)
    {
        transport::writeAll(fd, reinterpret_cast<const char*>(&status), sizeof status, 200);
    }

    void drop(int fd)
    {
        auto it = connections.find(fd);
        if (it == connections.end())
            return;
        it->second->notifier->setEnabled(false);
        it->second->notifier->deleteLater();
        it->second->timer->stop();
        it->second->timer->deleteLater();
        ::close(fd);
        connections.erase(it);
    }

    void readFrom(int fd)
    {
        auto it = connections.find(fd);
        if (it == connections.end())
            return;
        Connection& c = *it->second;
        char chunk[16384];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n > 0) {
                c.buffer.append(chunk, n);
                if (c.buffer.size() > 4 + AppleEvent::kMaxEncodedSize)
                    break;
                continue;
            }
            if (n == 0) {
                drop(fd);  // the peer went away before a whole message
                return;
            }
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                break;
            drop(fd);
            return;
        }
        if (c.buffer.size() < 4)
            return;
        const auto* b = reinterpret_cast<const unsigned char*>(c.buffer.constData());
        const quint32 len = quint32(b[0]) | (quint32(b[1]) << 8) | (quint32(b[2]) << 16) | (quint32(b[3]) << 24);
        if (len == 0 || len > quint32(AppleEvent::kMaxEncodedSize)) {
            answer(fd, errAECorruptData);
            drop(fd);
            return;
        }
        if (quint32(c.buffer.size() - 4) < len)
            return;  // wait for the rest
        if (quint32(c.buffer.size() - 4) > len) {
            answer(fd, errAECorruptData);  // more than one message: not our protocol
            drop(fd);
            return;
        }
        auto event = AppleEvent::decode(c.buffer.mid(4));
        if (!event) {
            answer(fd, errAECorruptData);
            drop(fd);
            return;
        }
        event->setSender(c.sender);
        answer(fd, noErr);
        drop(fd);
        enqueue(std::move(*event));
    }

    // Reads the launcher's hand-over: the initial event (nullopt when the
    // launch had none). Returns the hand-over fd (or -1) in *fdOut.
    std::optional<AppleEvent> takeHandOver(int* fdOut)
    {
        *fdOut = -1;
        gHandOverTaken = true;
        const QByteArray fdText = qgetenv(transport::kLaunchFdVariable);
        launchFlagsSlot();  // remember the flags before the variables go
        ::unsetenv(transport::kLaunchFdVariable);
        ::unsetenv(transport::kLaunchFlagsVariable);
        if (fdText.isEmpty())
            return std::nullopt;
        bool ok = false;
        const int fd = fdText.toInt(&ok);
        struct stat st{};
        if (!ok || fd < 3 || ::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode))
            return std::nullopt;
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        *fdOut = fd;
        const auto frame = transport::readFrame(fd, AppleEvent::kMaxEncodedSize, kForwardTimeoutMs);
        if (!frame || frame->isEmpty())
            return std::nullopt;
        return AppleEvent::decode(*frame);
    }

    static void acknowledge(int fd, OSStatus status, const ProcessSerialNumber& psn)
    {
        if (fd < 0)
            return;
        char reply[12];
        std::memcpy(reply, &status, 4);
        std::memcpy(reply + 4, &psn.highLongOfPSN, 4);
        std::memcpy(reply + 8, &psn.lowLongOfPSN, 4);
        transport::writeAll(fd, reply, sizeof reply, 1000);
        ::close(fd);
    }
};

namespace {

// A launched program that reaches its event loop without having started an
// EventManager still answers its launcher, so that the launch does not wait
// for the hand-over time-out. Its initial event has nowhere to go.
void answerLauncherIfNobodyListens()
{
    if (qEnvironmentVariableIsEmpty(transport::kLaunchFdVariable))
        return;
    QTimer::singleShot(0, QCoreApplication::instance(), [] {
        if (gHandOverTaken)
            return;
        EventManager::Private dummy;
        int fd = -1;
        dummy.takeHandOver(&fd);
        EventManager::Private::acknowledge(fd, noErr, ProcessSerialNumber::current());
    });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(answerLauncherIfNobodyListens)

EventManager::EventManager(QObject* parent) : QObject(parent), d(std::make_unique<Private>())
{
    d->q = this;
    if (!gInstance)
        gInstance = this;
}

EventManager::~EventManager()
{
    d->shutdown();
    if (gInstance == this)
        gInstance = nullptr;
}

EventManager* EventManager::instance()
{
    return gInstance;
}

bool EventManager::post(const AppleEvent& event)
{
    if (!d->started)
        return false;
    AppleEvent copy = event;
    copy.setSender(ProcessSerialNumber::current());
    d->enqueue(std::move(copy));
    return true;
}

void EventManager::installHandler(FourCharCode eventClass, FourCharCode eventID, Handler handler)
{
    d->handlers[{eventClass, eventID}] = std::move(handler);
}

void EventManager::removeHandler(FourCharCode eventClass, FourCharCode eventID)
{
    d->handlers.erase({eventClass, eventID});
}

quint32 EventManager::launchFlags()
{
    return launchFlagsSlot();
}

QString EventManager::runtimeDirectory(QString* error)
{
    const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
    QByteArray dir;
    if (!xdg.isEmpty()) {
        struct stat st{};
        if (::stat(xdg.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            if (error)
                *error = QStringLiteral("XDG_RUNTIME_DIR %1 is not a folder").arg(QFile::decodeName(xdg));
            return {};
        }
        dir = xdg + "/qnlab";
    } else {
        dir = "/tmp/qnlab-" + QByteArray::number(uint(::getuid()));
    }
    if (!ensurePrivateDir(dir, error))
        return {};
    return QFile::decodeName(dir);
}

EventManager::StartResult EventManager::start()
{
    if (d->started)
        return d->result;
    d->started = true;

    int handOverFd = -1;
    const std::optional<AppleEvent> initial = d->takeHandOver(&handOverFd);
    const ProcessSerialNumber self = ProcessSerialNumber::current();

    QString error;
    d->dir = runtimeDirectory(&error);
    if (d->dir.isEmpty()) {
        _error = error;
        d->enqueue(initial.value_or(AppleEvent(kCoreEventClass, kAEOpenApplication)));
        Private::acknowledge(handOverFd, noErr, self);
        return d->result = StartResult::Failed;
    }

    if (!(launchFlags() & kLSLaunchNewInstance)) {
        const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
        const QString key = transport::appKey(exe);
        const QString lockPath = transport::instanceLockPath(d->dir, key);
        d->psnFile = transport::instancePsnPath(d->dir, key);
        // Either become the instance, or hand our event to the one that runs.
        // The running one may be starting (no PSN recorded yet) or ending
        // (lock still held): retry until one of the two works out.
        QDeadlineTimer deadline(kForwardTimeoutMs);
        for (;;) {
            bool busy = false;
            d->instanceLockFd = transport::lockFile(lockPath, false, &busy);
            if (d->instanceLockFd >= 0)
                break;
            if (!busy) {
                _error = QStringLiteral("cannot open %1").arg(lockPath);
                break;  // serve without the one-instance guarantee
            }
            const auto other = transport::readInstancePsn(d->psnFile);
            if (other && *other != self && other->isAlive()) {
                AppleEvent forwarded = initial.value_or(AppleEvent(kCoreEventClass, kAEReopenApplication));
                if (sendEvent(forwarded, *other, kForwardTimeoutMs) == noErr) {
                    Private::acknowledge(handOverFd, noErr, *other);
                    return d->result = StartResult::ForwardedToRunningInstance;
                }
            }
            if (deadline.hasExpired()) {
                // Keep the event rather than lose it: serve it ourselves.
                _error = QStringLiteral("another instance holds the lock but accepts no events");
                break;
            }
            QThread::msleep(10);
        }
    }

    d->enqueue(initial.value_or(AppleEvent(kCoreEventClass, kAEOpenApplication)));
    if (!d->listen(&error)) {
        _error = error;
        Private::acknowledge(handOverFd, noErr, self);
        return d->result = StartResult::Failed;
    }
    if (d->instanceLockFd >= 0 && !transport::writeInstancePsn(d->psnFile, self))
        _error = QStringLiteral("cannot record this instance in %1").arg(d->psnFile);
    Private::acknowledge(handOverFd, noErr, self);
    return d->result = StartResult::Started;
}

void EventManager::terminate(int exitCode)
{
    static bool posted = false;
    if (gInstance)
        gInstance->d->shutdown();
    if (!posted) {
        posted = true;
        NotificationCenter::defaultCenter().post(QString::fromLatin1(kApplicationWillTerminateNotification),
                                                 QCoreApplication::instance());
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        std::exit(exitCode);
    }
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(exitCode);
    else  // called before the loop runs: leave it as soon as it starts
        QMetaObject::invokeMethod(app, [exitCode] { QCoreApplication::exit(exitCode); }, Qt::QueuedConnection);
}

}  // namespace qn::events
