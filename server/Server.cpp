#include "Server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netdb.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "Json.h"
#include "Log.h"
#include "Metrics.h"
#include "Players.h"
#include "Site.h"
#include "Store.h"
#include "Tickets.h"
#include "Verifier.h"
#include "app/online/Json.h"
#include "app/online/RankedContract.h"
#include "app/online/Utf8.h"
#include "game/Rules.h"

namespace {

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

long long steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A replay holds little besides its ticks: what a run may carry on top of
// them, and per tick.
constexpr long long kReplayBaseBytes = 4096;
constexpr long long kReplayBytesPerTick = 64;

struct Reply {
    unsigned status = 200;
    std::string body;
    std::string type = "application/json";
    long long retryAfter = 0;
    const char* reason = nullptr;      // a refused or kept run's reason, as a word
    std::string said = {};             // an error's text, for the log
    const Site::File* file = nullptr;  // a file of the site, sent as it is
};

Reply error(unsigned status, const std::string& reason) {
    Reply r{status, "{\"error\":" + jsonString(reason) + "}\n"};
    r.said = reason;
    return r;
}

// A run turned away, with its reason as a word for the log and the counts.
Reply refusal(const char* word, unsigned status, const std::string& reason) {
    Reply r = error(status, reason);
    r.reason = word;
    return r;
}

Reply busy(const std::string& reason, long long retryAfter, const char* word = "busy") {
    Reply r = error(503, reason);
    r.retryAfter = retryAfter;
    r.reason = word;
    return r;
}

// What the log says of a run besides its answer.
struct RunNote {
    std::string player, ticket, board;
    long long claimed = -1;
    long long id = 0;
    long long ticks = 0;
    double verifySeconds = -1;
};

// The Prometheus families /metrics gives.
void declareMetrics(Metrics& m) {
    using T = Metrics::Type;
    m.declare("voidrunner_tickets_total", T::Counter, "Tickets issued, by kind.");
    m.declare("voidrunner_runs_total", T::Counter,
              "Runs sent, by outcome (listed, resent, refused, kept: answered 503 for the "
              "client to send again, failed) and reason.");
    m.declare("voidrunner_verification_seconds", T::Histogram,
              "Time a replay took in its worker process.",
              {0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10});
    m.declare("voidrunner_verification_queue", T::Gauge, "Replays waiting for a worker.");
    m.declare("voidrunner_verification_queue_limit", T::Gauge,
              "Replays that may wait before the server answers 503.");
    m.declare("voidrunner_workers_busy", T::Gauge, "Worker processes verifying a replay.");
    m.declare("voidrunner_workers", T::Gauge, "Replays verified at once at most.");
    m.declare("voidrunner_store_errors_total", T::Counter, "Requests the store failed.");
    m.declare("voidrunner_http_requests_total", T::Counter, "Answers sent, by status code.");
    m.declare("process_start_time_seconds", T::Gauge,
              "Start time of the process since the Unix epoch in seconds.");
    for (const char* kind : {"ranked", "daily"})
        m.add("voidrunner_tickets_total", labels({{"kind", kind}}), 0);
    m.add("voidrunner_runs_total", labels({{"outcome", "listed"}, {"reason", ""}}), 0);
    m.add("voidrunner_store_errors_total", "", 0);
}

// Per connection: its socket, so that a request past its time can be cut
// off, and where its current request is.
struct Connection {
    int fd = -1;
    enum Phase { Reading, Working, Answering } phase = Reading;
    long long sinceMs = 0;  // of the phase, steady clock
    bool cut = false;
};

// Per request: the body read so far, and the bytes it holds of the
// server's buffer budget.
struct Request {
    std::string body;
    std::string client;
    bool tooLarge = false;
    bool counted = false;  // among its client's requests under way
    long long held = 0;
};

bool parseCount(const char* text, long long lo, long long hi, long long& out) {
    if (!text || !*text || std::strlen(text) > 19) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text, &end, 10);
    if (*end || errno || v < lo || v > hi ||
        !(text[0] == '-' || (text[0] >= '0' && text[0] <= '9')))
        return false;
    out = v;
    return true;
}

int headerCount(MHD_Connection* c, const char* name) {
    struct Count {
        const char* name;
        int n = 0;
    } count{name};
    MHD_get_connection_values(
        c, MHD_HEADER_KIND,
        [](void* cls, MHD_ValueKind, const char* key, const char*) -> MHD_Result {
            auto& k = *static_cast<Count*>(cls);
            if (strcasecmp(key, k.name) == 0) ++k.n;
            return MHD_YES;
        },
        &count);
    return count.n;
}

// Text from a request made fit to store and show: at most `max` bytes of
// UTF-8, no control characters.
std::string printable(std::string_view s, std::size_t max) {
    const bool utf8 = validUtf8(s);
    std::string out;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        out += c < 0x20 || c == 0x7f || (c >= 0x80 && !utf8) ? '?' : ch;
    }
    if (out.size() > max) out.resize(max);
    while (!validUtf8(out)) out.pop_back();
    return out;
}

// A run as the API shows it; `more` adds fields (",\"rank\":3").
std::string runJson(const RunRow& r, const std::string& more = {}) {
    return "{\"id\":" + std::to_string(r.id) + ",\"board\":" + jsonString(r.board) +
           ",\"player\":" + jsonString(r.player) + ",\"score\":" + std::to_string(r.score) +
           ",\"ticks\":" + std::to_string(r.ticks) + ",\"version\":" + jsonString(r.version) +
           ",\"submitted\":" + std::to_string(r.submittedMs) +
           ",\"watched\":" + (r.watched ? "true" : "false") + more + "}";
}

// The whole board, or the part of the global board sent on one UTC day.
BoardView boardOf(const std::string& board) { return {board}; }
BoardView dayOf(const std::string& day) {
    struct tm t {};
    t.tm_year = std::atoi(day.substr(0, 4).c_str()) - 1900;
    t.tm_mon = std::atoi(day.substr(5, 2).c_str()) - 1;
    t.tm_mday = std::atoi(day.substr(8, 2).c_str());
    const long long since = static_cast<long long>(timegm(&t)) * 1000;
    return {"global", since, since + 86400000};
}

