#include "app/online/Leaderboard.h"

#include <cstdio>
#include <sstream>
#include <vector>

#include "app/GameWindow.h"
#include "app/online/Json.h"
#include "app/replay/ReplayRecorder.h"
#include "app/replay/Script.h"
#include "game/GameState.h"

namespace {

constexpr int kRankedWidth = 1280;
constexpr int kRankedHeight = 720;

std::string urlEncode(const std::string& s) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

}  // namespace

Leaderboard::Leaderboard(HttpService& http, std::string server, std::string player)
    : http_(http), server_(std::move(server)), player_(std::move(player)) {
    while (!server_.empty() && server_.back() == '/') server_.pop_back();
    if (player_.empty()) player_ = "???";
}

bool Leaderboard::begin(RankedMode mode, std::string& message) {
    if (mode == RankedMode::Free) return false;
    const HttpReply r = http_.sendAndWait(
        "POST",
        server_ + "/api/v1/tickets?kind=" + (mode == RankedMode::Daily ? "daily" : "ranked"), "");
    JsonObject answer;
    parseJsonObject(r.body, answer);
    // Sent back as it came: printable ASCII, of a sane length.
    constexpr std::size_t kTicketMost = 1000;
    const std::string ticket = shownField(answer, "ticket", kTicketMost);
    if (r.status != 200 || ticket.empty() || answer.count("seed") == 0) {
        std::string why = r.status ? "status " + std::to_string(r.status) : r.error;
        if (const std::string error = shownField(answer, "error"); !error.empty())
            why += ": " + error;
        message = "no ticket from " + server_ + " (" + why + "): this game is not ranked";
        return false;
    }
    // A seed the game reads: a whole number that fits its 32 bits.
    const long long value = answer["seed"].number;
    if (value < 0 || value > UINT32_MAX || ticket.size() > kTicketMost ||
        ticket.find('?') != std::string::npos) {
        message = "the server's ticket is not one this game reads: this game is not ranked";
        return false;
    }
    ticket_ = ticket;
    seed_ = static_cast<uint32_t>(value);
    message = std::string(mode == RankedMode::Daily ? "today's run" : "a ranked game") + " on " +
              server_ + ": your first game counts";
    return true;
}

Rect Leaderboard::FieldWindows::clientRect(WindowHandle w) {
    // Start-up reads the field from the client area once; afterwards the
    // frame is placed, scaled, in the real window.
    if (!gameWindow || gameWindow->startCountdown >= 0) return {0, 0, kRankedWidth, kRankedHeight};
    return inner->clientRect(w);
}

PlatformServices Leaderboard::wrap(const PlatformServices& host) {
    if (!ranked()) return host;
    clock_.inner = host.clock;
    clock_.seed = seed_;
    windows_.inner = host.windows;
    PlatformServices services = host;
    services.clock = &clock_;
    services.windows = &windows_;
    return services;
}

void Leaderboard::gameOver(const ReplayRecorder& recorder) {
    if (!ranked() || sent_) return;
    sent_ = true;
    tell("voidrunner: sending the ranked run (" + std::to_string(gameState.score) + " points)");
    submit(ticket_, player_, gameState.score, recorder.text(), "");
}

void Leaderboard::submit(const std::string& ticket, const std::string& player, int score,
                         const std::string& replay, const std::string& keptFile) {
    const std::string url = server_ + "/api/v1/runs?ticket=" + urlEncode(ticket) +
                            "&player=" + urlEncode(player) + "&score=" + std::to_string(score);
    // Runs on the service's thread: only the console and the kept folder,
    // and nothing of this object, which may be gone by then.
    const std::shared_ptr<Said> said = shared();
    // The host's file service: a process-long object, unlike this one.
    FileStorage* files = platform().files;
    http_.send(
        "POST", url, replay,
        [said, files, folder = keptFolder, ticket, player, score, replay,
         keptFile](const HttpReply& r) {
            JsonObject answer;
            parseJsonObject(r.body, answer);
            if (r.status == 201) {
                tell(*said, "voidrunner: the run is listed (run " + shownField(answer, "id") + ")");
            } else if (r.status >= 400 && r.status < 500 && r.status != 429) {
                tell(*said,
                     "voidrunner: the server refused the run: " + shownField(answer, "error"));
            } else {
                if (!keptFile.empty() || keep(*files, folder, ticket, player, score, replay))
                    tell(*said, "voidrunner: the server cannot be reached; the run is kept in " +
                                    folder + "/ and sent at the next ranked launch");
                else
                    tell(*said,
                         "voidrunner: the server cannot be reached, and the run could "
                         "not be kept in " +
                             folder + "/");
                return;
            }
            if (!keptFile.empty()) files->remove(keptFile.c_str());
        });
}

bool Leaderboard::keep(FileStorage& files, const std::string& folder, const std::string& ticket,
                       const std::string& player, int score, const std::string& replay) {
    const std::string name = folder + "/run-" +
                             ticket.substr(ticket.size() > 16 ? ticket.size() - 16 : 0) + ".txt";
    return files.makeFolder(folder.c_str()) &&
           files.replace(name.c_str(), ticket + ' ' + escapeInitials(player) + ' ' +
                                           std::to_string(score) + '\n' + replay);
}

void Leaderboard::sendKept() {
    FileStorage& files = *platform().files;
    std::vector<std::string> names;
    if (!files.list(keptFolder.c_str(), names)) return;
    for (const std::string& name : names) {
        const std::string path = keptFolder + "/" + name;
        std::string text;
        // Larger than any replay the server takes.
        if (files.read(path.c_str(), text, std::size_t{16} << 20) != StoredFile::read) continue;
        std::istringstream in(text);
        std::string ticket, escaped, player;
        int score = 0;
        if (!(in >> ticket >> escaped >> score) || !unescapeInitials(escaped, player) ||
            in.get() != '\n')
            continue;
        submit(ticket, player, score, text.substr(static_cast<std::size_t>(in.tellg())), path);
    }
}

void Leaderboard::tell(Said& said, const std::string& text) {
    std::lock_guard lock(said.mutex);
    said.last = text;
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
    if (said.onMessage) said.onMessage(text);
}

std::shared_ptr<Leaderboard::Said> Leaderboard::shared() {
    std::lock_guard lock(said_->mutex);
    said_->onMessage = onMessage;
    return said_;
}

void Leaderboard::tell(const std::string& text) { tell(*shared(), text); }

std::string Leaderboard::lastResult() {
    std::lock_guard lock(said_->mutex);
    return said_->last;
}
