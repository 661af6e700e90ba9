// SPDX-License-Identifier: MIT
#include "events/RuntimeDirectory.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qn::events {

namespace {

// lstat, not stat: a symbolic link planted in /tmp must not lead our sockets
// into somebody else's folder.
bool ensurePrivateDir(const QByteArray& path, QString* error)
{
    auto fail = [&](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QString shown = QFile::decodeName(path);
    struct stat st{};
    if (::lstat(path.constData(), &st) != 0) {
        if (errno != ENOENT || (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST))
            return fail(QStringLiteral("cannot create %1: %2").arg(shown, QString::fromLocal8Bit(std::strerror(errno))));
        if (::lstat(path.constData(), &st) != 0)
            return fail(QStringLiteral("cannot inspect %1").arg(shown));
    }
    if (!S_ISDIR(st.st_mode))
        return fail(QStringLiteral("%1 is not a folder").arg(shown));
    if (st.st_uid != ::getuid())
        return fail(QStringLiteral("%1 belongs to another user").arg(shown));
    if ((st.st_mode & 0777) != 0700 && ::chmod(path.constData(), 0700) != 0)
        return fail(QStringLiteral("cannot make %1 private").arg(shown));
    return true;
}

}  // namespace

QString runtimeDirectory(QString* error)
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

}  // namespace qn::events

namespace qn::events::runtime {

QString socketPath(const QString& dir, const ProcessSerialNumber& psn)
{
    return QStringLiteral("%1/psn-%2-%3.sock").arg(dir).arg(psn.lowLongOfPSN).arg(psn.highLongOfPSN);
}

QString appKey(const QString& resolvedExecutablePath)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(QFile::encodeName(resolvedExecutablePath), QCryptographicHash::Sha256)
            .toHex()
            .left(24));
}

QString instanceLockPath(const QString& dir, const QString& key)
{
    return QStringLiteral("%1/app-%2.lock").arg(dir, key);
}

QString instancePsnPath(const QString& dir, const QString& key)
{
    return QStringLiteral("%1/app-%2.psn").arg(dir, key);
}

QString launchLockPath(const QString& dir, const QString& key)
{
    return QStringLiteral("%1/app-%2.launch").arg(dir, key);
}

std::optional<ProcessSerialNumber> readInstancePsn(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> words = f.read(64).trimmed().split(' ');
    if (words.size() != 2)
        return std::nullopt;
    bool ok1 = false, ok2 = false;
    ProcessSerialNumber psn{words[0].toUInt(&ok1), words[1].toUInt(&ok2)};
    if (!ok1 || !ok2 || psn.isNull())
        return std::nullopt;
    return psn;
}

bool writeInstancePsn(const QString& path, const ProcessSerialNumber& psn)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QStringLiteral("%1 %2\n").arg(psn.highLongOfPSN).arg(psn.lowLongOfPSN).toLatin1());
    return f.commit();
}

int lockFile(const QString& path, bool blocking, bool* wouldBlock)
{
    if (wouldBlock)
        *wouldBlock = false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return -1;
    for (;;) {
        if (::flock(fd, LOCK_EX | (blocking ? 0 : LOCK_NB)) == 0)
            return fd;
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK && wouldBlock)
            *wouldBlock = true;
        ::close(fd);
        return -1;
    }
}

}  // namespace qn::events::runtime
