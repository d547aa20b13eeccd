// The ten best results and their save file "save.txt".
#pragma once

#include <string>

struct HighScoreEntry {
    int score = 0;
    int level = 0;
    std::string initials;
};

struct HighScoreTable {
    HighScoreEntry rows[10];
};

extern HighScoreTable highScoreTable;

// The table as at program start, and nothing known of the file.
void resetHighScores();
void loadHighScores();
bool qualifiesForTable(int score);
void recordHighScore(int score, int level, const std::string& initials);
void sortHighScores();
void saveHighScores();
