// The server's command line.
#include <cstdlib>
#include <string>
#include <string_view>

#include "Server.h"

const char* const kServerUsage =
    "usage: voidrunner-server [--listen ADDR:PORT] [--db URL] [options]\n"
    "       voidrunner-server admin [--db URL] [--key FILE] COMMAND [ARGS]  (admin help lists "
    "them)\n"
    "  --listen ADDR:PORT   where to answer (default 127.0.0.1:8080; port 0: any free one)\n"
    "  --db URL             sqlite:PATH (default sqlite:leaderboard.db) or postgresql://...\n"
    "  --key FILE           the ticket key, made on first start (default leaderboard.key)\n"
    "  --operator-token FILE  a token that may hide runs, mark them watched, list the\n"
    "                       review, release names and read /metrics from elsewhere\n"
    "                       than this machine\n"
    "  --site DIR           also serve the browser game's files in DIR (read at start)\n"
    "  --workers N          replays verified at once (default: the number of cores)\n"
    "  --queue N            replays waiting for a worker before 503 (default 16)\n"
    "  --verify-seconds S   wall-clock limit of one verification (default 10)\n"
    "  --max-replay-bytes N largest replay accepted (default 4194304)\n"
    "  --slack S            seconds allowed for pauses on top of a run's play time (default 900)\n"
    "  --ticket-life S      seconds a ticket stays valid (default 14400)\n"
    "  --rate N             tickets and runs per minute per client (default 10)\n"
    "  --burst N            tickets and runs a client may take at once (default 10)\n"
    "  --max-connections N  open connections at most (default 1000)\n"
    "  --per-client N       open connections per client address (default 64); with\n"
    "                       --trust-proxy, requests at once per client\n"
    "  --request-seconds S  time to read a request and to send its answer (default 30)\n"
    "  --buffer-bytes N     request and answer bodies held at once (default 134217728)\n"
    "  --daily-bytes N      replay bytes one client address may store a day (default\n"
    "                       33554432; 0: no limit)\n"
    "  --address-days N     days a run or a refusal keeps its client's address (default 30)\n"
    "  --trust-proxy        take the client address from X-Real-IP (behind nginx)\n"
    "  --clock-scale K      tests only: the server's clock runs K times faster from the\n"
    "                       moment the key file was made\n"
    "  --test-seed N        tests only: every ranked ticket carries seed N\n"
    "  --help               show this and exit\n";

namespace {

bool number(const char* text, double lo, double hi, double& out) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (!*text || *end || !(v >= lo && v <= hi)) return false;
    out = v;
    return true;
}

}  // namespace

bool parseServerArgs(int argc, char** argv, ServerConfig& c, bool& help, std::string& error) {
    help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--help") {
            help = true;
            return true;
        }
        if (a == "--trust-proxy") {
            c.trustProxy = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = "unknown option or missing value: " + std::string(a);
            return false;
        }
        const char* v = argv[++i];
        double n = 0;
        auto num = [&](double lo, double hi) {
            if (number(v, lo, hi, n)) return true;
            error = std::string(a) + " takes a number from " +
                    std::to_string(static_cast<long long>(lo)) + " to " +
                    std::to_string(static_cast<long long>(hi));
            return false;
        };
        if (a == "--listen")
            c.listen = v;
        else if (a == "--db")
            c.db = v;
        else if (a == "--key")
            c.keyFile = v;
        else if (a == "--operator-token")
            c.operatorTokenFile = v;
        else if (a == "--site")
            c.siteFolder = v;
        else if (a == "--address-days") {
            if (!num(0, 3650)) return false;
            c.addressDays = static_cast<int>(n);
        } else if (a == "--workers") {
            if (!num(1, 256)) return false;
            c.workers = static_cast<int>(n);
        } else if (a == "--queue") {
            if (!num(0, 100000)) return false;
            c.queue = static_cast<int>(n);
        } else if (a == "--verify-seconds") {
            if (!num(0.1, 3600)) return false;
            c.verifySeconds = n;
        } else if (a == "--max-replay-bytes") {
            if (!num(1024, 1 << 30)) return false;
            c.maxReplayBytes = static_cast<long long>(n);
        } else if (a == "--slack") {
            if (!num(0, 86400)) return false;
            c.slackSeconds = static_cast<long long>(n);
        } else if (a == "--ticket-life") {
            if (!num(1, 7 * 86400)) return false;
            c.ticketLifeSeconds = static_cast<long long>(n);
        } else if (a == "--rate") {
            if (!num(0.001, 1e9)) return false;
            c.ticketsPerMinute = c.runsPerMinute = n;
        } else if (a == "--burst") {
            if (!num(1, 1e9)) return false;
            c.burst = n;
        } else if (a == "--max-connections") {
            if (!num(1, 100000)) return false;
            c.maxConnections = static_cast<int>(n);
        } else if (a == "--per-client") {
            if (!num(0, 100000)) return false;
            c.perClientConnections = static_cast<int>(n);
        } else if (a == "--request-seconds") {
            if (!num(1, 3600)) return false;
            c.requestSeconds = static_cast<int>(n);
        } else if (a == "--buffer-bytes") {
            if (!num(1 << 20, 1ll << 40)) return false;
            c.bufferBytes = static_cast<long long>(n);
        } else if (a == "--daily-bytes") {
            if (!num(0, 1ll << 40)) return false;
            c.dailyBytes = static_cast<long long>(n);
        } else if (a == "--clock-scale") {
            if (!num(1, 1e6)) return false;
            c.clockScale = n;
        } else if (a == "--test-seed") {
            if (!num(0, 4294967295.0)) return false;
            c.testSeed = static_cast<long long>(n);
        } else {
            error = "unknown option: " + std::string(a);
            return false;
        }
    }
    return true;
}
