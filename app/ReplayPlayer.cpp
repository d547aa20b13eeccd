#include "app/ReplayPlayer.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "app/GameWindow.h"
#include "app/ReplayRecorder.h"
#include "app/ScriptWords.h"
#include "game/ShipControls.h"
#include "game/Tick.h"
#include "present/Sound.h"

ReplayPlayer* replayPlayer = nullptr;

namespace {

// One script line into the replay; an error text, or nullptr.
const char* readLine(const std::vector<std::string_view>& w, Replay& r, bool playing) {
    const std::string_view cmd = w[0];
    const std::size_t args = w.size() - 1;
    long long a = 0, b = 0;
    ReplayCommand c;
    if (cmd == "field" || cmd == "seed" || cmd == "table") {
        if (playing) return "comes after play began";
        if (cmd == "field") {
            if (args != 2 || !parseTraceNumber(w[1], 1, 16384, a) ||
                !parseTraceNumber(w[2], 1, 16384, b))
                return "field takes a width and a height from 1 to 16384";
            r.fieldWidth = static_cast<int>(a);
            r.fieldHeight = static_cast<int>(b);
        } else if (cmd == "seed") {
            if (args != 1 || !parseTraceNumber(w[1], 0, UINT_MAX, a)) return "seed takes a number";
            r.seed = static_cast<unsigned>(a);
        } else {
            HighScoreEntry row;
            if ((args != 2 && args != 3) || !parseTraceNumber(w[1], INT_MIN, INT_MAX, a) ||
                !parseTraceNumber(w[2], INT_MIN, INT_MAX, b) ||
                (args == 3 && !unescapeInitials(w[3], row.initials)))
                return "table takes a score, a level and initials";
            if (r.table.size() == 10) return "table has ten rows at most";
            row.score = static_cast<int>(a);
            row.level = static_cast<int>(b);
            r.table.push_back(row);
        }
        return nullptr;
    }
    if (cmd == "tick") {
        if (args > 1 || (args == 1 && !parseTraceNumber(w[1], 0, INT_MAX, a)))
            return "tick takes a count";
        c.kind = ReplayCommand::Tick;
        c.value = args == 1 ? a : 1;
        r.ticks += c.value;
    } else if (cmd == "keys") {
        if (args != 1 || (w[1] != "-" && w[1].find_first_not_of("LRUS") != std::string_view::npos))
            return "keys takes - or letters of LRUS";
        c.kind = ReplayCommand::Keys;
        c.keys = w[1] == "-" ? "" : std::string(w[1]);
    } else if (cmd == "char") {
        if (args != 1 || !parseTraceNumber(w[1], 0, 255, a))
            return "char takes a code from 0 to 255";
        c.kind = ReplayCommand::Char;
        c.value = a;
    } else if (cmd == "mouse") {
        c.kind = ReplayCommand::Mouse;
        const std::string_view e = args == 1 ? w[1] : "";
        if (e == "ldown")
            c.value = wm::leftButtonDown;
        else if (e == "lup")
            c.value = wm::leftButtonUp;
        else if (e == "rdown")
            c.value = wm::rightButtonDown;
        else if (e == "rup")
            c.value = wm::rightButtonUp;
        else
            return "mouse takes ldown, lup, rdown or rup";
    } else if (cmd == "wheel") {
        if (args != 1 || !parseTraceNumber(w[1], INT_MIN, INT_MAX, a))
            return "wheel takes a number";
        c.kind = ReplayCommand::Wheel;
        c.value = a;
    } else {
        return "unknown command";
    }
    r.commands.push_back(std::move(c));
    return nullptr;
}

}  // namespace

bool parseReplay(const std::string& raw, Replay& out, std::string& error) {
    // A replay mailed through a system that turned its line ends into CR LF
    // is still the same replay.
    std::string text;
    text.reserve(raw.size());
    for (const char c : raw)
        if (c != '\r') text += c;

    const std::string_view all = text;
    const std::string_view first = all.substr(0, all.find('\n'));
    const std::string_view family = "# voidrunner replay ";
    if (first != kReplayHeader) {
        long long version = 0;
        if (first.substr(0, family.size()) == family &&
            parseTraceNumber(first.substr(family.size()), 2, LLONG_MAX, version)) {
            error = "made by a newer version of the game (replay format " +
                    std::string(first.substr(family.size())) + "); this one reads format 1";
        } else {
            error = "not a voidrunner replay (its first line is not \"" +
                    std::string(kReplayHeader) + "\")";
        }
        return false;
    }
    // The closing check line: "# end XXXXXXXX" over every byte before it.
    std::size_t endAt = text.size();
    if (endAt > 0 && text[endAt - 1] == '\n') --endAt;
    const std::size_t lastStart = text.rfind('\n', endAt == 0 ? 0 : endAt - 1);
    const std::size_t bodyEnd = lastStart == std::string::npos ? 0 : lastStart + 1;
    const std::string last = text.substr(bodyEnd, endAt - bodyEnd);
    if (last.rfind("# end ", 0) != 0) {
        error = "cut short (its closing \"# end\" line is missing)";
        return false;
    }
    const std::string body = text.substr(0, bodyEnd);
    if (replayChecksumLine(body) != last + "\n") {
        error = "changed after it was recorded (its check does not match)";
        return false;
    }

    Replay r;
    long long lineNumber = 0;
    std::size_t pos = 0;
    while (pos < body.size()) {
        std::size_t nl = body.find('\n', pos);
        if (nl == std::string::npos) nl = body.size();
        const std::string_view line = std::string_view(body).substr(pos, nl - pos);
        pos = nl + 1;
        ++lineNumber;
        const auto w = splitTraceWords(line);
        if (w.empty() || w[0][0] == '#') continue;
        if (const char* why = readLine(w, r, r.ticks > 0)) {
            error = "line " + std::to_string(lineNumber) + ": " + why + ": " +
                    std::string(line.substr(0, 80));
            return false;
        }
    }
    out = std::move(r);
    return true;
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
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        error = "cannot be read";
        return false;
    }
    return parseReplay(text, out, error);
}

bool ReplayPlayer::Keys::isHeld(Key key) {
    const char letter = key == Key::Left    ? 'L'
                        : key == Key::Right ? 'R'
                        : key == Key::Up    ? 'U'
                                            : 'S';
    return held.find(letter) != std::string::npos;
}

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
        if (next_ >= replay_.commands.size()) return false;
        const ReplayCommand& c = replay_.commands[next_++];
        GameWindow& window = *gameWindow;
        switch (c.kind) {
        case ReplayCommand::Keys: keys_.held = c.keys; break;
        case ReplayCommand::Tick: leftInTick_ = c.value; break;
        case ReplayCommand::Char:
            window.handleMessage(window.window, wm::character, static_cast<uintptr_t>(c.value), 0);
            break;
        case ReplayCommand::Mouse:
            window.handleMessage(window.window, static_cast<uint32_t>(c.value), 0,
                                 packPosition(0, 0));
            break;
        case ReplayCommand::Wheel: {
            const auto high = static_cast<uint16_t>(static_cast<uint32_t>(c.value) & 0xFFFFu);
            window.handleMessage(window.window, wm::mouseWheel, static_cast<uintptr_t>(high) << 16,
                                 packPosition(0, 0));
            break;
        }
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
    while (budget > 0 && runOneTick()) --budget;
    if (finished()) {
        stopSound();
        std::printf(
            "voidrunner: the replay ended after %lld ticks; press Esc or close the window\n",
            played_);
        std::fflush(stdout);
    }
}
