#include <emscripten/emscripten.h>

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

}  // namespace

StoredFile WebSaveStorage::read(const char* name, std::string& contents) {
    const int length = vr_storage_length(name);
    if (length == -1) return StoredFile::missing;
    if (length < 0) return StoredFile::unreadable;
    contents.assign(static_cast<std::size_t>(length), '\0');
    if (length > 0) vr_storage_copy(name, contents.data(), length);
    return StoredFile::read;
}

bool WebSaveStorage::lock(const char* name) {
    if (!locked.empty() || !vr_storage_lock(name)) return false;
    locked = name;
    return true;
}

void WebSaveStorage::unlock() {
    if (locked.empty()) return;
    vr_storage_unlock(locked.c_str());
    locked.clear();
}

bool WebSaveStorage::replace(const char* name, const std::string& contents) {
    return vr_storage_write(name, contents.data(), static_cast<int>(contents.size())) != 0;
}
