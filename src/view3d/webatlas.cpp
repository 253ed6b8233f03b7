#include "view3d/webatlas.h"

#include <omp.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "foundation/pathutil.h"
#include "view3d/web3dtexts.h"

namespace zun {

const std::vector<Web3DLevel>& Web3DLevelTable() {
    static const std::vector<Web3DLevel> table = {
        {1024, "Best performance"},   {2048, "Better visualization"}, {4096, "Balanced performance"},
        {8192, "Better performance"}, {16384, "Best visualization"},
    };
    return table;
}

std::vector<Web3DLevel> ChooseWeb3DLevels(int fullWidth, int fullHeight) {
    const std::vector<Web3DLevel>& table = Web3DLevelTable();
    const int m = std::max(fullWidth, fullHeight);
    std::size_t top = table.size() - 1;
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].targetSize > m) {
            top = i;
            break;
        }
    std::vector<Web3DLevel> levels(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(top) + 1);
    levels.back().targetSize = std::min(levels.back().targetSize, m);
    levels.back().label = "Best visualization";
    return levels;
}

Web3DOptions FitAtlasLevel(const Web3DOptions& o, int targetSize, int* pOut, int* qOut) {
    Web3DOptions level = o;
    int p = 1, q = 1;
    const int b = o.border;
    const long long full = std::max(Web3DAtlasSide(o.X, b, o.tilesX), Web3DAtlasSide(o.Y, b, o.tilesY));
    long long best = targetSize - full;
    if (best < 0) {
        for (int j = 2; j <= 10; ++j)
            for (int i = 1; i < j; ++i) {
                const double f = static_cast<double>(i) / j;
                const int x = static_cast<int>(std::ceil(f * o.X));
                const int y = static_cast<int>(std::ceil(f * o.Y));
                const int z = static_cast<int>(std::ceil(f * o.Z));
                int t = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(z))));
                if (t % 2 == 1) ++t;
                const long long m = std::max(Web3DAtlasSide(x, b, t), Web3DAtlasSide(y, b, t));
                const long long d = targetSize - m;
                if (d >= 0 && std::llabs(d) < std::llabs(best)) {
                    best = d;
                    p = i;
                    q = j;
                    level.X = x;
                    level.Y = y;
                    level.Z = z;
                    level.tilesX = level.tilesY = t;
                }
            }
        for (int factor = 2; factor <= 10; ++factor)
            if (p % factor == 0 && q % factor == 0) {
                p /= factor;
                q /= factor;
            }
    }
    *pOut = p;
    *qOut = q;
    return level;
}

namespace {

// Weight of source cell i in destination cell x along one axis at scale p/q.
inline double AxisWeight(int i, int x, int p, int q) {
    const double a = static_cast<double>(i) * p / q, e = static_cast<double>(i + 1) * p / q;
    if (x <= a) return (x + 1 < e) ? ((x + 1) - a) * q / p : 1.0;
    return (e - x) * q / p;
}

inline bool Touches(int i, int x, int p, int q) {
    return (i * p) / q == x || ((i + 1) * p) / q == x;
}

void AveragePixel(const std::uint8_t* volume, int X, int Y, int Z, int x, int y, int s, int p, int q,
                  std::uint8_t* out) {
    const int w = q / p + 1;
    const int sx = x * q / p, sy = y * q / p, sz = s * q / p;
    double sum[4] = {0, 0, 0, 0}, weights = 0;
    for (int k = sz; k <= sz + w && k < Z; ++k) {
        if (!Touches(k, s, p, q)) continue;
        const double wk = AxisWeight(k, s, p, q);
        for (int j = sy; j <= sy + w && j < Y; ++j) {
            if (!Touches(j, y, p, q)) continue;
            const double wj = wk * AxisWeight(j, y, p, q);
            for (int i = sx; i <= sx + w && i < X; ++i) {
                if (!Touches(i, x, p, q)) continue;
                const double wt = wj * AxisWeight(i, x, p, q);
                const std::uint8_t* v = volume + ((static_cast<std::size_t>(k) * Y + j) * X + i) * 4;
                for (int c = 0; c < 4; ++c) sum[c] += wt * v[c];
                weights += wt;
            }
        }
    }
    for (int c = 0; c < 4; ++c) {
        double v = sum[c];
        if (weights > 1e-8) v /= weights;
        out[c] = static_cast<std::uint8_t>(std::min(std::floor(v + 0.5), 255.0));
    }
}

}  // namespace

