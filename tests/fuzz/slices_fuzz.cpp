// Slice files: TIFF through every element type of the reader and through the slice import, and
// grid/VO files. The first byte chooses the reader family.

#include <cstdint>
#include <cstdlib>

#include "foundation/image.h"
#include "foundation/tiffio.h"
#include "fuzzsupport.h"
#include "model/sample.h"

namespace {

void Tiff(const std::string& path) {
    zun::Image2d<zun::ullong> u;
    zun::Image2d<float> f;
    zun::Image2d<zun::uint8> c;
    zun::Image2d<zun::ullong>::ReadTiff(path, u, nullptr);
    zun::Image2d<float>::ReadTiff(path, f, nullptr);
    zun::Image2d<zun::uint8>::ReadTiff(path, c, nullptr);
    bool isFloat = false;
    zun::IsTiffFloat(path, &isFloat);
}

void Grid(const std::string& path) {
    zun::Image2d<float> g;
    float lo = 0, hi = 0;
    zun::Image2d<float>::ReadGrdVod(path, g, &lo, &hi);
}

void SliceImport(const std::string& path, bool grid) {
    zun::ZunImage s;
    s.Resize(zun::Dims{8, 6, 1});
    s.InsertChan(1, 0, "ct_1", 1);
    zun::ZunChan& c = *s.GetChan(0);
    if (c.GetSliceCount() < 1) std::abort();
    const float scale = 0.5f, offset = 3.0f;
    if (grid)
        c.ImportSliceGrdVod(0, path.c_str(), &scale, &offset, 1, 2, 1, true);
    else
        c.ImportSliceFile(0, path.c_str(), nullptr, nullptr, 1, 1, 2, true);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zun::fuzz::GuardMemory();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const bool grid = data[0] & 1;
    const std::string path = zun::fuzz::WriteInput(data + 1, size - 1, grid ? ".grd" : ".tif");
    if (grid) {
        Grid(path);
    } else {
        Tiff(path);
    }
    SliceImport(path, grid);
    return 0;
}
