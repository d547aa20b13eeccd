#include "app/online/Leaderboard.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sstream>
#include <vector>

#include "app/online/Json.h"
#include "app/online/RankedContract.h"
#include "app/online/Utf8.h"
#include "app/replay/ReplayRecorder.h"
#include "app/replay/Script.h"
#include "game/GameState.h"
#include "game/Rules.h"

namespace {

constexpr long kRetryMostMs = 5 * 60 * 1000;

// A ticket is sent back as it came and names the run's kept file only
// through a hash: letters, digits, '.', '-' and '_', of a sane length.
bool ticketReads(const std::string& ticket) {
    if (ticket.empty() || ticket.size() > 200) return false;
    return std::all_of(ticket.begin(), ticket.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '-' || c == '_';
    });
}

// The kept file's name part: FNV-1a of the ticket, 16 hex digits.
std::string ticketHash(const std::string& ticket) {
    unsigned long long h = 14695981039346656037ull;
    for (const char c : ticket) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char text[20];
    std::snprintf(text, sizeof text, "%016llx", h);
    return text;
}

long long unixMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// "14:32", local time.
std::string clockTime(long long unixMillis) {
    const std::time_t t = static_cast<std::time_t>(unixMillis / 1000);
    const std::tm* local = std::localtime(&t);
    char text[16] = "?";
    if (local) std::strftime(text, sizeof text, "%H:%M", local);
    return text;
}

}  // namespace

Leaderboard::Leaderboard(HttpService& http, std::string server, std::string player, std::string key)
    : http_(http), server_(std::move(server)), player_(std::move(player)), key_(std::move(key)) {
    while (!server_.empty() && server_.back() == '/') server_.pop_back();
}

namespace {

// What an answer without words of its own means to a player.
std::string plainly(const HttpReply& r) {
    if (r.status == 0) return "the leaderboard cannot be reached (" + r.error + ")";
    if (r.status == 429) return "the leaderboard asks to wait a little";
    if (r.status >= 500)
        return "the leaderboard is down or busy (" + std::to_string(r.status) + ")";
    return "the leaderboard answered " + std::to_string(r.status);
}

// The server's own words, or plain ones.
std::string why(const HttpReply& r, const JsonObject& answer) {
    const std::string error = shownField(answer, "error");
    return error.empty() ? plainly(r) : error;
}

}  // namespace

Leaderboard::Claim Leaderboard::claim(std::string& message) {
    if (const std::string problem = playerNameProblem(player_); !problem.empty()) {
        message = problem;
        return Claim::Refused;
    }
    HttpRequest request;
    request.method = "POST";
    request.url = server_ + "/api/v1/players";
    request.body = "{\"name\":\"";
    // The name is UTF-8 without controls; only " and \ need escaping.
    for (const char c : player_) {
        if (c == '"' || c == '\\') request.body += '\\';
        request.body += c;
    }
    request.body += "\"}";
    const HttpReply r = http_.requestAndWait(request);
    JsonObject answer;
    parseJsonObject(r.body, answer);
    std::string key;
    if (const auto it = answer.find("key"); it != answer.end() && it->second.isString)
        key = utf8Of(it->second.text);
    if (r.status == 201 && !key.empty() && key.size() <= 200) {
        key_ = key;
        message = "the name " + player_ + " is yours now; its key is kept in settings.txt";
        if (onClaimed) onClaimed(player_, key_);
        return Claim::Claimed;
    }
    message = why(r, answer);
    if (r.status == 409) return Claim::Taken;
    return r.status >= 400 && r.status < 500 ? Claim::Refused : Claim::Offline;
}

