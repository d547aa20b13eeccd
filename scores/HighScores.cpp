#include "scores/HighScores.h"

#include <filesystem>
#include <fstream>
#include <iomanip>
#include <locale>
#include <system_error>

HighScoreTable highScoreTable;

namespace {

constexpr const char* saveFileName = "save.txt";
// Written whole first, then renamed over the save file, so a failed save
// never leaves a half-written table behind.
constexpr const char* tempFileName = "save.txt.tmp";
// A file of junk may hold one enormous word; keep only this much of it.
constexpr int maxKeptWordLength = 1024;
// Stands for initials that a short save file never gave, so that every
// written row is three fields and reads back as written.
constexpr const char* emptyInitials = "---";

enum class ReadResult { ok, endOfFile, failed };

// One integer. The target changes only on a clean read: a failed read keeps
// the last good value, which is what fills the rest of the table.
ReadResult readNumber(std::istream& in, int& target) {
    int value = 0;
    in >> value;
    if (in.fail()) {
        // The stream gives 0 when no number stood there at all and the int's
        // limit when the digits overflowed; an overflow is a malformed field
        // even when the file ends right after it.
        if (value == 0 && in.eof()) {
            return ReadResult::endOfFile;
        }
        return ReadResult::failed;
    }
    target = value;
    return in.eof() ? ReadResult::endOfFile : ReadResult::ok;
}

// Drops the rest of a word longer than we keep.
void skipRestOfWord(std::istream& in) {
    const auto& ctype = std::use_facet<std::ctype<char>>(in.getloc());
    std::streambuf* buffer = in.rdbuf();
    for (;;) {
        const int c = buffer->sgetc();
        if (c == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            return;
        }
        if (ctype.is(std::ctype_base::space, std::char_traits<char>::to_char_type(c))) {
            return;
        }
        buffer->sbumpc();
    }
}

// One blank-delimited word; only white space before the end keeps the target.
ReadResult readWord(std::istream& in, std::string& target) {
    std::string word;
    in >> std::setw(maxKeptWordLength) >> word;
    if (in.fail()) {
        return in.eof() ? ReadResult::endOfFile : ReadResult::failed;
    }
    if (word.size() == static_cast<std::size_t>(maxKeptWordLength) && !in.eof()) {
        skipRestOfWord(in);
    }
    target = std::move(word);
    return in.eof() ? ReadResult::endOfFile : ReadResult::ok;
}

bool isReadableSaveFile() {
    // A directory "opens" on some systems and then fails every read, and a
    // pipe could block forever: only a regular file counts as a save file.
    std::error_code ec;
    return std::filesystem::is_regular_file(saveFileName, ec);
}

}  // namespace

void loadHighScores() {
    std::ifstream in;
    in.imbue(std::locale::classic());
    if (isReadableSaveFile()) {
        in.open(saveFileName);
    }
    if (!in.is_open()) {
        for (HighScoreEntry& row : highScoreTable.rows) {
            row = HighScoreEntry{0, 1, "AAA"};
        }
        return;
    }

    int score = 0;
    int level = 0;
    std::string word;
    for (HighScoreEntry& row : highScoreTable.rows) {
        ReadResult result = readNumber(in, score);
        if (result == ReadResult::ok) {
            result = readNumber(in, level);
        }
        if (result == ReadResult::endOfFile) {
            // The end came inside or right after a number: this row and all
            // later ones stay as they were.
            break;
        }
        if (result == ReadResult::ok) {
            result = readWord(in, word);
        }
        row = HighScoreEntry{score, level, word};
        if (result == ReadResult::failed) {
            // A malformed field stops reading; the rest of the rows repeat
            // the values last read.
            for (HighScoreEntry* rest = &row + 1; rest != std::end(highScoreTable.rows); ++rest) {
                *rest = HighScoreEntry{score, level, word};
            }
            break;
        }
        if (result == ReadResult::endOfFile) {
            break;
        }
    }
}

bool qualifiesForTable(int score) {
    for (const HighScoreEntry& row : highScoreTable.rows) {
        if (row.score <= score) {
            return true;
        }
    }
    return false;
}

void recordHighScore(int score, int level, const std::string& initials) {
    HighScoreEntry& last = highScoreTable.rows[9];
    last.initials = initials;
    last.level = level;
    last.score = score;
    sortHighScores();
    saveHighScores();
}

void sortHighScores() {
    // Not stable, and its order of equal scores is part of the table's
    // behaviour: a new entry in row 9 ends below every equal score.
    HighScoreEntry* rows = highScoreTable.rows;
    for (int i = 0; i < 10; ++i) {
        for (int j = 0; j < 10; ++j) {
            if (rows[j].score < rows[i].score) {
                std::swap(rows[i], rows[j]);
            }
        }
    }
}

void saveHighScores() {
    {
        std::ofstream out;
        out.imbue(std::locale::classic());
        out.open(tempFileName);
        if (!out.is_open()) {
            return;
        }
        for (int i = 0; i < 10; ++i) {
            const HighScoreEntry& row = highScoreTable.rows[i];
            out << row.score << ' ' << row.level << ' ';
            if (row.initials.empty()) {
                out << emptyInitials;
            } else {
                out << row.initials;
            }
            if (i < 9) {
                out << '\n';
            }
        }
        out.flush();
        out.close();
        if (!out.fail()) {
            std::error_code ec;
            std::filesystem::rename(tempFileName, saveFileName, ec);
            if (!ec) {
                return;
            }
        }
    }
    // The old save file stays as it was; the table lives on in memory.
    std::error_code ec;
    std::filesystem::remove(tempFileName, ec);
}
