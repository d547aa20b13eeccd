#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "WorkFolder.h"
#include "app/GameWindow.h"
#include "game/GameState.h"
#include "platform/Platform.h"
#include "platform/headless/Headless.h"
#include "scores/HighScores.h"

namespace fs = std::filesystem;

namespace {

using Row = std::tuple<int, int, std::string>;
using Rows = std::vector<Row>;

const fs::path caseDir = fs::path(VR_TEST_DATA) / "save";

Rows tableRows() {
    Rows rows;
    for (const HighScoreEntry& row : highScoreTable.rows) {
        rows.emplace_back(row.score, row.level, row.initials);
    }
    return rows;
}

void setTable(const Rows& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        auto& [score, level, initials] = rows[i];
        highScoreTable.rows[i] = HighScoreEntry{score, level, initials};
    }
}

// Rows that no load touched are told apart from rows a load filled.
const Rows untouched(10, Row{-7, -7, "old"});

// First row the given ones, the rest untouched.
Rows then(Rows first) {
    first.insert(first.end(), untouched.begin() + static_cast<long>(first.size()), untouched.end());
    return first;
}

// The same row ten times over, after the given leading rows.
Rows repeated(Rows first, const Row& rest) {
    first.resize(10, rest);
    return first;
}

// Files a save left beside save.txt: there must be none after any save.
int temporaryFiles() {
    int n = 0;
    for (const auto& entry : fs::directory_iterator("."))
        n += entry.path().filename().string().rfind("save.txt.tmp", 0) == 0;
    return n;
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Each test runs in a folder of its own: the game reads and writes
// "save.txt" in the working directory, and tests run in parallel.
class HighScores : public ::testing::Test {
protected:
    void SetUp() override {
        resetToProgramStart();
        folder_ = std::make_unique<WorkFolder>();
    }
    void TearDown() override {
        folder_.reset();
        resetToProgramStart();
    }

    // Loads the named sample file over a table of untouched rows.
    Rows loadCase(const std::string& name) {
        fs::copy_file(caseDir / name, "save.txt", fs::copy_options::overwrite_existing);
        setTable(untouched);
        loadHighScores();
        return tableRows();
    }

    std::unique_ptr<WorkFolder> folder_;
};

const Rows sampleTen = {
    {4320, 5, "XYZ"}, {1250, 3, "K.M"}, {1100, 3, "abc"}, {900, 2, "Q!Q"}, {800, 2, "~~~"},
    {700, 2, "A1B"},  {500, 1, "JJJ"},  {300, 1, "ZZZ"},  {100, 1, "AAA"}, {0, 1, "AAA"},
};

const Rows defaultTable(10, Row{0, 1, "AAA"});

TEST_F(HighScores, MissingFileGivesTheDefaultTable) {
    setTable(untouched);
    loadHighScores();
    EXPECT_EQ(tableRows(), defaultTable);
}

TEST_F(HighScores, DirectoryNamedSaveTxtIsUnreadableAndSurvivesASave) {
    fs::create_directory("save.txt");
    writeFile("save.txt/inside", "kept");
    setTable(untouched);
    loadHighScores();
    EXPECT_EQ(tableRows(), defaultTable);

    recordHighScore(50, 2, "DIR");
    EXPECT_EQ(tableRows()[0], Row(50, 2, "DIR"));
    EXPECT_TRUE(fs::is_directory("save.txt"));
    EXPECT_EQ(readFile("save.txt/inside"), "kept");
    EXPECT_EQ(temporaryFiles(), 0);
}

TEST_F(HighScores, CompleteFilesReadAllTenRowsWhateverTheLayout) {
    EXPECT_EQ(loadCase("ten-rows.txt"), sampleTen);
    EXPECT_EQ(loadCase("ten-rows-final-line-end.txt"), sampleTen);
    EXPECT_EQ(loadCase("more-than-ten-rows.txt"), sampleTen);
    EXPECT_EQ(loadCase("crlf-line-ends.txt"), sampleTen);
    EXPECT_EQ(loadCase("one-line-mixed-blanks.txt"), sampleTen);
}

TEST_F(HighScores, ShortFilesFillOnlyTheRowsTheyHold) {
    EXPECT_EQ(loadCase("empty.txt"), untouched);
    EXPECT_EQ(loadCase("three-rows.txt"),
              then({{300, 3, "CCC"}, {200, 2, "BBB"}, {100, 1, "AAA"}}));

    // Program start leaves empty rows, unlike the default of a missing file.
    resetToProgramStart();
    writeFile("save.txt", "");
    loadHighScores();
    EXPECT_EQ(tableRows(), Rows(10, Row{0, 0, ""}));
}

TEST_F(HighScores, EndRightAfterANumberLeavesThatRowUnchanged) {
    EXPECT_EQ(loadCase("ends-after-level.txt"), then({{300, 3, "CCC"}}));
    EXPECT_EQ(loadCase("ends-after-score.txt"), then({{300, 3, "CCC"}}));
    EXPECT_EQ(loadCase("sign-at-end.txt"), then({{300, 3, "CCC"}}));
}

TEST_F(HighScores, RowWithoutInitialsBeforeTheEndTakesThePreviousInitials) {
    EXPECT_EQ(loadCase("last-line-score-level-line-end.txt"),
              then({{300, 3, "CCC"}, {200, 2, "CCC"}}));
    EXPECT_EQ(loadCase("first-line-score-level-line-end.txt"), then({{300, 3, ""}}));
}

TEST_F(HighScores, MalformedFieldFillsTheRestWithTheLastValuesRead) {
    EXPECT_EQ(loadCase("word-in-place-of-score.txt"), Rows(10, Row{300, 3, "CCC"}));
    // Field by field: the score of row 1 was read before its level failed.
    EXPECT_EQ(loadCase("word-in-place-of-level.txt"), repeated({{300, 3, "CCC"}}, {200, 3, "CCC"}));
}

TEST_F(HighScores, OverflowingNumberIsAMalformedField) {
    EXPECT_EQ(loadCase("overflow-score.txt"), Rows(10, Row{300, 3, "CCC"}));
    EXPECT_EQ(loadCase("overflow-negative-level.txt"),
              repeated({{300, 3, "CCC"}}, {200, 3, "CCC"}));
    // Even when the file ends right after the digits.
    EXPECT_EQ(loadCase("overflow-at-end.txt"), repeated({{300, 3, "CCC"}}, {200, 3, "CCC"}));
}

TEST_F(HighScores, NegativeNumbersAndOddInitialsAreKept) {
    EXPECT_EQ(loadCase("negative-numbers.txt"),
              then({{-5, -1, "NEG"}, {-2147483648, 2147483647, "MIN"}}));
    EXPECT_EQ(loadCase("long-initials.txt"), then({{300, 3, "ABCDEFGH"}, {200, 2, "K.M.-#"}}));
}

TEST_F(HighScores, AnEnormousWordIsCutAndItsRestSkipped) {
    EXPECT_EQ(loadCase("long-word.txt"), then({{300, 3, std::string(1024, 'W')}, {200, 2, "BBB"}}));

    // Far beyond any stream buffer: a single word of 8 MB.
    writeFile("save.txt", "1 1 " + std::string(8u << 20, 'Q') + " 2 2 TWO");
    loadHighScores();
    EXPECT_EQ(tableRows()[0], Row(1, 1, std::string(1024, 'Q')));
    EXPECT_EQ(tableRows()[1], Row(2, 2, "TWO"));
}

TEST_F(HighScores, BinaryBytesAreAbsorbed) {
    EXPECT_EQ(loadCase("binary-junk.txt"), Rows(10, Row{0, 0, ""}));
    using namespace std::string_literals;
    EXPECT_EQ(loadCase("binary-in-initials.txt"), then({{300, 3,
                                                         "A\0\xff\x1a"
                                                         "B"s},
                                                        {200, 2, "\x80\x81\x82"},
                                                        {100, 1, "\x01\x02\x7f"}}));
}

TEST_F(HighScores, EverySampleFileReadsBackAsSaved) {
    for (const auto& entry : fs::directory_iterator(caseDir)) {
        if (entry.path().extension() != ".txt") continue;
        SCOPED_TRACE(entry.path().filename().string());
        Rows loaded = loadCase(entry.path().filename().string());
        saveHighScores();
        setTable(untouched);
        loadHighScores();
        for (auto& row : loaded) {
            if (std::get<2>(row).empty()) std::get<2>(row) = "---";
        }
        EXPECT_EQ(tableRows(), loaded);
    }
}

TEST_F(HighScores, ScoreZeroQualifiesForTheDefaultTableAndLandsLast) {
    loadHighScores();
    EXPECT_TRUE(qualifiesForTable(0));
    recordHighScore(0, 1, "NEW");
    EXPECT_EQ(tableRows(), repeated(Rows(9, Row{0, 1, "AAA"}), {0, 1, "NEW"}));
}

TEST_F(HighScores, QualifiesOnlyWithAtLeastTheLowestScore) {
    setTable({{100, 1, "A"},
              {90, 1, "B"},
              {80, 1, "C"},
              {70, 1, "D"},
              {60, 1, "E"},
              {50, 1, "F"},
              {40, 1, "G"},
              {30, 1, "H"},
              {20, 1, "I"},
              {10, 1, "J"}});
    EXPECT_FALSE(qualifiesForTable(9));
    EXPECT_FALSE(qualifiesForTable(-1));
    EXPECT_TRUE(qualifiesForTable(10));
    EXPECT_TRUE(qualifiesForTable(1000));
}

const Rows equalNineties = {{100, 9, "AAA"}, {90, 8, "B1"},  {90, 7, "B2"},  {80, 6, "CCC"},
                            {70, 5, "DDD"},  {60, 4, "EEE"}, {50, 3, "FFF"}, {40, 2, "GGG"},
                            {30, 1, "HHH"},  {20, 1, "III"}};

TEST_F(HighScores, SortingIsNotStableAmongEqualScores) {
    setTable(equalNineties);
    recordHighScore(20, 4, "NEW");
    EXPECT_EQ(tableRows(), (Rows{{100, 9, "AAA"},
                                 {90, 7, "B2"},
                                 {90, 8, "B1"},
                                 {80, 6, "CCC"},
                                 {70, 5, "DDD"},
                                 {60, 4, "EEE"},
                                 {50, 3, "FFF"},
                                 {40, 2, "GGG"},
                                 {30, 1, "HHH"},
                                 {20, 4, "NEW"}}));

    setTable(equalNineties);
    recordHighScore(90, 4, "NEW");
    // The old nineties swap here too; the new one ends below both.
    EXPECT_EQ(tableRows(), (Rows{{100, 9, "AAA"},
                                 {90, 7, "B2"},
                                 {90, 8, "B1"},
                                 {90, 4, "NEW"},
                                 {80, 6, "CCC"},
                                 {70, 5, "DDD"},
                                 {60, 4, "EEE"},
                                 {50, 3, "FFF"},
                                 {40, 2, "GGG"},
                                 {30, 1, "HHH"}}));
}

TEST_F(HighScores, SavedFileHasTenLinesAndNoFinalLineEnd) {
    setTable(sampleTen);
    highScoreTable.rows[3].initials.clear();
    recordHighScore(-3, 2, "NEG");
    EXPECT_EQ(readFile("save.txt"),
              "4320 5 XYZ\n1250 3 K.M\n1100 3 abc\n900 2 ---\n800 2 ~~~\n"
              "700 2 A1B\n500 1 JJJ\n300 1 ZZZ\n100 1 AAA\n-3 2 NEG");
    EXPECT_EQ(temporaryFiles(), 0);

    const Rows written = tableRows();
    setTable(untouched);
    loadHighScores();
    Rows expected = written;
    std::get<2>(expected[3]) = "---";
    EXPECT_EQ(tableRows(), expected);
}

// The system's files, but every replace fails while `failing` is set.
class FailingStorage final : public FileStorage {
public:
    StoredFile read(const char* name, std::string& contents, std::size_t limit) override {
        return systemFileStorage().read(name, contents, limit);
    }
    FileLock lock(const char* name) override { return systemFileStorage().lock(name); }
    void unlock() override { systemFileStorage().unlock(); }
    bool replace(const char* name, const std::string& contents) override {
        return !failing && systemFileStorage().replace(name, contents);
    }
    bool failing = true;
};

TEST_F(HighScores, FailedSaveKeepsTheOldFileAndTheNewEntry) {
    const std::string old = readFile(caseDir / "ten-rows.txt");
    writeFile("save.txt", old);
    FailingStorage storage;
    installPlatform({nullptr, nullptr, nullptr, nullptr, nullptr, &storage});
    loadHighScores();
    recordHighScore(5000, 6, "TOP");
    EXPECT_EQ(tableRows()[0], Row(5000, 6, "TOP"));
    EXPECT_EQ(readFile("save.txt"), old);

    // The next save that can write, writes the whole table.
    storage.failing = false;
    recordHighScore(4000, 6, "TWO");
    resetPlatform();
    setTable(untouched);
    loadHighScores();
    EXPECT_EQ(tableRows()[0], Row(5000, 6, "TOP"));
    EXPECT_EQ(tableRows()[1], Row(4320, 5, "XYZ"));
    EXPECT_EQ(tableRows()[2], Row(4000, 6, "TWO"));
}

// A save file in memory whose state each test sets between two calls, as
// another game or a person would change it.
class ScriptedStorage final : public FileStorage {
public:
    StoredFile read(const char*, std::string& contents, std::size_t) override {
        if (state == StoredFile::read) contents = file;
        return state;
    }
    FileLock lock(const char*) override { return locking; }
    void unlock() override {}
    bool replace(const char*, const std::string& contents) override {
        if (full) return false;
        file = contents;
        state = StoredFile::read;
        ++writes;
        return true;
    }
    StoredFile state = StoredFile::missing;
    std::string file;
    FileLock locking = FileLock::taken;
    bool full = false;  // every write fails, as on a full disk
    int writes = 0;
};

class SharedFile : public HighScores {
protected:
    void SetUp() override {
        HighScores::SetUp();
        installPlatform({nullptr, nullptr, nullptr, nullptr, nullptr, &storage});
    }
    void TearDown() override {
        resetPlatform();
        HighScores::TearDown();
    }
    // The rows of the table as it stands in the file.
    Rows fileRows() {
        const Rows kept = tableRows();
        setTable(untouched);
        loadHighScores();
        Rows rows = tableRows();
        setTable(kept);
        return rows;
    }
    ScriptedStorage storage;
};

TEST_F(SharedFile, AnUnreadableTableIsNeverWrittenAndIsTriedAgainAtSigning) {
    storage.file = readFile(caseDir / "ten-rows.txt");
    storage.state = StoredFile::unreadable;
    loadHighScores();
    EXPECT_EQ(tableRows(), defaultTable);
    recordHighScore(5000, 6, "TOP");
    EXPECT_EQ(storage.writes, 0);
    EXPECT_EQ(tableRows()[0], Row(5000, 6, "TOP"));

    // Readable again: the file's table, with both new rows placed in it.
    storage.state = StoredFile::read;
    recordHighScore(1000, 3, "MID");
    Rows expected = sampleTen;
    expected.insert(expected.begin() + 3, Row{1000, 3, "MID"});
    expected.insert(expected.begin(), Row{5000, 6, "TOP"});
    expected.resize(10);
    EXPECT_EQ(tableRows(), expected);
    EXPECT_EQ(fileRows(), expected);
}

TEST_F(SharedFile, ARowAnotherGameSignedMeanwhileIsKept) {
    storage.file = readFile(caseDir / "ten-rows.txt");
    storage.state = StoredFile::read;
    loadHighScores();
    // Another game signed 4000: its row stays, ours is placed below it.
    storage.file = "4000 9 OTH\n" + storage.file;
    recordHighScore(3500, 5, "OUR");
    const Rows rows = tableRows();
    EXPECT_EQ(rows[0], Row(4320, 5, "XYZ"));
    EXPECT_EQ(rows[1], Row(4000, 9, "OTH"));
    EXPECT_EQ(rows[2], Row(3500, 5, "OUR"));
    EXPECT_EQ(rows[3], Row(1250, 3, "K.M"));
    EXPECT_EQ(fileRows(), rows);

    // Unchanged since: the table in memory is the table, also with initials
    // the file cannot carry.
    recordHighScore(2000, 4, "A B");
    recordHighScore(3000, 4, "CCC");
    EXPECT_EQ(tableRows()[4], Row(2000, 4, "A B"));
}

TEST_F(SharedFile, ALockedTableIsLeftAloneAndTheRowSavedWithTheNext) {
    storage.file = readFile(caseDir / "ten-rows.txt");
    storage.state = StoredFile::read;
    loadHighScores();
    storage.locking = FileLock::busy;
    recordHighScore(5000, 6, "TOP");
    EXPECT_EQ(storage.writes, 0);
    EXPECT_EQ(tableRows()[0], Row(5000, 6, "TOP"));

    storage.locking = FileLock::taken;
    recordHighScore(4500, 6, "TWO");
    EXPECT_EQ(storage.writes, 1);
    EXPECT_EQ(fileRows()[0], Row(5000, 6, "TOP"));
    EXPECT_EQ(fileRows()[1], Row(4500, 6, "TWO"));
}

// A row that could not be saved (the lock kept by another game, a full
// disk) is placed into the table another game saved meanwhile; each failed
// save says so in one line.
TEST_F(SharedFile, ARowKeptInMemoryJoinsATableAnotherGameSavedMeanwhile) {
    for (const bool fullDisk : {false, true}) {
        SCOPED_TRACE(fullDisk ? "full disk" : "lock kept");
        resetHighScores();
        storage.file = readFile(caseDir / "ten-rows.txt");
        storage.state = StoredFile::read;
        loadHighScores();
        if (fullDisk)
            storage.full = true;
        else
            storage.locking = FileLock::busy;
        testing::internal::CaptureStderr();
        recordHighScore(5000, 6, "TOP");
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

        // Another game signs in between; then ours signs again.
        storage.file = "4000 9 OTH\n" + storage.file;
        storage.full = false;
        storage.locking = FileLock::taken;
        recordHighScore(1000, 3, "MID");
        const Rows rows = fileRows();
        EXPECT_EQ(rows[0], Row(5000, 6, "TOP"));
        EXPECT_EQ(rows[1], Row(4320, 5, "XYZ"));
        EXPECT_EQ(rows[2], Row(4000, 9, "OTH"));
        EXPECT_EQ(rows[4], Row(1100, 3, "abc"));
        EXPECT_EQ(rows[5], Row(1000, 3, "MID"));
        EXPECT_EQ(tableRows(), rows);
    }
}

// A lock file that is a folder, a pipe or a link: no save can succeed this
// run, and the player is told once, in a box, not only on stderr.
TEST_F(SharedFile, ALockThatCanNeverBeTakenIsToldToThePlayerOnce) {
    FakeWindowSystem windows;
    installPlatform({.windows = &windows, .saves = &storage});
    loadHighScores();
    storage.locking = FileLock::refused;
    testing::internal::CaptureStderr();
    recordHighScore(5000, 6, "TOP");
    recordHighScore(4000, 6, "TWO");
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2) << said;
    EXPECT_EQ(std::count(windows.calls.begin(), windows.calls.end(), "messageBox"), 1);
    EXPECT_NE(windows.messageText.find("save.txt.lock"), std::string::npos);
    EXPECT_EQ(storage.writes, 0);
    EXPECT_EQ(tableRows()[1], Row(4000, 6, "TWO"));
}

TEST_F(HighScores, SaveInReadOnlyFolderChangesNothingOnDisk) {
    // Its own table: run as another user (tests/as-nobody.sh), it may not
    // reach the sample files.
    const std::string old =
        "4320 5 XYZ\n1250 3 K.M\n1100 3 abc\n900 2 Q!Q\n800 2 ~~~\n"
        "700 2 A1B\n500 1 JJJ\n300 1 ZZZ\n100 1 AAA\n0 1 AAA";
    writeFile("save.txt", old);
    loadHighScores();
    fs::permissions(".", fs::perms::owner_read | fs::perms::owner_exec);
    {
        std::ofstream probe("probe");
        if (probe.is_open()) {
            // Permissions are not enforced for this user (root).
            probe.close();
            fs::remove("probe");
            GTEST_SKIP() << "folder permissions are not enforced for this user";
        }
    }
    recordHighScore(5000, 6, "TOP");
    EXPECT_EQ(tableRows()[0], Row(5000, 6, "TOP"));
    EXPECT_EQ(readFile("save.txt"), old);
    EXPECT_EQ(temporaryFiles(), 0);
}

}  // namespace
