#include "app/ReplayRecorder.h"

#include <cstdio>
#include <initializer_list>
#include <string_view>

#include "app/CommandLine.h"
#include "app/GameWindow.h"
#include "app/ReplayFolder.h"
#include "game/GameState.h"
#include "scores/HighScores.h"

ReplayRecorder* replayRecorder = nullptr;

namespace {

// The script's key letters, in the order of slot().
constexpr char kLetters[4] = {'L', 'R', 'U', 'S'};

int slot(Key key) {
    switch (key) {
    case Key::Left: return 0;
    case Key::Right: return 1;
    case Key::Up: return 2;
    default: return 3;
    }
}

// FNV-1a: enough to tell a replay changed by hand or cut short.
uint32_t checksum(const std::string& text) {
    uint32_t h = 2166136261u;
    for (const char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    return h;
}

// Appends the parts and a line end. (Built with appends: GCC 12 warns
// wrongly about the temporaries of chained string additions.)
void addLine(std::string& to, std::initializer_list<std::string_view> parts) {
    for (const std::string_view p : parts) to.append(p);
    to += '\n';
}

void addTicks(std::string& to, long long n) {
    if (n == 1) addLine(to, {"tick"});
    if (n > 1) addLine(to, {"tick ", std::to_string(n)});
}

}  // namespace

std::string escapeInitials(const std::string& initials) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : initials) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 33 || c > 126 || c == '%') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

bool unescapeInitials(std::string_view word, std::string& out) {
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    out.clear();
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] != '%') {
            out += word[i];
            continue;
        }
        if (i + 2 >= word.size()) return false;
        const int hi = digit(word[i + 1]);
        const int lo = digit(word[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

bool ReplayRecorder::LatchingKeys::isHeld(Key key) {
    const int i = slot(key);
    if (!read[i]) {
        value[i] = inner->isHeld(key);
        read[i] = true;
    }
    return value[i];
}

unsigned ReplayRecorder::SeedClock::randomSeed() {
    seed = inner->randomSeed();
    return seed;
}

KeyState& ReplayRecorder::keys(KeyState& inner) {
    keys_.inner = &inner;
    return keys_;
}

Clock& ReplayRecorder::clock(Clock& inner) {
    clock_.inner = &inner;
    return clock_;
}

void ReplayRecorder::beginPoll() {
    for (bool& r : keys_.read) r = false;
}

void ReplayRecorder::writeKeys() {
    // Keys the poll never read did not matter to it: they keep the value the
    // script last gave, which saves a line whenever they differ.
    char letters[5] = {};
    int n = 0;
    for (int i = 0; i < 4; ++i) {
        const bool held = keys_.read[i] ? keys_.value[i]
                                        : written_.find(kLetters[i]) != std::string::npos;
        if (held) letters[n++] = kLetters[i];
    }
    const std::string_view set = n ? std::string_view(letters, static_cast<std::size_t>(n)) : "-";
    if (set == written_) return;
    flushTicks();
    addLine(body_, {"keys ", set});
    written_ = set;
}

void ReplayRecorder::flushTicks() {
    if (pendingTicks_ == 0) return;
    addTicks(body_, pendingTicks_);
    pendingTicks_ = 0;
}

void ReplayRecorder::noteStartUp() {
    head_.clear();
    addLine(head_, {"field ", std::to_string(gameState.fieldWidth), " ",
                    std::to_string(gameState.fieldHeight)});
    addLine(head_, {"seed ", std::to_string(clock_.seed)});
    for (const HighScoreEntry& row : highScoreTable.rows) {
        // Empty initials (only a broken save file gives them) leave the word out.
        addLine(head_, {"table ", std::to_string(row.score), " ", std::to_string(row.level),
                        row.initials.empty() ? "" : " ", escapeInitials(row.initials)});
    }
    started_ = true;
}

void ReplayRecorder::tickRan() {
    writeKeys();
    ++pendingTicks_;
    ++ticks_;
    if (!started_ && gameWindow && gameWindow->startCountdown < 0) noteStartUp();
    if (!started_) return;
    if (gameState.score > best_) best_ = gameState.score;
    const bool over = gameState.shipDestroyed != 0;
    if (over && !wasOver_) {
        save();
        if (onGameOver) onGameOver(*this);
    }
    wasOver_ = over;
    wasEntering_ = gameState.enteringInitials != 0;
}

void ReplayRecorder::typed(uintptr_t code) {
    writeKeys();
    flushTicks();
    // Codes from 256 up reach only the key step; 128 stands for them, as it
    // too changes nothing but what the key step does.
    addLine(body_, {"char ", std::to_string(code < 256 ? code : 128)});
    const bool entering = gameState.enteringInitials != 0;
    if (started_ && wasEntering_ && !entering) save();
    wasEntering_ = entering;
}

void ReplayRecorder::mouse(uint32_t message) {
    const char* name = message == wm::leftButtonDown    ? "ldown"
                       : message == wm::leftButtonUp    ? "lup"
                       : message == wm::rightButtonDown ? "rdown"
                                                        : "rup";
    flushTicks();
    addLine(body_, {"mouse ", name});
}

void ReplayRecorder::wheel(uintptr_t wParam) {
    flushTicks();
    const auto high = static_cast<int16_t>(static_cast<uint16_t>((wParam >> 16) & 0xFFFFu));
    addLine(body_, {"wheel ", std::to_string(high)});
}

void ReplayRecorder::save() {
    if (folder) folder->write(*this);
}

std::string ReplayRecorder::text() const {
    std::string out;
    out.reserve(head_.size() + body_.size() + 80);
    addLine(out, {kReplayHeader});
    // The game that made it: a server re-plays a run only with the same core.
    addLine(out, {kReplayVersionPrefix, programVersion()});
    out += head_;
    out += body_;
    addTicks(out, pendingTicks_);
    out += replayChecksumLine(out);
    return out;
}

std::string replayChecksumLine(const std::string& text) {
    char line[64];
    std::snprintf(line, sizeof line, "# end %08x\n", checksum(text));
    return line;
}
