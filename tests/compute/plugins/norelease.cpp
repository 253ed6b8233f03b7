// Exports only the factory, so it is not a plug-in.
#include "export.h"

namespace {
class NoRelease final : public zunplugin::Plugin {
public:
    const char* name() override { return "No release"; }
    const char* description() override { return "Lacks release_plugin."; }
    int run(zunplugin::PluginObj*, int, char**) override { return 0; }
};
}  // namespace

ZT_EXPORT zunplugin::Plugin* create_plugin() {
    return new NoRelease;
}
