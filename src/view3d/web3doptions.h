#pragma once
// The options of the interactive web page export, their defaults (with a generated description
// of what the view shows), the checks that refuse volumes the page cannot show, and the model
// of the options dialog.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/voxeltypes.h"

namespace zun {

struct Web3DOptions {
    std::string fileName;
    std::string folder;
    std::string description;
    std::string title;
    bool serviceScript = false;
    bool thumbnail = true;
    int tilesX = 0;
    int tilesY = 0;
    int X = 0, Y = 0, Z = 0;
    int border = 8;
    float opacityFactor = 1.4f;
    float maxSteps = 220.0f;
    int samplingMode = 0;  // 0 decimation, 1 averaging
};

// One displayed top-level channel, as the description names it.
struct Web3DChannelColouring {
    std::string name;
    int colourKind = 0;        // 0 single, 1 per bit, 2 spectrum, 3 per value, -2 combined
    std::uint32_t colour = 0;  // single colour, 0x00BBGGRR
};

// What the defaults are made of: the document's title, grid, length unit and voxel sizes, the
// channels the tree shows, and where the user's documents live.
struct Web3DDocumentFacts {
    std::string title;
    Dims grid{0, 0, 0};
    double unitMetres = 1e-6;                  // metres per length unit
    std::array<double, 3> voxelSize{1, 1, 1};  // in length units
    std::vector<Web3DChannelColouring> channels;
    std::string documentsFolder;   // "" when it cannot be found
    std::string rememberedFolder;  // the document's last Web3D destination
};

// "red", "green", "blue", "single colour - RGB(r,g,b)", "colour per data bit", ...
std::string DescribeColouring(const Web3DChannelColouring& c);
std::string BuildWeb3DDescription(const Web3DDocumentFacts& facts);
void BuildDefaultWeb3DOptions(Web3DOptions& options, const Web3DDocumentFacts& facts);

// Tiles across (and down) the full-size atlas for a volume of z slices.
int Web3DTileCount(int z);

// 0 when a volume of the given extents can be exported (then the extents, tile counts and folder
// are set in the options), else a code 1..7 with its message. hasVolume false gives code 1.
int CheckWeb3DExport(Web3DOptions& options, bool hasVolume, const Dims& volume,
                     const Web3DDocumentFacts& facts, std::string& message);

// The pixels the tile borders may add to an atlas side: as many as the largest texture the page
// loads, so that no level's atlas side exceeds twice that and every size stays far inside int.
inline constexpr int kWeb3DMaxBorderPixels = 16384;
inline constexpr long long kWeb3DMaxAtlasSide = 2LL * kWeb3DMaxBorderPixels;

// (extent + 2 * border) * tiles without overflow, for any int inputs.
long long Web3DAtlasSide(int extent, int border, int tiles);
// The widest border whose pixels stay within kWeb3DMaxBorderPixels across the given tile count.
int MaxWeb3DBorder(int tiles);

// The opacity factors the page takes.
inline constexpr float kWeb3DMinOpacity = 0.0f;
inline constexpr float kWeb3DMaxOpacity = 2.0f;

// The checks every export passes, from the dialog or a remote command, after CheckWeb3DExport
// set the tile counts: "" when the file name, border and opacity can be written, else the
// refusal. The file name is a name, never a path; the border may not be negative nor so wide
// that the atlas sizes leave the range the atlas builder can allocate; a folder given passes
// CheckPathUse as one to write into.
std::string CheckWeb3DOptions(const Web3DOptions& options);

// The file name check of the dialog: "" when acceptable, else the message. Only letters, digits,
// '.', '_' and '-' are accepted and the name may not begin with '.', so that the page files stay
// inside the destination folder and the name is safe inside the page's markup and scripts.
std::string CheckWeb3DFileName(const std::string& trimmedName);

// The options dialog without widgets: the texts its fields show and the checks of Export.
class Web3DDialogModel {
public:
    struct Fields {
        std::string width, height, slices;
        std::string title, description;
        std::string border, opacityFactor;
        std::string folder, fileName;
        bool thumbnail = true, serviceScript = false;
        bool averaging = false;
    };

    explicit Web3DDialogModel(Web3DOptions& options) : options_(options) {}
    Fields Fill() const;
    // "Matrix X" and "Matrix Y" for the border text as typed (negative or unreadable counts as 0).
    std::array<std::string, 2> MatrixTexts(const std::string& borderText) const;
    // "" and the options updated, or the first failure's message (the options unchanged).
    std::string Export(const Fields& f);
    // "Default": the defaults go into the options at once.
    void Default(const Web3DDocumentFacts& facts) { BuildDefaultWeb3DOptions(options_, facts); }
    const Web3DOptions& Options() const { return options_; }

private:
    Web3DOptions& options_;
};

// Leading and trailing blanks (space, tab, CR, LF) removed.
std::string TrimBlanks(const std::string& s);

}  // namespace zun
