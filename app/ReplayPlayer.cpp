#include "app/ReplayPlayer.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "app/GameWindow.h"
#include "game/ShipControls.h"
#include "game/Tick.h"
#include "present/Sound.h"

ReplayPlayer* replayPlayer = nullptr;

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
    default: break;
    }
    r.commands.push_back({c.kind, c.value});
    return nullptr;
}

// The number of a later replay format than this game reads.
bool isNewerFormat(std::string_view number) {
    long long version = 0;
    const char* end = number.data() + number.size();
    auto [ptr, ec] = std::from_chars(number.data(), end, version);
    return ec == std::errc() && ptr == end && version >= 2;
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
        if (first.substr(0, family.size()) == family &&
            isNewerFormat(first.substr(family.size()))) {
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
    ScriptReader reader;
    long long lineNumber = 0;
    std::size_t pos = 0;
    while (pos < body.size()) {
        std::size_t nl = body.find('\n', pos);
        if (nl == std::string::npos) nl = body.size();
        const std::string_view line = std::string_view(body).substr(pos, nl - pos);
        pos = nl + 1;
        ++lineNumber;
        if (const char* why = readLine(line, reader, r)) {
            error = "line " + std::to_string(lineNumber) + ": " + why + ": " +
                    std::string(line.substr(0, 80));
            return false;
        }
    }
    r.ticks = reader.ticks();
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
        if (next_ >= replay_.commands.size()) return false;
        const ReplayCommand& c = replay_.commands[next_++];
        GameWindow& window = *gameWindow;
        switch (c.kind) {
        case ScriptCommand::Keys: keys_.held = static_cast<unsigned>(c.value); break;
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
    while (budget > 0 && runOneTick()) --budget;
    if (finished()) {
        stopSound();
        std::printf(
            "voidrunner: the replay ended after %lld ticks; press Esc or close the window\n",
            played_);
        std::fflush(stdout);
    }
}
