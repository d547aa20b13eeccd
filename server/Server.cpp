#include "Server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <stdexcept>

#include "Json.h"
#include "Store.h"
#include "Tickets.h"
#include "Verifier.h"

namespace {

long long nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

struct Reply {
    unsigned status = 200;
    std::string body;
    std::string type = "application/json";
    long long retryAfter = 0;
};

Reply error(unsigned status, const std::string& reason) {
    return {status, "{\"error\":" + jsonString(reason) + "}\n"};
}

// Per request: the body read so far.
struct Request {
    std::string body;
    bool tooLarge = false;
    bool headersSeen = false;
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

std::string runJson(const RunRow& r) {
    return "{\"id\":" + std::to_string(r.id) + ",\"board\":" + jsonString(r.board) +
           ",\"player\":" + jsonString(r.player) + ",\"score\":" + std::to_string(r.score) +
           ",\"ticks\":" + std::to_string(r.ticks) + ",\"version\":" + jsonString(r.version) +
           ",\"submitted\":" + std::to_string(r.submittedMs) + "}";
}

}  // namespace

struct Server::State {
    ServerConfig config;
    std::unique_ptr<Store> store;
    TicketKey key{std::string()};
    std::string operatorToken;
    Verifier verifier;
    RateLimiter ticketLimit, runLimit;
    MHD_Daemon* daemon = nullptr;
    long long startMs = nowMs();
    std::atomic<long long> lastPruneMs{0};
    // Answers of /top by board and limit, with the store's change mark
    // when each was read.
    std::mutex topMutex;
    std::map<std::string, std::pair<std::pair<long long, long long>, std::string>> topKept;

    explicit State(const ServerConfig& c)
        : config(c),
          store(openStore(c.db)),
          key(TicketKey::load(c.keyFile)),
          verifier(c.program, c.workers, c.queue, {c.verifySeconds, 512ll << 20}),
          ticketLimit(c.ticketsPerMinute, c.burst),
          runLimit(c.runsPerMinute, c.burst) {
        // A faster clock runs from the key's making, so that a server started
        // again with the same key keeps the same time.
        struct stat st {};
        if (c.clockScale != 1 && stat(c.keyFile.c_str(), &st) == 0)
            startMs = static_cast<long long>(st.st_mtim.tv_sec) * 1000 +
                      st.st_mtim.tv_nsec / 1000000;
        if (!c.operatorTokenFile.empty()) {
            std::ifstream in(c.operatorTokenFile);
            std::getline(in, operatorToken);
            if (operatorToken.size() < 16)
                throw std::runtime_error("the operator token file " + c.operatorTokenFile +
                                         " must hold a token of 16 characters or more");
        }
    }

    // The server's clock; a test may run it faster.
    long long now() const {
        const long long real = nowMs();
        return startMs +
               static_cast<long long>(static_cast<double>(real - startMs) * config.clockScale);
    }

    std::string client(MHD_Connection* c) {
        if (config.trustProxy) {
            if (const char* ip = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "X-Real-IP"))
                return std::string(ip).substr(0, 64);
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

    Reply ticket(MHD_Connection* c, bool daily) {
        if (!ticketLimit.allow(client(c), nowMs()))
            return error(429, "too many tickets; slow down");
        const long long at = now();
        Ticket t = key.issue(daily, at);
        if (!daily && config.testSeed >= 0) t.seed = static_cast<uint32_t>(config.testSeed);
        std::string body = "{\"ticket\":" + jsonString(key.encode(t)) + ",\"kind\":\"" +
                           (daily ? "daily" : "ranked") + "\",\"seed\":" + std::to_string(t.seed) +
                           ",\"issued\":" + std::to_string(t.issuedMs) + ",\"field\":[" +
                           std::to_string(kRankedWidth) + "," + std::to_string(kRankedHeight) + "]";
        if (daily) body += ",\"day\":" + jsonString(t.day);
        return {200, body + "}\n"};
    }

    Reply submit(MHD_Connection* c, const std::string& replay) {
        if (!runLimit.allow(client(c), nowMs())) return error(429, "too many runs; slow down");
        const char* ticketText = MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "ticket");
        Ticket t;
        if (!ticketText || !key.decode(ticketText, t))
            return error(401, "the ticket is forged or damaged");
        const long long at = now();
        const long long elapsed = at - t.issuedMs;
        if (elapsed > config.ticketLifeSeconds * 1000 || elapsed < 0)
            return error(401, "the ticket has expired");
        const char* player = MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "player");
        if (!player || !*player || std::strlen(player) > 32)
            return error(400, "player must be 1 to 32 bytes");
        if (!validUtf8(player)) return error(400, "player is not valid UTF-8");
        for (const char* p = player; *p; ++p)
            if (static_cast<unsigned char>(*p) < 0x20 || *p == 0x7f)
                return error(400, "player holds control characters");
        long long claimed = 0;
        if (!parseCount(MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "score"), 0,
                        2000000000, claimed))
            return error(400, "score must be a whole number from 0");
        if (replay.empty()) return error(400, "the replay goes in the body (text/plain)");

