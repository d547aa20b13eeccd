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
bool toldPlayer = false;

// Rows signed while no save could write them, in signing order. The next
// save that writes places them again, by the same rules, into the table it
// finds on disk: another game may have signed in between.
HighScoreEntry pending[10];
int pendingCount = 0;

void keepPending(const HighScoreEntry& row) {
    if (pendingCount == 10) {
        // Ten rows signed after it all stand above the lowest: it can no
        // longer place.
        int lowest = 0;
        for (int i = 1; i < 10; ++i)
            if (pending[i].score < pending[lowest].score) lowest = i;
        for (int i = lowest; i < 9; ++i) pending[i] = pending[i + 1];
        pendingCount = 9;
    }
    pending[pendingCount++] = row;
}

FileStorage& files() { return *platform().saves; }

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

// A save that can never succeed this run, or failed: on stderr each time,
// and once in a box the player sees (a game started from a menu has no
// terminal).
void tellSaveFailed(const char* text) {
    std::fprintf(stderr, "voidrunner: %s\n", text);
    if (toldPlayer) return;
    toldPlayer = true;
    platform().windows->messageBox(text, "Voidrunner");
}

void place(const HighScoreEntry& entry) {
    highScoreTable.rows[9] = entry;
    sortHighScores();
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
    toldPlayer = false;
    pendingCount = 0;
}

void loadHighScores() {
    std::string text;
    const StoredFile state = files().read(saveFileName, text, kSaveFileLimit);
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

namespace {

// Writes the table; false when the file was left as it was.
bool writeTable() {
    const std::string text = tableText();
    if (!files().replace(saveFileName, text)) return false;
    known = KnownFile(StoredFile::read, text);
    return true;
}

}  // namespace

void recordHighScore(int score, int level, const std::string& initials) {
    // Under the lock no other game can sign between our look at the file and
    // our write, so a row another game signed meanwhile is kept.
    FileStorage& storage = files();
    const FileLock lock = storage.lock(saveFileName);
    bool mayWrite = false;
    if (lock == FileLock::taken) {
        std::string text;
        const StoredFile state = storage.read(saveFileName, text, kSaveFileLimit);
        if (state == StoredFile::unreadable) {
            tellUnreadable();
        } else {
            mayWrite = true;
            if (known.looked && state == StoredFile::read && !known.held(text)) {
                // What a game started now would show, with the rows we could
                // not save yet placed in it as they were signed.
                highScoreTable = HighScoreTable{};
                loadFromText(text);
                for (int i = 0; i < pendingCount; ++i) place(pending[i]);
            }
            known = KnownFile(state, text);
        }
    } else if (lock == FileLock::busy) {
        std::fprintf(stderr,
                     "voidrunner: %s could not be locked for saving (another game is saving); "
                     "the new row is kept in memory and saved with the next one\n",
                     saveFileName);
    } else {
        tellSaveFailed(
            "save.txt cannot be locked for saving: save.txt.lock is a folder, a pipe or a "
            "link, or the folder takes no new files. No row is saved until that is mended; "
            "the new rows are kept in memory");
    }

    const HighScoreEntry entry{score, level, initials};
    place(entry);
    const bool saved = mayWrite && writeTable();
    if (saved) {
        pendingCount = 0;
    } else {
        keepPending(entry);
        if (mayWrite)
            tellSaveFailed(
                "save.txt could not be written (the disk may be full, or the folder takes no "
                "new files); the old file is as it was, the new row is kept in memory and "
                "saved with the next one");
    }
    if (lock == FileLock::taken) storage.unlock();
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
    writeTable();
}
