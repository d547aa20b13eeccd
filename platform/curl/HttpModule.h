// The game's HTTP client as a module of its own, voidrunner-http.so beside
// the program: libcurl and the many libraries it brings (TLS, HTTP/2, SSH,
// Kerberos, LDAP, ...) are then loaded when the leaderboard is first used,
// not before every game's first frame. ModuleHttp loads it.
#pragma once

#include <atomic>

#include "platform/Http.h"

struct HttpModule {
    // Before the first request, and once more for each finish() to come
    // (libcurl's global state counts them).
    void (*begin)();
    void (*finish)();
    // One request, start to end, on the caller's thread; gives up once
    // *abort is set; `agent` is the User-Agent (or empty). Several threads
    // may call it at once.
    HttpReply (*perform)(const HttpRequest& request, const std::atomic<bool>* abort,
                         const char* agent);
};

// The module's file name, in the program's own folder.
inline constexpr const char* kHttpModuleFile = "voidrunner-http.so";
// The module's one entry point, by name.
inline constexpr const char* kHttpModuleEntry = "voidrunner_http_module";
// What the module and the program must agree on: their version and this
// interface's. A module of another build answers null.
inline constexpr const char* kHttpModuleInterface = "2";

extern "C" {
using HttpModuleEntry = const HttpModule* (*)(const char* version, const char* interface);
}
