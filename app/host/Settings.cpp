#include "app/host/Settings.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

HostSettings loadSettings(const char* path) {
    HostSettings settings;
    std::ifstream in(path);
    std::string line;
    // A settings file is a few bytes; a huge one is not ours.
    for (int lines = 0; lines < 100 && std::getline(in, line); ++lines) {
        std::istringstream fields(line);
        std::string name, value, extra;
        if (!(fields >> name >> value) || (fields >> extra)) continue;
        if (name == "mute" && (value == "0" || value == "1")) settings.muted = value == "1";
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
    // Written aside and renamed over: a crash leaves the old file or the new.
    const std::string temporary = std::string(path) + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << "mute " << (settings.muted ? 1 : 0) << '\n';
        out << "replays " << settings.replaysKept << '\n';
        out << "volume " << settings.volume << '\n';
        out.flush();
        if (!out) {
            out.close();
            std::remove(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path) == 0) return true;
    // Windows will not rename over an existing file.
    std::remove(path);
    if (std::rename(temporary.c_str(), path) == 0) return true;
    std::remove(temporary.c_str());
    return false;
}
