// HttpService on the page's fetch(): answers come back from the browser's
// event loop, between ticks; sendAndWait suspends the program (Asyncify)
// until the answer is there.
#pragma once

#include <map>

#include "platform/Http.h"

class WebHttp final : public HttpService {
public:
    void send(const std::string& method, const std::string& url, const std::string& body,
              std::function<void(const HttpReply&)> done) override;
    void request(const HttpRequest& r, std::function<void(const HttpReply&)> done) override;
    HttpReply sendAndWait(const std::string& method, const std::string& url,
                          const std::string& body) override;
    HttpReply requestAndWait(const HttpRequest& r) override;

    // Called by the page with a finished request's answer.
    void finish(int id, int status, const char* body, int retryAfter);

private:
    int next_ = 1;
    std::map<int, std::function<void(const HttpReply&)>> pending_;
};

// The one the page reports to.
extern WebHttp* webHttp;
