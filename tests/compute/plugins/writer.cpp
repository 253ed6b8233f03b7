// Inverts the values of the channel named by its first parameter (flag bits kept) and sets the
// channel's range to 0..1 when it is a property channel.
#include <cstdint>

#include "export.h"

namespace {
class Writer final : public zunplugin::Plugin {
public:
    const char* name() override { return "Inverter"; }
    const char* description() override { return "Inverts one channel."; }
    int run(zunplugin::PluginObj* host, int argc, char** argv) override {
        if (argc < 2) return 1;
        const int ch = host->FindChannel(argv[1]);
        std::uint16_t* w = host->WordsForWrite(ch);
        if (!w) {
            host->Log("no such channel");
            return 1;
        }
        std::uint32_t d[3];
        host->GridSize(d);
        const std::uint64_t n = static_cast<std::uint64_t>(d[0]) * d[1] * d[2];
        for (std::uint64_t i = 0; i < n; ++i)
            w[i] = static_cast<std::uint16_t>((w[i] & 0xC000) | (16383 - (w[i] & 0x3FFF)));
        if (host->ChannelKind(ch) == 2) host->SetRange(ch, 0.0f, 1.0f);
        return 0;
    }
};
}  // namespace

ZT_EXPORT zunplugin::Plugin* create_plugin() {
    return new Writer;
}
ZT_EXPORT void release_plugin(zunplugin::Plugin* p) {
    delete static_cast<Writer*>(p);
}
