// What the desktop HttpServices share: one worker thread takes the queued
// requests in turn and runs each one's `done` there, so send() never waits
// on the network. A backend only says how one request goes out (perform).
#pragma once

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
    HttpReply sendAndWait(const std::string& method, const std::string& url,
                          const std::string& body) final;

    // The longest one request may take, connecting included.
    long timeoutSeconds = 15;
    // Longer answers are dropped: no answer, and an error saying so.
    static constexpr std::size_t kMaxReplyBytes = 1 << 20;

protected:
    struct Request {
        std::string method, url, body;
    };
    // One request, start to end, on the worker thread.
    virtual HttpReply perform(const Request& request) = 0;

    // Last thing in the backend's constructor, once perform() can run.
    void start();
    // First thing in the backend's destructor: what is queued still goes
    // out (a run sent at the last game over; each request has its time
    // limit), then the worker ends. Later requests get an error at once.
    void stop();
    ~HttpWorker() override;

private:
    struct Job {
        Request request;
        std::function<void(const HttpReply&)> done;
    };
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::thread worker_;
};