// "36 s", "5 min 12 s", "2 h 5 min": a time as a player reads it.
std::string playTime(long long ms) {
    const long long s = ms / 1000;
    if (s < 60) return std::to_string(s) + " s";
    if (s < 3600)
        return std::to_string(s / 60) + " min" +
               (s % 60 ? " " + std::to_string(s % 60) + " s" : "");
    return std::to_string(s / 3600) + " h" +
           (s / 60 % 60 ? " " + std::to_string(s / 60 % 60) + " min" : "");
}

// A "%00" in a URL or an argument becomes DEL, not the end of the text: a
// name is never cut short, and the name rule refuses it.
size_t unescape(void*, MHD_Connection*, char* text) {
    const size_t n = MHD_http_unescape(text);
    for (size_t i = 0; i < n; ++i)
        if (text[i] == '\0') text[i] = '\x7f';
    return n;
}

}  // namespace

struct Server::State {
    ServerConfig config;
    std::unique_ptr<Store> store;
    TicketKey key{std::string()};
    std::string operatorToken;
    Verifier verifier;
    RateLimiter ticketLimit, runLimit, claimLimit;
    Metrics metrics;
    std::unique_ptr<Site> site;
    MHD_Daemon* daemon = nullptr;
    long long startMs = nowMs();
    // Whether the store answered, asked at most once a second by /healthz.
    std::mutex healthMutex;
    long long healthAskedMs = 0;
    bool storeAnswers = true;
    std::atomic<long long> lastPruneMs{0};
    // Answers of /top by board and limit, with the store's change mark
    // when each was read.
    std::mutex topMutex;
    std::map<std::string, std::pair<std::pair<long long, long long>, std::string>> topKept;
    std::atomic<bool> stopping{false};
    std::atomic<bool> toldOfProxy{false};
    // Requests under way (from their headers to their answer sent), in all
    // and per client.
    std::mutex requestsMutex;
    std::condition_variable requestsDone;
    int requests = 0;
    std::unordered_map<std::string, int> perClient;
    std::atomic<long long> held{0};  // body bytes held by all requests
    // Every open connection, for the watchdog that cuts off the slow ones.
    std::mutex connectionsMutex;
    std::unordered_set<Connection*> connections;
    std::condition_variable watchdogWake;
    bool watching = true;
    std::thread watchdog;

    explicit State(const ServerConfig& c)
        : config(c),
          store(openStore(c.db)),
          key(loadKey(c, *store)),
          verifier(c.program, c.workers, c.queue, {c.verifySeconds, 512ll << 20}),
          ticketLimit(c.ticketsPerMinute, c.burst),
          runLimit(c.runsPerMinute, c.burst),
          claimLimit(c.ticketsPerMinute, c.burst) {
        // A faster clock runs from the key's making, so that a server started
        // again with the same key keeps the same time.
        struct stat st {};
        if (c.clockScale != 1 && stat(c.keyFile.c_str(), &st) == 0)
            startMs = static_cast<long long>(st.st_mtim.tv_sec) * 1000 +
                      st.st_mtim.tv_nsec / 1000000;
        declareMetrics(metrics);
        metrics.set("process_start_time_seconds", "", static_cast<double>(nowMs()) / 1000);
        if (!c.siteFolder.empty()) site = std::make_unique<Site>(c.siteFolder);
        if (!c.operatorTokenFile.empty()) {
            std::ifstream in(c.operatorTokenFile);
            std::getline(in, operatorToken);
            if (operatorToken.size() < 16)
                throw std::runtime_error("the operator token file " + c.operatorTokenFile +
                                         " must hold a token of 16 characters or more");
        }
    }

    ~State() {
        {
            std::lock_guard lock(connectionsMutex);
            watching = false;
        }
        watchdogWake.notify_all();
        if (watchdog.joinable()) watchdog.join();
    }

    // The key, made only for a database that holds nothing yet: a server
    // whose key file is missing or another must not sign tickets the others
    // refuse, nor give another day's seed.
    static TicketKey loadKey(const ServerConfig& c, Store& store) {
        const bool fresh = store.fresh();
        if (!fresh && access(c.keyFile.c_str(), F_OK) != 0 && errno == ENOENT)
            throw std::runtime_error("the key file " + c.keyFile +
                                     " is missing, and the database holds a leaderboard: copy "
                                     "its key file there (every server of a database needs the "
                                     "same one)");
        TicketKey key = TicketKey::load(c.keyFile, fresh);
        const std::string mine = key.fingerprint();
        const std::string stored = store.claimKey(mine);
        if (stored != mine)
            throw std::runtime_error("the key file " + c.keyFile +
                                     " is not this leaderboard's key (its database was made with "
                                     "key " +
                                     stored.substr(0, 16) + ", this is " + mine.substr(0, 16) +
                                     "): every server of a database needs the same key file");
        return key;
    }

    // Cuts off connections whose request takes longer than allowed to come
    // in or to go out; the time a request waits for its answer is not
    // counted.
    void watch() {
        const long long limit = static_cast<long long>(config.requestSeconds) * 1000;
        std::unique_lock lock(connectionsMutex);
        while (watching) {
            watchdogWake.wait_for(lock, std::chrono::milliseconds(250));
            const long long at = steadyMs();
            for (Connection* c : connections)
                if (!c->cut && c->phase != Connection::Working && at - c->sinceMs > limit) {
                    // The descriptor stays MHD's: it sees the end and closes it.
                    shutdown(c->fd, SHUT_RDWR);
                    c->cut = true;
                }
        }
    }

