// SPDX-License-Identifier: MIT
#include "events/RuntimeDirectory.h"

#include <QFile>

#include <cerrno>
#include <cstring>
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
