// HTTP for the online leaderboard, as the host offers it: requests go out on
// a thread of their own and their answers come back there, so no request
// ever holds up a tick, and nothing of it reaches the game's state.
#pragma once

#include <functional>
#include <string>

struct HttpReply {
    int status = 0;     // 0: no answer (offline, refused, timed out)
    std::string body;   // at most a megabyte
    std::string error;  // why there was no answer
};

class HttpService {
public:
    virtual ~HttpService() = default;
    // Queues the request; `done` runs later on the service's thread.
    virtual void send(const std::string& method, const std::string& url, const std::string& body,
                      std::function<void(const HttpReply&)> done) = 0;
    // The request, waited for: only where no tick can be held up (before the
    // game starts).
    virtual HttpReply sendAndWait(const std::string& method, const std::string& url,
                                  const std::string& body) = 0;
};
