#pragma once
// Little-endian TIFF files built byte by byte, for headers no ordinary writer would produce (huge
// sizes in tiny files, thousands of samples per pixel).

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zun::testing {

struct TiffEntry {
    std::uint16_t tag;
    std::uint16_t type;  // 3 short, 4 long
    std::uint32_t count;
    std::uint32_t value;
};

// One uncompressed strip of `data` after the directory; the strip tags point at it. `extra` entries
// replace those of the same tag or join them (a compression, a sample format).
inline std::vector<std::uint8_t> CraftTiff(std::uint32_t width, std::uint32_t length, std::uint16_t samples,
                                           std::uint16_t bits, const std::vector<std::uint8_t>& data,
                                           const std::vector<TiffEntry>& extra = {}) {
    std::vector<TiffEntry> e = {
        {256, 4, 1, width},   {257, 4, 1, length}, {258, 3, 1, bits},
        {259, 3, 1, 1},       {262, 3, 1, 1},      {273, 4, 1, 0},
        {277, 3, 1, samples}, {278, 4, 1, length}, {279, 4, 1, static_cast<std::uint32_t>(data.size())},
        {284, 3, 1, 1}};
    for (const TiffEntry& x : extra) {
        auto same = std::find_if(e.begin(), e.end(), [&](const TiffEntry& t) { return t.tag == x.tag; });
        if (same != e.end())
            *same = x;
        else
            e.push_back(x);
    }
    std::sort(e.begin(), e.end(), [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
    std::vector<std::uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put16 = [&](std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto put32 = [&](std::uint32_t v) {
        put16(static_cast<std::uint16_t>(v));
        put16(static_cast<std::uint16_t>(v >> 16));
    };
    const std::uint32_t dataAt = 8 + 2 + 12 * static_cast<std::uint32_t>(e.size()) + 4;
    put16(static_cast<std::uint16_t>(e.size()));
    for (TiffEntry t : e) {
        if (t.tag == 273) t.value = dataAt;
        put16(t.tag);
        put16(t.type);
        put32(t.count);
        if (t.type == 3) {
            put16(static_cast<std::uint16_t>(t.value));
            put16(0);
        } else {
            put32(t.value);
        }
    }
    put32(0);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

}  // namespace zun::testing
