// Display-volume fill of an N^3 sample with four displayed channels on 1, 2, 4 and 8 threads:
// through the tree's display state (single colour, spectrum, value colours, and a single colour
// masked by a boundary), and through the plain channel list.
//
//   bench_view3d_fill [--size N] [--repeat R]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/sample.h"
#include "tree/displaytree.h"
#include "view3d/displayfill.h"
#include "view3d/treelayers.h"

int main(int argc, char** argv) {
    int n = 300, repeat = 3;
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--size") n = std::atoi(argv[++i]);
        if (a == "--repeat") repeat = std::atoi(argv[++i]);
    }
    const zun::Dims dims{n, n, n};
    const std::size_t count = static_cast<std::size_t>(n) * n * n;
    std::vector<std::vector<zun::imtype>> data(5, std::vector<zun::imtype>(count));
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t x = i % n, y = (i / n) % n, z = i / (std::size_t(n) * n);
        data[0][i] = static_cast<zun::imtype>((x * 16383) / n);
        data[1][i] = static_cast<zun::imtype>((y * 16383) / n);
        data[2][i] = static_cast<zun::imtype>((z * 16383) / n);
        data[3][i] = static_cast<zun::imtype>(((x + y + z) * 5461) / n);
        data[4][i] = (x > std::size_t(n) / 4 && x < std::size_t(3 * n) / 4) ? 16383 : 0;  // the mask
    }
    std::vector<zun::ChannelColourLayers::Channel> channels(5);
    const std::uint32_t colours[4] = {0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF};
    for (int c = 0; c < 4; ++c) {
        channels[c].data = data[c].data();
        channels[c].colour = colours[c];
        channels[c].low = 0.1f;
        channels[c].opacityHigh = 0.5f;
    }
    channels[3].mask = data[4].data();
    channels[4].data = data[4].data();
    channels[4].boundary = true;
    zun::ChannelColourLayers plain(dims, channels);

    // The same channels in a sample with its tree.
    zun::ZunImage sample(true);
    sample.Resize(dims);
    sample.InsertChan(zun::ZunChan::kComposition, 0, "Void", 0x000000);
    for (int c = 0; c < 4; ++c)
        sample.InsertChan(zun::ZunChan::kComposition, c + 1, "M" + std::to_string(c), 0xFF);
    sample.InsertChan(zun::ZunChan::kBoundary, 5, "bound_1", 0xFF0000);
    for (int c = 0; c < 5; ++c) std::copy(data[c].begin(), data[c].end(), sample.GetChan(c + 1)->Data());
    zun::DisplayTree tree;
    tree.Build(sample, "bench");
    for (int c = 0; c < 6; ++c)
        for (int z = 0; z < n; ++z) {
            zun::DispSpec::Displayed& d = tree.Channel(c)->Child(z)->spec.shown;
            d.displayItems = (c >= 1 && c <= 4) ? zun::DispSpec::kItemData : 0;
            d.opacity = {0.1f, 1.0f, 0.0f, 0.5f};
            d.displayColours = {colours[(c + 3) % 4], 0x00FFFF, 0xFF00FF};
            d.colourKind = c == 2 ? 2 : c == 3 ? 3 : 0;
            if (c == 2) d.multiSpec.AssignDefault();
            if (c == 3) d.valueSpec.AssignDefault();
            if (c == 4) {
                d.maskState = 1;
                d.maskName = "bound_1";
            }
        }
    zun::TreeDisplayLayers treeLayers(tree, sample);

    std::vector<zun::disptype> volume(count);
    for (int pass = 0; pass < 2; ++pass) {
        zun::DisplayLayers& layers = pass == 0 ? static_cast<zun::DisplayLayers&>(treeLayers) : plain;
        std::printf("display-volume fill, %d^3 voxels, 4 displayed channels, %s\n", n,
                    pass == 0 ? "tree display state (single, spectrum, values, masked)"
                              : "plain channel list (single colours, one masked)");
        std::printf("%8s %12s %16s %12s\n", "threads", "best s", "voxels/s", "speed-up");
        double single = 0;
        for (int threads : {1, 2, 4, 8}) {
            double best = 1e9;
            for (int r = 0; r < repeat; ++r) {
                const auto t0 = std::chrono::steady_clock::now();
                zun::FillDisplayVolume(zun::kFillAll, layers, dims, volume.data(), dims, threads);
                best = std::min(best,
                                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
            }
            if (threads == 1) single = best;
            std::printf("%8d %12.3f %16.0f %12.2f\n", threads, best, count / best, single / best);
        }
    }
    return 0;
}
