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
constexpr int kLinesRead = 100;

bool toldUnreadable = false;

std::string trimmed(const std::string& s) {
    const std::size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// A line's name and value (the rest, trimmed); false for a blank line or
// a comment.
bool split(const std::string& line, std::string& name, std::string& value) {
    const std::string t = trimmed(line);
    if (t.empty() || t[0] == '#') return false;
    const std::size_t gap = t.find_first_of(" \t");
    name = t.substr(0, gap);
    value = gap == std::string::npos ? "" : trimmed(t.substr(gap));
    return true;
}

bool keyReads(const std::string& key) {
    if (key.size() < 16 || key.size() > 128) return false;
    for (const char c : key)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '_'))
            return false;
    return true;
}

// Takes one line into the settings; why not, when it cannot.
std::string take(HostSettings& s, const std::string& name, const std::string& value) {
    const bool oneWord = !value.empty() && value.find_first_of(" \t") == std::string::npos;
    if (name == "mute") {
        if (value != "0" && value != "1") return "mute is 0 or 1";
        s.muted = value == "1";
    } else if (name == "volume") {
        if (value.size() > 2 || value.empty() ||
            value.find_first_not_of("0123456789") != std::string::npos ||
            (value.size() == 2 && value != "10"))
            return "volume is 0 to 10";
        s.volume = std::stoi(value);
    } else if (name == "replays") {
        int kept = 0;
        const char* end = value.data() + value.size();
        auto [ptr, ec] = std::from_chars(value.data(), end, kept);
        if (!oneWord || ec != std::errc() || ptr != end || kept < 0 || kept > 100000)
            return "replays is 0 to 100000";
        s.replaysKept = kept;
    } else if (name == "leaderboard") {
        if (!oneWord || (value.rfind("http://", 0) != 0 && value.rfind("https://", 0) != 0))
            return "leaderboard is an address starting http:// or https://";
        s.leaderboard = value;
    } else if (name == "look") {
        if (value != "vector" && value != "pixels") return "look is vector or pixels";
        s.vectorLook = value == "vector";
    } else if (name == "glow") {
        if (value != "on" && value != "off") return "glow is on or off";
        s.glow = value == "on";
    } else if (name == "player") {
        std::string why;
        if (!readPlayerSetting(value, s.player, s.playerKey, why)) return why;
    } else {
        return "not a setting this game knows";
    }
    return {};
}

// Quoted for a message: at most 40 bytes, anything unprintable as '?'.
std::string quoted(const std::string& line) {
    std::string out;
    for (const char c : line.substr(0, 40))
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
    return "\"" + out + (line.size() > 40 ? "...\"" : "\"");
}

StoredFile readText(const char* path, std::string& text, bool quiet = false) {
    const StoredFile state = platform().files->read(path, text, settingsLimit);
    if (state == StoredFile::unreadable && !quiet) {
        if (!toldUnreadable)
            std::fprintf(stderr,
                         "voidrunner: %s is ignored: it cannot be read, is not a plain file "
                         "or is over 64 KiB; the default settings are used\n",
                         path);
        toldUnreadable = true;
    }
    return state;
}

// The file with `values` (name -> value) in place of their lines: each
// replaces the first line of its name that was taken, later taken lines of
// that name go, and a name with no such line is added at the end. Lines
// not taken, comments and blanks stay as they were.
std::string merged(const std::string& old,
                   const std::vector<std::pair<std::string, std::string>>& values) {
    std::vector<bool> placed(values.size(), false);
    std::string out;
    std::istringstream in(old);
    std::string line;
    HostSettings scratch;
    while (std::getline(in, line)) {
        std::string name, value;
        std::size_t which = values.size();
        if (split(line, name, value))
            for (std::size_t i = 0; i < values.size(); ++i)
                if (values[i].first == name && take(scratch, name, value).empty()) which = i;
        if (which == values.size()) {
            out += line + "\n";
        } else if (!placed[which]) {
            placed[which] = true;
            // Another name's key is the player's too: kept, as a comment.
            if (name == "player" && value.find(" key ") != std::string::npos &&
                value != values[which].second)
                out += "# " + trimmed(line) + "\n";
            if (!values[which].second.empty()) out += name + " " + values[which].second + "\n";
        }
    }
    for (std::size_t i = 0; i < values.size(); ++i)
        if (!placed[i] && !values[i].second.empty())
            out += values[i].first + " " + values[i].second + "\n";
    return out;
}

}  // namespace

std::string playerSetting(const std::string& name, const std::string& key) {
    return key.empty() ? name : name + " key " + key;
}

bool readPlayerSetting(const std::string& value, std::string& name, std::string& key,
                       std::string& why) {
    std::string v = trimmed(value);
    if (v.rfind("player ", 0) == 0) v = trimmed(v.substr(7));
    std::string n = v, k;
    const std::size_t at = v.rfind(" key ");
    if (at != std::string::npos && keyReads(trimmed(v.substr(at + 5)))) {
        n = trimmed(v.substr(0, at));
        k = trimmed(v.substr(at + 5));
    }
    n = composedName(n);
    why = playerNameProblem(n);
    if (!why.empty()) return false;
    name = n;
    key = k;
    return true;
}

HostSettings loadSettings(const char* path) {
    HostSettings settings;
    std::string text;
    if (readText(path, text) == StoredFile::unreadable) return settings;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; number <= kLinesRead && std::getline(in, line); ++number) {
        std::string name, value;
        if (!split(line, name, value)) continue;
        if (const std::string why = take(settings, name, value); !why.empty())
            settings.notTaken.push_back(std::string(path) + " line " + std::to_string(number) +
                                        ", " + quoted(trimmed(line)) + ", is not taken: " + why);
    }
    return settings;
}

bool saveSettings(const HostSettings& settings, const char* path) {
    std::string old;
    readText(path, old, true);
    // Written as the table is: a crash leaves the old file or the new.
    return platform().files->replace(
        path, merged(old, {{"mute", settings.muted ? "1" : "0"},
                           {"replays", std::to_string(settings.replaysKept)},
                           {"volume", std::to_string(settings.volume)},
                           {"look", settings.vectorLook ? "vector" : "pixels"},
                           {"glow", settings.glow ? "on" : ""}}));
}

bool saveSetting(const std::string& name, const std::string& value, const char* path) {
    std::string old;
    readText(path, old, true);
    return platform().files->replace(path, merged(old, {{name, value}}));
}