    void phase(MHD_Connection* c, Connection::Phase p) {
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(c, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        if (!info || !info->socket_context) return;
        auto* conn = static_cast<Connection*>(info->socket_context);
        std::lock_guard lock(connectionsMutex);
        conn->phase = p;
        conn->sinceMs = steadyMs();
    }

    // Bytes of the buffer budget for a request; false when they are not
    // to be had now.
    bool hold(Request& req, long long bytes) {
        if (held.fetch_add(bytes) + bytes > config.bufferBytes) {
            held -= bytes;
            return false;
        }
        req.held += bytes;
        return true;
    }

    // The server's clock; a test may run it faster.
    long long now() const {
        const long long real = nowMs();
        return startMs +
               static_cast<long long>(static_cast<double>(real - startMs) * config.clockScale);
    }

    std::string client(MHD_Connection* c) {
        if (config.trustProxy) {
            // An address, whatever else the header holds: it is stored and logged.
            std::string ip;
            const char* real = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "X-Real-IP");
            for (const char* p = real; p && *p && ip.size() < 64; ++p)
                if (std::isxdigit(static_cast<unsigned char>(*p)) || *p == '.' || *p == ':')
                    ip += *p;
            if (!ip.empty()) return ip;
        }
        const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        char buf[INET6_ADDRSTRLEN] = "?";
        if (info && info->client_addr) {
            const sockaddr* a = info->client_addr;
            if (a->sa_family == AF_INET)
                inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, buf,
                          sizeof buf);
            else if (a->sa_family == AF_INET6)
                inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr, buf,
                          sizeof buf);
        }
        return buf;
    }

    // Said once: behind a proxy that is not trusted, every player shares
    // its address and so one ticket limit.
    void noticeProxy(MHD_Connection* c) {
        if (config.trustProxy || toldOfProxy) return;
        if ((MHD_lookup_connection_value(c, MHD_HEADER_KIND, "X-Real-IP") ||
             MHD_lookup_connection_value(c, MHD_HEADER_KIND, "X-Forwarded-For")) &&
            !toldOfProxy.exchange(true))
            logEvent(LogLevel::Warning, "proxy_untrusted",
                     {{"msg",
                       "requests come through a proxy, but without --trust-proxy every player "
                       "shares the proxy's address and its limits (tickets, runs, connections)"}});
    }

    // The client program as it names itself (printable ASCII, cut short).
    static std::string agent(MHD_Connection* c) {
        const char* ua = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "User-Agent");
        std::string out;
        for (const char* p = ua; p && *p && out.size() < 100; ++p)
            out += *p >= 0x20 && *p < 0x7f ? *p : '?';
        return out;
    }

    // Only from this machine (no proxy says otherwise) or with the token.
    bool operatorAsks(MHD_Connection* c) {
        const auto* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        bool local = false;
        if (info && info->client_addr) {
            const sockaddr* a = info->client_addr;
            if (a->sa_family == AF_INET)
                local = (ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr) >> 24) ==
                        127;
            else if (a->sa_family == AF_INET6)
                local = IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr);
        }
        const char* real = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "X-Real-IP");
        if (MHD_lookup_connection_value(c, MHD_HEADER_KIND, "X-Forwarded-For") ||
            (real && std::strncmp(real, "127.", 4) != 0 && std::strcmp(real, "::1") != 0))
            local = false;
        return local || tokenGiven(c);
    }

    bool tokenGiven(MHD_Connection* c) const {
        const char* auth = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Authorization");
        const std::string want = "Bearer " + operatorToken;
        return !operatorToken.empty() && auth && want.size() == std::strlen(auth) &&
               !differs(auth, want);
    }

    Reply ticket(MHD_Connection* c, bool daily) {
        const char* kind = daily ? "daily" : "ranked";
        if (!ticketLimit.allow(client(c), nowMs())) {
            logEvent(LogLevel::Warning, "ticket",
                     {{"outcome", "refused"}, {"reason", "rate_limited"}, {"client", client(c)}});
            return error(429, "too many tickets; slow down");
        }
        // A player named: the name and its key are judged now, before a
        // game is played for nothing.
        if (const char* player = MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "player"))
            if (auto refused = nameRefused(c, player)) return *refused;
        const long long at = now();
        pruneSpent(at);
        Ticket t = key.issue(daily, at);
        if (!daily && config.testSeed >= 0) t.seed = static_cast<uint32_t>(config.testSeed);
        std::string body = "{\"ticket\":" + jsonString(key.encode(t)) + ",\"kind\":\"" +
                           (daily ? "daily" : "ranked") + "\",\"seed\":" + std::to_string(t.seed) +
                           ",\"issued\":" + std::to_string(t.issuedMs) +
                           ",\"slack\":" + std::to_string(config.slackSeconds) + ",\"field\":[" +
                           std::to_string(kRankedWidth) + "," + std::to_string(kRankedHeight) + "]";
        if (daily) body += ",\"day\":" + jsonString(t.day);
        metrics.add("voidrunner_tickets_total", labels({{"kind", kind}}));
        logEvent(LogLevel::Info, "ticket",
                 {{"kind", kind}, {"ticket", t.nonce}, {"seed", t.seed}, {"client", client(c)}});
        return {200, body + "}\n"};
    }

    // A run's answer, then one line of the log and the counts for it; a
    // refusal is kept for the operator too (not the floods the rate limit
    // turns away).
    Reply submit(MHD_Connection* c, const std::string& replay) {
        RunNote note;
        const Reply r = judge(c, replay, note);
        recordRun(c, r, note);
        return r;
    }

    // `keep`: the refusal is kept in the store too (not those made before
    // the rate limit has had its say).
    void recordRun(MHD_Connection* c, const Reply& r, const RunNote& n, bool keep = true) {
        const char* outcome = r.status == 201   ? "listed"
                              : r.status == 200 ? "resent"
                              : r.status < 500  ? "refused"
                              : r.retryAfter    ? "kept"
                                                : "failed";
        const std::string reason = r.reason ? r.reason : r.status >= 300 ? "other" : "";
        metrics.add("voidrunner_runs_total", labels({{"outcome", outcome}, {"reason", reason}}));
        if (n.verifySeconds >= 0)
            metrics.observe("voidrunner_verification_seconds", n.verifySeconds);
        const std::string from = client(c), ua = agent(c);
        std::vector<LogField> f{{"outcome", outcome}};
        if (!reason.empty()) f.emplace_back("reason", reason);
        f.emplace_back("status", r.status);
        if (n.id) f.emplace_back("run", n.id);
        if (!n.board.empty()) f.emplace_back("board", n.board);
        f.emplace_back("client", from);
        if (!n.player.empty()) f.emplace_back("player", printable(n.player, 64));
        if (n.claimed >= 0) f.emplace_back("score", n.claimed);
        if (n.ticks) f.emplace_back("ticks", n.ticks);
        if (!n.ticket.empty()) f.emplace_back("ticket", n.ticket);
        if (n.verifySeconds >= 0) f.emplace_back("verify_ms", n.verifySeconds * 1000);
        if (!ua.empty()) f.emplace_back("agent", ua);
        if (!r.said.empty() && r.status >= 300) f.emplace_back("error", r.said);
        logEvent(r.status < 300   ? LogLevel::Info
                 : r.status < 500 ? LogLevel::Warning
                                  : LogLevel::Error,
                 "run", f);
        if (!keep || std::strcmp(outcome, "refused") != 0 || reason == "rate_limited") return;
        Refusal kept{nowMs(),   from,
                     ua,        static_cast<int>(r.status),
                     reason,    printable(n.player, 64),
                     n.claimed, printable(r.said, 300)};
        try {
            store->addRefusal(kept);
        } catch (const StoreError& e) {
            storeFailed(e);
        }
    }

    void storeFailed(const StoreError& e) {
        metrics.add("voidrunner_store_errors_total");
        logEvent(LogLevel::Error, "store_error", {{"error", e.what()}});
    }

    Reply judge(MHD_Connection* c, const std::string& replay, RunNote& note) {
        const std::string from = client(c);
        if (!runLimit.allow(from, nowMs()))
            return refusal("rate_limited", 429, "too many runs; slow down");
        const char* ticketText = MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "ticket");
        const char* player = MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "player");
        note.player = player ? player : "";
        Ticket t;
        if (!ticketText || !key.decode(ticketText, t))
            return refusal("forged", 401, "the ticket is forged or damaged");
        note.ticket = t.nonce;
        note.board = t.daily ? t.day : "global";
        const long long at = now();
        const long long elapsed = at - t.issuedMs;
        if (elapsed > config.ticketLifeSeconds * 1000 || elapsed < 0)
            return refusal("expired", 401, "the ticket has expired");
        if (auto refused = nameRefused(c, player ? player : "")) return *refused;
        long long claimed = 0;
        if (!parseCount(MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "score"), 0,
                        2000000000, claimed))
            return refusal("score", 400, "score must be a whole number from 0");
        note.claimed = claimed;
        if (replay.empty())
            return refusal("empty", 400, "the replay goes in the body (text/plain)");

        const ReplayCheck check = checkReplay(replay, t.seed);
        if (check.otherRules) {
            // The server's rules too: the client keeps the run and tells its
            // player which side is behind.
            Reply r = refusal(check.reason, 422, check.error);
            r.body = "{\"error\":" + jsonString(check.error) +
                     ",\"rules\":" + std::to_string(kRulesVersion) + "}\n";
            return r;
        }
        if (!check.ok) return refusal(check.reason, 422, check.error);
        const long long ticks = check.replay.ticks;
        note.ticks = ticks;
        if (ticks == 0) return refusal("no_play", 422, "the replay holds no play");
        if (claimed == 0)
            return refusal("no_score", 422, "a run that scores nothing is not listed");
        if (static_cast<long long>(replay.size()) > kReplayBaseBytes + kReplayBytesPerTick * ticks)
            return refusal(
                "padded", 422,
                "the replay is larger than its " + std::to_string(ticks) + " ticks need");
        const long long playMs = ticks * kTickMs;
        if (elapsed < playMs)
            return refusal("too_soon", 422,
                           "the run came sooner than its " + playTime(playMs) +
                               " of play allow after its ticket");
        if (elapsed > playMs + config.slackSeconds * 1000)
            return refusal("too_late", 422,
                           "the run came too late: its ticket allowed " + playTime(playMs) +
                               " of play and " + playTime(config.slackSeconds * 1000) +
                               " of pauses");

        // Sent again (the answer was lost, or came too late for the client):
        // the run stored with the ticket is the answer, without playing it.
        if (const TicketUse use = store->ticketUse(t.nonce); use.spent)
            return resent(use, player, claimed, replay, note);
        const std::string day = utcDay(at);
        if (config.dailyBytes > 0 &&
            store->bytesStored(from, day) + static_cast<long long>(replay.size()) >
                config.dailyBytes)
            return tooMuchToday();

        if (!verifier.enter())
            return busy("the verification queue is full; try again shortly", 5, "queue_full");
        // Played before anything is stored: a ticket is spent only together
        // with its run, so whatever fails on the way, the client may send it
        // again.
        const Verdict v = verifier.run(replay);
        if (v.kind != Verdict::Closed) note.verifySeconds = v.seconds;
        if (v.kind == Verdict::Closed)
            return busy("the server is stopping; try again shortly", 5, "stopping");
        if (v.kind == Verdict::TooLong) return refusal("too_long", 422, v.error);
        if (v.kind == Verdict::Refused) return refusal("unplayable", 422, v.error);
        if (v.kind != Verdict::Reproduced) return refusal("worker_failed", 500, v.error);
        if (v.score != claimed)
            return refusal("score_mismatch", 422,
                           "the replay does not reproduce the score: it reaches " +
                               std::to_string(v.score) + ", not " + std::to_string(claimed));
        Submission sub;
        sub.nonce = t.nonce;
        sub.nowMs = at;
        sub.run.board = t.daily ? t.day : "global";
        sub.run.player = player;
        sub.run.score = v.score;
        sub.run.ticks = ticks;
        sub.run.seed = t.seed;
        sub.run.version = check.version;
        sub.run.submittedMs = nowMs();
        sub.run.flags = reviewFlags(replay, elapsed - playMs);
        sub.replay = replay;
        sub.client = from;
        sub.agent = agent(c);
        sub.day = day;
        sub.dailyBytes = config.dailyBytes;
        pruneSpent(at);
        switch (store->addRun(sub)) {
        case Store::Added::Listed: note.id = sub.run.id; return {201, listedJson(sub.run)};
        case Store::Added::OverQuota: return tooMuchToday();
        case Store::Added::Spent: break;
        }
        // Another copy of the same submission was stored meanwhile.
        return resent(store->ticketUse(t.nonce), player, claimed, replay, note);
    }

    Reply resent(const TicketUse& use, const std::string& player, long long score,
                 const std::string& replay, RunNote& note) {
        if (use.run && use.run->player == player && use.run->score == score &&
            use.replay == replay) {
            note.id = use.run->id;
            return {200, listedJson(*use.run)};
        }
        return refusal("ticket_used", 409, "the ticket was used already");
    }

    // A listed run with where it stands: its own place among the players'
    // best runs, and its player's best and that one's place.
    std::string listedJson(const RunRow& run) {
        const BoardView view = boardOf(run.board);
        std::string more = ",\"rank\":" + std::to_string(store->rank(view, run));
        if (const auto best = store->bestOf(view, run.player))
            more += ",\"best\":" + std::to_string(best->score) +
                    ",\"bestRank\":" + std::to_string(store->rank(view, *best));
        return runJson(run, more) + "\n";
    }

    // The key a request carries (Authorization: Bearer KEY), if any.
    static std::optional<std::string> bearer(MHD_Connection* c) {
        const char* auth = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Authorization");
        if (!auth || strncasecmp(auth, "Bearer ", 7) != 0) return std::nullopt;
        std::string key = auth + 7;
        while (!key.empty() && key.back() == ' ') key.pop_back();
        return key;
    }

    // Why a run, or a ticket, cannot be had under this name: the name rule;
    // a name nobody has claimed, or a claimed one without its key (401);
    // another key (403).
    std::optional<Reply> nameRefused(MHD_Connection* c, const std::string& name) {
        if (const std::string problem = playerNameProblem(name); !problem.empty())
            return refusal("player", 400, problem);
        const auto owner = store->player(name);
        if (!owner)
            return refusal(
                "unclaimed", 401,
                "the name " + name + " is not claimed: claim it first (POST /api/v1/players)");
        const std::optional<std::string> given = bearer(c);
        if (!given)
            return refusal(
                "no_key", 401,
                "the name " + name + " is claimed: its runs need the player key that claimed it");
        if (!playerKeyMatches(*given, owner->keyHash))
            return refusal("wrong_key", 403, "this is not the player key of " + name);
        return std::nullopt;
    }

    // POST /api/v1/players {"name": N}: the key, once.
    Reply claim(MHD_Connection* c, const std::string& body) {
        if (!claimLimit.allow(client(c), nowMs())) return error(429, "too many claims; slow down");
        JsonObject asked;
        const auto name = asked.end();
        if (!parseJsonObject(body, asked) || asked.find("name") == name || !asked["name"].isString)
            return error(400, "send {\"name\": NAME} as JSON");
        const std::string wanted = utf8Of(asked["name"].text);
        if (const std::string problem = playerNameProblem(wanted); !problem.empty())
            return error(400, problem);
        PlayerRow p;
        p.name = wanted;
        p.fold = nameFold(wanted);
        if (p.fold.empty()) p.fold = wanted;
        const std::string made = newPlayerKey();
        p.keyHash = playerKeyHash(made);
        p.claimedMs = now();
        if (!store->claimPlayer(p))
            return error(409, "the name " + wanted + " is taken (or too like one that is)");
        return {201, "{\"name\":" + jsonString(wanted) + ",\"key\":" + jsonString(made) + "}\n"};
    }

    // GET /api/v1/players/N: the best run and its place, today's, the
    // latest runs.
    Reply playerPage(const std::string& name) {
        const auto owner = store->player(name);
        const std::vector<RunRow> latest = store->runsOf(name, 20);
        if (!owner && latest.empty()) return error(404, "no such player");
        std::string body = "{\"name\":" + jsonString(name) +
                           ",\"claimed\":" + (owner ? std::to_string(owner->claimedMs) : "null");
        // Each whole, and its score and place flat for a client that reads
        // no nested objects ("bestScore", "bestRank").
        const auto placed = [&](const char* field, const BoardView& view) {
            const auto best = store->bestOf(view, name);
            const std::string f = field;
            if (!best) {
                body += ",\"" + f + "\":null";
                return;
            }
            const std::string rank = std::to_string(store->rank(view, *best));
            body += ",\"" + f + "\":" + runJson(*best, ",\"rank\":" + rank) + ",\"" + f +
                    "Score\":" + std::to_string(best->score) + ",\"" + f + "Rank\":" + rank;
        };
        placed("best", boardOf("global"));
        placed("today", dayOf(utcDay(now())));
        placed("daily", boardOf(utcDay(now())));
        body += ",\"runs\":[";
        for (std::size_t i = 0; i < latest.size(); ++i) {
            if (i) body += ',';
            body += runJson(latest[i]);
        }
        return {200, body + "]}\n"};
    }

    // The operator's: a name given back, a run marked as watched, the
    // flagged runs to watch.
    Reply release(MHD_Connection* c, const std::string& name) {
        if (!tokenGiven(c)) return error(403, "releasing names takes the operator token");
        if (!store->releasePlayer(name)) return error(404, "no such player");
        return {200, "{\"released\":" + jsonString(name) + "}\n"};
    }
    Reply watched(MHD_Connection* c, long long id) {
        if (!tokenGiven(c)) return error(403, "marking runs takes the operator token");
        if (!store->markWatched(id)) return error(404, "no such run");
        return {200, "{\"watched\":" + std::to_string(id) + "}\n"};
    }
    Reply review(MHD_Connection* c) {
        if (!tokenGiven(c)) return error(403, "the review takes the operator token");
        std::string body = "[";
        for (const RunRow& r : store->review(100)) {
            if (body.size() > 1) body += ",";
            body += runJson(r, ",\"flags\":" + jsonString(r.flags));
        }
        return {200, body + "]\n"};
    }

    static Reply tooMuchToday() {
        Reply r =
            refusal("daily_bytes", 429, "this address has stored its share of runs for today");
        r.retryAfter = 3600;
        return r;
    }

    // A spent ticket need only be remembered while it could still be valid,
    // and a client's bytes for the day.
    void pruneSpent(long long at) {
        const long long life = config.ticketLifeSeconds * 1000;
        long long last = lastPruneMs.load();
        if (at - last < 600000 || !lastPruneMs.compare_exchange_strong(last, at)) return;
        store->forget(at - life - 60000, utcDay(at - 86400000));
        store->forgetClients(nowMs() - static_cast<long long>(config.addressDays) * 86400000);
    }

    Reply top(MHD_Connection* c, const BoardView& view) {
        long long limit = 10;
        const char* text = MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "limit");
        if (text && !parseCount(text, 1, 100, limit)) return error(400, "limit must be 1 to 100");
        // The answer is kept until the store changes (SQLite, where the
        // store can tell): a board is read far more often than written.
        const auto mark = store->changeMark();
        const std::string asked = view.board + '\n' + std::to_string(view.sinceMs) + '\n' +
                                  std::to_string(limit);
        if (mark) {
            std::lock_guard lock(topMutex);
            const auto kept = topKept.find(asked);
            if (kept != topKept.end() && kept->second.first == *mark)
                return {200, kept->second.second};
        }
        std::string body = "[";
        for (const RunRow& r : store->best(view, static_cast<int>(limit))) {
            if (body.size() > 1) body += ",";
            body += runJson(r);
        }
        body += "]\n";
        if (mark) {
            std::lock_guard lock(topMutex);
            // Boards of old days are seldom asked for twice.
            if (topKept.size() >= 256) topKept.clear();
            topKept[asked] = {*mark, body};
        }
        return {200, body};
    }

    Reply hide(MHD_Connection* c, long long id) {
        if (!tokenGiven(c)) {
            logEvent(
                LogLevel::Warning, "hide",
                {{"outcome", "refused"}, {"reason", "token"}, {"run", id}, {"client", client(c)}});
            return error(403, "hiding runs takes the operator token");
        }
        if (!store->hide(id)) return error(404, "no such run");
        logEvent(LogLevel::Info, "hide", {{"run", id}, {"client", client(c)}});
        return {200, "{\"hidden\":" + std::to_string(id) + "}\n"};
    }

    // For a load balancer or a monitor: 200 while the store answers and a
    // run would find room in the queue, else 503.
    Reply health() {
        const long long at = nowMs();
        bool answers;
        {
            std::lock_guard lock(healthMutex);
            if (at - healthAskedMs >= 1000) {
                healthAskedMs = at;
                try {
                    store->schemaVersion();
                    storeAnswers = true;
                } catch (const StoreError& e) {
                    storeFailed(e);
                    storeAnswers = false;
                }
            }
            answers = storeAnswers;
        }
        const Verifier::Load load = verifier.load();
        const bool ok = answers && !load.full() && !stopping;
        Reply r{ok ? 200u : 503u, std::string("{\"status\":\"") + (ok ? "ok" : "unavailable") +
                                      "\",\"store\":" + (answers ? "true" : "false") +
                                      ",\"stopping\":" + (stopping ? "true" : "false") +
                                      ",\"waiting\":" + std::to_string(load.waiting) +
                                      ",\"queue\":" + std::to_string(load.waitingMax) +
                                      ",\"busy\":" + std::to_string(load.running) +
                                      ",\"workers\":" + std::to_string(load.workers) + "}\n"};
        if (!ok) r.retryAfter = 5;
        return r;
    }

    Reply metricsText() {
        const Verifier::Load load = verifier.load();
        metrics.set("voidrunner_verification_queue", "", load.waiting);
        metrics.set("voidrunner_verification_queue_limit", "", load.waitingMax);
        metrics.set("voidrunner_workers_busy", "", load.running);
        metrics.set("voidrunner_workers", "", load.workers);
        return {200, metrics.text(), "text/plain; version=0.0.4; charset=utf-8"};
    }
    static bool differs(const char* a, const std::string& b);

    Reply route(MHD_Connection* c, const std::string& url, const std::string& method,
                const std::string& body) {
        const bool get = method == "GET" || method == "HEAD";
        const bool post = method == "POST";
        if (url == "/api/v1/tickets") {
            if (!post) return error(405, "method not allowed");
            const char* kind = MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "kind");
            if (kind && std::strcmp(kind, "ranked") != 0 && std::strcmp(kind, "daily") != 0)
                return error(400, "kind is ranked or daily");
            return ticket(c, kind && std::strcmp(kind, "daily") == 0);
        }
        if (url == "/healthz") return get ? health() : error(405, "method not allowed");
        if (url == "/metrics") {
            if (!get) return error(405, "method not allowed");
            if (!operatorAsks(c))
                return error(403, "the figures are for this machine or the operator token");
            return metricsText();
        }
        if (url == "/api/v1/daily/tickets")
            return post ? ticket(c, true) : error(405, "method not allowed");
        if (url == "/api/v1/runs") {
            if (!post) return error(405, "method not allowed");
            if (stopping) return busy("the server is stopping; try again shortly", 5);
            return submit(c, body);
        }
        if (url == "/api/v1/top" || url == "/api/v1/daily/top") {
            if (!get) return error(405, "method not allowed");
            const char* day = MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "day");
            const std::string d = !day || std::strcmp(day, "today") == 0 ? utcDay(now()) : day;
            if (url == "/api/v1/top") {
                // ?day=: the global board's runs of that UTC day.
                if (!day) return top(c, boardOf("global"));
                if (!isDay(d)) return error(400, "day must be YYYY-MM-DD or today");
                return top(c, dayOf(d));
            }
            if (!isDay(d)) return error(400, "day must be YYYY-MM-DD");
            return top(c, boardOf(d));
        }
        if (url == "/api/v1/players")
            return post ? claim(c, body) : error(405, "method not allowed");
        if (url == "/api/v1/review") return get ? review(c) : error(405, "method not allowed");
        const std::string players = "/api/v1/players/";
        if (url.rfind(players, 0) == 0 && url.size() > players.size()) {
            const std::string name = url.substr(players.size());
            const std::string released = "/release";
            if (post && name.size() > released.size() &&
                name.compare(name.size() - released.size(), released.size(), released) == 0)
                return release(c, name.substr(0, name.size() - released.size()));
            return get ? playerPage(name) : error(405, "method not allowed");
        }
        const std::string runs = "/api/v1/runs/";
        if (url.rfind(runs, 0) == 0) {
            const std::string rest = url.substr(runs.size());
            const std::size_t slash = rest.find('/');
            long long id = 0;
            if (!parseCount(rest.substr(0, slash).c_str(), 1, INT64_MAX, id))
                return error(404, "no such run");
            const std::string what = slash == std::string::npos ? "" : rest.substr(slash);
            if (what.empty()) {
                if (!get) return error(405, "method not allowed");
                const auto r = store->run(id);
                return r ? Reply{200, runJson(*r) + "\n"} : error(404, "no such run");
            }
            if (what == "/replay") {
                if (!get) return error(405, "method not allowed");
                const auto text = store->replay(id);
                if (!text) return error(404, "no such run");
                return {200, *text, "text/plain; charset=utf-8"};
            }
            if (what == "/hide") return post ? hide(c, id) : error(405, "method not allowed");
            if (what == "/watched") return post ? watched(c, id) : error(405, "method not allowed");
        }
        if (site && url.rfind("/api/", 0) != 0) {
            const Site::File* file = site->find(url);
            if (file && !get) return error(405, "method not allowed");
            if (file) {
                Reply r{200, std::string(), file->type};
                r.file = file;
                return r;
            }
        }
        return error(404, "no such resource");
    }
};

