#include "scores/HighScores.h"

#include <cstdio>
#include <functional>
#include <iomanip>
#include <locale>
#include <sstream>

#include "platform/Platform.h"

HighScoreTable highScoreTable;

namespace {

constexpr const char* saveFileName = "save.txt";
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

// What this game last found in the file, or put there: a signing compares
// the file with it to see whether another game or a person changed it. A
// fingerprint rather than a copy: the running game keeps no heap memory of
// its own beyond the bodies in its lists.
struct KnownFile {
    bool looked = false;
    StoredFile state = StoredFile::missing;
    std::size_t size = 0;
    std::size_t hash = 0;

    KnownFile() = default;
    KnownFile(StoredFile found, const std::string& contents)
        : looked(true),
          state(found),
          size(found == StoredFile::read ? contents.size() : 0),
          hash(found == StoredFile::read ? std::hash<std::string>{}(contents) : 0) {}
    // Whether the file was read and held exactly these bytes.
    bool held(const std::string& contents) const {
        return state == StoredFile::read && contents.size() == size &&
               std::hash<std::string>{}(contents) == hash;
    }
};
KnownFile known;
bool toldUnreadable = false;

SaveStorage& files() { return *platform().saves; }

void useDefaultTable() {
    for (HighScoreEntry& row : highScoreTable.rows) {
        row = HighScoreEntry{0, 1, "AAA"};
    }
}

// A table that is there but cannot be read is never written over: say so once.
void tellUnreadable() {
    if (toldUnreadable) return;
    toldUnreadable = true;
    std::fprintf(stderr,
                 "voidrunner: %s could not be read; the table shown is the default one and "
                 "the file is left as it is\n",
                 saveFileName);
}

void loadFromText(const std::string& text) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
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

std::string tableText() {
    std::ostringstream out;
    out.imbue(std::locale::classic());
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
    return out.str();
}

}  // namespace

void resetHighScores() {
    highScoreTable = HighScoreTable{};
    known = KnownFile{};
    toldUnreadable = false;
}

void loadHighScores() {
    std::string text;
    const StoredFile state = files().read(saveFileName, text);
    known = KnownFile(state, text);
    if (state == StoredFile::read) {
        loadFromText(text);
        return;
    }
    if (state == StoredFile::unreadable) {
        tellUnreadable();
    }
    useDefaultTable();
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
    // Under the lock no other game can sign between our look at the file and
    // our write, so a row another game signed meanwhile is kept.
    SaveStorage& storage = files();
    const bool locked = storage.lock(saveFileName);
    bool mayWrite = false;
    if (locked) {
        std::string text;
        const StoredFile state = storage.read(saveFileName, text);
        if (state == StoredFile::unreadable) {
            tellUnreadable();
        } else {
            mayWrite = true;
            if (known.looked && state == StoredFile::read && !known.held(text)) {
                // What a game started now would show, the new row placed in it.
                highScoreTable = HighScoreTable{};
                loadFromText(text);
            }
            known = KnownFile(state, text);
        }
    } else {
        std::fprintf(stderr,
                     "voidrunner: %s could not be locked for saving (another game is saving, "
                     "or its folder takes no new files); the new row is kept in memory and "
                     "saved with the next one\n",
                     saveFileName);
    }

    HighScoreEntry& last = highScoreTable.rows[9];
    last.initials = initials;
    last.level = level;
    last.score = score;
    sortHighScores();
    if (mayWrite) {
        saveHighScores();
    }
    if (locked) {
        storage.unlock();
    }
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
    // A save that fails leaves the old file as it was; the table lives on in
    // memory and the next successful save writes it whole.
    const std::string text = tableText();
    if (files().replace(saveFileName, text)) {
        known = KnownFile(StoredFile::read, text);
    }
}
