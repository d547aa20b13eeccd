// HttpService on libcurl, one request at a time on HttpWorker's thread,
// with libcurl linked in (the tests). The game loads the same requests as
// a module of its own instead (ModuleHttp.h).
#pragma once

#include "platform/HttpWorker.h"

class CurlHttp final : public HttpWorker {
public:
    CurlHttp();
    // Sends what is queued first (each request has a time limit).
    ~CurlHttp() override;

private:
    HttpReply perform(const Request& request) override;
};
