// HttpService on WinHTTP, one request at a time on HttpWorker's thread.
#pragma once

#include "platform/HttpWorker.h"

class WinHttp final : public HttpWorker {
public:
    WinHttp();
    // Sends what is queued first (each request has a time limit).
    ~WinHttp() override;

private:
    HttpReply perform(const Request& request) override;

    void* session_ = nullptr;  // HINTERNET, shared by every request
};
