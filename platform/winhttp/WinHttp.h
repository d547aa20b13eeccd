// HttpService on WinHTTP, one request at a time on HttpWorker's thread.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "platform/HttpWorker.h"

class WinHttp final : public HttpWorker {
public:
    // `agent`: the User-Agent the server keeps with a run.
    explicit WinHttp(const std::string& agent = "voidrunner");
    // Gives up what is under way at the end (HttpWorker::stop).
    ~WinHttp() override;

private:
    HttpReply perform(const Request& request) override;
    // A synchronous WinHTTP call waits inside the system: closing its handle
    // from another thread ends the wait.
    void interrupt() override;

    void* session_ = nullptr;  // HINTERNET, shared by every request
    // The requests under way (one a lane) by their lane's abort flag, until
    // interrupt() closes them.
    std::mutex currentMutex_;
    std::map<const std::atomic<bool>*, void*> current_;
};
