#include <emscripten/emscripten.h>

#include <algorithm>

#include "platform/web/WebPlatform.h"

namespace {

// Length of the stored item, or -1 when there is none, -2 when the storage
// cannot be read.
EM_JS(int, vr_storage_length, (const char* name),
      { return Module.vr.storageLength(UTF8ToString(name)); });
EM_JS(void, vr_storage_copy, (const char* name, char* out, int length),
      { Module.vr.storageCopy(UTF8ToString(name), out, length); });
EM_JS(int, vr_storage_write, (const char* name, const char* bytes, int length),
      { return Module.vr.storageWrite(UTF8ToString(name), bytes, length); });
EM_JS(int, vr_storage_lock, (const char* name),
      { return Module.vr.storageLock(UTF8ToString(name)); });
EM_JS(void, vr_storage_unlock, (const char* name),
      { Module.vr.storageUnlock(UTF8ToString(name)); });
EM_JS(int, vr_storage_remove, (const char* name),
      { return Module.vr.storageRemove(UTF8ToString(name)); });
// The names in the folder, one a line, to be fetched with vr_storage_copy;
// returns their length.
EM_JS(int, vr_storage_list, (const char* folder),
      { return Module.vr.storageList(UTF8ToString(folder)); });

}  // namespace

StoredFile WebFileStorage::read(const char* name, std::string& contents, std::size_t limit) {
    const int length = vr_storage_length(name);
    if (length == -1) return StoredFile::missing;
    if (length < 0 || static_cast<std::size_t>(length) > limit) return StoredFile::unreadable;
    contents.assign(static_cast<std::size_t>(length), '\0');
    if (length > 0) vr_storage_copy(name, contents.data(), length);
    return StoredFile::read;
}

FileLock WebFileStorage::lock(const char* name) {
    if (!locked.empty() || !vr_storage_lock(name)) return FileLock::busy;
    locked = name;
    return FileLock::taken;
}

void WebFileStorage::unlock() {
    if (locked.empty()) return;
    vr_storage_unlock(locked.c_str());
    locked.clear();
}

bool WebFileStorage::replace(const char* name, const std::string& contents) {
    return vr_storage_write(name, contents.data(), static_cast<int>(contents.size())) != 0;
}

bool WebFileStorage::list(const char* folder, std::vector<std::string>& names) {
    const int length = vr_storage_list(folder);
    if (length < 0) return false;
    std::string all(static_cast<std::size_t>(length), '\0');
    if (length > 0) vr_storage_copy(folder, all.data(), length);
    for (std::size_t at = 0; at < all.size();) {
        const std::size_t end = std::min(all.find('\n', at), all.size());
        if (end > at) names.push_back(all.substr(at, end - at));
        at = end + 1;
    }
    return true;
}

bool WebFileStorage::remove(const char* name) { return vr_storage_remove(name) != 0; }

bool WebFileStorage::makeFolder(const char*) { return true; }
