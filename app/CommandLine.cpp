#include "app/CommandLine.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#ifndef VR_VERSION
#error "VR_VERSION must come from the build (the CMake project's version)"
#endif

namespace {

const char* const kHelpHead =
    "Usage: voidrunner [OPTION]...\n"
    "Steer a ship through a wrap-around field of rocks and saucers.\n"
    "\n"
    "  --fullscreen    play on the whole screen\n"
    "  --replay FILE   play back the game recorded in FILE: hold SPACE for eight\n"
    "                  times the pace, Esc or Q ends it\n"
    "  --ranked        a ranked game on the leaderboard settings.txt names\n"
    "  --daily         today's run on that leaderboard\n"
    "  --player NAME   the name ranked runs are listed under (claimed on the\n"
    "                  leaderboard if new; kept in settings.txt)\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "Keys:\n";
const char* const kHelpTail =
    "After the last ship, type three characters to sign a high score (P, M, W,\n"
    "A, D, - and + are letters then) and press SPACE twice for a new game.\n"
    "\n"
    "In the folder the game starts in: save.txt, the high-score table;\n"
    "settings.txt, lines \"mute 0|1\", \"volume 0-10\", \"look vector|pixels\",\n"
    "\"glow on|off\", \"replays N\" (how many recorded runs to keep),\n"
    "\"leaderboard URL\" (the online leaderboard of --ranked and --daily) and\n"
    "\"player NAME\" (the name ranked runs are listed under); replays/, every run\n"
    "recorded, for --replay; and snd/*.wav, the sounds.\n";

struct KeyLine {
    const char* keys;
    const char* does;
};
constexpr KeyLine kKeys[] = {
#define VR_KEY(keys, does, box) {keys, does},
#include "app/host/Keys.def"
#undef VR_KEY
};

// The keys of app/host/Keys.def, a key a line, what they do wrapped at 79
// columns under itself.
std::string keyLines() {
    std::size_t width = 0;
    for (const KeyLine& k : kKeys) width = std::max(width, std::strlen(k.keys));
    const std::size_t indent = 2 + width + 2;
    std::string out;
    for (const KeyLine& k : kKeys) {
        std::string line = "  " + std::string(k.keys);
        line.resize(indent, ' ');
        bool fresh = true;
        for (std::string_view rest = k.does; !rest.empty();) {
            const std::size_t space = rest.find(' ');
            const std::string_view word = rest.substr(0, space);
            rest.remove_prefix(space == std::string_view::npos ? rest.size() : space + 1);
            if (!fresh && line.size() + 1 + word.size() > 79) {
                out += line + "\n";
                line.assign(indent, ' ');
                fresh = true;
            }
            if (!fresh) line += ' ';
            line += word;
            fresh = false;
        }
        out += line + "\n";
    }
    return out;
}

}  // namespace

const char* programVersion() { return VR_VERSION; }

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    auto fail = [&cl](std::string what) {
        cl.error = "voidrunner: " + what + " (voidrunner --help lists the options)";
        return cl;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            cl.help = true;
        } else if (a == "--version") {
            cl.version = true;
        } else if (a == "--fullscreen") {
            cl.fullscreen = true;
        } else if (a == "--ranked") {
            cl.ranked = true;
        } else if (a == "--daily") {
            cl.daily = true;
        } else if (a == "--player") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return fail("--player needs a NAME");
            cl.player = args[++i];
        } else if (a.rfind("--player=", 0) == 0) {
            if (a.size() == 9) return fail("--player needs a NAME");
            cl.player = a.substr(9);
        } else if (a == "--replay") {
            // The next word is the file, whatever it looks like, so that a
            // recording named "-x" can still be played.
            if (i + 1 >= args.size() || args[i + 1].empty()) return fail("--replay needs a FILE");
            cl.replayFile = args[++i];
        } else if (a.rfind("--replay=", 0) == 0) {
            if (a.size() == 9) return fail("--replay needs a FILE");
            cl.replayFile = a.substr(9);
        } else if (!a.empty() && a[0] == '-') {
            return fail("unknown option '" + a + "'");
        } else {
            return fail("unexpected argument '" + a + "'");
        }
    }
    return cl;
}

CommandLine parseCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc && argv; ++i) args.emplace_back(argv[i] ? argv[i] : "");
    return parseCommandLine(args);
}

CommandLineReply replyTo(const CommandLine& cl) {
    CommandLineReply reply;
    if (!cl.error.empty()) {
        reply = {true, true, 2, cl.error + "\n"};
    } else if (cl.help) {
        reply = {true, false, 0,
                 "Voidrunner " + std::string(programVersion()) + "\n" + kHelpHead + keyLines() +
                     kHelpTail};
    } else if (cl.version) {
        reply = {true, false, 0, "voidrunner " + std::string(programVersion()) + "\n"};
    }
    return reply;
}
