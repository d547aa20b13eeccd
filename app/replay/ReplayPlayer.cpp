#include "app/replay/ReplayPlayer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "app/GameWindow.h"
#include "game/Rules.h"
#include "game/ShipControls.h"
#include "game/Tick.h"
#include "present/Sound.h"

namespace {

// One script line into the replay; an error text, or nullptr.
const char* readLine(std::string_view line, ScriptReader& reader, Replay& r) {
    ScriptCommand c;
    const bool started = reader.started();
    if (const char* error = reader.read(line, c)) return error;
    switch (c.kind) {
    case ScriptCommand::None: return nullptr;
    case ScriptCommand::Field:
        r.fieldWidth = static_cast<int>(c.value);
        r.fieldHeight = static_cast<int>(c.value2);
        return nullptr;
    case ScriptCommand::Seed:
        // Start-up has taken the seed by then: a later one changes nothing.
        if (!started) r.seed = static_cast<unsigned>(c.value);
        return nullptr;
    case ScriptCommand::Table: {
        HighScoreEntry row;
        row.score = static_cast<int>(c.value);
        row.level = static_cast<int>(c.value2);
        row.initials = std::move(c.initials);
        r.table.push_back(std::move(row));
        return nullptr;
    }
    case ScriptCommand::Tick:
        // A run of ticks is one step, as long as its count fits.
        if (c.value == 0) return nullptr;
        if (!r.steps.empty() && r.steps.back().kind == ScriptCommand::Tick &&
            r.steps.back().value <= UINT32_MAX - c.value) {
            r.steps.back().value += static_cast<uint32_t>(c.value);
            return nullptr;
        }
        break;
    default: break;
    }
    // Every other value fits in 32 bits; of a wheel delta only the low 16
    // reach the message.
    r.steps.push_back({c.kind, static_cast<uint32_t>(c.value)});
    return nullptr;
}

std::string nullToEmpty(const char* text) { return text ? text : ""; }

// The number of a later replay format than this game reads: any number from
// 2, however many digits it has.
bool isNewerFormat(std::string_view number) {
    if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    number.remove_prefix(std::min(number.find_first_not_of('0'), number.size()));
    return number.size() > 1 || (number.size() == 1 && number[0] >= '2');
}

// Reads a replay a piece at a time, so that only the compact steps stay in
// memory, never the text: each line is checked and kept as it ends, the
// check line is compared at the end.
class ReplayReader {
public:
    void feed(std::string_view bytes) {
        for (const char c : bytes) {
            // A replay mailed through a system that turned its line ends
            // into CR LF is still the same replay.
            if (c == '\r') continue;
            sum_.add({&c, 1});
            if (c == '\n') {
                endLine();
                lineStart_ = sum_;
            } else if (line_.size() <= kMaxScriptLine) {
                line_ += c;
            }
        }
    }

    bool finish(Replay& out, std::string& error) {
        if (!line_.empty()) endLine();
        const std::string_view family = "# voidrunner replay ";
        if (first_ != kReplayHeader) {
            if (first_.starts_with(family) && isNewerFormat(first_.substr(family.size()))) {
                error = "made by a newer version of the game (replay format " +
                        quoteScriptLine(first_.substr(family.size()), 24) +
                        "); this one reads format 1";
            } else {
                error = "not a voidrunner replay (its first line is not \"" +
                        std::string(kReplayHeader) + "\")";
            }
            return false;
        }
        // The closing check line: "# end XXXXXXXX" over every byte before it.
        if (!last_.starts_with("# end ")) {
            error = "cut short (its closing \"# end\" line is missing)";
            return false;
        }
        if (lastStart_.line() != last_ + "\n") {
            error = "changed after it was recorded (its check does not match)";
            return false;
        }
        if (!lineError_.empty()) {
            error = lineError_;
            return false;
        }
        replay_.ticks = reader_.ticks();
        replay_.steps.shrink_to_fit();
        out = std::move(replay_);
        return true;
    }

private:
    void endLine() {
        ++lineNumber_;
        const bool tooLong = line_.size() > kMaxScriptLine;
        if (lineNumber_ == 1) first_ = line_;
        if (lineError_.empty()) {
            std::string why = tooLong ? "longer than " + std::to_string(kMaxScriptLine) + " bytes"
                                      : nullToEmpty(readLine(line_, reader_, replay_));
            if (why.empty() && inHeader_ && line_.starts_with(kReplayRulesPrefix) &&
                !readRules(
                    std::string_view(line_).substr(std::string_view(kReplayRulesPrefix).size())))
                why = "not a rules version";
            if (!line_.empty() && line_[0] != '#') inHeader_ = false;
            if (!why.empty())
                lineError_ = "line " + std::to_string(lineNumber_) + ": " + why + ": " +
                             quoteScriptLine(line_, 80);
        }
        last_.swap(line_);
        lastStart_ = lineStart_;
        line_.clear();
    }

