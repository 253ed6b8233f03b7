#include "foundation/gridfiles.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "foundation/image.h"
#include "foundation/pathutil.h"

namespace zun {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

template <class T>
bool ReadValue(std::FILE* f, T* v) {
    return std::fread(v, sizeof(T), 1, f) == 1;
}

template <class T>
void Put(T* out, T v) {
    if (out) *out = v;
}

// Runs over the values; NaN replaces neither end.
void Range(const std::vector<float>& v, float& lo, float& hi) {
    for (float x : v) {
        if (x < lo) lo = x;
        if (x > hi) hi = x;
    }
}

// Bytes left in the file from the current position (the readers check it before allocating).
std::uint64_t BytesLeft(std::FILE* f) {
    const long here = std::ftell(f);
    if (here < 0 || std::fseek(f, 0, SEEK_END) != 0) return 0;
    const long end = std::ftell(f);
    std::fseek(f, here, SEEK_SET);
    return end > here ? static_cast<std::uint64_t>(end - here) : 0;
}

// Samples larger than this are refused as damaged rather than allocated.
constexpr std::int64_t kMaxSamples = std::numeric_limits<std::int32_t>::max();
// A header that runs this long without its closing "." is taken as not closed.
constexpr std::size_t kMaxVodHeader = 1 << 20;
// The type text between "<" and ">".
constexpr std::size_t kMaxTypeText = 259;

}  // namespace

int CheckGrdMagic(std::FILE* file) {
    char magic[4];
    if (std::fread(magic, 1, 4, file) != 4) return 3;
    return std::memcmp(magic, "DSBB", 4) == 0 ? 0 : 3;
}

int ReadGrdHeader(std::FILE* file, int* nx, int* ny, double* xlo, double* xhi, double* ylo, double* yhi) {
    if (CheckGrdMagic(file) != 0) return 3;
    std::int16_t sx = 0, sy = 0;
    double d[6];
    if (!ReadValue(file, &sx) || !ReadValue(file, &sy)) return 4;
    for (double& v : d)
        if (!ReadValue(file, &v)) return 4;
    Put(nx, static_cast<int>(sx));
    Put(ny, static_cast<int>(sy));
    Put(xlo, d[0]);
    Put(xhi, d[1]);
    Put(ylo, d[2]);
    Put(yhi, d[3]);
    return 0;
}

int ReadGrdFile(const std::string& path, std::vector<float>* values, int* nx, int* ny, double* xlo,
                double* xhi, double* ylo, double* yhi, float* minimum, float* maximum) {
    if (!values) return 2;
    FilePtr f(OpenRegularFileStream(path));
    if (!f) return 1;
    int w = 0, h = 0;
    double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    if (const int r = ReadGrdHeader(f.get(), &w, &h, &x0, &x1, &y0, &y1)) return r;
    if (w <= 0 || h <= 0) return 4;
    const std::uint64_t count = static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h);
    if (BytesLeft(f.get()) < count * sizeof(float)) return 5;
    std::vector<float> v;
    try {
        v.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    if (std::fread(v.data(), sizeof(float), v.size(), f.get()) != v.size()) return 5;
    float lo = std::numeric_limits<float>::max(), hi = -std::numeric_limits<float>::max();
    if (minimum || maximum) Range(v, lo, hi);
    *values = std::move(v);
    Put(nx, w);
    Put(ny, h);
    Put(xlo, x0);
    Put(xhi, x1);
    Put(ylo, y0);
    Put(yhi, y1);
    Put(minimum, lo);
    Put(maximum, hi);
    return 0;
}

namespace {

// Reads the header text up to the first "."; 0, 4 (not closed) or -1.
int ReadVodHeader(std::FILE* f, std::string& header) {
    header.clear();
    for (;;) {
        const int c = std::fgetc(f);
        if (c == EOF || header.size() >= kMaxVodHeader) return 4;
        if (c == '.') return 0;
        try {
            if (header.size() == header.capacity()) header.reserve(header.size() + 256);
            header.push_back(static_cast<char>(c));
        } catch (const std::bad_alloc&) {
            return -1;
        }
    }
}

enum class HeaderType { Wave, None, Unknown };

HeaderType FindHeaderType(const std::string& h) {
    if (h.find("VO_HEADERTYPE = WAVEHEAD2D") != std::string::npos) return HeaderType::Wave;
    if (h.find("VO_HEADERTYPE = NOHEADER") != std::string::npos) return HeaderType::None;
    if (h.find("VO_HEADERTYPE") != std::string::npos) return HeaderType::Unknown;
    return HeaderType::Wave;
}

enum class SampleType { Double, Float, Int32, Int16 };

template <class S>
bool ReadSamples(std::FILE* f, std::size_t n, std::vector<double>& out) {
    std::vector<S> raw(n);
    if (std::fread(raw.data(), sizeof(S), n, f) != n) return false;
    out.assign(raw.begin(), raw.end());
    return true;
}

constexpr const char kDataType[] = "VO_DATATYPE = ARRAY2D";

}  // namespace

int IsVodFile(const std::string& path) {
    FilePtr f(OpenRegularFileStream(path));
    if (!f) return 0;
    std::string h;
    if (ReadVodHeader(f.get(), h) != 0) return 0;
    if (h.find(kDataType) == std::string::npos) return 0;
    if (FindHeaderType(h) == HeaderType::Unknown) return 0;
    if (h.find("VO_FILETYPE = BIN") == std::string::npos || h.find("NP = ") == std::string::npos) return 0;
    return 1;
}

