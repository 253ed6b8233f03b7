// Logs its arguments, one line each, so that tests can see what the host passed.
#include <string>

#include "export.h"

namespace {
class Valid final : public zunplugin::Plugin {
public:
    const char* name() override { return "Echo"; }
    const char* description() override { return "Logs its arguments."; }
    int run(zunplugin::PluginObj* host, int argc, char** argv) override {
        host->Log(("argc=" + std::to_string(argc)).c_str());
        for (int i = 0; i < argc; ++i) host->Log(("[" + std::string(argv[i]) + "]").c_str());
        if (argv[argc] != nullptr) host->Log("argv not terminated");
        return 0;
    }
    ~Valid() = default;
};
}  // namespace

ZT_EXPORT zunplugin::Plugin* create_plugin() {
    return new Valid;
}
ZT_EXPORT void release_plugin(zunplugin::Plugin* p) {
    delete static_cast<Valid*>(p);
}