        const ReplayCheck check = checkReplay(replay, t.seed);
        if (!check.ok) return error(422, check.error);
        const long long playMs = check.replay.ticks * kTickMs;
        if (elapsed < playMs)
            return error(422, "sent sooner than its " + std::to_string(check.replay.ticks) +
                                  " ticks can be played after the ticket was issued");
        if (elapsed > playMs + config.slackSeconds * 1000)
            return error(422, "sent too long after its ticket was issued for its " +
                                  std::to_string(check.replay.ticks) + " ticks");

        if (!verifier.enter()) {
            Reply r = error(503, "the verification queue is full; try again shortly");
            r.retryAfter = 5;
            return r;
        }
        pruneSpent(at);
        if (!store->spendTicket(t.nonce, at)) {
            verifier.cancel();
            return error(409, "the ticket was used already");
        }
        const Verdict v = verifier.run(replay);
        if (v.kind == Verdict::TooLong) return error(422, v.error);
        if (v.kind == Verdict::Refused) return error(422, v.error);
        if (v.kind != Verdict::Reproduced) return error(500, v.error);
        if (v.score != claimed)
            return error(422, "the replay does not reproduce the score: it reaches " +
                                  std::to_string(v.score) + ", not " + std::to_string(claimed));
        RunRow row;
        row.board = t.daily ? t.day : "global";
        row.player = player;
        row.score = v.score;
        row.ticks = check.replay.ticks;
        row.seed = t.seed;
        row.version = check.version;
        row.submittedMs = nowMs();
        row.id = store->addRun(row, replay);
        return {201, runJson(row) + "\n"};
    }

    // A spent ticket need only be remembered while it could still be valid.
    void pruneSpent(long long at) {
        const long long life = config.ticketLifeSeconds * 1000;
        long long last = lastPruneMs.load();
        if (at - last < 600000 || !lastPruneMs.compare_exchange_strong(last, at)) return;
        store->forgetTickets(at - life - 60000);
    }

    Reply top(MHD_Connection* c, const std::string& board) {
        long long limit = 10;
        const char* text = MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "limit");
        if (text && !parseCount(text, 1, 100, limit)) return error(400, "limit must be 1 to 100");
        // The answer is kept until the store changes (SQLite, where the
        // store can tell): a board is read far more often than written.
        const auto mark = store->changeMark();
        const std::string asked = board + '\n' + std::to_string(limit);
        if (mark) {
            std::lock_guard lock(topMutex);
            const auto kept = topKept.find(asked);
            if (kept != topKept.end() && kept->second.first == *mark)
                return {200, kept->second.second};
        }
        std::string body = "[";
        for (const RunRow& r : store->top(board, static_cast<int>(limit))) {
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
        const char* auth = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Authorization");
        const std::string want = "Bearer " + operatorToken;
        if (operatorToken.empty() || !auth || want.size() != std::strlen(auth) ||
            differs(auth, want))
            return error(403, "hiding runs takes the operator token");
        if (!store->hide(id)) return error(404, "no such run");
        return {200, "{\"hidden\":" + std::to_string(id) + "}\n"};
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
        if (url == "/api/v1/daily/tickets")
            return post ? ticket(c, true) : error(405, "method not allowed");
        if (url == "/api/v1/runs") return post ? submit(c, body) : error(405, "method not allowed");
        if (url == "/api/v1/top") return get ? top(c, "global") : error(405, "method not allowed");
        if (url == "/api/v1/daily/top") {
            if (!get) return error(405, "method not allowed");
            const char* day = MHD_lookup_connection_value(c, MHD_GET_ARGUMENT_KIND, "day");
            const std::string d = day ? day : utcDay(now());
            if (!isDay(d)) return error(400, "day must be YYYY-MM-DD");
            return top(c, d);
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

MHD_Result send(MHD_Connection* c, const Reply& r) {
    MHD_Response* res = MHD_create_response_from_buffer(
        r.body.size(), const_cast<char*>(r.body.data()), MHD_RESPMEM_MUST_COPY);
    if (!res) return MHD_NO;
    MHD_add_response_header(
        res, "Content-Type",
        r.type == "application/json" ? "application/json; charset=utf-8" : r.type.c_str());
    MHD_add_response_header(res, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(res, "Cache-Control", "no-store");
    if (r.retryAfter > 0)
        MHD_add_response_header(res, "Retry-After", std::to_string(r.retryAfter).c_str());
    const MHD_Result ok = MHD_queue_response(c, r.status, res);
    MHD_destroy_response(res);
    return ok;
}

MHD_Result handle(void* cls, MHD_Connection* c, const char* url, const char* method,
                  const char* /*version*/, const char* data, size_t* size, void** slot) {
    auto& s = *static_cast<Server::State*>(cls);
    auto* req = static_cast<Request*>(*slot);
    if (!req) {
        req = new Request;
        *slot = req;
        // Refused before a byte of the body is read.
        if (const char* len = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Content-Length")) {
            long long n = 0;
            if (!parseCount(len, 0, INT64_MAX, n) || n > s.config.maxReplayBytes)
                return send(c, error(413, "the replay is too large"));
        }
        if (const char* enc = MHD_lookup_connection_value(c, MHD_HEADER_KIND, "Content-Encoding")) {
            if (std::strcmp(enc, "identity") != 0)
                return send(c, error(415, "send the replay as plain text, not compressed"));
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
            return send(c, error(413, "the replay is too large"));
        }
        req->body.append(data, *size);
        *size = 0;
        return MHD_YES;
    }
    try {
        return send(c, s.route(c, url, method, req->body));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "voidrunner-server: %s\n", e.what());
        return send(c, error(500, "the server failed; try again later"));
    }
}

void completed(void*, MHD_Connection*, void** slot, MHD_RequestTerminationCode) {
    delete static_cast<Request*>(*slot);
    *slot = nullptr;
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
    unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL;
    if (found->ai_family == AF_INET6) flags |= MHD_USE_IPv6;
    state_->daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &handle, state_.get(), MHD_OPTION_SOCK_ADDR, found->ai_addr,
        MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(config.maxConnections),
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<unsigned>(config.perClientConnections),
        MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(config.idleSeconds),
        // Request line and headers must fit in this: a line without end or
        // endless headers are cut off here.
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(64 * 1024),
        MHD_OPTION_THREAD_STACK_SIZE, static_cast<size_t>(1 << 20), MHD_OPTION_NOTIFY_COMPLETED,
        &completed, nullptr, MHD_OPTION_END);
    freeaddrinfo(found);
    if (!state_->daemon) throw std::runtime_error("cannot listen on " + config.listen);
}

Server::~Server() {
    if (state_->daemon) MHD_stop_daemon(state_->daemon);
}

int Server::port() const {
    const MHD_DaemonInfo* info = MHD_get_daemon_info(state_->daemon, MHD_DAEMON_INFO_BIND_PORT);
    return info ? info->port : 0;
}
