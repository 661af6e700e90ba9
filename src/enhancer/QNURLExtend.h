// SPDX-License-Identifier: MIT
#pragma once
// Path operations over URLs. Every operation returns a new value and leaves
// its argument alone. The URL-returning ones answer an empty (invalid) QUrl
// when no URL can be made from the input.
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

namespace QNURLExtend {

/// The last component of the URL's path ("/a/b.txt" -> "b.txt", "/a/b/" -> "b").
QString lastPathComponent(const QUrl& url);
/// The extension of the last path component, without the dot ("" when none).
QString pathExtension(const QUrl& url);
/// The URL with one component appended; isDirectory adds a trailing slash.
QUrl URLByAppendingPathComponent(const QUrl& url, const QString& component, bool isDirectory);
/// The URL with ".<extension>" appended to its last component.
QUrl URLByAppendingPathExtension(const QUrl& url, const QString& extension);
/// The URL of the parent folder, with a trailing slash.
QUrl URLByDeletingLastPathComponent(const QUrl& url);
/// The URL without the extension of its last component.
QUrl URLByDeletingPathExtension(const QUrl& url);
/// One URL per path, each the receiver with that path appended as a
/// non-directory component; paths that make no URL are skipped. Nothing in,
/// nothing out.
std::optional<QList<QUrl>> URLsByAppendingPaths(const QUrl& url, const std::optional<QStringList>& paths);

}  // namespace QNURLExtend
