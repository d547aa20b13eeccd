#include "platform/curl/CurlRequest.h"

#include <curl/curl.h>

#include <string>

#include "platform/HttpWorker.h"

namespace {

size_t collect(char* data, size_t size, size_t count, void* to) {
    auto& body = *static_cast<std::string*>(to);
    const size_t n = size * count;
    if (body.size() + n > HttpWorker::kMaxReplyBytes) return 0;  // ends the transfer
    body.append(data, n);
    return n;
}

// Polled while the request runs: nonzero ends it.
int progress(void* abort, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* flag = static_cast<const std::atomic<bool>*>(abort);
    return flag && *flag ? 1 : 0;
}

}  // namespace

HttpReply curlPerform(const HttpRequest& request, const std::atomic<bool>* abort,
                      const char* agent) {
    HttpReply reply;
    CURL* curl = curl_easy_init();
    if (!curl) {
        reply.error = "no HTTP client";
        return reply;
    }
    curl_slist* headers = nullptr;
    if (request.method == "POST")
        headers = curl_slist_append(headers, "Content-Type: text/plain; charset=utf-8");
    if (!request.authorization.empty())
        headers = curl_slist_append(headers, ("Authorization: " + request.authorization).c_str());
    curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    if (request.method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size()));
    }
    if (headers) curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    if (agent && *agent) curl_easy_setopt(curl, CURLOPT_USERAGENT, agent);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 5L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, request.timeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, abort);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    const CURLcode rc = curl_easy_perform(curl);
    if (rc == CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        reply.status = static_cast<int>(status);
        curl_off_t wait = -1;
        if (curl_easy_getinfo(curl, CURLINFO_RETRY_AFTER, &wait) == CURLE_OK && wait > 0)
            reply.retryAfter = static_cast<long>(wait);
    } else {
        reply.error = rc == CURLE_ABORTED_BY_CALLBACK ? "the game ended first"
                                                      : curl_easy_strerror(rc);
        reply.body.clear();
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return reply;
}
