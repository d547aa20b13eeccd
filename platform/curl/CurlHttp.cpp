#include "platform/curl/CurlHttp.h"

#include <curl/curl.h>

#include <future>
#include <memory>

namespace {

constexpr std::size_t kMaxReply = 1 << 20;

size_t collect(char* data, size_t size, size_t count, void* to) {
    auto& body = *static_cast<std::string*>(to);
    const size_t n = size * count;
    if (body.size() + n > kMaxReply) return 0;  // ends the transfer
    body.append(data, n);
    return n;
}

}  // namespace

CurlHttp::CurlHttp() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    worker_ = std::thread([this] { run(); });
}

CurlHttp::~CurlHttp() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    worker_.join();
    curl_global_cleanup();
}

void CurlHttp::send(const std::string& method, const std::string& url, const std::string& body,
                    std::function<void(const HttpReply&)> done) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back({method, url, body, std::move(done)});
    }
    wake_.notify_one();
}

HttpReply CurlHttp::sendAndWait(const std::string& method, const std::string& url,
                                const std::string& body) {
    auto promise = std::make_shared<std::promise<HttpReply>>();
    auto reply = promise->get_future();
    send(method, url, body, [promise](const HttpReply& r) { promise->set_value(r); });
    return reply.get();
}

void CurlHttp::run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            // What is queued still goes out (a run sent at the last game
            // over): each request has its time limit.
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        const HttpReply reply = perform(job);
        if (job.done) job.done(reply);
    }
}

HttpReply CurlHttp::perform(const Job& job) const {
    HttpReply reply;
    CURL* curl = curl_easy_init();
    if (!curl) {
        reply.error = "no HTTP client";
        return reply;
    }
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/plain; charset=utf-8");
    curl_easy_setopt(curl, CURLOPT_URL, job.url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, job.method.c_str());
    if (job.method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, job.body.data());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(job.body.size()));
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    }
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 5L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, timeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    const CURLcode rc = curl_easy_perform(curl);
    if (rc == CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        reply.status = static_cast<int>(status);
    } else {
        reply.error = curl_easy_strerror(rc);
        reply.body.clear();
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return reply;
}
