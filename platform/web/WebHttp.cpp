#include "platform/web/WebHttp.h"

#include <emscripten/emscripten.h>

#include <cstdlib>

WebHttp* webHttp = nullptr;

namespace {

// JavaScript: clang-format would split its => into C++ tokens.
// clang-format off
// Starts the request; its end calls voidrunner_http_done.
EM_JS(void, vr_fetch_start, (int id, const char* method, const char* url, const char* body), {
    Module.vr.fetchText(UTF8ToString(method), UTF8ToString(url), UTF8ToString(body))
        .then(([status, text]) => {
            const ptr = allocateUTF8(text);
            Module._voidrunner_http_done(id, status, ptr);
            _free(ptr);
        });
});

// The answer as "STATUS BODY", waited for (the program is suspended).
EM_ASYNC_JS(char*, vr_fetch_wait, (const char* method, const char* url, const char* body), {
    const [status, text] =
        await Module.vr.fetchText(UTF8ToString(method), UTF8ToString(url), UTF8ToString(body));
    return allocateUTF8(status + ' ' + text);
});

// clang-format on

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE void voidrunner_http_done(int id, int status, const char* body) {
    if (webHttp) webHttp->finish(id, status, body);
}

void WebHttp::send(const std::string& method, const std::string& url, const std::string& body,
                   std::function<void(const HttpReply&)> done) {
    const int id = next_++;
    pending_[id] = std::move(done);
    vr_fetch_start(id, method.c_str(), url.c_str(), body.c_str());
}

HttpReply WebHttp::sendAndWait(const std::string& method, const std::string& url,
                               const std::string& body) {
    char* answer = vr_fetch_wait(method.c_str(), url.c_str(), body.c_str());
    HttpReply reply;
    const std::string text = answer ? answer : "0 ";
    std::free(answer);
    const std::size_t space = text.find(' ');
    reply.status = std::atoi(text.c_str());
    (reply.status ? reply.body : reply.error) =
        text.substr(space == std::string::npos ? text.size() : space + 1);
    return reply;
}

void WebHttp::finish(int id, int status, const char* body) {
    const auto it = pending_.find(id);
    if (it == pending_.end()) return;
    HttpReply reply;
    reply.status = status;
    (status ? reply.body : reply.error) = body ? body : "";
    auto done = std::move(it->second);
    pending_.erase(it);
    if (done) done(reply);
}
