#include "platform/curl/CurlHttp.h"

#include <curl/curl.h>

#include <utility>

#include "platform/curl/CurlRequest.h"

CurlHttp::CurlHttp(std::string agent) : agent_(std::move(agent)) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    start();
}

CurlHttp::~CurlHttp() {
    stop();
    curl_global_cleanup();
}

HttpReply CurlHttp::perform(const Request& request) {
    return curlPerform(request, abortFlag(), agent_.c_str());
}
