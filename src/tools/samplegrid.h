#pragma once
// "Setup Sample Grid": what the dialog shows and how its OK checks the typed grid size, offsets
// and voxel size. The dialog holds only the edits; everything it decides is here.

#include <array>
#include <cstdint>
#include <string>

namespace zun {

class CZunDoc;
class Prompt;

inline constexpr std::uint32_t kMaxGridSize = 32767;
inline constexpr std::uint32_t kMinGridXY = 3;
inline constexpr double kMinVoxelSize = 1e-12;

// The line under the size fields: the voxel count of the typed sizes in a colour that warns of
// large grids.
struct VoxelCountLine {
    std::string text;
    std::array<int, 3> rgb{};
};
// X * Y * Z, saturated at the largest 64-bit value.
std::uint64_t GridVoxelCount(const std::array<std::uint32_t, 3>& sizes);
VoxelCountLine MakeVoxelCountLine(std::uint64_t count);

class SetupSampleGrid {
public:
    // The grid the document has, its controller's four physical sizes (multiplier, X, Y and Z
    // edge, metres) and its default-values switch.
    SetupSampleGrid(const std::array<std::uint32_t, 3>& oldSizes, const std::array<double, 4>& physical,
                    bool setDefaults);
    // The same, read from a document.
    static SetupSampleGrid FromDocument(const CZunDoc& doc);

    // The texts of the edits, as typed.
    std::array<std::string, 3> sizeText;
    std::array<std::string, 3> offsetText;
    std::array<std::string, 4> physicalText;
    bool setDefaults = false;
    std::string caption = "Zun Setup Sample Grid";

    // The count line of the typed sizes (a size that does not read counts as 0).
    VoxelCountLine CountLine() const;

    // OK: checks the fields in order and tells the first problem through the prompt, asking when
    // the new grid shares nothing with the old one. True when the dialog may close; the values
    // below then hold the accepted grid with the offsets clamped.
    bool Accept(Prompt& prompt);
    // The same checks for a caller that cannot ask (the remote grid commands): the text of the
    // first refusal, or empty with the values below holding the grid, its offsets clamped.
    std::string Check();

    std::array<std::uint32_t, 3> sizes{};
    std::array<std::int32_t, 3> offsets{};
    std::array<double, 4> physical{};

    // Applies an accepted grid to the document (the controller's values, then the resize).
    int ApplyTo(CZunDoc& doc) const;

private:
    struct Values {
        std::array<std::uint32_t, 3> sizes{};
        std::array<std::int32_t, 3> offsets{};
        std::array<double, 4> physical{};
    };
    // Reads and checks the fields: the refusal's text, empty when v holds a grid to accept.
    std::string Read(Values& v) const;
    void Take(const Values& v);

    std::array<std::uint32_t, 3> old_;
};

// A physical size as the dialog shows it: "%.5g" where that reads back as the same number, else
// with as many digits as it takes, so that an OK without edits keeps the value exactly.
std::string FormatVoxelSize(double value);

// The messages of the grid check.
namespace gridmsg {
inline constexpr const char* kInvalidValue = "One or more numeric fields contain an invalid value";
inline constexpr const char* kTooLarge = "One or more requested gridSize dimensions are too large";
inline constexpr const char* kXYTooSmall =
    "If all gridSize dimensions are non-zero, X and Y ranges must be >=";
inline constexpr const char* kSizeLimit = "All gridSize dimensions must be less than or equal to ";
inline constexpr const char* kInvalidVoxelSize = "Invalid voxel physical size specification";
inline constexpr const char* kNoCommonRegion =
    "No common region between new and old sample grid. Continue (channel data will be lost)?";
}  // namespace gridmsg

// Field readers in the manner of the C library's conversions: leading blanks skipped, then a
// number. A size or offset must be all of its field but for trailing blanks; a real keeps the
// C library's reading, what follows its number is ignored. False when nothing converts, the value
// does not fit or a size or offset has more after it.
bool ReadUnsignedField(const std::string& text, std::uint32_t& value);
bool ReadSignedField(const std::string& text, std::int32_t& value);
bool ReadRealField(const std::string& text, double& value);

}  // namespace zun
