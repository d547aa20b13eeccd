// The game's files on Windows: read whole (shared, so a game that reads
// never stops another), locked with LockFileEx on a lock file beside them,
// replaced through a fresh temporary file that is flushed to the disk and
// moved over them with a write-through move.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/TempNames.h"

namespace {

// Another game holds the lock for one save: milliseconds. Never wait long.
constexpr DWORD lockWaitMs = 2000;

// Windows names take either slash; the game's use '/'.
std::string native(const char* name) {
    std::string path = name;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Text mode, as the game's streams always had on Windows: "\r\n" on disk,
// "\n" to the game.
std::string toDisk(const std::string& text) {
    std::string out;
    out.reserve(text.size() + 16);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string fromDisk(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        out += bytes[i];
    }
    return out;
}

// The file a symbolic link ends at: a new table replaces that file, in its
// own folder, and leaves the link a link.
std::string resolveLinks(const char* name) {
    HANDLE file =
        CreateFileA(name, 0, shareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return name;
    char path[MAX_PATH * 2];
    const DWORD n = GetFinalPathNameByHandleA(file, path, sizeof path, FILE_NAME_NORMALIZED);
    CloseHandle(file);
    if (n == 0 || n >= sizeof path) return name;
    std::string resolved(path, n);
    // The plain form of "\\?\C:\..." when it has one; keep "\\?\UNC\..." whole.
    if (resolved.rfind("\\\\?\\", 0) == 0 && resolved.size() > 6 && resolved[5] == ':') {
        resolved.erase(0, 4);
    }
    return resolved;
}

class Win32FileStorage final : public FileStorage {
public:
    StoredFile read(const char* name, std::string& contents, std::size_t limit) override {
        HANDLE file = CreateFileA(native(name).c_str(), GENERIC_READ, shareAll, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
                       ? StoredFile::missing
                       : StoredFile::unreadable;  // held by another program, a folder, ...
        }
        StoredFile result = StoredFile::unreadable;
        LARGE_INTEGER size{};
        if (GetFileType(file) == FILE_TYPE_DISK && GetFileSizeEx(file, &size) &&
            static_cast<unsigned long long>(size.QuadPart) <= limit) {
            std::string bytes;
            char buffer[8192];
            for (;;) {
                DWORD got = 0;
                if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) break;
                if (got == 0) {
                    result = StoredFile::read;
                    break;
                }
                bytes.append(buffer, got);
                if (bytes.size() > limit) break;  // it grew while read
            }
            if (result == StoredFile::read) contents = fromDisk(bytes);
        }
        CloseHandle(file);
        return result;
    }

    FileLock lock(const char* name) override {
        unlock();
        const std::string target = resolveLinks(native(name).c_str());
        const std::string path = target + ".lock";
        // Created only as a new file: a link planted in its place (also a
        // dangling one) never makes a file elsewhere.
        const DWORD access = GENERIC_READ | GENERIC_WRITE;
        HANDLE file = CreateFileA(path.c_str(), access, shareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
            file = CreateFileA(path.c_str(), access, shareAll, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
                file = CreateFileA(path.c_str(), access, shareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            }
        }
        if (file == INVALID_HANDLE_VALUE) return FileLock::refused;
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
            (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
            CloseHandle(file);
            return FileLock::refused;
        }
        const DWORD start = GetTickCount();
        for (;;) {
            OVERLAPPED at{};
            if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                           &at)) {
                break;
            }
            if (GetTickCount() - start >= lockWaitMs) {
                CloseHandle(file);
                return FileLock::busy;
            }
            Sleep(2);
        }
        lock_ = file;
        locked_ = target;
        return FileLock::taken;
    }

    void unlock() override {
        if (lock_ != INVALID_HANDLE_VALUE) {
            OVERLAPPED at{};
            UnlockFileEx(lock_, 0, 1, 0, &at);
            CloseHandle(lock_);
        }
        lock_ = INVALID_HANDLE_VALUE;
        locked_.clear();
    }

    bool replace(const char* name, const std::string& contents) override {
        const std::string target = resolveLinks(native(name).c_str());
        if (lock_ != INVALID_HANDLE_VALUE && target == locked_) removeLeftovers(target);

        // A new file under a name nobody has used: CREATE_NEW never opens
        // an existing path, a link included.
        std::string temp;
        HANDLE file = INVALID_HANDLE_VALUE;
        for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
            temp = target + tempMark + std::to_string(GetCurrentProcessId()) + "-" + randomHex();
            file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
                GetLastError() != ERROR_ALREADY_EXISTS) {
                return false;
            }
        }
        if (file == INVALID_HANDLE_VALUE) return false;

        const std::string bytes = toDisk(contents);
        DWORD written = 0;
        bool ok =
            WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && FlushFileBuffers(file);
        ok = CloseHandle(file) && ok;
        // A program reading the old file without sharing its deletion stops
        // the move for a moment: try again for a little while.
        for (int attempt = 0; ok; ++attempt) {
            if (MoveFileExA(temp.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                break;
            }
            const DWORD error = GetLastError();
            ok = attempt < 100 &&
                 (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION);
            if (ok) Sleep(5);
        }
        if (!ok) {
            DeleteFileA(temp.c_str());
            return false;
        }
        return true;
    }

    bool list(const char* folder, std::vector<std::string>& names) override {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((native(folder) + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
        do {
            if (!(found.dwFileAttributes &
                  (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
                names.emplace_back(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
        return true;
    }

    bool remove(const char* name) override { return DeleteFileA(native(name).c_str()) != 0; }

    bool makeFolder(const char* name) override {
        const std::string path = native(name);
        if (CreateDirectoryA(path.c_str(), nullptr)) return true;
        const DWORD attributes = GetFileAttributesA(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

private:
    // Under the lock no other game is writing: a temporary file of ours
    // still there is what a game killed inside a save left. Anything else
    // of a like name is the player's.
    static void removeLeftovers(const std::string& target) {
        const std::size_t slash = target.find_last_of("\\/");
        const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((target + tempMark + "*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return;
        // The search also matches short 8.3 names: check the long one.
        const std::string prefix = target.substr(folder.size()) + tempMark;
        do {
            if (_strnicmp(found.cFileName, prefix.c_str(), prefix.size()) == 0 &&
                isOwnTempSuffix(found.cFileName + prefix.size()))
                DeleteFileA((folder + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }

    HANDLE lock_ = INVALID_HANDLE_VALUE;
    std::string locked_;  // the file the lock is for
};

}  // namespace

FileStorage& systemFileStorage() {
    static Win32FileStorage storage;
    return storage;
}
