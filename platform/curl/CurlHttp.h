// HttpService on libcurl: one worker thread takes the requests in turn.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/Http.h"

class CurlHttp final : public HttpService {
public:
    CurlHttp();
    // Sends what is queued first (each request has a time limit).
    ~CurlHttp() override;
    void send(const std::string& method, const std::string& url, const std::string& body,
              std::function<void(const HttpReply&)> done) override;
    HttpReply sendAndWait(const std::string& method, const std::string& url,
                          const std::string& body) override;
    long timeoutSeconds = 15;

private:
    struct Job {
        std::string method, url, body;
        std::function<void(const HttpReply&)> done;
    };
    void run();
    HttpReply perform(const Job& job) const;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::thread worker_;
};
