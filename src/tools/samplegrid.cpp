#include "tools/samplegrid.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "document/gridplacement.h"
#include "document/zundoc.h"
#include "foundation/clocale.h"
#include "platform/prompt.h"

namespace zun {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

const char* SkipBlanks(const char* p) {
    while (IsBlank(*p)) ++p;
    return p;
}

// A size or offset is the whole field: reading only its leading digits would take "24abc" or
// "1e309" for another grid than the one asked, and a smaller grid drops the slices it leaves out.
// Blanks may follow, as they may lead; the end is the text's own, so a NUL inside it counts too.
bool OnlyBlanksFollow(const std::string& text, const char* end) {
    const char* last = text.c_str() + text.size();
    while (end < last && IsBlank(*end)) ++end;
    return end == last;
}

}  // namespace

bool ReadUnsignedField(const std::string& text, std::uint32_t& value) {
    const char* p = SkipBlanks(text.c_str());
    // A minus sign would wrap round to a huge size: it is no size at all.
    if (*p == '-') return false;
    if (*p == '+') ++p;
    if (*p < '0' || *p > '9') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(p, &end, 10);
    if (errno == ERANGE || v > std::numeric_limits<std::uint32_t>::max() || !OnlyBlanksFollow(text, end))
        return false;
    value = static_cast<std::uint32_t>(v);
    return true;
}

