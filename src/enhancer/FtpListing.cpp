// SPDX-License-Identifier: MIT
#include "FtpListing.h"

#include "LocalDestination.h"
#include "QNFTPListParser.h"
#include "QNLowNetwork.h"

namespace qn::transfer {

namespace {

// A hostile or broken server must not make a listing eat all memory.
constexpr qsizetype kMaxListingSize = 64 * 1024 * 1024;

size_t appendToListing(char* data, size_t size, size_t count, void* target)
{
    auto* listing = static_cast<QByteArray*>(target);
    const size_t len = size * count;
    if (listing->size() + static_cast<qsizetype>(len) > kMaxListingSize)
        return 0;
    listing->append(data, static_cast<qsizetype>(len));
    return len;
}

bool isFTP(const QUrl& url)
{
    return url.isValid() && url.scheme().compare(QLatin1String("ftp"), Qt::CaseInsensitive) == 0;
}

// A trailing slash makes curl list the folder; a file there fails to list.
QUrl asFolder(const QUrl& url)
{
    QUrl dir = url;
    if (!dir.path().endsWith(QLatin1Char('/')))
        dir.setPath(dir.path() + QLatin1Char('/'));
    return dir;
}

}  // namespace

std::optional<QVariantList> FtpListing::list(CURL* h, const QUrl& url, CURLM* multi)
{
    if (!isFTP(url))
        return std::nullopt;
    curl_easy_setopt(h, CURLOPT_URL, asFolder(url).toEncoded().constData());
    QByteArray listing;
    listing.reserve(QNLowNetwork::kBufferSize);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &appendToListing);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &listing);
    // The listing blocks the calling thread: a dead server must not hold it forever.
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 60L);
    const CURLcode rc = curl::perform(h, multi);
    // The handle may go on to upload: back to curl's own settings.
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &curl::discardBytes);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 0L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 0L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 0L);
    if (rc != CURLE_OK || listing.isEmpty())
        return std::nullopt;
    QVariantList records = parse(listing);
    if (records.isEmpty())
        return std::nullopt;
    return records;
}

std::optional<QVariantList> FtpListing::contentsOfURL(const QUrl& url, const QVariantMap& option)
{
    if (!isFTP(url))
        return std::nullopt;
    const curl::Easy h = curl::newHandle(url, curl::Protocol::Ftp);
    if (!h)
        return std::nullopt;
    curl::setFTPOptions(h.get(), option);
    return list(h.get(), url);
}

bool FtpListing::isDirectory(const QUrl& url, const QVariantMap& option)
{
    const curl::Easy h = curl::newHandle(asFolder(url), curl::Protocol::Ftp);
    if (!h)
        return false;
    curl::setFTPOptions(h.get(), option);
    curl_easy_setopt(h.get(), CURLOPT_NOBODY, 1L);
    curl_easy_setopt(h.get(), CURLOPT_CONNECTTIMEOUT, 30L);
    return curl_easy_perform(h.get()) == CURLE_OK;
}

QVariantList FtpListing::parse(const QByteArray& listing)
{
    QVariantList records;
    qsizetype offset = 0;
    while (offset < listing.size()) {
        QNFTPListEntry entry;
        const qsizetype consumed = QNFTPListParser::parseLine(listing.constData() + offset, listing.size() - offset,
                                                              true, &entry);
        if (consumed <= 0)
            break;
        offset += consumed;
        if (!entry.valid)
            continue;
        QVariantMap record;
        if (!entry.name.isEmpty())
            record.insert(kQNLowNetworkDirectoryContentsKeyName, entry.name);
        if (entry.type >= 0)
            record.insert(kQNLowNetworkDirectoryContentsKeyIsDirectory, entry.type == QNFTPListEntry::Directory);
        if (entry.type == QNFTPListEntry::RegularFile && entry.hasSize)
            record.insert(kQNLowNetworkDirectoryContentsKeyFileSize, QVariant::fromValue<qulonglong>(entry.size));
        records.append(record);
    }
    return records;
}

bool FtpListing::containsName(const QString& name, const std::optional<QVariantList>& contents)
{
    if (!contents)
        return false;
    for (const QVariant& record : *contents) {
        const QVariant itemName = record.toMap().value(kQNLowNetworkDirectoryContentsKeyName);
        if (itemName.isValid() && itemName.toString().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString FtpListing::newFileName(const QString& name, const std::optional<QVariantList>& contents)
{
    for (quint64 n = 1;; ++n) {
        const QString candidate = numberedFileName(name, n);
        if (!containsName(candidate, contents))
            return candidate;
    }
}

}  // namespace qn::transfer

// The engine's public entry points to the listing.

std::optional<QVariantList> QNLowNetwork::directoryContentsOfFTPURL(const QUrl& url, const QVariantMap& option)
{
    return qn::transfer::FtpListing::contentsOfURL(url, option);
}

QVariantList QNLowNetwork::parseDirectoryListing(const QByteArray& listing)
{
    return qn::transfer::FtpListing::parse(listing);
}

bool QNLowNetwork::isItemName(const QString& name, const std::optional<QVariantList>& contents)
{
    return qn::transfer::FtpListing::containsName(name, contents);
}

QString QNLowNetwork::newFileNameForFile(const QString& name, const std::optional<QVariantList>& contents)
{
    return qn::transfer::FtpListing::newFileName(name, contents);
}