std::vector<std::uint8_t> BuildAtlas(const std::uint8_t* volume, const Dims& full, const Web3DOptions& l,
                                     int p, int q, int threads,
                                     const std::function<bool(int rowsDone)>& progress) {
    const long long wide = Web3DAtlasSide(l.X, l.border, l.tilesX),
                    high = Web3DAtlasSide(l.Y, l.border, l.tilesY);
    if (l.border < 0 || l.X < 0 || l.Y < 0 || l.tilesX < 1 || wide < 1 || high < 1 ||
        wide > kWeb3DMaxAtlasSide || high > kWeb3DMaxAtlasSide || full.size() < 3 ||
        static_cast<long long>(l.tilesX) * l.tilesY < l.Z)
        return {};
    const int W = static_cast<int>(wide), H = static_cast<int>(high), b = l.border, t = l.tilesX;
    const int X = full[0], Y = full[1], Z = full[2];
    const std::size_t rowBytes = static_cast<std::size_t>(W) * 4;
    std::vector<std::uint8_t> atlas(rowBytes * H, 0);
    const int tileRows = (l.Z + t - 1) / t;
    omp_set_dynamic(0);
    for (int r = 0; r < tileRows; ++r) {
        // Line y of slice s lands at row b + r * (Y + 2b) + y, column b + c * (X + 2b).
#pragma omp parallel for schedule(static) num_threads(threads) collapse(2)
        for (int c = 0; c < t; ++c)
            for (int y = 0; y < l.Y; ++y) {
                const int s = r * t + c;
                if (s >= l.Z) continue;
                std::uint8_t* dst = atlas.data() +
                                    static_cast<std::size_t>(b + r * (l.Y + 2 * b) + y) * rowBytes +
                                    static_cast<std::size_t>(b + c * (l.X + 2 * b)) * 4;
                const int sy = y * q / p, sz = s * q / p;
                for (int x = 0; x < l.X; ++x, dst += 4) {
                    if (l.samplingMode == 1) {
                        AveragePixel(volume, X, Y, Z, x, y, s, p, q, dst);
                    } else {
                        const int sx = x * q / p;
                        if (sx >= X || sy >= Y || sz >= Z) continue;
                        std::memcpy(dst, volume + ((static_cast<std::size_t>(sz) * Y + sy) * X + sx) * 4, 4);
                    }
                }
            }
        if (progress && !progress(std::min(H, (r + 1) * (l.Y + 2 * b)))) return {};
    }
    return atlas;
}

namespace {

struct PngOut {
    std::ofstream* out;
};

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* o = static_cast<PngOut*>(png_get_io_ptr(png));
    o->out->write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
}

void PngFlush(png_structp png) {
    static_cast<PngOut*>(png_get_io_ptr(png))->out->flush();
}

void PngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}

}  // namespace

std::string WriteRgbaPng(const std::string& path, const std::uint8_t* rgba, int width, int height) {
    // Opened in place: a named pipe left at the name would hold the export for ever.
    if (const std::string refused = CheckPathUse(path, PathUse::kWriteFile); !refused.empty()) return refused;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return web3dmsg::kWriteError + path;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!png) return web3dmsg::kPngStruct;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return web3dmsg::kPngInfo;
    }
    PngOut io{&out};
    std::vector<png_bytep> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        rows[y] = const_cast<png_bytep>(rgba) + static_cast<std::size_t>(y) * width * 4;
    volatile bool failed = false;
    if (setjmp(png_jmpbuf(png))) {
        failed = true;
    } else {
        png_set_write_fn(png, &io, PngWrite, PngFlush);
        png_set_compression_level(png, 9);
        png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                     PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_write_image(png, rows.data());
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    out.flush();
    if (failed || !out) return web3dmsg::kWriteError + path;
    out.close();
    if (!out) return web3dmsg::kWriteError + path;
    return "";
}

std::string Base64Encode(const std::uint8_t* in, std::size_t n) {
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out((n + 2) / 3 * 4, '=');
    char* o = out.data();
    std::size_t i = 0;
    for (; i + 2 < n; i += 3, o += 4) {
        const unsigned b0 = in[i], b1 = in[i + 1], b2 = in[i + 2];
        o[0] = alphabet[b0 >> 2];
        o[1] = alphabet[((b0 & 3) << 4) | (b1 >> 4)];
        o[2] = alphabet[((b1 & 15) << 2) | (b2 >> 6)];
        o[3] = alphabet[b2 & 63];
    }
    if (i < n) {
        const unsigned b0 = in[i], b1 = i + 1 < n ? in[i + 1] : 0;
        o[0] = alphabet[b0 >> 2];
        o[1] = alphabet[((b0 & 3) << 4) | (b1 >> 4)];
        if (i + 1 < n) o[2] = alphabet[(b1 & 15) << 2];
    }
    return out;
}

std::string ReadFileAsBase64(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "";
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return Base64Encode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

bool WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

bool WriteBase64Script(const std::string& source, const std::string& script, const std::string& variable,
                       bool removeSource) {
    const bool ok = WriteFileAtomically(script, "var " + variable + "=\"" + ReadFileAsBase64(source) + "\";");
    if (removeSource) {
        std::error_code ec;
        std::filesystem::remove(source, ec);
    }
    return ok;
}

}  // namespace zun
