// The player's choices the host keeps between runs, in a small plain-text
// file beside "save.txt" (through the installed file storage): one
// "name value" pair a line. A line it cannot take (an unknown name, a value
// out of range) is kept in the file as it is, and said once with why; the
// default then stays. Comments (#) and blank lines are kept too. A file
// that is not a settings file at all is said once.
#pragma once

#include <string>
#include <vector>

struct HostSettings {
    bool muted = false;
    // How many replays replays/ keeps ("replays N", 0 to 100000); 0 records
    // none.
    int replaysKept = 50;
    // The online leaderboard ("leaderboard URL"); none: the game never goes
    // online. The name runs are listed under and the key that claimed it
    // ("player NAME" or "player NAME key KEY": the one line a player copies
    // to another device).
    std::string leaderboard = {};
    std::string player = {};
    std::string playerKey = {};
    // The sound's loudness in steps of a tenth ("volume N", 0 to 10).
    int volume = 10;
    // How the window shows the frame ("look vector" or "look pixels"): its
    // drawing done again at the window's own pixels, or the field's pixels
    // enlarged by whole steps.
    bool vectorLook = true;
    // A soft glow round the vector look's lines ("glow on" or "glow off").
    bool glow = false;
    // The lines not taken, each with its number and why.
    std::vector<std::string> notTaken = {};
};

constexpr const char* kSettingsFile = "settings.txt";

HostSettings loadSettings(const char* path = kSettingsFile);
// Writes the host's choices (mute, replays, volume, look, glow), keeping the
// file's other lines and comments: the leaderboard and player lines are
// the player's and the claim's (saveSetting). False when the file could not
// be written (the choice then lasts this run).
bool saveSettings(const HostSettings& settings, const char* path = kSettingsFile);
// Writes one choice ("volume", "7"), leaving every other line as it is:
// what another part of the program saved meanwhile stays.
bool saveSetting(const std::string& name, const std::string& value,
                 const char* path = kSettingsFile);
// The player line's value: "NAME" or "NAME key KEY".
std::string playerSetting(const std::string& name, const std::string& key);
// Reads "NAME" or "NAME key KEY" (a pasted player line may start with
// "player "); false with why when it is not one.
bool readPlayerSetting(const std::string& value, std::string& name, std::string& key,
                       std::string& why);
