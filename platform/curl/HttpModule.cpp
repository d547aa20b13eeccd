// voidrunner-http.so: libcurl's requests for the game (HttpModule.h).
#include "platform/curl/HttpModule.h"

#include <curl/curl.h>

#include <cstring>

#include "platform/curl/CurlRequest.h"

namespace {

void begin() { curl_global_init(CURL_GLOBAL_DEFAULT); }
void finish() { curl_global_cleanup(); }

const HttpModule kModule{&begin, &finish, &curlPerform};

}  // namespace

extern "C" __attribute__((visibility("default"))) const HttpModule* voidrunner_http_module(
    const char* version, const char* interface) {
    if (!version || !interface || std::strcmp(version, VR_VERSION) != 0 ||
        std::strcmp(interface, kHttpModuleInterface) != 0)
        return nullptr;
    return &kModule;
}
