#include "app/replay/ReplayRecorder.h"

#include "app/CommandLine.h"
#include "app/GameWindow.h"
#include "app/replay/Script.h"
#include "game/GameState.h"
#include "game/Rules.h"
#include "scores/HighScores.h"

namespace {

void addLine(std::string& to, ScriptCommand::Kind kind, long long value) {
    ScriptCommand c;
    c.kind = kind;
    c.value = value;
    writeScriptLine(to, c);
}

}  // namespace

bool ReplayRecorder::LatchingKeys::isHeld(Key key) {
    const auto i = static_cast<int>(key);
    if (!read[i]) {
        value[i] = inner->isHeld(key);
        read[i] = true;
    }
    return value[i];
}

unsigned ReplayRecorder::RecordingClock::randomSeed() {
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
    unsigned set = 0;
    for (int i = 0; i < 4; ++i) {
        const unsigned bit = keyBit(static_cast<Key>(i));
        if (keys_.read[i] ? keys_.value[i] : (written_ & bit) != 0) set |= bit;
    }
    if (set == written_) return;
    flushTicks();
    addLine(body_, ScriptCommand::Keys, set);
    written_ = set;
}

void ReplayRecorder::flushTicks() {
    if (pendingTicks_ == 0) return;
    addLine(body_, ScriptCommand::Tick, pendingTicks_);
    pendingTicks_ = 0;
}

void ReplayRecorder::noteStartUp() {
    head_.clear();
    ScriptCommand c;
    c.kind = ScriptCommand::Field;
    c.value = gameState.fieldWidth;
    c.value2 = gameState.fieldHeight;
    writeScriptLine(head_, c);
    addLine(head_, ScriptCommand::Seed, clock_.seed);
    c.kind = ScriptCommand::Table;
    for (const HighScoreEntry& row : highScoreTable.rows) {
        c.value = row.score;
        c.value2 = row.level;
        c.initials = row.initials;
        writeScriptLine(head_, c);
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
    if (!over && wasOver_ && onNewGame) onNewGame();
    wasOver_ = over;
    wasEntering_ = gameState.enteringInitials != 0;
}

void ReplayRecorder::typed(uintptr_t code) {
    writeKeys();
    flushTicks();
    // Codes from 256 up reach only the key step; 128 stands for them, as it
    // too changes nothing but what the key step does.
    addLine(body_, ScriptCommand::Char, code < 256 ? static_cast<long long>(code) : 128);
    const bool entering = gameState.enteringInitials != 0;
    if (started_ && wasEntering_ && !entering) save();
    wasEntering_ = entering;
}

void ReplayRecorder::mouse(uint32_t message) {
    flushTicks();
    addLine(body_, ScriptCommand::Mouse, message);
}

void ReplayRecorder::wheel(uintptr_t wParam) {
    flushTicks();
    const auto high = static_cast<int16_t>(static_cast<uint16_t>((wParam >> 16) & 0xFFFFu));
    addLine(body_, ScriptCommand::Wheel, high);
}

void ReplayRecorder::save() {
    if (folder) folder->write(*this);
}

std::string ReplayRecorder::text() const {
    std::string out;
    out.reserve(head_.size() + body_.size() + 80);
    out += kReplayHeader;
    out += '\n';
    out += kReplayVersionPrefix;
    out += programVersion();
    out += '\n';
    out += kReplayRulesPrefix;
    out += std::to_string(kRulesVersion);
    out += '\n';
    out += head_;
    out += body_;
    addLine(out, ScriptCommand::Tick, pendingTicks_);
    out += replayChecksumLine(out);
    return out;
}
