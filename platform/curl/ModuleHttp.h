// HttpService through the HTTP module (HttpModule.h), loaded from a folder
// the program names (its own) when the first request goes out: on the
// worker's thread, so no tick waits for the loading.
#pragma once

#include <mutex>
#include <string>

#include "platform/HttpWorker.h"

struct HttpModule;

class ModuleHttp final : public HttpWorker {
public:
    // `agent`: the User-Agent the server keeps with a run.
    explicit ModuleHttp(std::string folder, std::string agent = {});
    // Sends what is queued first (each request has a time limit).
    ~ModuleHttp() override;
    // Whether the module's file is in the folder (looked at, not loaded).
    static bool installed(const std::string& folder);
    // The module's path in the folder.
    static std::string path(const std::string& folder);

private:
    HttpReply perform(const Request& request) override;
    void load();

    std::string folder_;
    std::string agent_;
    std::once_flag loaded_;
    const HttpModule* module_ = nullptr;
    std::string problem_;  // why there is no module
};
