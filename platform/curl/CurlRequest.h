// One HTTP request through libcurl, start to end, on the caller's thread:
// what CurlHttp and the HTTP module (HttpModule.h) both send with.
#pragma once

#include <atomic>

#include "platform/Http.h"

// Gives up once *abort (if given) is set; `agent` (if not empty) is the
// User-Agent. libcurl's global state must be
// set up first (curl_global_init).
HttpReply curlPerform(const HttpRequest& request, const std::atomic<bool>* abort,
                      const char* agent);
