#include "platform/web/WebHttp.h"

#include <emscripten/emscripten.h>

#include <cstdlib>

WebHttp* webHttp = nullptr;

namespace {

// JavaScript: clang-format would split its => into C++ tokens.
// clang-format off
// Starts the request after `delay` ms; its end calls voidrunner_http_done.
EM_JS(void, vr_fetch_start, (int id, const char* method, const char* url, const char* body,
                             int delay, int timeout, const char* auth), {
    const args = [UTF8ToString(method), UTF8ToString(url), UTF8ToString(body), timeout,
                  UTF8ToString(auth)];
    setTimeout(() => Module.vr.fetchText(...args).then(([status, text, retryAfter]) => {
        const ptr = allocateUTF8(text);
        Module._voidrunner_http_done(id, status, ptr, retryAfter);
        _free(ptr);
    }), delay);
});

// The answer as "STATUS BODY", waited for (the program is suspended).
EM_ASYNC_JS(char*, vr_fetch_wait, (const char* method, const char* url, const char* body,
                                   int timeout, const char* auth), {
    const [status, text] = await Module.vr.fetchText(UTF8ToString(method), UTF8ToString(url),
                                                     UTF8ToString(body), timeout,
                                                     UTF8ToString(auth));
    return allocateUTF8(status + ' ' + text);
});

// clang-format on

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE void voidrunner_http_done(int id, int status, const char* body,
                                                          int retryAfter) {
    if (webHttp) webHttp->finish(id, status, body, retryAfter);
}

void WebHttp::send(const std::string& method, const std::string& url, const std::string& body,
                   std::function<void(const HttpReply&)> done) {
    HttpRequest r;
    r.method = method;
    r.url = url;
    r.body = body;
    request(r, std::move(done));
}

void WebHttp::request(const HttpRequest& r, std::function<void(const HttpReply&)> done) {
    const int id = next_++;
    pending_[id] = std::move(done);
    vr_fetch_start(id, r.method.c_str(), r.url.c_str(), r.body.c_str(), static_cast<int>(r.delayMs),
                   static_cast<int>(r.timeoutSeconds * 1000), r.authorization.c_str());
}

HttpReply WebHttp::sendAndWait(const std::string& method, const std::string& url,
                               const std::string& body) {
    HttpRequest r;
    r.method = method;
    r.url = url;
    r.body = body;
    return requestAndWait(r);
}

HttpReply WebHttp::requestAndWait(const HttpRequest& r) {
    // As long as the desktop's clients wait for a ticket: then the game
    // plays unranked.
    char* answer = vr_fetch_wait(r.method.c_str(), r.url.c_str(), r.body.c_str(),
                                 HttpRequest{}.timeoutSeconds * 1000, r.authorization.c_str());
    HttpReply reply;
    const std::string text = answer ? answer : "0 ";
    std::free(answer);
    const std::size_t space = text.find(' ');
    reply.status = std::atoi(text.c_str());
    (reply.status ? reply.body : reply.error) =
        text.substr(space == std::string::npos ? text.size() : space + 1);
    return reply;
}

void WebHttp::finish(int id, int status, const char* body, int retryAfter) {
    const auto it = pending_.find(id);
    if (it == pending_.end()) return;
    HttpReply reply;
    reply.status = status;
    (status ? reply.body : reply.error) = body ? body : "";
    reply.retryAfter = retryAfter;
    auto done = std::move(it->second);
    pending_.erase(it);
    if (done) done(reply);
}
