#include "platform/curl/ModuleHttp.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <utility>

#include "platform/curl/HttpModule.h"

ModuleHttp::ModuleHttp(std::string folder, std::string agent)
    : folder_(std::move(folder)), agent_(std::move(agent)) {
    start();
}

ModuleHttp::~ModuleHttp() {
    stop();
    // The module itself stays loaded: libcurl's libraries may have left
    // handlers behind that run at exit.
    if (module_) module_->finish();
}

std::string ModuleHttp::path(const std::string& folder) {
    if (folder.empty() || folder.back() == '/') return folder + kHttpModuleFile;
    return folder + '/' + kHttpModuleFile;
}

bool ModuleHttp::installed(const std::string& folder) {
    struct stat st {};
    return !folder.empty() && stat(path(folder).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void ModuleHttp::load() {
    const std::string file = path(folder_);
    if (!installed(folder_)) {
        problem_ = "online play is not installed: no " + file;
    } else if (void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        const auto entry = reinterpret_cast<HttpModuleEntry>(dlsym(handle, kHttpModuleEntry));
        module_ = entry ? entry(VR_VERSION, kHttpModuleInterface) : nullptr;
        if (module_) {
            module_->begin();
            return;
        }
        problem_ = "online play cannot be loaded: " + file + " is not this game's";
        dlclose(handle);
    } else {
        const char* why = dlerror();
        problem_ = "online play cannot be loaded: " + std::string(why ? why : file);
    }
    std::fprintf(stderr, "voidrunner: %s\n", problem_.c_str());
}

HttpReply ModuleHttp::perform(const Request& request) {
    std::call_once(loaded_, [this] { load(); });
    if (module_) return module_->perform(request, abortFlag(), agent_.c_str());
    HttpReply reply;
    reply.error = problem_;
    return reply;
}
