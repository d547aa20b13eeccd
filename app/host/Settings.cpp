#include "app/host/Settings.h"

#include <charconv>
#include <cstdio>
#include <sstream>
#include <string>

#include "app/online/RankedContract.h"
#include "platform/Platform.h"

namespace {

// A settings file is a few short lines; a file past this is not one, and
// is never read into memory (a huge file, a link to a device).
constexpr std::size_t settingsLimit = 64 * 1024;

bool toldUnreadable = false;

}  // namespace

HostSettings loadSettings(const char* path) {
    HostSettings settings;
    std::string text;
    const StoredFile state = platform().files->read(path, text, settingsLimit);
    if (state == StoredFile::unreadable) {
        if (!toldUnreadable)
            std::fprintf(stderr,
                         "voidrunner: %s is ignored: it cannot be read, is not a plain file "
                         "or is over 64 KiB; the default settings are used\n",
                         path);
        toldUnreadable = true;
        return settings;
    }
    std::istringstream in(text);
    std::string line;
    for (int lines = 0; lines < 100 && std::getline(in, line); ++lines) {
        std::istringstream fields(line);
        std::string name, value, extra;
        if (!(fields >> name >> value) || (fields >> extra)) continue;
        if (name == "mute" && (value == "0" || value == "1")) settings.muted = value == "1";
        if (name == "leaderboard" &&
            (value.rfind("http://", 0) == 0 || value.rfind("https://", 0) == 0))
            settings.leaderboard = value;
        if (name == "player" && playerNameProblem(value).empty()) settings.player = value;
        if (name == "look" && (value == "vector" || value == "pixels"))
            settings.vectorLook = value == "vector";
        if (name == "glow" && (value == "on" || value == "off")) settings.glow = value == "on";
        if (name == "volume" && value.size() <= 2 &&
            value.find_first_not_of("0123456789") == std::string::npos) {
            const int steps = std::stoi(value);
            if (steps <= 10) settings.volume = steps;
        }
        if (name == "replays") {
            int kept = 0;
            const char* end = value.data() + value.size();
            auto [ptr, ec] = std::from_chars(value.data(), end, kept);
            if (ec == std::errc() && ptr == end && kept >= 0 && kept <= 100000)
                settings.replaysKept = kept;
        }
    }
    return settings;
}

bool saveSettings(const HostSettings& settings, const char* path) {
    // Written as the table is: a crash leaves the old file or the new.
    std::string text = "mute ";
    text += settings.muted ? "1\n" : "0\n";
    text.append("replays ").append(std::to_string(settings.replaysKept)).append("\n");
    text.append("volume ").append(std::to_string(settings.volume)).append("\n");
    text.append("look ").append(settings.vectorLook ? "vector\n" : "pixels\n");
    if (settings.glow) text.append("glow on\n");
    if (!settings.leaderboard.empty())
        text.append("leaderboard ").append(settings.leaderboard).append("\n");
    if (!settings.player.empty()) text.append("player ").append(settings.player).append("\n");
    return platform().files->replace(path, text);
}
