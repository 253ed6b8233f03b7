// The words of a remote "output-web3d" that reach the export unchecked by the command itself
// (file name, border and opacity, as "name@border@opacity"): whatever they are, the export's
// check refuses them or every atlas they lead to stays within the sizes the builder allocates,
// and an accepted file name stays a name.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "view3d/web3doptions.h"
#include "view3d/webatlas.h"

namespace {

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words(1);
    for (char c : text) {
        if (c == '@')
            words.emplace_back();
        else
            words.back() += c;
    }
    return words;
}

void Fail(const char* what, const std::string& text) {
    std::fprintf(stderr, "%s: \"%s\"\n", what, text.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 512) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> w = Words(text);
    if (w.size() != 3) return 0;
    zun::Web3DOptions o;
    o.folder = "/nonexistent";
    zun::Web3DDocumentFacts facts;
    std::string message;
    const zun::Dims volume{60, 60, 20};
    if (zun::CheckWeb3DExport(o, true, volume, facts, message) != 0) Fail("the volume is refused", message);
    o.fileName = w[0];
    const long long border = std::strtoll(w[1].c_str(), nullptr, 10);
    o.border = border < INT32_MIN ? INT32_MIN : border > INT32_MAX ? INT32_MAX : static_cast<int>(border);
    o.opacityFactor = std::strtof(w[2].c_str(), nullptr);
    if (!zun::CheckWeb3DOptions(o).empty()) return 0;
    if (o.fileName.find('/') != std::string::npos || o.fileName[0] == '.')
        Fail("a path passed as a name", text);
    const std::vector<std::uint8_t> rgba(std::size_t(60) * 60 * 20 * 4, 7);
    for (const zun::Web3DLevel& level : zun::ChooseWeb3DLevels(zun::AtlasWidth(o), zun::AtlasHeight(o))) {
        int p = 1, q = 1;
        const zun::Web3DOptions l = zun::FitAtlasLevel(o, level.targetSize, &p, &q);
        const long long wide = zun::Web3DAtlasSide(l.X, l.border, l.tilesX);
        const long long high = zun::Web3DAtlasSide(l.Y, l.border, l.tilesY);
        if (wide < 1 || high < 1 || wide > zun::kWeb3DMaxAtlasSide || high > zun::kWeb3DMaxAtlasSide)
            Fail("an accepted border gives an atlas out of range", text);
        // Sampling a small atlas for real; a large one would only cost time.
        if (wide * high <= 1024 * 1024 && zun::BuildAtlas(rgba.data(), volume, l, p, q, 1).size() !=
                                              static_cast<std::size_t>(wide * high * 4))
            Fail("the atlas has the wrong size", text);
    }
    return 0;
}
