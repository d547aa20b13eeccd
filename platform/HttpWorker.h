// What the desktop HttpServices share: a worker thread takes the queued
// requests in turn and runs each one's `done` there, so send() never waits
// on the network. Fetches to show have a thread of their own, so none is
// ever ahead of a run; a request may wait for its time (a retry). A backend
// only says how one request goes out (perform), and stops early when
// aborting() says so.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/Http.h"

class HttpWorker : public HttpService {
public:
    void send(const std::string& method, const std::string& url, const std::string& body,
              std::function<void(const HttpReply&)> done) final;
    void request(const HttpRequest& r, std::function<void(const HttpReply&)> done) final;
    HttpReply sendAndWait(const std::string& method, const std::string& url,
                          const std::string& body) final;
    HttpReply requestAndWait(const HttpRequest& r) final;

    // The longest a request may take unless it says otherwise.
    long timeoutSeconds = 15;
    // Longer answers are dropped: no answer, and an error saying so.
    static constexpr std::size_t kMaxReplyBytes = 1 << 20;
    // At the end, a run under way may finish within this; then it is cut
    // off (it is kept on disk, and sent at the next launch).
    static constexpr long kStopGraceMs = 2000;

protected:
    using Request = HttpRequest;
    // One request, start to end, on the worker thread.
    virtual HttpReply perform(const Request& request) = 0;
    // True once the request under way on this thread is to be given up:
    // the program is ending (a fetch at once, a run after the grace). The
    // backend polls it.
    bool aborting() const;
    // The flag aborting() reads on this thread, for interrupt().
    const std::atomic<bool>* abortFlag() const;
    // Called from stop() when requests under way are to be given up (their
    // flags are set), for a backend whose waits cannot poll aborting().
    virtual void interrupt() {}

    // Last thing in the backend's constructor, once perform() can run.
    void start();
    // First thing in the backend's destructor: fetches and requests waiting
    // for their time are dropped (answered "closed"), runs due may go out
    // within the grace; then the worker ends.
    void stop();
    ~HttpWorker() override;

private:
    using Clock = std::chrono::steady_clock;
    struct Job {
        Request request;
        std::function<void(const HttpReply&)> done;
        Clock::time_point due;
    };
    struct Lane {
        std::deque<Job> jobs;
        std::atomic<bool> abort{false};
        bool done = false;  // its thread has ended
        std::thread thread;
    };
    void run(Lane& lane);
    // The lane's next job due now, or false with `wake` set to when one is.
    static bool next(Lane& lane, Job& job, Clock::time_point& wake);

    std::mutex mutex_;
    std::condition_variable wake_, finished_;
    Lane runs_, fetches_;
    bool stopping_ = false;
    Clock::time_point stopDeadline_{};
};
