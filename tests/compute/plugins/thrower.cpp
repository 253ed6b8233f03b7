// Marks the document changed, then lets an exception escape run.
#include <stdexcept>

#include "export.h"

namespace {
class Thrower final : public zunplugin::Plugin {
public:
    const char* name() override { return "Thrower"; }
    const char* description() override { return "Fails with an exception."; }
    int run(zunplugin::PluginObj* host, int, char**) override {
        host->MarkChanged();
        throw std::runtime_error("deliberate failure");
    }
};
}  // namespace

ZT_EXPORT zunplugin::Plugin* create_plugin() {
    return new Thrower;
}
ZT_EXPORT void release_plugin(zunplugin::Plugin* p) {
    delete static_cast<Thrower*>(p);
}
