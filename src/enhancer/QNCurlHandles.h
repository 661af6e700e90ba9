// SPDX-License-Identifier: MIT
#pragma once
// libcurl for the transfer engine and its FTP listing: owning handles, the
// protocol a transfer speaks, and the option sets each protocol needs.
// Private to libQNEnhancer (the library builds with CURL_STRICTER, so easy
// and multi handles are distinct types).
#include <QUrl>
#include <QVariantMap>

#include <curl/curl.h>

#include <memory>

namespace qn::curl {

/// What a transfer speaks; a local-file source needs no curl handle.
enum class Protocol : quint8 { File, Http, Ftp };

struct EasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct MultiCleanup {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using Easy = std::unique_ptr<CURL, EasyCleanup>;
using Multi = std::unique_ptr<CURLM, MultiCleanup>;

/// curl_global_init once per process.
void ensureReady();
/// A handle for url limited to protocol (Http or Ftp); null when curl fails.
Easy newHandle(const QUrl& url, Protocol protocol);
/// GET over HTTP/1.1, following redirects to web servers only.
void setHTTPReadOptions(CURL* handle);
/// Credentials (user name and password only together) and the FTP mode of option.
void setFTPOptions(CURL* handle, const QVariantMap& option);
/// curl_easy_perform(), or on multi so that a transfer made of several
/// requests keeps one connection.
CURLcode perform(CURL* handle, CURLM* multi);
/// A write callback that keeps nothing.
size_t discardBytes(char* data, size_t size, size_t count, void* target);

}  // namespace qn::curl
