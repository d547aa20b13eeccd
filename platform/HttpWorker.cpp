#include "platform/HttpWorker.h"

#include <future>
#include <memory>

void HttpWorker::start() {
    worker_ = std::thread([this] { run(); });
}

void HttpWorker::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

HttpWorker::~HttpWorker() { stop(); }

void HttpWorker::send(const std::string& method, const std::string& url, const std::string& body,
                      std::function<void(const HttpReply&)> done) {
    {
        std::lock_guard lock(mutex_);
        if (!stopping_ && worker_.joinable()) {
            jobs_.push_back({{method, url, body}, std::move(done)});
            wake_.notify_one();
            return;
        }
    }
    // Nothing would ever take it: answered here, so sendAndWait cannot hang.
    HttpReply closed;
    closed.error = "the HTTP service has closed";
    if (done) done(closed);
}

HttpReply HttpWorker::sendAndWait(const std::string& method, const std::string& url,
                                  const std::string& body) {
    auto promise = std::make_shared<std::promise<HttpReply>>();
    auto reply = promise->get_future();
    send(method, url, body, [promise](const HttpReply& r) { promise->set_value(r); });
    return reply.get();
}

void HttpWorker::run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        const HttpReply reply = perform(job.request);
        if (job.done) job.done(reply);
    }
}
