#include "Site.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace {

constexpr std::size_t kMaxFiles = 4096;
constexpr std::size_t kMaxBytes = 256u << 20;

std::string typeOf(const std::string& name) {
    static const std::pair<const char*, const char*> types[] = {
        {".html", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".mjs", "text/javascript; charset=utf-8"},
        {".wasm", "application/wasm"},
        {".css", "text/css; charset=utf-8"},
        {".json", "application/json"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
        {".ico", "image/x-icon"},
        {".wav", "audio/wav"},
        {".txt", "text/plain; charset=utf-8"},
    };
    for (const auto& [ext, type] : types) {
        const std::size_t n = std::strlen(ext);
        if (name.size() > n && name.compare(name.size() - n, n, ext) == 0) return type;
    }
    return "application/octet-stream";
}

std::string readWhole(const std::filesystem::path& path, std::size_t limit) {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        throw std::runtime_error("--site: cannot read " + path.string() + ": " +
                                 std::strerror(errno));
    std::string body;
    char buf[65536];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        body.append(buf, static_cast<std::size_t>(n));
        if (body.size() > limit) break;
    }
    close(fd);
    return body;
}

}  // namespace

Site::Site(const std::string& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw std::runtime_error("--site: " + folder + " is not a folder");
    std::size_t bytes = 0;
    // The walk follows no link to a folder; a link to a file is left out.
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path rel = it->path().lexically_relative(folder);
        const std::string name = rel.filename().string();
        if (!name.empty() && name[0] == '.') {
            if (it->is_directory(ec)) it.disable_recursion_pending();
            continue;
        }
        if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
        if (files_.size() >= kMaxFiles)
            throw std::runtime_error("--site: " + folder + " holds more than 4096 files");
        File file{readWhole(it->path(), kMaxBytes - bytes), typeOf(name)};
        bytes += file.body.size();
        if (bytes > kMaxBytes)
            throw std::runtime_error("--site: " + folder + " holds more than 256 MB");
        // Appended, not "/" + name: GCC 12 at -O3 warns of a memcpy that
        // cannot happen in that operator+.
        std::string path(1, '/');
        path += rel.generic_string();
        files_.emplace(std::move(path), std::move(file));
    }
    if (ec) throw std::runtime_error("--site: cannot read " + folder + ": " + ec.message());
}

const Site::File* Site::find(const std::string& path) const {
    const std::string key = !path.empty() && path.back() == '/' ? path + "index.html" : path;
    const auto it = files_.find(key);
    return it == files_.end() ? nullptr : &it->second;
}
