#pragma once
// Texture atlases of the web page: every slice of the RGBA volume becomes one tile of a square
// grid with a transparent border, at up to five reduced sizes; the atlas is written as a PNG and
// embedded in a small script as Base64 text.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "foundation/voxeltypes.h"
#include "view3d/web3doptions.h"

namespace zun {

struct Web3DLevel {
    int targetSize = 0;
    std::string label;
};

// The fixed table of target sizes and their labels.
const std::vector<Web3DLevel>& Web3DLevelTable();
// The levels produced for a full atlas of the given size: every table size up to the first one
// larger than the atlas, that last one cut to the atlas size and labelled "Best visualization".
std::vector<Web3DLevel> ChooseWeb3DLevels(int fullWidth, int fullHeight);

// The level of one target size: a copy of the options with the reduced slice size, slice count and
// tile count, and the scale p/q against the full volume. The candidate's atlas is measured with
// the even tile count it will be stored with, so a level never exceeds its target when any
// reduction fits.
Web3DOptions FitAtlasLevel(const Web3DOptions& options, int targetSize, int* p, int* q);

// The atlas sides of checked options (CheckWeb3DOptions keeps them within kWeb3DMaxAtlasSide).
inline int AtlasWidth(const Web3DOptions& l) {
    return static_cast<int>(Web3DAtlasSide(l.X, l.border, l.tilesX));
}
inline int AtlasHeight(const Web3DOptions& l) {
    return static_cast<int>(Web3DAtlasSide(l.Y, l.border, l.tilesY));
}

// Samples one level's atlas from the full RGBA volume (voxel (x, y, z) at (z * Y + y) * X + x of the
// full extents). progress is called after each tile row with the number of atlas rows finished so
// far and returns false to stop (then the result is empty). A level whose sizes are negative or
// past kWeb3DMaxAtlasSide gives an empty result too, before anything is allocated.
std::vector<std::uint8_t> BuildAtlas(const std::uint8_t* volume, const Dims& full, const Web3DOptions& level,
                                     int p, int q, int threads,
                                     const std::function<bool(int rowsDone)>& progress = {});

// Writes RGBA pixels as a PNG with the strongest compression. "" or the reason it failed.
std::string WriteRgbaPng(const std::string& path, const std::uint8_t* rgba, int width, int height);

// Standard Base64 with padding, no line breaks.
std::string Base64Encode(const std::uint8_t* bytes, std::size_t length);
// The whole file encoded; "" when it cannot be read.
std::string ReadFileAsBase64(const std::string& path);
// Writes exactly var <name>="<Base64 of source>"; (no line end), through a temporary file; then
// removes the source when asked. false when the script could not be written.
bool WriteBase64Script(const std::string& source, const std::string& script, const std::string& variable,
                       bool removeSource);

// Writes text to path through a temporary file renamed into place. false on any failure (the
// old file, if any, stays).
bool WriteFileAtomically(const std::string& path, const std::string& text);

}  // namespace zun
