#include "scores/HighScores.h"

HighScoreTable highScoreTable;
