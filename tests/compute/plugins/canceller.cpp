// Reports progress in steps of one per cent and stops as soon as the host says so.
#include <string>

#include "export.h"

namespace {
class Canceller final : public zunplugin::Plugin {
public:
    const char* name() override { return "Long job"; }
    const char* description() override { return "Reports progress until stopped."; }
    int run(zunplugin::PluginObj* host, int, char**) override {
        for (int i = 0; i <= 100; ++i) {
            if (host->Progress(static_cast<float>(i))) {
                host->Log(("stopped at " + std::to_string(i)).c_str());
                // Every later call must keep saying "stop".
                if (!host->Progress(100.0f)) host->Log("cancel not sticky");
                return 1;
            }
        }
        host->Log("finished");
        return 0;
    }
};
}  // namespace

ZT_EXPORT zunplugin::Plugin* create_plugin() {
    return new Canceller;
}
ZT_EXPORT void release_plugin(zunplugin::Plugin* p) {
    delete static_cast<Canceller*>(p);
}
