#include "tree/rgbatext.h"

#include <array>
#include <charconv>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "document/atomicfile.h"
#include "platform/progress.h"

namespace zun {

namespace {

constexpr std::size_t kFieldWidth = 15;
constexpr std::size_t kLineBytes = 4 * kFieldWidth + 1;

// The 256 possible fields, formatted once: the stream's default format is %g with six
// significant digits, which std::to_chars gives for the general format at precision 6.
struct FieldTable {
    std::array<std::array<char, kFieldWidth>, 256> field;
    FieldTable() {
        for (int v = 0; v < 256; ++v) {
            char text[32];
            const auto r = std::to_chars(text, text + sizeof text, static_cast<float>(v) / 255.0f,
                                         std::chars_format::general, 6);
            const std::size_t n = static_cast<std::size_t>(r.ptr - text);
            field[static_cast<std::size_t>(v)].fill(' ');
            std::memcpy(field[static_cast<std::size_t>(v)].data() + kFieldWidth - n, text, n);
        }
    }
};

const FieldTable& Fields() {
    static const FieldTable table;
    return table;
}

std::string Extent(const char* axis, int n) {
    std::string number = std::to_string(n);
    if (number.size() < 12) number.insert(0, 12 - number.size(), ' ');
    return std::string(axis) + number + "\n";
}

}  // namespace

std::string RgbaTextField(std::uint8_t value) {
    const auto& f = Fields().field[value];
    return std::string(f.data(), f.size());
}

int WriteDisplayRgbaText(const std::string& path, const std::string& title, const std::uint32_t* voxels,
                         int vx, int vy, int vz, ProgressSink* progress, std::string* error) {
    const FieldTable& table = Fields();
    try {
        AtomicFile file(path);
        std::string header;
        if (!title.empty()) {
            // A line break in the title would end the comment line and break the header.
            std::string line = title;
            for (char& c : line)
                if (c == '\n' || c == '\r') c = ' ';
            header += "# " + line + "\n";
        }
        header += Extent("X:", vx) + Extent("Y:", vy) + Extent("Z:", vz) + "data\n";
        file.Write(header.data(), header.size());

        const std::size_t plane =
            static_cast<std::size_t>(std::max(vx, 0)) * static_cast<std::size_t>(std::max(vy, 0));
        constexpr std::size_t kChunkVoxels = 1 << 16;
        std::vector<char> buffer(kChunkVoxels * kLineBytes);
        for (int z = 0; z < vz && voxels; ++z) {
            const std::uint32_t* in = voxels + static_cast<std::size_t>(z) * plane;
            for (std::size_t start = 0; start < plane; start += kChunkVoxels) {
                const std::size_t n = std::min(kChunkVoxels, plane - start);
                char* out = buffer.data();
                for (std::size_t i = 0; i < n; ++i) {
                    std::uint8_t rgba[4];
                    std::memcpy(rgba, in + start + i, 4);
                    for (int c = 0; c < 4; ++c, out += kFieldWidth)
                        std::memcpy(out, table.field[rgba[c]].data(), kFieldWidth);
                    *out++ = '\n';
                }
                file.Write(buffer.data(), n * kLineBytes);
            }
            if (progress && progress->SetProgress(static_cast<int>((z + 1) * 100LL / vz))) {
                file.Discard();
                return kRgbaCancelled;
            }
        }
        file.Commit();
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return kRgbaFailed;
    }
    return kRgbaWritten;
}

}  // namespace zun