bool Leaderboard::begin(RankedMode mode, std::string& message) {
    if (mode == RankedMode::Free) return false;
    const std::shared_ptr<Said> said = shared();
    const auto notRanked = [&](const std::string& text, const std::string& short_) {
        message = text + ": this game is not ranked";
        sign(*said, "Not ranked: " + short_);
        return false;
    };
    if (player_.empty())
        return notRanked("no player's name (settings.txt's player line, or --player NAME)",
                         "no player's name");
    // Judged here by the server's own rule, before a game is played for
    // nothing.
    if (const std::string problem = playerNameProblem(player_); !problem.empty())
        return notRanked("the player's name cannot be listed (" + problem + ")", problem);
    if (key_.empty()) {
        std::string answer;
        const Claim claimed = claim(answer);
        if (claimed == Claim::Taken)
            return notRanked("the name " + player_ + " is taken (" + answer +
                                 "); choose another, or copy its player line from the device "
                                 "that claimed it",
                             "the name " + player_ + " is taken");
        if (claimed != Claim::Claimed)
            return notRanked("the name " + player_ + " could not be claimed (" + answer + ")",
                             answer);
        tell(*said, "voidrunner: " + answer);
    }
    HttpRequest request;
    request.method = "POST";
    request.url = server_ +
                  "/api/v1/tickets?kind=" + (mode == RankedMode::Daily ? "daily" : "ranked") +
                  "&player=" + percentEncoded(player_);
    request.authorization = authorization();
    const HttpReply r = http_.requestAndWait(request);
    JsonObject answer;
    parseJsonObject(r.body, answer);
    constexpr std::size_t kTicketMost = 1000;
    const std::string ticket = shownField(answer, "ticket", kTicketMost);
    if (r.status == 401 || r.status == 403)
        return notRanked("the leaderboard does not take this device's key for " + player_ + " (" +
                             why(r, answer) +
                             "): copy the player line from the device that claimed the name",
                         "this device has not the key of " + player_);
    if (r.status != 200 || ticket.empty() || answer.count("seed") == 0)
        return notRanked("no ticket from " + server_ + " (" + why(r, answer) + ")", why(r, answer));
    // A seed the game reads: a whole number that fits its 32 bits.
    const long long value = answer["seed"].number;
    if (value < 0 || value > UINT32_MAX || !ticketReads(ticket)) {
        message = "the server's ticket is not one this game reads: this game is not ranked";
        return false;
    }
    ticket_ = ticket;
    seed_ = static_cast<uint32_t>(value);
    ticketAtMs_ = unixMs();
    if (const auto slack = answer.find("slack"); slack != answer.end() && slack->second.number >= 0)
        slackMs_ = slack->second.number * 1000;
    message = std::string(mode == RankedMode::Daily ? "today's run" : "a ranked game") + " on " +
              server_ + " as " + player_ + ": your first game counts";
    sign(*said, mode == RankedMode::Daily ? "Ranked: today's run" : "Ranked");
    return true;
}

Rect Leaderboard::FieldWindows::clientRect(WindowHandle w) {
    // Start-up reads the field from the client area once; afterwards the
    // frame is placed, scaled, in the real window.
    if (!fieldRead || !fieldRead()) return {0, 0, kRankedWidth, kRankedHeight};
    return inner->clientRect(w);
}

PlatformServices Leaderboard::wrap(const PlatformServices& host, std::function<bool()> fieldRead) {
    if (!ranked()) return host;
    windows_.fieldRead = std::move(fieldRead);
    clock_.inner = host.clock;
    clock_.seed = seed_;
    windows_.inner = host.windows;
    PlatformServices services = host;
    services.clock = &clock_;
    services.windows = &windows_;
    return services;
}

std::shared_ptr<Leaderboard::Run> Leaderboard::newRun(const std::string& ticket,
                                                      const std::string& player, int score,
                                                      const std::string& replay,
                                                      long long expiresMs) {
    auto run = std::make_shared<Run>();
    run->ticket = ticket;
    run->player = player;
    run->score = score;
    run->replay = replay;
    run->expiresMs = expiresMs;
    run->file = keptFolder + "/run-" + ticketHash(ticket) + ".txt";
    run->refusedFolder = refusedFolder;
    run->retryFirstMs = retryFirstMs;
    run->timeoutSeconds = runTimeoutSeconds;
    return run;
}

void Leaderboard::gameOver(const ReplayRecorder& recorder) {
    if (!ranked() || sent_) return;
    sent_ = true;
    auto run = newRun(ticket_, player_, gameState.score, recorder.text(),
                      ticketAtMs_ + recorder.ticks() * kTickMs + slackMs_);
    run->authorization = authorization();
    // Kept before it is first sent: whatever becomes of the game, the
    // process or the answer, the run is not lost.
    FileStorage* files = platform().files;
    const std::shared_ptr<Said> said = shared();
    if (!keep(*files, keptFolder, *run)) {
        tell(*said,
             "voidrunner: the run could not be kept in " + keptFolder + "/; it is sent once, now");
        run->file.clear();
    }
    tell(*said,
         "voidrunner: sending the ranked run (" + std::to_string(gameState.score) + " points)");
    sign(*said, "Ranked run: sending");
    submit(http_, server_, said, files, std::move(run), 0, 0);
}

