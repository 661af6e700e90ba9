// SPDX-License-Identifier: MIT
#include "QNURLExtend.h"

namespace QNURLExtend {
namespace {

// Splits "/a/b/c.txt" into the part up to and including the last separator
// ("/a/b/"), the last component ("c.txt") and whether the path ended with a
// slash. Trailing slashes do not count as an empty last component.
struct PathParts {
    QString head;
    QString last;
    bool trailingSlash = false;
};

PathParts splitPath(const QString& path)
{
    PathParts parts;
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/'))) {
        p.chop(1);
        parts.trailingSlash = true;
    }
    if (p == QLatin1String("/")) {
        parts.head = p;
        return parts;
    }
    const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
    parts.head = p.left(slash + 1);
    parts.last = p.mid(slash + 1);
    return parts;
}

// The position of the extension's dot in a component, or -1. A leading dot
// (".profile") starts a name, not an extension.
qsizetype extensionDot(const QString& component)
{
    const qsizetype dot = component.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? dot : -1;
}

QUrl withPath(const QUrl& url, const QString& path)
{
    if (!url.isValid())
        return {};
    QUrl copy(url);
    copy.setPath(path);
    return copy.isValid() ? copy : QUrl();
}

}  // namespace

QString lastPathComponent(const QUrl& url)
{
    const PathParts parts = splitPath(url.path());
    return parts.last.isEmpty() ? parts.head : parts.last;
}

QString pathExtension(const QUrl& url)
{
    const QString last = splitPath(url.path()).last;
    const qsizetype dot = extensionDot(last);
    return dot < 0 ? QString() : last.mid(dot + 1);
}

QUrl URLByAppendingPathComponent(const QUrl& url, const QString& component, bool isDirectory)
{
    QString path = url.path();
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    path += component;
    if (isDirectory && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return withPath(url, path);
}

QUrl URLByAppendingPathExtension(const QUrl& url, const QString& extension)
{
    const PathParts parts = splitPath(url.path());
    if (parts.last.isEmpty())
        return {};
    QString path = parts.head + parts.last + QLatin1Char('.') + extension;
    if (parts.trailingSlash)
        path += QLatin1Char('/');
    return withPath(url, path);
}

QUrl URLByDeletingLastPathComponent(const QUrl& url)
{
    const PathParts parts = splitPath(url.path());
    return withPath(url, parts.head.isEmpty() ? QStringLiteral("/") : parts.head);
}

QUrl URLByDeletingPathExtension(const QUrl& url)
{
    const PathParts parts = splitPath(url.path());
    const qsizetype dot = extensionDot(parts.last);
    if (dot < 0)
        return withPath(url, url.path());
    QString path = parts.head + parts.last.left(dot);
    if (parts.trailingSlash)
        path += QLatin1Char('/');
    return withPath(url, path);
}

std::optional<QList<QUrl>> URLsByAppendingPaths(const QUrl& url, const std::optional<QStringList>& paths)
{
    if (!paths)
        return std::nullopt;
    QList<QUrl> urls;
    for (const QString& p : *paths) {
        const QUrl child = URLByAppendingPathComponent(url, p, false);
        if (child.isValid() && !child.isEmpty())
            urls.append(child);
    }
    return urls;
}

}  // namespace QNURLExtend
