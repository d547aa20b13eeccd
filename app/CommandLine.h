// The program's options, parsed without touching the platform so that the
// Linux main and WinMain read them the same way. --help and --version are
// answered before any window or display is opened.
#pragma once

#include <string>
#include <vector>

struct CommandLine {
    bool help = false;
    bool version = false;
    bool fullscreen = false;
    bool ranked = false;     // a ticket from the leaderboard server for this game
    bool daily = false;      // the day's run
    std::string player;      // --player NAME: the name ranked runs go under (claimed if new)
    std::string replayFile;  // empty: play, not replay
    std::string error;       // not empty: one line saying what was wrong
};

// args are the arguments after the program's name.
CommandLine parseCommandLine(const std::vector<std::string>& args);
// argv[0], the program's name, is skipped.
CommandLine parseCommandLine(int argc, const char* const* argv);

// What the program answers before it plays. When done is set the program
// shows text (on stderr or as an error when isError, else on stdout) and
// ends with exitCode.
struct CommandLineReply {
    bool done = false;
    bool isError = false;
    int exitCode = 0;
    std::string text;
};
CommandLineReply replyTo(const CommandLine& commandLine);

// "1.2.3", from the build's project version.
const char* programVersion();