void Leaderboard::submit(HttpService& http, const std::string& server,
                         const std::shared_ptr<Said>& said, FileStorage* files,
                         std::shared_ptr<const Run> run, long waitMs, int attempt) {
    HttpRequest r;
    r.method = "POST";
    r.url = server + "/api/v1/runs?ticket=" + percentEncoded(run->ticket) +
            "&player=" + percentEncoded(run->player) + "&score=" + std::to_string(run->score);
    r.body = run->replay;
    r.authorization = run->authorization;
    r.timeoutSeconds = run->timeoutSeconds;
    r.delayMs = waitMs;
    // Runs on the service's thread: only the console and the kept folder,
    // and nothing of this object, which may be gone by then. The HTTP
    // service outlives every request it answers.
    HttpService* service = &http;
    http.request(r, [service, server, said, files, run, attempt](const HttpReply& reply) {
        answered(*service, server, said, files, run, attempt, reply);
    });
}

void Leaderboard::answered(HttpService& http, const std::string& server,
                           const std::shared_ptr<Said>& said, FileStorage* files,
                           const std::shared_ptr<const Run>& run, int attempt, const HttpReply& r) {
    JsonObject answer;
    parseJsonObject(r.body, answer);
    // The server verifies other rules: 422 with its own.
    const long long theirRules = answer.count("rules") ? answer["rules"].number : -1;
    // 200: a resend of a run listed before (its first answer was lost).
    if (r.status == 200 || r.status == 201) {
        const std::string rank = shownField(answer, "rank"), best = shownField(answer, "bestRank");
        tell(*said, "voidrunner: the run is listed" + (rank.empty() ? "" : ", #" + rank) +
                        " on the board (run " + shownField(answer, "id") + ")");
        sign(*said, "Listed" + (rank.empty() ? "" : " #" + rank) +
                        (!best.empty() && best != rank ? ", your best #" + best : ""));
    } else if (r.status == 401 || r.status == 403) {
        // A key the player can still put right (the player line copied
        // from the device that claimed the name): kept, sent at the next
        // launch, its ticket unspent.
        tell(*said, "voidrunner: the leaderboard does not take this device's key for " +
                        run->player + " (" + why(r, answer) + "); the run is kept in " +
                        "unsent/: copy the player line from the device that claimed the name, " +
                        "and it is sent at the next ranked launch" +
                        (run->expiresMs > 0 ? ", until " + clockTime(run->expiresMs) : ""));
        sign(*said, "Kept: this device has not the key of " + run->player);
        if (!run->file.empty()) waiting(*said, run->file, run->expiresMs);
        return;
    } else if (r.status == 422 && theirRules > 0) {
        // No fault of the run: it stays in unsent/ for a server (or a game)
        // that has caught up, and is not sent again now.
        const std::string advice = theirRules > kRulesVersion ? "update the game"
                                   : theirRules < kRulesVersion
                                       ? "the leaderboard has yet to take "
                                         "this game's rules"
                                       : "it was played by an earlier game";
        tell(*said, "voidrunner: the leaderboard verifies the game's rules " +
                        std::to_string(theirRules) + " and " + shownField(answer, "error") + ": " +
                        advice + "; the run " +
                        (run->file.empty()
                             ? std::string("could not be kept")
                             : "is kept in " + run->file.substr(0, run->file.rfind('/') + 1)));
        sign(*said, "Kept: " + advice);
        return;
    } else if (r.status >= 400 && r.status < 500 && r.status != 429 && r.status != 408) {
        // Still the player's replay: kept with the others, out of unsent/.
        files->makeFolder(run->refusedFolder.c_str());
        files->replace(
            (run->refusedFolder + "/refused-" + ticketHash(run->ticket) + ".txt").c_str(),
            run->replay);
        tell(*said, "voidrunner: the leaderboard refused the run: " + why(r, answer));
        sign(*said, "Not listed: " + why(r, answer));
    } else if (r.error == "the HTTP service has closed" || r.error == "the game ended first") {
        return;  // the game is over: the kept run goes at the next launch
    } else {
        if (run->file.empty()) {
            tell(*said, "voidrunner: " + plainly(r) + ", and the run could not be kept");
            sign(*said, "Not listed: the leaderboard cannot be reached");
            return;
        }
        // Again while the game runs: as soon as the server asks, else
        // backing off.
        long wait = std::min(kRetryMostMs, run->retryFirstMs << std::min(attempt, 16));
        if (r.retryAfter > 0) wait = std::min(r.retryAfter, 3600l) * 1000;
        const std::string until = run->expiresMs > 0 ? ", until " + clockTime(run->expiresMs)
                                                     : std::string();
        tell(*said,
             "voidrunner: " + plainly(r) + "; the run is kept in unsent/ and sent again" + until);
        sign(*said, "Kept: will be sent" + until);
        waiting(*said, run->file, run->expiresMs);
        submit(http, server, said, files, run, wait, attempt + 1);
        return;
    }
    if (!run->file.empty()) {
        files->remove(run->file.c_str());
        settled(*said, run->file);
    }
}

