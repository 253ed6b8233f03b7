// Figures for the sample model's voxel loops on 256^3 grids: linked-cluster labelling against
// scipy.ndimage.label in the same run, with thread scaling.
//
// usage: bench_sample [size] [import]   (default 256; "import" gives the slice-import figures only)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "foundation/foundationclasses.h"
#include "model/boundfill.h"
#include "model/label.h"
#include "model/sample.h"

namespace {

using Clock = std::chrono::steady_clock;

double BestSeconds(int repeats, const std::function<void()>& f) {
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

double ScipySeconds(const std::vector<std::uint8_t>& mask, int n, unsigned long long& count) {
    const std::string path = "/tmp/zun_bench_mask_" + std::to_string(::getpid()) + ".raw";
    {
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(mask.data()), static_cast<std::streamsize>(mask.size()));
    }
    std::string cmd = std::string(ZUN_PYTHON) + " " + ZUN_SOURCE_DIR +
                      "/bench/sample/label_reference_bench.py " + path + " " + std::to_string(n) + " " +
                      std::to_string(n) + " " + std::to_string(n) + " 3";
    FILE* p = popen(cmd.c_str(), "r");
    double s = -1;
    if (!p || std::fscanf(p, "%lf %llu", &s, &count) != 2) s = -1;
    if (p) pclose(p);
    std::remove(path.c_str());
    return s;
}

std::vector<std::uint8_t> RandomMask(int n, double density) {
    std::mt19937 rng(1);
    std::bernoulli_distribution d(density);
    std::vector<std::uint8_t> m(static_cast<std::size_t>(n) * n * n);
    for (auto& v : m) v = d(rng);
    return m;
}

std::vector<std::uint8_t> BlobMask(int n) {
    std::vector<std::uint8_t> m(static_cast<std::size_t>(n) * n * n);
    const double c = n / 2.0, r = 0.4 * n;
    for (int z = 0; z < n; ++z)
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                double d2 = (x - c) * (x - c) + (y - c) * (y - c) + (z - c) * (z - c);
                bool shell = d2 <= r * r && d2 >= 0.25 * r * r;
                m[(static_cast<std::size_t>(z) * n + y) * n + x] = shell || ((x * 7 + y * 3 + z) % 97 == 0);
            }
    return m;
}

void LabellingFigures(int n) {
    std::vector<zun::ullong> labels(static_cast<std::size_t>(n) * n * n);
    struct Named {
        const char* name;
        std::vector<std::uint8_t> mask;
    } masks[] = {{"random 30%", RandomMask(n, 0.3)}, {"shell phantom", BlobMask(n)}};
    for (auto& m : masks) {
        unsigned long long refCount = 0;
        double scipy = ScipySeconds(m.mask, n, refCount);
        std::printf("labelling %d^3 %s: scipy.ndimage.label %.3f s (%llu clusters)\n", n, m.name, scipy,
                    refCount);
        for (int t : {1, 2, 4, 8}) {
            zun::ullong count = 0;
            double s = BestSeconds(3, [&] {
                count = zun::ClusterSets::LabelPlanes(m.mask.data(), labels.data(), n, n, n, 1, t);
            });
            std::printf("  %d threads: %.3f s, ratio to scipy %.2f, clusters %llu%s\n", t, s,
                        scipy > 0 ? s / scipy : 0.0, static_cast<unsigned long long>(count),
                        count == refCount ? "" : " (MISMATCH)");
        }
        double ordered =
            BestSeconds(3, [&] { zun::LabelLinkedClusters(m.mask.data(), labels.data(), n, n, n, 1, 1, 8); });
        std::printf("  ordered by size, 8 threads: %.3f s\n", ordered);
    }
}

// A ball of radius 0.39 n with a cavity of radius 0.15 n, in void.
std::vector<std::uint8_t> CavityBall(int n) {
    std::vector<std::uint8_t> m(static_cast<std::size_t>(n) * n * n);
    const double c = n / 2.0, r = 0.39 * n, rc = 0.15 * n;
    for (int z = 0; z < n; ++z)
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                const double d2 = (x - c) * (x - c) + (y - c) * (y - c) + (z - c) * (z - c);
                m[(static_cast<std::size_t>(z) * n + y) * n + x] = d2 <= r * r && d2 > rc * rc;
            }
    return m;
}

void FillFigures(int n) {
    const std::vector<std::uint8_t> ball = CavityBall(n);
    std::vector<std::uint8_t> m(ball.size()), scratch(ball.size());
    const zun::MaskGrid g{n, n, n};
    zun::BuildProgress none(nullptr);
    double one = 0;
    for (int t : {1, 2, 4, 8}) {
        double fill = BestSeconds(1, [&] {
            m = ball;
            zun::FillEnclosedVoxels(m.data(), g, t, none, 0, 100);
        });
        if (t == 1) one = fill;
        m = ball;
        double closing = BestSeconds(3, [&] {
            zun::DilateMask(m.data(), scratch.data(), g, t, none, 0, 50);
            zun::ErodeMask(m.data(), scratch.data(), g, t, none, 50, 100);
        });
        std::printf(
            "enclosed-voxel fill %d^3, %d threads: %.2f s (%.1f Mvoxel/s, speed-up %.2f); closing %.3f s\n",
            n, t, fill, n * static_cast<double>(n) * n / fill / 1e6, one / fill, closing);
    }
}

void ImportFigures(int slices, int size, bool floats) {
    const std::string dir = "/tmp/zun_bench_tiff_" + std::to_string(::getpid());
    const std::string script =
        std::string(ZUN_PYTHON) + " " + ZUN_SOURCE_DIR + "/bench/sample/tiff_reference_bench.py ";
    if (std::system((script + "write " + dir + " " + std::to_string(slices) + " " + std::to_string(size) +
                     " " + std::to_string(size) + (floats ? " float32" : ""))
                        .c_str()) != 0)
        return;
    double ref = -1;
    if (FILE* p = popen((script + "read " + dir + " " + std::to_string(slices) + " 3").c_str(), "r")) {
        if (std::fscanf(p, "%lf", &ref) != 1) ref = -1;
        pclose(p);
    }
    zun::RegisterFoundationClasses();
    zun::ZunImage sample;
    sample.Resize(zun::Dims{size, size, slices});
    sample.InsertChan(1, 0, "ct_1", 0);
    zun::ZunChan& c = *sample.GetChan(0);
    c.range = {0.0f, 1.0f};
    const double ours = BestSeconds(3, [&] {
        for (int z = 0; z < slices; ++z) {
            char name[32];
            std::snprintf(name, sizeof name, "/s%03d.tif", z);
            c.ImportSliceFile(z, (dir + name).c_str(), nullptr, nullptr, 0, 0, 0, false);
        }
    });
    std::printf("TIFF import %d slices of %dx%d %s: %.3f s; tifffile reading %.3f s; ratio %.2f\n", slices,
                size, size, floats ? "float" : "16-bit", ours, ref, ref > 0 ? ours / ref : 0.0);
    std::system(("rm -rf " + dir).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 256;
    if (argc > 2 && std::string(argv[2]) == "import") {
        ImportFigures(n, 2 * n, false);
        ImportFigures(n, 2 * n, true);
        return 0;
    }
    LabellingFigures(n);
    FillFigures(n);
    ImportFigures(n, 2 * n, false);
    ImportFigures(n, 2 * n, true);
    return 0;
}
