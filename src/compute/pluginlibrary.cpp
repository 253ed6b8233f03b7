#include "compute/pluginlibrary.h"

#include <dlfcn.h>

namespace zun {

bool PluginLibrary::Open(const std::string& path) {
    Close();
    dlerror();
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* why = dlerror();
        error_ = why ? why : "cannot load library";
        return false;
    }
    create_ = reinterpret_cast<CreateFn>(dlsym(handle_, "create_plugin"));
    release_ = reinterpret_cast<ReleaseFn>(dlsym(handle_, "release_plugin"));
    if (!create_ || !release_) create_ = nullptr, release_ = nullptr;
    return true;
}

void PluginLibrary::Close() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
    create_ = nullptr;
    release_ = nullptr;
}

}  // namespace zun
