// HttpService on libcurl, one request at a time on HttpWorker's thread.
#pragma once

#include "platform/HttpWorker.h"

class CurlHttp final : public HttpWorker {
public:
    CurlHttp();
    // Sends what is queued first (each request has a time limit).
    ~CurlHttp() override;
    bool givingUp() const { return aborting(); }

private:
    HttpReply perform(const Request& request) override;
};