void Leaderboard::waiting(Said& said, const std::string& file, long long expiresMs) {
    std::lock_guard lock(said.mutex);
    said.unsent[file] = expiresMs;
    toldUnsent(said);
}

void Leaderboard::settled(Said& said, const std::string& file) {
    std::lock_guard lock(said.mutex);
    if (said.unsent.erase(file)) toldUnsent(said);
}

void Leaderboard::toldUnsent(Said& said) {
    if (!said.onUnsent) return;
    long long soonest = 0;
    for (const auto& [name, at] : said.unsent)
        if (at > 0 && (soonest <= 0 || at < soonest)) soonest = at;
    said.onUnsent(said.unsent.empty() ? "" : soonest > 0 ? clockTime(soonest) : "?");
}

bool Leaderboard::keep(FileStorage& files, const std::string& folder, const Run& run) {
    return files.makeFolder(folder.c_str()) &&
           files.replace(run.file.c_str(), run.ticket + ' ' + escapeInitials(run.player) + ' ' +
                                               std::to_string(run.score) + ' ' +
                                               std::to_string(run.expiresMs) + '\n' + run.replay);
}

void Leaderboard::sendKept() {
    FileStorage& files = *platform().files;
    std::vector<std::string> names;
    if (!files.list(keptFolder.c_str(), names)) return;
    const std::shared_ptr<Said> said = shared();
    for (const std::string& name : names) {
        const std::string path = keptFolder + "/" + name;
        std::string text;
        // Larger than any replay the server takes.
        if (files.read(path.c_str(), text, std::size_t{16} << 20) != StoredFile::read) continue;
        const std::size_t end = text.find('\n');
        std::istringstream head(text.substr(0, end));
        std::string ticket, escaped, player;
        int score = 0;
        long long expires = 0;
        if (end == std::string::npos || !(head >> ticket >> escaped >> score) ||
            !unescapeInitials(escaped, player) || !ticketReads(ticket))
            continue;
        if (!(head >> expires)) expires = 0;  // kept by an older version
        auto run = newRun(ticket, player, score, text.substr(end + 1), expires);
        run->file = path;
        // The key is never kept with the run: this device's, for its name.
        if (player == player_) run->authorization = authorization();
        submit(http_, server_, said, &files, std::move(run), 0, 0);
    }
}

void Leaderboard::tell(Said& said, const std::string& text) {
    std::lock_guard lock(said.mutex);
    said.last = text;
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
    if (said.onMessage) said.onMessage(text);
}

void Leaderboard::sign(Said& said, const std::string& text) {
    std::lock_guard lock(said.mutex);
    if (said.onSign) said.onSign(text);
}

std::shared_ptr<Leaderboard::Said> Leaderboard::shared() {
    std::lock_guard lock(said_->mutex);
    said_->onMessage = onMessage;
    said_->onUnsent = onUnsent;
    said_->onSign = onSign;
    return said_;
}

void Leaderboard::tell(const std::string& text) { tell(*shared(), text); }

std::string Leaderboard::lastResult() {
    std::lock_guard lock(said_->mutex);
    return said_->last;
}
