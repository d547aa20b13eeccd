// HttpService on libcurl, one request at a time on HttpWorker's thread,
// with libcurl linked in (the tests). The game loads the same requests as
// a module of its own instead (ModuleHttp.h).
#pragma once

#include <string>

#include <string>

#include "platform/HttpWorker.h"

class CurlHttp final : public HttpWorker {
public:
    // `agent`: the User-Agent the server keeps with a run ("voidrunner/1.0.0 (Linux)").
    explicit CurlHttp(std::string agent = {});
    // Sends what is queued first (each request has a time limit).
    ~CurlHttp() override;

private:
    HttpReply perform(const Request& request) override;
    std::string agent_;
};
