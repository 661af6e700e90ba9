// SPDX-License-Identifier: MIT
#pragma once
// FTP directory listings for the transfer engine: fetching a folder's LIST
// reply over curl, turning it into directory records (the
// kQNLowNetworkDirectoryContentsKey* maps) and looking names up in them.
// Private to libQNEnhancer.
#include "QNCurlHandles.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QVariantList>
#include <optional>

namespace qn::transfer {

class FtpListing {
public:
    /// Lists the folder at url with handle (whose credentials and mode are
    /// set), on multi when given. Nothing when the URL cannot be listed,
    /// names a file, or the folder is empty. The handle's write callback and
    /// time limits are reset afterwards, so it can go on to upload.
    static std::optional<QVariantList> list(CURL* handle, const QUrl& url, CURLM* multi = nullptr);
    /// The same on a handle of its own, with the credentials and mode of option.
    static std::optional<QVariantList> contentsOfURL(const QUrl& url, const QVariantMap& option);
    /// Whether url (with or without a trailing slash) names a folder on the server.
    static bool isDirectory(const QUrl& url, const QVariantMap& option);

    /// Directory records from the raw text of an FTP LIST reply, in line order.
    static QVariantList parse(const QByteArray& listing);
    /// Whether a record of the listing has this name, ignoring case.
    static bool containsName(const QString& name, const std::optional<QVariantList>& contents);
    /// name, then name1, name2... (before the extension): the first the listing does not hold.
    static QString newFileName(const QString& name, const std::optional<QVariantList>& contents);
};

}  // namespace qn::transfer