    ReplayChecksum sum_;        // every byte so far
    ReplayChecksum lineStart_;  // every byte before the current line
    ReplayChecksum lastStart_;  // every byte before the last whole line
    std::string line_;          // the current line, cut past the longest allowed
    std::string last_;
    std::string first_;
    long long lineNumber_ = 0;
    std::string lineError_;  // the first line that cannot be understood
    ScriptReader reader_;
    Replay replay_;
    bool inHeader_ = true;  // only comment lines so far

    // The number of "# rules N": 1 to 9 digits, from 1.
    bool readRules(std::string_view number) {
        if (number.empty() || number.size() > 9 ||
            number.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        const int rules = std::stoi(std::string(number));
        if (rules < 1) return false;
        replay_.rules = rules;
        return true;
    }
};

}  // namespace

bool parseReplay(std::string_view text, Replay& out, std::string& error) {
    ReplayReader reader;
    reader.feed(text);
    return reader.finish(out, error);
}

bool loadReplayFile(const std::string& path, Replay& out, std::string& error) {
    // Days of play fit many times over; anything larger is not a replay,
    // and a device or pipe that never ends is not read at all.
    constexpr std::uintmax_t kMaxBytes = 64u << 20;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = std::filesystem::exists(path, ec) ? "not a file that can be read" : "no such file";
        return false;
    }
    if (std::filesystem::file_size(path, ec) > kMaxBytes || ec) {
        error = "too large to be a replay";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    ReplayReader reader;
    std::uintmax_t total = 0;
    std::vector<char> buffer(64 * 1024);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        total += got;
        if (total > kMaxBytes) {
            error = "too large to be a replay";
            return false;
        }
        reader.feed({buffer.data(), got});
    }
    if (!in.eof()) {
        error = "cannot be read";
        return false;
    }
    return reader.finish(out, error);
}

std::string replayRulesProblem(const Replay& replay) {
    if (replay.rules == kRulesVersion) return {};
    std::string why = "played by the game's rules " + std::to_string(replay.rules) +
                      "; this game plays rules " + std::to_string(kRulesVersion);
    if (replay.rules > kRulesVersion) why += ": update the game";
    return why;
}

bool ReplayPlayer::Keys::isHeld(Key key) { return (held & keyBit(key)) != 0; }

intptr_t ReplayPlayer::Windows::dispatchMessage(const Message& m) {
    switch (m.message) {
    case wm::character:
        if (m.wParam == 27 || m.wParam == 'q' || m.wParam == 'Q') inner->postQuitMessage(0);
        return 0;
    case wm::leftButtonDown:
    case wm::leftButtonUp:
    case wm::rightButtonDown:
    case wm::rightButtonUp:
    case wm::mouseWheel: return 0;
    default: return inner->dispatchMessage(m);
    }
}

PlatformServices ReplayPlayer::wrap(const PlatformServices& host) {
    hostKeys_ = host.keys;
    clock_.inner = host.clock;
    clock_.seed = replay_.seed;
    windows_.inner = host.windows;
    windows_.width = replay_.fieldWidth;
    windows_.height = replay_.fieldHeight;
    PlatformServices services = host;
    services.windows = &windows_;
    services.keys = &keys_;
    services.clock = &clock_;
    // The table starts as the replay says and is signed in memory only.
    services.saves = &saves_;
    return services;
}

bool ReplayPlayer::runOneTick() {
    while (leftInTick_ == 0) {
        if (next_ >= replay_.steps.size()) return false;
        const ReplayStep& c = replay_.steps[next_++];
        GameWindow& window = *gameWindow;
        switch (c.kind) {
        case ScriptCommand::Keys: keys_.held = c.value; break;
        case ScriptCommand::Tick: leftInTick_ = c.value; break;
        case ScriptCommand::Char:
            window.handleMessage(window.window, wm::character, static_cast<uintptr_t>(c.value), 0);
            break;
        case ScriptCommand::Mouse:
            window.handleMessage(window.window, static_cast<uint32_t>(c.value), 0,
                                 packPosition(0, 0));
            break;
        case ScriptCommand::Wheel:
            window.handleMessage(window.window, wm::mouseWheel, wheelParam(c.value),
                                 packPosition(0, 0));
            break;
        default: break;
        }
    }
    --leftInTick_;
    pollKeys();
    tick();
    ++played_;
    if (!tableSet_ && gameWindow && gameWindow->startCountdown < 0) {
        // The table the recorded game started with, in place of save.txt's.
        for (std::size_t r = 0; r < replay_.table.size(); ++r)
            highScoreTable.rows[r] = replay_.table[r];
        tableSet_ = true;
    }
    return true;
}

void ReplayPlayer::step() {
    if (finished()) return;
    int budget = hostKeys_ && hostKeys_->isHeld(Key::Space) ? kFastForward : 1;
    speed_ = budget;
    while (budget > 0 && runOneTick()) --budget;
    if (finished()) {
        stopSound();
        std::printf(
            "voidrunner: the replay ended after %lld ticks; press Esc or close the window\n",
            played_);
        std::fflush(stdout);
    }
}
