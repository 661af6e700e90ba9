// SPDX-License-Identifier: MIT
#include "LocalDestination.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using enum QNLowNetworkResult;

namespace qn::transfer {

namespace {

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

bool pathExists(const QString& path, struct stat* st = nullptr)
{
    struct stat local;
    return ::lstat(native(path).constData(), st ? st : &local) == 0;
}

int createExclusive(const QString& path)
{
    return ::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

// Creates a new hidden file in path's folder, named after it; its path, and
// the open descriptor in *fd (-1 when nothing could be created).
QString temporaryPathBeside(const QString& path, int* fd)
{
    const QFileInfo info(path);
    const QString stem = info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".part-");
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString candidate = stem + QString::number(::getpid()) + QLatin1Char('-') + QString::number(attempt);
        *fd = createExclusive(candidate);
        if (*fd >= 0)
            return candidate;
        if (errno != EEXIST)
            break;
    }
    *fd = -1;
    return {};
}

}  // namespace

QString numberedFileName(const QString& name, quint64 n)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return name + QString::number(n);
    QString candidate = name.left(dot) + QString::number(n);
    if (dot + 1 < name.size())
        candidate += name.mid(dot);
    return candidate;
}

QNLowNetworkResult LocalDestination::create(const QString& path, int overwriteMode)
{
    QString target = path;
    int fd = -1;
    struct stat st;
    if (!pathExists(path, &st)) {
        fd = createExclusive(path);
        if (fd < 0)
            return kQNLowNetworkIOErr;
    } else {
        switch (overwriteMode) {
        case 0:
            return kQNLowNetworkFileExistsErr;
        case 1: {
            struct stat followed;
            const bool followedOK = ::stat(native(path).constData(), &followed) == 0;
            if (S_ISDIR(st.st_mode) || (followedOK && S_ISDIR(followed.st_mode)))
                return kQNLowNetworkFileExistsErr;
            // A file we may not write stays as it is.
            if (::access(native(path).constData(), W_OK) != 0)
                return kQNLowNetworkIOErr;
            if (followedOK && !S_ISREG(followed.st_mode)) {
                // A FIFO or a device is written into, never replaced by a
                // file. O_NONBLOCK keeps a FIFO without reader from hanging
                // the open.
                fd = ::open(native(path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
                if (fd < 0)
                    return kQNLowNetworkIOErr;
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
                break;
            }
            // The old file stays untouched until the new one is complete: the
            // download goes to a temporary beside it (same file system, so the
            // final rename is atomic) that replaces it only on success. A
            // link is resolved so that its target is replaced, not the link.
            QString replaced = path;
            if (S_ISLNK(st.st_mode)) {
                replaced = QFileInfo(path).canonicalFilePath();
                if (replaced.isEmpty())
                    return kQNLowNetworkIOErr;
            }
            target = temporaryPathBeside(replaced, &fd);
            if (fd < 0)
                return kQNLowNetworkIOErr;
            // The replacement keeps the old file's permissions.
            if (::stat(native(replaced).constData(), &followed) == 0)
                ::fchmod(fd, followed.st_mode & 07777);
            _replacePath = replaced;
            break;
        }
        case 2:
            target = newPathForFile(path);
            fd = createExclusive(target);
            if (fd < 0)
                return kQNLowNetworkIOErr;
            break;
        default:
            return kQNLowNetworkParamErr;
        }
    }
    _fd = fd;
    _path = target;
    return kQNLowNetworkSuccess;
}

QNLowNetworkResult LocalDestination::openSource(const QString& path, quint64* size)
{
    struct stat st;
    if (::stat(native(path).constData(), &st) != 0)
        return kQNLowNetworkNotFoundErr;
    if (S_ISDIR(st.st_mode))
        return kQNLowNetworkIsDirectoryErr;
    const int fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return kQNLowNetworkNotFoundErr;
    _fd = fd;
    _path = path;
    *size = static_cast<quint64>(st.st_size);
    return kQNLowNetworkSuccess;
}

bool LocalDestination::write(const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(_fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

ssize_t LocalDestination::readAt(char* data, size_t size, quint64 offset)
{
    ssize_t n;
    do
        n = ::pread(_fd, data, size, static_cast<off_t>(offset));
    while (n < 0 && errno == EINTR);
    return n;
}

QNLowNetworkResult LocalDestination::finishDownload(QNLowNetworkResult code)
{
    if (!_replacePath.isEmpty()) {
        // Overwrite 1: the complete temporary replaces the old file; after a
        // failure or a cancel the old file stays as it was.
        bool replaced = false;
        if (code == kQNLowNetworkSuccess) {
            replaced = ::fsync(_fd) == 0;
            replaced = ::close(_fd) == 0 && replaced;
            _fd = -1;
            replaced = replaced && ::rename(native(_path).constData(), native(_replacePath).constData()) == 0;
            if (!replaced)
                code = kQNLowNetworkIOErr;
        }
        if (!replaced)
            discard();
    } else if (code >= kQNLowNetworkIOErr) {
        // A failed download leaves no partial file.
        discard();
    }
    close();
    return code;
}

void LocalDestination::discard()
{
    const QString path = _path;
    close();
    if (!path.isEmpty())
        ::unlink(native(path).constData());
}

void LocalDestination::close()
{
    if (_fd >= 0) {
        ::close(_fd);
        _fd = -1;
    }
    _path.clear();
    _replacePath.clear();
}

QString LocalDestination::newPathForFile(const QString& path)
{
    const QFileInfo info(path);
    const QString dir = info.path();
    for (quint64 n = 1;; ++n) {
        const QString candidate = dir + QLatin1Char('/') + numberedFileName(info.fileName(), n);
        if (!pathExists(candidate))
            return candidate;
    }
}

}  // namespace qn::transfer

QString QNLowNetwork::newPathForFile(const QString& path)
{
    return qn::transfer::LocalDestination::newPathForFile(path);
}
