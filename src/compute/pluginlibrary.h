#pragma once
// One plug-in library opened for as long as this object lives. The library is unloaded on every
// path out of the scope that opened it, which keeps the rule "a library is loaded only while it is
// examined or run".

#include <string>

namespace zunplugin {
class Plugin;
}

namespace zun {

class PluginLibrary {
public:
    using CreateFn = zunplugin::Plugin* (*)();
    using ReleaseFn = void (*)(zunplugin::Plugin*);

    PluginLibrary() = default;
    ~PluginLibrary() { Close(); }
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Loads the library (resolving every symbol now, keeping them local). False when it cannot
    // be loaded; the loader's reason is in Error().
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }
    // True when the library exports both create_plugin and release_plugin (both then non-null).
    bool HasPluginExports() const { return create_ && release_; }
    CreateFn Create() const { return create_; }
    ReleaseFn Release() const { return release_; }
    const std::string& Error() const { return error_; }

private:
    void* handle_ = nullptr;
    CreateFn create_ = nullptr;
    ReleaseFn release_ = nullptr;
    std::string error_;
};

}  // namespace zun