bool ReadSignedField(const std::string& text, std::int32_t& value) {
    const char* p = SkipBlanks(text.c_str());
    const char* digits = (*p == '-' || *p == '+') ? p + 1 : p;
    if (*digits < '0' || *digits > '9') return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(p, &end, 10);
    if (errno == ERANGE || v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max() || !OnlyBlanksFollow(text, end))
        return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

bool ReadRealField(const std::string& text, double& value) {
    // Numbers are read in the C locale whatever the user's.
    const char* p = SkipBlanks(text.c_str());
    char* end = nullptr;
    const double v = StrToDoubleC(p, &end);
    if (end == p) return false;
    value = v;
    return true;
}

std::uint64_t GridVoxelCount(const std::array<std::uint32_t, 3>& s) {
    std::uint64_t n = 0;
    if (__builtin_mul_overflow(static_cast<std::uint64_t>(s[0]), static_cast<std::uint64_t>(s[1]), &n) ||
        __builtin_mul_overflow(n, static_cast<std::uint64_t>(s[2]), &n))
        return std::numeric_limits<std::uint64_t>::max();
    return n;
}

std::string FormatVoxelSize(double value) {
    std::string text = FormatC("%.5g", value);
    if (!std::isfinite(value)) return text;
    for (int digits = 6; digits <= 17 && StrToDoubleC(text.c_str()) != value; ++digits)
        text = FormatC("%.*g", digits, value);
    return text;
}

VoxelCountLine MakeVoxelCountLine(std::uint64_t n) {
    // The count is shown signed; a saturated count shows as the largest signed value.
    const long long shown = n > static_cast<std::uint64_t>(std::numeric_limits<long long>::max())
                                ? std::numeric_limits<long long>::max()
                                : static_cast<long long>(n);
    char buf[160];
    if (n < 2147483647ULL) {
        std::snprintf(buf, sizeof buf, "Total number of voxels is %lld", shown);
        return {buf, {55, 200, 55}};
    }
    if (n < 4294967295ULL) {
        std::snprintf(buf, sizeof buf, "Large number of voxels %lld", shown);
        return {buf, {255, 128, 0}};
    }
    std::snprintf(buf, sizeof buf, "Very large No voxels %lld. Consider to split the sample grid", shown);
    return {buf, {255, 0, 0}};
}

SetupSampleGrid::SetupSampleGrid(const std::array<std::uint32_t, 3>& oldSizes,
                                 const std::array<double, 4>& phys, bool defaults)
    : setDefaults(defaults), sizes(oldSizes), physical(phys), old_(oldSizes) {
    for (std::size_t k = 0; k < 3; ++k) {
        sizeText[k] = std::to_string(oldSizes[k]);
        offsetText[k] = "0";
    }
    for (std::size_t k = 0; k < 4; ++k) physicalText[k] = FormatVoxelSize(phys[k]);
}

SetupSampleGrid SetupSampleGrid::FromDocument(const CZunDoc& doc) {
    std::array<std::uint32_t, 3> dims{};
    const std::vector<int> d = doc.GetSample().GetDims();
    for (std::size_t k = 0; k < 3 && k < d.size(); ++k)
        dims[k] = static_cast<std::uint32_t>(std::max(0, d[k]));
    const Params& p = doc.GetModel().GetParams();
    std::array<double, 4> phys{1, 1, 1, 1};
    for (std::size_t k = 0; k < 4 && k < p.voxelPhysicalSize.size(); ++k) phys[k] = p.voxelPhysicalSize[k];
    SetupSampleGrid g(dims, phys, p.setDefaultsForUndefinedVoxels);
    g.caption = doc.GetTitle() + " Setup Sample Grid";
    return g;
}

VoxelCountLine SetupSampleGrid::CountLine() const {
    std::array<std::uint32_t, 3> s{};
    for (std::size_t k = 0; k < 3; ++k)
        if (!ReadUnsignedField(sizeText[k], s[k])) s[k] = 0;
    return MakeVoxelCountLine(GridVoxelCount(s));
}

std::string SetupSampleGrid::Read(Values& v) const {
    for (std::size_t k = 0; k < 3; ++k)
        if (!ReadUnsignedField(sizeText[k], v.sizes[k]) || !ReadSignedField(offsetText[k], v.offsets[k]))
            return gridmsg::kInvalidValue;
    // Two bytes per voxel must stay addressable with 32 bits.
    const std::uint64_t n = GridVoxelCount(v.sizes);
    if (n > std::numeric_limits<std::uint32_t>::max() / 2) return gridmsg::kTooLarge;
    const auto& s = v.sizes;
    if (s[0] && s[1] && s[2] && (s[0] < kMinGridXY || s[1] < kMinGridXY))
        return gridmsg::kXYTooSmall + std::to_string(kMinGridXY);
    for (std::uint32_t size : s)
        if (size > kMaxGridSize) return gridmsg::kSizeLimit + std::to_string(kMaxGridSize);
    // Not a number and infinity are no sizes either: they would spoil every result computed with them.
    for (std::size_t k = 0; k < 4; ++k)
        if (!ReadRealField(physicalText[k], v.physical[k]) || !std::isfinite(v.physical[k]) ||
            !(v.physical[k] >= kMinVoxelSize))
            return gridmsg::kInvalidVoxelSize;
    return {};
}

void SetupSampleGrid::Take(const Values& v) {
    sizes = v.sizes;
    offsets = ClampGridOffsets(old_, v.sizes, v.offsets);
    physical = v.physical;
}

bool SetupSampleGrid::Accept(Prompt& prompt) {
    Values v;
    const std::string refusal = Read(v);
    if (!refusal.empty()) {
        prompt.Tell(refusal, PromptIcon::Information);
        return false;
    }
    const bool noOffset = v.offsets == std::array<std::int32_t, 3>{};
    const bool empty = GridVoxelCount(v.sizes) == 0 || GridVoxelCount(old_) == 0;
    // The resize's own rule decides what is lost, so the question comes exactly when it is.
    if (!noOffset && !empty && !GridsShareVoxels(old_, v.sizes, v.offsets) &&
        prompt.Ask(PromptRequest{
            gridmsg::kNoCommonRegion, {}, {}, PromptButtons::YesNo, PromptIcon::Question}) != kPromptYes)
        return false;
    Take(v);
    return true;
}

std::string SetupSampleGrid::Check() {
    Values v;
    std::string refusal = Read(v);
    if (refusal.empty()) Take(v);
    return refusal;
}

int SetupSampleGrid::ApplyTo(CZunDoc& doc) const {
    return doc.ApplySampleGrid(sizes, offsets, physical, setDefaults);
}

}  // namespace zun
