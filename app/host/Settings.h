// The player's choices the host keeps between runs, in a small plain-text
// file beside "save.txt" (through the installed file storage): one
// "name value" pair a line. Anything it cannot read is ignored and the
// default stays; a file that is not a settings file at all is said once.
#pragma once

#include <string>

struct HostSettings {
    bool muted = false;
    // How many replays replays/ keeps ("replays N", 0 to 100000); 0 records
    // none.
    int replaysKept = 50;
    // The online leaderboard ("leaderboard URL"); none: the game never goes
    // online. The name runs are listed under ("player NAME").
    std::string leaderboard = {};
    std::string player = {};
    // The sound's loudness in steps of a tenth ("volume N", 0 to 10).
    int volume = 10;
    // How the window shows the frame ("look vector" or "look pixels"): its
    // drawing done again at the window's own pixels, or the field's pixels
    // enlarged by whole steps.
    bool vectorLook = true;
    // A soft glow round the vector look's lines ("glow on" or "glow off").
    bool glow = false;
};

constexpr const char* kSettingsFile = "settings.txt";

HostSettings loadSettings(const char* path = kSettingsFile);
// False when the file could not be written (the choice then lasts this run).
bool saveSettings(const HostSettings& settings, const char* path = kSettingsFile);
