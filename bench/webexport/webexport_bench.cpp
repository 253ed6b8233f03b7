// The web page export's texture atlases for every level of one volume: the atlas build
// (decimation and averaging), the PNG at compression level 9 and the Base64 text, each timed, and
// Python's zlib level 9 and base64 run on the same bytes for comparison.
//
//   bench_webexport [--size X Y Z] [--threads N] [--no-python]

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "view3d/web3doptions.h"
#include "view3d/webatlas.h"

namespace {

double Since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Soft spheres of three colours in a faint haze, so that the atlas compresses like a real one.
std::vector<std::uint8_t> Phantom(int X, int Y, int Z) {
    std::vector<std::uint8_t> v(static_cast<std::size_t>(X) * Y * Z * 4);
#pragma omp parallel for schedule(static)
    for (int z = 0; z < Z; ++z)
        for (int y = 0; y < Y; ++y)
            for (int x = 0; x < X; ++x) {
                std::uint8_t* p = &v[((static_cast<std::size_t>(z) * Y + y) * X + x) * 4];
                const double dx = double(x) / X - 0.5, dy = double(y) / Y - 0.5, dz = double(z) / Z - 0.5;
                const double r = std::sqrt(dx * dx + dy * dy + dz * dz);
                const int ring = static_cast<int>(r * 8);
                p[0] = static_cast<std::uint8_t>(ring % 3 == 0 ? 220 : 30);
                p[1] = static_cast<std::uint8_t>(ring % 3 == 1 ? 200 : 40);
                p[2] = static_cast<std::uint8_t>(ring % 3 == 2 ? 240 : 20);
                p[3] = static_cast<std::uint8_t>(r < 0.5 ? 20 + (x * 7 + y * 3 + z) % 40 : 2);
            }
    return v;
}

// Python's zlib level 9 on the raw atlas and base64 on the PNG, timed in Python: two numbers.
bool PythonFigures(const std::string& raw, const std::string& png, double* zlibSeconds, double* zlibBytes,
                   double* b64Seconds) {
    const std::string out = raw + ".py";
    const std::string cmd = std::string(ZUN_PYTHON) +
                            " -c \"import sys,time,zlib,base64\n"
                            "raw=open(sys.argv[1],'rb').read(); png=open(sys.argv[2],'rb').read()\n"
                            "t=time.perf_counter(); z=zlib.compress(raw,9); a=time.perf_counter()-t\n"
                            "t=time.perf_counter(); base64.b64encode(png); b=time.perf_counter()-t\n"
                            "print(a, len(z), b)\" " +
                            raw + " " + png + " > " + out;
    if (std::system(cmd.c_str()) != 0) return false;
    std::ifstream in(out);
    return static_cast<bool>(in >> *zlibSeconds >> *zlibBytes >> *b64Seconds);
}

}  // namespace

int main(int argc, char** argv) {
    int X = 500, Y = 500, Z = 100, threads = 8;
    bool python = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--size" && i + 3 < argc) {
            X = std::atoi(argv[++i]);
            Y = std::atoi(argv[++i]);
            Z = std::atoi(argv[++i]);
        } else if (a == "--threads" && i + 1 < argc) {
            threads = std::atoi(argv[++i]);
        } else if (a == "--no-python") {
            python = false;
        } else {
            std::fprintf(stderr, "usage: bench_webexport [--size X Y Z] [--threads N] [--no-python]\n");
            return 2;
        }
    }
    zun::Web3DOptions options;
    options.folder = "/tmp";
    zun::Web3DDocumentFacts facts;
    std::string message;
    if (zun::CheckWeb3DExport(options, true, zun::Dims{X, Y, Z}, facts, message) != 0) {
        std::fprintf(stderr, "bench_webexport: %s\n", message.c_str());
        return 1;
    }
    const std::vector<std::uint8_t> volume = Phantom(X, Y, Z);
    char tmpl[] = "/tmp/zun_bench_web_XXXXXX";
    const std::filesystem::path dir = mkdtemp(tmpl);
    const std::string raw = (dir / "atlas.raw").string(), png = (dir / "atlas.png").string();

    std::printf("web export atlases of a %d x %d x %d RGBA volume, border %d, %d threads\n", X, Y, Z,
                options.border, threads);
    std::printf("%-5s %-9s %11s %6s %9s %9s %9s %10s %9s %9s | %9s %10s %9s\n", "level", "sampling", "atlas",
                "p/q", "build s", "png s", "png MB/s", "png bytes", "b64 s", "b64 MB/s", "py zlib s",
                "py bytes", "py b64 s");
    const auto levels = zun::ChooseWeb3DLevels(zun::AtlasWidth(options), zun::AtlasHeight(options));
    for (int mode = 0; mode < 2; ++mode)
        for (std::size_t l = 0; l < levels.size(); ++l) {
            int p = 1, q = 1;
            zun::Web3DOptions level = zun::FitAtlasLevel(options, levels[l].targetSize, &p, &q);
            level.samplingMode = mode;
            const int w = zun::AtlasWidth(level), h = zun::AtlasHeight(level);
            auto t0 = std::chrono::steady_clock::now();
            const std::vector<std::uint8_t> atlas =
                zun::BuildAtlas(volume.data(), zun::Dims{X, Y, Z}, level, p, q, threads);
            const double build = Since(t0);
            t0 = std::chrono::steady_clock::now();
            const std::string error = zun::WriteRgbaPng(png, atlas.data(), w, h);
            const double pngSeconds = Since(t0);
            if (!error.empty()) {
                std::fprintf(stderr, "bench_webexport: %s\n", error.c_str());
                return 1;
            }
            std::ifstream in(png, std::ios::binary);
            const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
            t0 = std::chrono::steady_clock::now();
            const std::string text =
                zun::Base64Encode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            const double b64 = Since(t0);
            double pyZlib = 0, pyBytes = 0, pyB64 = 0;
            bool havePython = false;
            if (python && mode == 0) {
                std::ofstream(raw, std::ios::binary)
                    .write(reinterpret_cast<const char*>(atlas.data()),
                           static_cast<std::streamsize>(atlas.size()));
                havePython = PythonFigures(raw, png, &pyZlib, &pyBytes, &pyB64);
            }
            const double rawMB = atlas.size() / 1e6;
            char size[32], frac[16];
            std::snprintf(size, sizeof size, "%dx%d", w, h);
            std::snprintf(frac, sizeof frac, "%d/%d", p, q);
            std::printf("%-5zu %-9s %11s %6s %9.3f %9.3f %9.1f %10zu %9.4f %9.0f", l + 1,
                        mode ? "averaging" : "decimate", size, frac, build, pngSeconds, rawMB / pngSeconds,
                        bytes.size(), b64, bytes.size() / 1e6 / std::max(b64, 1e-9));
            if (havePython)
                std::printf(" | %9.3f %10.0f %9.4f\n", pyZlib, pyBytes, pyB64);
            else
                std::printf(" | %9s %10s %9s\n", "-", "-", "-");
            (void)text;
        }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
