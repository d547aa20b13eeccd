// The leaderboard's HTTP API on libmicrohttpd: one thread per connection,
// with limits on connections, header memory, idle time, body size, the
// whole time of a request and the bytes held for all of them, so a client
// that sends too much or too slowly holds only its own connection, and not
// for long. In front of the public it sits behind nginx.
#pragma once

#include <memory>
#include <string>

struct ServerConfig {
    std::string listen = "127.0.0.1:8080";
    std::string db = "sqlite:leaderboard.db";
    std::string keyFile = "leaderboard.key";
    std::string operatorTokenFile;           // none: runs cannot be hidden over HTTP
    std::string siteFolder;                  // the browser game, served on the same origin
    std::string program = "/proc/self/exe";  // run as the verifier, opened once at start
    int workers = 2;
    int queue = 16;
    double verifySeconds = 10;
    long long maxReplayBytes = 4ll << 20;
    long long slackSeconds = 900;            // pauses allowed on top of play time
    long long ticketLifeSeconds = 4 * 3600;  // also bounds a run's length
    double ticketsPerMinute = 10, runsPerMinute = 10, burst = 10;
    int maxConnections = 1000;
    int perClientConnections = 64;
    int idleSeconds = 15;
    int requestSeconds = 30;              // to read a request and to send its answer
    long long bufferBytes = 128ll << 20;  // request and answer bodies held at once
    long long dailyBytes = 32ll << 20;    // replay bytes one client may store a day
    int addressDays = 30;                 // a run keeps its client's address this long
    bool trustProxy = false;              // client address from X-Real-IP (behind nginx)
    double clockScale = 1;                // tests only: the server's clock runs this much faster
    long long testSeed = -1;  // tests only: every ranked ticket's seed, for a game of known length
};

class Server {
public:
    // Opens the store and the key and starts listening; throws
    // std::runtime_error with a one-line reason.
    explicit Server(const ServerConfig& config);
    ~Server();
    int port() const;
    // Stops taking connections, answers what waits for a worker with 503
    // and lets the requests under way end, for `seconds` at most.
    void drain(double seconds);

    struct State;

private:
    std::unique_ptr<State> state_;
};

// The command line; returns false with a message for one it cannot use.
// `help` is set for --help.
bool parseServerArgs(int argc, char** argv, ServerConfig& config, bool& help, std::string& error);
extern const char* const kServerUsage;
