// HTTP for the online leaderboard, as the host offers it: requests go out on
// a thread of their own and their answers come back there, so no request
// ever holds up a tick, and nothing of it reaches the game's state.
#pragma once

#include <functional>
#include <string>

struct HttpReply {
    int status = 0;        // 0: no answer (offline, refused, timed out)
    std::string body;      // at most a megabyte
    std::string error;     // why there was no answer
    long retryAfter = -1;  // seconds the server asked to wait (Retry-After), -1: none
};

struct HttpRequest {
    std::string method, url, body;
    // The Authorization header's value ("Bearer KEY"); empty: none.
    std::string authorization;
    long timeoutSeconds = 15;  // the whole request, connecting included
    long delayMs = 0;          // goes out no sooner than this from now
    // A fetch to show (the top ten): never ahead of a run, and dropped,
    // not waited for, when the program ends.
    bool background = false;
};

class HttpService {
public:
    virtual ~HttpService() = default;
    // Queues the request; `done` runs later on the service's thread.
    virtual void send(const std::string& method, const std::string& url, const std::string& body,
                      std::function<void(const HttpReply&)> done) = 0;
    // The same with the request's timing and lane; a service that has
    // neither sends it at once.
    virtual void request(const HttpRequest& r, std::function<void(const HttpReply&)> done) {
        send(r.method, r.url, r.body, std::move(done));
    }
    // The request, waited for: only where no tick can be held up (before the
    // game starts).
    virtual HttpReply sendAndWait(const std::string& method, const std::string& url,
                                  const std::string& body) = 0;
    // The same with the request's headers; a service that has none sends
    // the request without them.
    virtual HttpReply requestAndWait(const HttpRequest& r) {
        return sendAndWait(r.method, r.url, r.body);
    }
};
