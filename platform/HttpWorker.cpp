#include "platform/HttpWorker.h"

#include <future>
#include <memory>

namespace {

// The abort flag of the lane this thread serves.
thread_local const std::atomic<bool>* laneAbort = nullptr;

void answerClosed(std::function<void(const HttpReply&)>& done) {
    HttpReply closed;
    closed.error = "the HTTP service has closed";
    if (done) done(closed);
}

}  // namespace

void HttpWorker::start() {
    runs_.thread = std::thread([this] { run(runs_); });
    fetches_.thread = std::thread([this] { run(fetches_); });
}

bool HttpWorker::aborting() const { return laneAbort && *laneAbort; }

const std::atomic<bool>* HttpWorker::abortFlag() const { return laneAbort; }

void HttpWorker::stop() {
    std::deque<Job> dropped;
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        stopping_ = true;
        const auto now = Clock::now();
        stopDeadline_ = now + std::chrono::milliseconds(kStopGraceMs);
        // Nothing shown any more needs a fetch, and a run that waits for its
        // retry is kept on disk for the next launch.
        dropped = std::move(fetches_.jobs);
        fetches_.jobs.clear();
        fetches_.abort = true;
        for (auto it = runs_.jobs.begin(); it != runs_.jobs.end();) {
            if (it->due > now) {
                dropped.push_back(std::move(*it));
                it = runs_.jobs.erase(it);
            } else {
                ++it;
            }
        }
    }
    wake_.notify_all();
    interrupt();
    for (Job& job : dropped) answerClosed(job.done);
    if (!runs_.thread.joinable()) return;
    {
        std::unique_lock lock(mutex_);
        if (!finished_.wait_until(lock, stopDeadline_, [this] { return runs_.done; }))
            runs_.abort = true;
    }
    interrupt();
    runs_.thread.join();
    fetches_.thread.join();
}

HttpWorker::~HttpWorker() { stop(); }

void HttpWorker::send(const std::string& method, const std::string& url, const std::string& body,
                      std::function<void(const HttpReply&)> done) {
    HttpRequest r;
    r.method = method;
    r.url = url;
    r.body = body;
    r.timeoutSeconds = timeoutSeconds;
    request(r, std::move(done));
}

void HttpWorker::request(const HttpRequest& r, std::function<void(const HttpReply&)> done) {
    {
        std::lock_guard lock(mutex_);
        if (!stopping_ && runs_.thread.joinable()) {
            Job job{r, std::move(done), Clock::now() + std::chrono::milliseconds(r.delayMs)};
            (r.background ? fetches_ : runs_).jobs.push_back(std::move(job));
            wake_.notify_all();
            return;
        }
    }
    // Nothing would ever take it: answered here, so sendAndWait cannot hang.
    answerClosed(done);
}

HttpReply HttpWorker::sendAndWait(const std::string& method, const std::string& url,
                                  const std::string& body) {
    HttpRequest r;
    r.method = method;
    r.url = url;
    r.body = body;
    return requestAndWait(r);
}

HttpReply HttpWorker::requestAndWait(const HttpRequest& r) {
    auto promise = std::make_shared<std::promise<HttpReply>>();
    auto reply = promise->get_future();
    HttpRequest timed = r;
    timed.timeoutSeconds = timeoutSeconds;
    request(timed, [promise](const HttpReply& answer) { promise->set_value(answer); });
    return reply.get();
}

bool HttpWorker::next(Lane& lane, Job& job, Clock::time_point& wake) {
    const auto now = Clock::now();
    wake = Clock::time_point::max();
    for (auto it = lane.jobs.begin(); it != lane.jobs.end(); ++it) {
        if (it->due <= now) {
            job = std::move(*it);
            lane.jobs.erase(it);
            return true;
        }
        if (it->due < wake) wake = it->due;
    }
    return false;
}

void HttpWorker::run(Lane& lane) {
    laneAbort = &lane.abort;
    std::deque<Job> left;
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            Clock::time_point wake;
            while (!next(lane, job, wake)) {
                // Stopping: what is due went out (within the grace), the
                // rest was dropped.
                if (stopping_ && (lane.jobs.empty() || Clock::now() >= stopDeadline_)) {
                    left = std::move(lane.jobs);
                    lane.jobs.clear();
                    lane.done = true;
                    break;
                }
                if (wake == Clock::time_point::max())
                    wake_.wait(lock);
                else
                    wake_.wait_until(lock, wake);
            }
            if (lane.done) break;
        }
        const HttpReply reply = perform(job.request);
        if (job.done) job.done(reply);
    }
    finished_.notify_all();
    for (Job& job : left) answerClosed(job.done);
}
