// The script language of the trace tool and of replays: one command a line,
// read here for the trace tool and the replay player, written here for the
// recorder. A new command is a Kind, a case in ScriptReader::read and one
// in writeScriptLine; its users then say what it does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

// Longer lines are refused unread: no command needs more.
constexpr std::size_t kMaxScriptLine = 4096;

struct ScriptCommand {
    enum Kind : uint8_t { None, Field, Seed, Table, Keys, Tick, Char, Mouse, Wheel };
    Kind kind = None;  // None: a blank or comment line
    // Field: width; Seed: the seed; Table: score; Keys: a set of keyBit;
    // Tick: the count; Char: the code; Mouse: the wm:: message; Wheel: the
    // delta as given.
    long long value = 0;
    long long value2 = 0;  // Field: height; Table: level
    std::string initials;  // Table
};

constexpr unsigned keyBit(Key key) { return 1u << static_cast<int>(key); }

// The wheel delta as the message carries it: wParam's high word, 16 bits.
uintptr_t wheelParam(long long delta);

// Reads a script line by line, keeping what the rules need: the ticks so
// far (field and table come only before start-up) and the table's rows.
class ScriptReader {
public:
    // One line without its line end. Returns nullptr with the command in
    // out, or a fixed text saying what is wrong with the line.
    const char* read(std::string_view line, ScriptCommand& out);
    long long ticks() const { return ticks_; }
    // Start-up has run: the countdown's ticks are over.
    bool started() const;

private:
    long long ticks_ = 0;
    int tableRows_ = 0;
};

// Appends the command as one line with its line end. A Tick of 0 writes
// nothing; Table initials are escaped.
void writeScriptLine(std::string& to, const ScriptCommand& command);

// A line for a message: at most `max` bytes, and every byte that could
// steer a terminal (controls, and all outside ASCII) as \xNN.
std::string quoteScriptLine(std::string_view line, std::size_t max = kMaxScriptLine);

// Initials with bytes outside the printable range (and '%') as %XX, so a
// row stays one word of a line; and back (false for a bad escape).
std::string escapeInitials(const std::string& initials);
bool unescapeInitials(std::string_view word, std::string& out);

// A replay is a script between two comment lines: this header, and a check
// of every byte before the last line, "# end XXXXXXXX", so a replay cut
// short or changed by hand is recognised.
constexpr const char* kReplayHeader = "# voidrunner replay 1";
// A header line "# rules N": the rules the run was played by
// (kRulesVersion). Readers that predate it skip it as a comment; a replay
// without it was played by rules 1.
constexpr const char* kReplayRulesPrefix = "# rules ";
std::string replayChecksumLine(std::string_view text);
// The check as it grows, a piece at a time.
struct ReplayChecksum {
    uint32_t value = 2166136261u;
    void add(std::string_view text);
    std::string line() const;
};
