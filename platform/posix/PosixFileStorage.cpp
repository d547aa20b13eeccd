// The game's files on a POSIX system: read whole, locked with flock on a lock
// file beside them, replaced through a fresh temporary file that is synced,
// renamed over them, and followed by a sync of the folder.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"
#include "platform/TempNames.h"

namespace {

// Another game holds the lock for one save: milliseconds. Never wait long.
constexpr auto lockWait = std::chrono::seconds(2);

int openRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file that a chain of symbolic links ends at (which may not exist yet):
// a new table must replace that file, not the link.
std::string resolveLinks(const char* name) {
    std::string path = name;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) break;
        const std::string link(target, static_cast<std::size_t>(n));
        path = link.front() == '/' ? link : folderOf(path) + "/" + link;
    }
    return path;
}

class PosixFileStorage final : public FileStorage {
public:
    StoredFile read(const char* name, std::string& contents, std::size_t limit) override {
        // Non-blocking: a pipe in place of the file must not freeze the game.
        const int fd = openRetrying(name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) {
            return errno == ENOENT || errno == ENOTDIR ? StoredFile::missing
                                                       : StoredFile::unreadable;
        }
        StoredFile result = StoredFile::unreadable;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            static_cast<unsigned long long>(st.st_size) <= limit) {
            std::string bytes;
            char buffer[8192];
            for (;;) {
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) break;
                if (n == 0) {
                    result = StoredFile::read;
                    break;
                }
                bytes.append(buffer, static_cast<std::size_t>(n));
                if (bytes.size() > limit) break;  // it grew while read
            }
            if (result == StoredFile::read) contents = std::move(bytes);
        }
        ::close(fd);
        return result;
    }

    FileLock lock(const char* name) override {
        unlock();
        const std::string target = resolveLinks(name);
        const std::string path = target + ".lock";
        // No link is followed and no pipe waited on: a planted lock file
        // only costs the save, never a file elsewhere or a hang.
        const int fd = openRetrying(path.c_str(),
                                    O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
        if (fd < 0) return FileLock::refused;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return FileLock::refused;
        }
        const auto deadline = std::chrono::steady_clock::now() + lockWait;
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const bool waitable = errno == EWOULDBLOCK || errno == EINTR;
            if (!waitable || std::chrono::steady_clock::now() >= deadline) {
                ::close(fd);
                return waitable ? FileLock::busy : FileLock::refused;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        lockFd_ = fd;
        locked_ = target;
        return FileLock::taken;
    }

    void unlock() override {
        if (lockFd_ >= 0) ::close(lockFd_);  // closing releases the lock
        lockFd_ = -1;
        locked_.clear();
    }

    bool replace(const char* name, const std::string& contents) override {
        const std::string target = resolveLinks(name);
        const std::string folder = folderOf(target);
        if (lockFd_ >= 0 && target == locked_) removeLeftovers(target);

        // A new file under a name nobody has used: never an existing path,
        // never through a link or into a pipe.
        std::string temp;
        int fd = -1;
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temp = target + tempMark + std::to_string(::getpid()) + "-" + randomHex();
            fd = openRetrying(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              0644);
            if (fd < 0 && errno != EEXIST) return false;
        }
        if (fd < 0) return false;

        bool ok = writeAll(fd, contents.data(), contents.size()) && ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
        ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
        if (!ok) {
            ::unlink(temp.c_str());
            return false;
        }
        // The rename itself lives in the folder: sync it too.
        const int dir = openRetrying(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return true;
    }

    bool list(const char* folder, std::vector<std::string>& names) override {
        DIR* dir = ::opendir(folder);
        if (!dir) return false;
        while (const dirent* entry = ::readdir(dir)) {
            bool plain = entry->d_type == DT_REG;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat st {};
                plain = ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                        S_ISREG(st.st_mode);
            }
            if (plain) names.emplace_back(entry->d_name);
        }
        ::closedir(dir);
        return true;
    }

    bool remove(const char* name) override { return ::unlink(name) == 0; }

    bool makeFolder(const char* name) override {
        if (::mkdir(name, 0755) == 0) return true;
        struct stat st {};
        return errno == EEXIST && ::stat(name, &st) == 0 && S_ISDIR(st.st_mode);
    }

private:
    // Under the lock no other game is writing: a temporary file of ours
    // still there is what a game killed inside a save left. Anything else
    // of a like name is the player's.
    static void removeLeftovers(const std::string& target) {
        const std::string folder = folderOf(target);
        const std::size_t slash = target.rfind('/');
        const std::string prefix =
            (slash == std::string::npos ? target : target.substr(slash + 1)) + tempMark;
        DIR* dir = ::opendir(folder.c_str());
        if (!dir) return;
        while (const dirent* entry = ::readdir(dir)) {
            if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0 &&
                isOwnTempSuffix(entry->d_name + prefix.size())) {
                ::unlinkat(::dirfd(dir), entry->d_name, 0);
            }
        }
        ::closedir(dir);
    }

    int lockFd_ = -1;
    std::string locked_;  // the file the lock is for
};

}  // namespace

FileStorage& systemFileStorage() {
    static PosixFileStorage storage;
    return storage;
}