bool Server::State::differs(const char* a, const std::string& b) {
    // Compared in full whatever differs, so the time says nothing of the token.
    unsigned char diff = 0;
    for (std::size_t i = 0; i < b.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff != 0;
}

namespace {

MHD_Result send(Server::State& s, MHD_Connection* c, Request& req, const Reply& r) {
    // The answer is copied into MHD's buffer: held until it is sent, and
    // turned away when the budget has no room for it. A site's file lives
    // as long as the server and is sent from where it is.
    if (!r.file && r.body.size() > 4096 && !s.hold(req, static_cast<long long>(r.body.size())))
        return send(s, c, req, busy("the server is busy; try again shortly", 5));
    MHD_Response* res =
        r.file ? MHD_create_response_from_buffer(r.file->body.size(),
                                                 const_cast<char*>(r.file->body.data()),
                                                 MHD_RESPMEM_PERSISTENT)
               : MHD_create_response_from_buffer(r.body.size(), const_cast<char*>(r.body.data()),
                                                 MHD_RESPMEM_MUST_COPY);
    if (!res) return MHD_NO;
    s.metrics.add("voidrunner_http_requests_total", labels({{"code", std::to_string(r.status)}}));
    MHD_add_response_header(
        res, "Content-Type",
        r.type == "application/json" ? "application/json; charset=utf-8" : r.type.c_str());
    MHD_add_response_header(res, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(res, "Cache-Control", "no-store");
    if (r.retryAfter > 0)
        MHD_add_response_header(res, "Retry-After", std::to_string(r.retryAfter).c_str());
    // The page's own rules, as nginx's site config gives them.
    if (r.file)
        MHD_add_response_header(res, "Content-Security-Policy",
                                "default-src 'self'; script-src 'self' 'unsafe-eval' "
                                "'wasm-unsafe-eval'; style-src 'self' 'unsafe-inline'");
    if (s.stopping) MHD_add_response_header(res, "Connection", "close");
    const MHD_Result ok = MHD_queue_response(c, r.status, res);
    MHD_destroy_response(res);
    s.phase(c, Connection::Answering);
    return ok;
}

// A run's answer given before it reaches submit(): counted and logged as
// the others are, not kept in the store (no rate limit has been applied).
MHD_Result refuseRun(Server::State& s, MHD_Connection* c, Request& req, const char* url,
                     const Reply& r) {
    if (std::strcmp(url, "/api/v1/runs") == 0) s.recordRun(c, r, RunNote{}, false);
    return send(s, c, req, r);
}

MHD_Result handle(void* cls, MHD_Connection* c, const char* url, const char* method,
                  const char* /*version*/, const char* data, size_t* size, void** slot) {
    auto& s = *static_cast<Server::State*>(cls);
    auto* req = static_cast<Request*>(*slot);
    if (!req) {
        req = new Request;
        *slot = req;
        {
            std::lock_guard lock(s.requestsMutex);
            ++s.requests;
        }
        s.noticeProxy(c);
        // Refused before a byte of the body is read.
        if (headerCount(c, "Content-Length") > 1 ||
            (headerCount(c, "Content-Length") > 0 && headerCount(c, "Transfer-Encoding") > 0))
            return send(s, c, *req, error(400, "the request gives its length twice"));
        if (const char* len = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Content-Length")) {
            long long n = 0;
            if (!parseCount(len, 0, INT64_MAX, n) || n > s.config.maxReplayBytes)
                return refuseRun(s, c, *req, url,
                                 refusal("too_large", 413, "the replay is too large"));
            // The whole body's room, taken now: a body that comes slowly
            // holds no more than it said.
            if (n > 0 && !s.hold(*req, n))
                return refuseRun(s, c, *req, url, busy("the server is busy; try again shortly", 5));
            req->body.reserve(static_cast<std::size_t>(n));
        }
        if (const char* enc = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Content-Encoding")) {
            if (std::strcmp(enc, "identity") != 0)
                return refuseRun(
                    s, c, *req, url,
                    refusal("compressed", 415, "send the replay as plain text, not compressed"));
        }
        // Behind nginx every request comes from its address: the limit on
        // requests at once is the real client's, as nginx says it.
        if (s.config.trustProxy && s.config.perClientConnections > 0) {
            req->client = s.client(c);
            std::lock_guard lock(s.requestsMutex);
            req->counted = true;
            if (++s.perClient[req->client] > s.config.perClientConnections)
                return send(s, c, *req, error(429, "too many requests at once; slow down"));
        }
        return MHD_YES;
    }
    if (*size > 0) {
        if (req->tooLarge ||
            req->body.size() + *size > static_cast<std::size_t>(s.config.maxReplayBytes)) {
            // A chunked body gives no length up front: stop at the limit.
            req->tooLarge = true;
            req->body.clear();
            req->body.shrink_to_fit();
            *size = 0;
            return refuseRun(s, c, *req, url, refusal("too_large", 413, "the replay is too large"));
        }
        // A chunked body takes its room as it comes.
        const auto more = static_cast<long long>(req->body.size() + *size) - req->held;
        if (more > 0 && !s.hold(*req, more)) {
            *size = 0;
            return refuseRun(s, c, *req, url, busy("the server is busy; try again shortly", 5));
        }
        req->body.append(data, *size);
        *size = 0;
        return MHD_YES;
    }
    s.phase(c, Connection::Working);
    Reply failed = busy("the server failed; try again shortly", 5, "server_error");
    try {
        return send(s, c, *req, s.route(c, url, method, req->body));
    } catch (const StoreError& e) {
        s.storeFailed(e);
        failed.reason = "store_error";
    } catch (const std::exception& e) {
        logEvent(LogLevel::Error, "error", {{"url", url}, {"error", e.what()}});
    }
    // The run is still the client's: it sends it again.
    return refuseRun(s, c, *req, url, failed);
}

void completed(void* cls, MHD_Connection* c, void** slot, MHD_RequestTerminationCode) {
    auto& s = *static_cast<Server::State*>(cls);
    auto* req = static_cast<Request*>(*slot);
    if (!req) return;
    *slot = nullptr;
    s.held -= req->held;
    {
        std::lock_guard lock(s.requestsMutex);
        if (req->counted && --s.perClient[req->client] <= 0) s.perClient.erase(req->client);
        --s.requests;
    }
    s.requestsDone.notify_all();
    delete req;
    s.phase(c, Connection::Reading);
}

void connectionEvent(void* cls, MHD_Connection* c, void** socketContext,
                     MHD_ConnectionNotificationCode code) {
    auto& s = *static_cast<Server::State*>(cls);
    std::lock_guard lock(s.connectionsMutex);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        const MHD_ConnectionInfo* info =
            MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
        auto* conn = new Connection;
        conn->fd = info ? info->connect_fd : -1;
        conn->sinceMs = steadyMs();
        s.connections.insert(conn);
        *socketContext = conn;
    } else if (auto* conn = static_cast<Connection*>(*socketContext)) {
        // Before MHD closes the descriptor: the watchdog never touches a
        // closed one.
        s.connections.erase(conn);
        delete conn;
        *socketContext = nullptr;
    }
}

}  // namespace

Server::Server(const ServerConfig& config) : state_(std::make_unique<State>(config)) {
    const std::size_t colon = config.listen.rfind(':');
    if (colon == std::string::npos) throw std::runtime_error("--listen takes ADDR:PORT");
    std::string host = config.listen.substr(0, colon);
    const std::string port = config.listen.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host.empty()) host = "0.0.0.0";
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found)
        throw std::runtime_error("--listen: " + config.listen + " is not ADDR:PORT (numeric)");
    unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD |
                     MHD_USE_POLL | MHD_USE_ITC;
    if (found->ai_family == AF_INET6) flags |= MHD_USE_IPv6;
    state_->daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &handle, state_.get(), MHD_OPTION_SOCK_ADDR, found->ai_addr,
        MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(config.maxConnections),
        // Behind a trusted proxy every connection comes from the proxy: the
        // limit per client is kept per request instead (handle).
        MHD_OPTION_PER_IP_CONNECTION_LIMIT,
        static_cast<unsigned>(config.trustProxy ? 0 : config.perClientConnections),
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(config.idleSeconds),
        // Request line and headers must fit in this: a line without end or
        // endless headers are cut off here.
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(64 * 1024),
        MHD_OPTION_UNESCAPE_CALLBACK, &unescape, nullptr, MHD_OPTION_THREAD_STACK_SIZE,
        static_cast<size_t>(1 << 20), MHD_OPTION_NOTIFY_COMPLETED, &completed, state_.get(),
        MHD_OPTION_NOTIFY_CONNECTION, &connectionEvent, state_.get(), MHD_OPTION_END);
    freeaddrinfo(found);
    if (!state_->daemon) throw std::runtime_error("cannot listen on " + config.listen);
    state_->watchdog = std::thread([s = state_.get()] { s->watch(); });
}

Server::~Server() {
    if (state_->daemon) MHD_stop_daemon(state_->daemon);
}

void Server::drain(double seconds) {
    State& s = *state_;
    s.stopping = true;
    // No new connections; those open are served on, told to close.
    const MHD_socket listening = MHD_quiesce_daemon(s.daemon);
    if (listening != MHD_INVALID_SOCKET) close(listening);
    s.verifier.stop();
    std::unique_lock lock(s.requestsMutex);
    s.requestsDone.wait_for(lock, std::chrono::milliseconds(static_cast<long long>(seconds * 1000)),
                            [&s] { return s.requests == 0; });
}

int Server::port() const {
    const MHD_DaemonInfo* info = MHD_get_daemon_info(state_->daemon, MHD_DAEMON_INFO_BIND_PORT);
    return info ? info->port : 0;
}
