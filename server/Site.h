// The browser game's files, served by the server itself on the API's
// origin (./play online, --site). They are read whole when the server
// starts: a request only picks one of the files found then by its exact
// name, so nothing in a request ever names a path on disk.
#pragma once

#include <string>
#include <unordered_map>

class Site {
public:
    struct File {
        std::string body;
        std::string type;  // Content-Type
    };
    // Every regular file under `folder`; links and names starting with a dot
    // are left out. Throws std::runtime_error for a folder it cannot read,
    // or one past the limits (4096 files, 256 MB).
    explicit Site(const std::string& folder);
    // The file for a request's path: "/" and "/dir/" are their index.html.
    // Null when there is none.
    const File* find(const std::string& path) const;
    std::size_t size() const { return files_.size(); }

private:
    std::unordered_map<std::string, File> files_;
};