int ReadVodFile(const std::string& path, int* nx, int* ny, std::vector<float>* values, double* h0,
                double* xlo, double* xhi, double* ylo, double* yhi, float* minimum, float* maximum) {
    Put(nx, 0);
    Put(ny, 0);
    if (values) values->clear();
    FilePtr f(OpenRegularFileStream(path));
    if (!f) return 1;
    std::string h;
    if (const int r = ReadVodHeader(f.get(), h)) return r;

    const std::size_t at = h.find(kDataType);
    if (at == std::string::npos) return 6;
    const std::size_t open = at + sizeof kDataType - 1;
    if (open >= h.size() || h[open] != '<') return 5;
    const std::size_t close = h.find('>', open + 1);
    if (close == std::string::npos) return 5;
    const std::string type = h.substr(open + 1, close - open - 1);
    if (type.size() > kMaxTypeText) return 6;
    SampleType st;
    if (type.find("double") != std::string::npos)
        st = SampleType::Double;
    else if (type.find("float") != std::string::npos)
        st = SampleType::Float;
    else if (type.find("long") != std::string::npos || type.find("int") != std::string::npos)
        st = SampleType::Int32;
    else if (type.find("short") != std::string::npos)
        st = SampleType::Int16;
    else
        return 6;
    const HeaderType ht = FindHeaderType(h);
    if (ht == HeaderType::Unknown) return 7;
    if (h.find("VO_FILETYPE = BIN") == std::string::npos) return 8;
    const std::size_t npAt = h.find("NP = ");
    if (npAt == std::string::npos) return 9;
    char* end = nullptr;
    const long long np = std::strtoll(h.c_str() + npAt + 5, &end, 10);
    if (end == h.c_str() + npAt + 5 || np < 0 || np > kMaxSamples) return 9;

    double wave[5] = {0, 0, 0, 0, 0};
    if (ht == HeaderType::Wave) {
        double* outs[5] = {h0, xlo, xhi, ylo, yhi};
        for (int i = 0; i < 5; ++i) {
            if (!ReadValue(f.get(), &wave[i])) return 4;
            Put(outs[i], wave[i]);
        }
    }
    std::int32_t w = 0, hgt = 0;
    if (!ReadValue(f.get(), &w) || !ReadValue(f.get(), &hgt)) return 4;
    Put(nx, static_cast<int>(w));
    Put(ny, static_cast<int>(hgt));
    if (w <= 0 || hgt <= 0) return 4;
    if (static_cast<long long>(w) * hgt != np) return 10;

    const auto n = static_cast<std::size_t>(np);
    static constexpr std::size_t kWidth[] = {8, 4, 4, 2};
    if (BytesLeft(f.get()) < n * kWidth[static_cast<int>(st)]) return 10;
    std::vector<double> raw;
    std::vector<float> v;
    try {
        bool ok = false;
        switch (st) {
            case SampleType::Double:
                ok = ReadSamples<double>(f.get(), n, raw);
                break;
            case SampleType::Float:
                ok = ReadSamples<float>(f.get(), n, raw);
                break;
            case SampleType::Int32:
                ok = ReadSamples<std::int32_t>(f.get(), n, raw);
                break;
            case SampleType::Int16:
                ok = ReadSamples<std::int16_t>(f.get(), n, raw);
                break;
        }
        if (!ok) return 10;
        v.resize(n);
    } catch (const std::bad_alloc&) {
        return -1;
    }
    // The file runs y fastest; the result runs x fastest.
    for (std::size_t x = 0; x < static_cast<std::size_t>(w); ++x)
        for (std::size_t y = 0; y < static_cast<std::size_t>(hgt); ++y)
            v[x + static_cast<std::size_t>(w) * y] = static_cast<float>(raw[x * hgt + y]);
    if (minimum || maximum) {
        float lo = v.empty() ? 0.0f : v[0], hi = lo;
        Range(v, lo, hi);
        Put(minimum, lo);
        Put(maximum, hi);
    }
    if (ht == HeaderType::None) {
        Put(h0, 0.0);
        Put(xlo, 0.0);
        Put(xhi, static_cast<double>(w));
        Put(ylo, 0.0);
        Put(yhi, static_cast<double>(hgt));
    }
    if (values) *values = std::move(v);
    return 0;
}

int GrdVodImportCode(int code) {
    if (code >= 5 && code <= 10) return code + 15;
    return code;
}

template <class T>
int Image2d<T>::ReadGrdVod(const std::string& path, Image2d<T>& image, float* minimum,
                           float* maximum) requires std::same_as<T, float> {
    std::vector<float> values;
    int nx = 0, ny = 0;
    float lo = 0, hi = 0;
    int r = ReadGrdFile(path, &values, &nx, &ny, nullptr, nullptr, nullptr, nullptr, &lo, &hi);
    if (r == 3)
        r = ReadVodFile(path, &nx, &ny, &values, nullptr, nullptr, nullptr, nullptr, nullptr, &lo, &hi);
    if (r != 0) return GrdVodImportCode(r);

    const int have = image.GetNumChannels();
    if (have == 0) {
        if (image.AppendPlanes(1) < 0) return -1;
    } else {
        while (image.GetNumChannels() > 1) image.RemoveChannel(image.GetNumChannels() - 1);
    }
    if (image.Resize({nx, ny}) < 0) {
        if (have == 0)
            image.RemoveLastChannels(1);
        else if (have > 1)
            image.AppendPlanes(have - 1);
        return -1;
    }
    std::copy(values.begin(), values.end(), image.Plane(0));
    Put(minimum, lo);
    Put(maximum, hi);
    return 0;
}

template int Image2d<float>::ReadGrdVod(const std::string&, Image2d<float>&, float*, float*);

}  // namespace zun
