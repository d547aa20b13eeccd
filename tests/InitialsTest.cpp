#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "WorkFolder.h"
#include "app/GameWindow.h"
#include "game/GameState.h"
#include "scores/HighScores.h"
#include "scores/Initials.h"

namespace fs = std::filesystem;

namespace {

constexpr int backspace = 8;
constexpr int enter = 13;

void type(const std::string& text) {
    for (const char c : text) {
        handleTypedCharacter(static_cast<unsigned char>(c));
    }
}

// Runs in a folder of its own, since a finished entry writes "save.txt".
class Initials : public ::testing::Test {
protected:
    void SetUp() override {
        resetToProgramStart();
        folder_ = std::make_unique<WorkFolder>();
        loadHighScores();  // no file: the default table, where any score qualifies
    }
    void TearDown() override {
        folder_.reset();
        resetToProgramStart();
    }

    // The state after a game over whose score earned a row.
    static void finishQualifyingGame(int score, int level) {
        gameState.score = score;
        gameState.level = level;
        gameState.shipDestroyed = 1;
        gameState.restartArmed = 0;
        gameState.enteringInitials = 1;
    }

    std::unique_ptr<WorkFolder> folder_;
};

TEST_F(Initials, ThreeCharactersSignTheTableAsTyped) {
    finishQualifyingGame(1234, 5);
    type("ab");
    EXPECT_EQ(typedInitials, "ab");
    EXPECT_FALSE(fs::exists("save.txt"));

    type("c");
    EXPECT_EQ(typedInitials, "");
    EXPECT_FALSE(gameState.enteringInitials);
    EXPECT_TRUE(gameState.shipDestroyed);
    EXPECT_EQ(highScoreTable.rows[0].initials, "abc");
    EXPECT_EQ(highScoreTable.rows[0].score, 1234);
    EXPECT_EQ(highScoreTable.rows[0].level, 5);
    EXPECT_EQ(readFile("save.txt").substr(0, 11), "1234 5 abc\n");
}

TEST_F(Initials, ControlKeysAndBlankAreIgnoredAndNothingFollowsTheThird) {
    finishQualifyingGame(300, 2);
    handleTypedCharacter('X');
    handleTypedCharacter(backspace);
    handleTypedCharacter('Y');
    handleTypedCharacter(enter);
    handleTypedCharacter('Z');
    handleTypedCharacter(' ');
    handleTypedCharacter('W');
    EXPECT_EQ(highScoreTable.rows[0].initials, "XYZ");
    EXPECT_EQ(typedInitials, "");
    for (int i = 1; i < 10; ++i) {
        EXPECT_EQ(highScoreTable.rows[i].initials, "AAA");
    }
}

TEST_F(Initials, EdgesOfThePrintableRangeAreAccepted) {
    finishQualifyingGame(10, 1);
    handleTypedCharacter(32);
    handleTypedCharacter(33);
    handleTypedCharacter(126);
    EXPECT_EQ(typedInitials, "!~");
    // Only the low byte counts: 0x17E is a tilde.
    handleTypedCharacter(0x17E);
    EXPECT_EQ(highScoreTable.rows[0].initials, "!~~");
}

TEST_F(Initials, CodesFrom127UpAreNeverAccepted) {
    finishQualifyingGame(10, 1);
    for (int code = 127; code <= 255; ++code) {
        handleTypedCharacter(code);
    }
    for (int code = 0; code <= 32; ++code) {
        handleTypedCharacter(code);
    }
    EXPECT_EQ(typedInitials, "");
    EXPECT_TRUE(gameState.enteringInitials);
    EXPECT_FALSE(fs::exists("save.txt"));
}

TEST_F(Initials, DigitsSetTheThrottleInPlayAndAreInitialsAfterIt) {
    handleTypedCharacter('7');
    EXPECT_EQ(gameState.throttle, 7);
    handleTypedCharacter('0');
    EXPECT_EQ(gameState.throttle, 10);
    handleTypedCharacter('1');
    EXPECT_EQ(gameState.throttle, 1);
    type("abc!/:");  // neighbours of the digits
    handleTypedCharacter(0x100 + '5');
    EXPECT_EQ(gameState.throttle, 5);
    handleTypedCharacter(0x80 + '5');
    EXPECT_EQ(gameState.throttle, 5);
    EXPECT_EQ(typedInitials, "");

    finishQualifyingGame(40, 2);
    type("7");
    EXPECT_EQ(typedInitials, "7");
    EXPECT_EQ(gameState.throttle, 5);
}

TEST_F(Initials, TypingAfterAGameOverWithoutEntryChangesNothing) {
    gameState.shipDestroyed = 1;
    gameState.score = 999;
    gameState.throttle = 4;
    type("123abcXYZ");
    EXPECT_EQ(gameState.throttle, 4);
    EXPECT_EQ(typedInitials, "");
    EXPECT_FALSE(gameState.enteringInitials);
    EXPECT_EQ(highScoreTable.rows[0].score, 0);
    EXPECT_FALSE(fs::exists("save.txt"));
}

TEST_F(Initials, TheEntryIsSavedOnce) {
    finishQualifyingGame(70, 3);
    type("JKL");
    ASSERT_TRUE(fs::exists("save.txt"));
    fs::remove("save.txt");
    type("MNOPQR");
    handleTypedCharacter('8');
    EXPECT_FALSE(fs::exists("save.txt"));
    EXPECT_EQ(gameState.throttle, 10);
    EXPECT_EQ(highScoreTable.rows[1].initials, "AAA");
}

TEST_F(Initials, ScoreZeroAsksForInitialsWithTheDefaultTable) {
    ASSERT_TRUE(qualifiesForTable(0));
    finishQualifyingGame(0, 1);
    type("ZRO");
    EXPECT_EQ(highScoreTable.rows[9].initials, "ZRO");
    EXPECT_EQ(readFile("save.txt").substr(9 * 8), "0 1 ZRO");
}

}  // namespace
