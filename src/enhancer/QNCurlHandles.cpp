// SPDX-License-Identifier: MIT
#include "QNCurlHandles.h"

#include "QNLowNetwork.h"

#include <mutex>

namespace qn::curl {

void ensureReady()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

Easy newHandle(const QUrl& url, Protocol protocol)
{
    Easy h(curl_easy_init());
    if (!h)
        return h;
    curl_easy_setopt(h.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h.get(), CURLOPT_URL, url.toEncoded().constData());
    curl_easy_setopt(h.get(), CURLOPT_PROTOCOLS_STR, protocol == Protocol::Http ? "http" : "ftp");
    return h;
}

void setHTTPReadOptions(CURL* h)
{
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 20L);
    // A redirect may lead to another web server, never to a local file.
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
}

void setFTPOptions(CURL* h, const QVariantMap& option)
{
    if (option.contains(kQNLowNetworkUserName) && option.contains(kQNLowNetworkPassword)) {
        curl_easy_setopt(h, CURLOPT_USERNAME, option.value(kQNLowNetworkUserName).toString().toUtf8().constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, option.value(kQNLowNetworkPassword).toString().toUtf8().constData());
    }
    // Passive is curl's default (EPSV, then PASV); "-" makes it offer a port
    // on the control connection's own address instead.
    if (!option.value(kQNLowNetworkPassiveModeOption).toBool())
        curl_easy_setopt(h, CURLOPT_FTPPORT, "-");
    // One handle per transfer keeps its control connection for every step.
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 0L);
}

// When libcurl (7.88) sets up the FTP data connection of a second request on
// a reused control connection, it sometimes starts the connect only on its
// next turn without arming a timer, and curl_easy_perform() then sleeps a
// whole second first; driving the multi handle with waits of at most 10 ms
// keeps that from stalling.
CURLcode perform(CURL* h, CURLM* multi)
{
    if (!multi || curl_multi_add_handle(multi, h) != CURLM_OK)
        return curl_easy_perform(h);
    CURLcode result = CURLE_OK;
    int running = 1;
    while (running) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (!running)
            break;
        long timeout = -1;
        curl_multi_timeout(multi, &timeout);
        if (timeout < 0 || timeout > 10)
            timeout = 10;
        if (curl_multi_poll(multi, nullptr, 0, int(timeout), nullptr) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
    }
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == h)
            result = message->data.result;
    }
    curl_multi_remove_handle(multi, h);
    return result;
}

size_t discardBytes(char*, size_t size, size_t count, void*)
{
    return size * count;
}

}  // namespace qn::curl
