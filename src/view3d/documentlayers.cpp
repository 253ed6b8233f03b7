#include "view3d/documentlayers.h"

#include "model/sample.h"

namespace zun {

namespace {

// Well-separated hues, 0x00BBGGRR.
constexpr std::uint32_t kPalette[] = {0x0037C837, 0x000080FF, 0x00FF6020, 0x0000D0FF,
                                      0x00C040C0, 0x00C0C000, 0x004040FF, 0x0080FF80};

}  // namespace

std::unique_ptr<ChannelColourLayers> MakeSampleLayers(const ZunImage& sample) {
    std::vector<ChannelColourLayers::Channel> list;
    int shown = 0;
    bool first = true;
    for (int i = 0; i < sample.GetChanCount(); ++i) {
        const ZunChan* c = sample.GetChan(i);
        ChannelColourLayers::Channel ch;
        if (c->kind == ZunChan::kComposition && !first) {
            ch.data = c->Data();
            ch.colour = kPalette[shown++ % (sizeof(kPalette) / sizeof(kPalette[0]))];
            ch.low = 0.1f;
            ch.high = 1.0f;
            ch.opacityLow = 0.0f;
            ch.opacityHigh = 0.08f;
        }
        if (c->kind == ZunChan::kComposition) first = false;
        list.push_back(ch);
    }
    return std::make_unique<ChannelColourLayers>(sample.GetDims(), std::move(list));
}

}  // namespace zun
