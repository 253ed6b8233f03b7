#include "view3d/web3doptions.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "foundation/pathutil.h"
#include "view3d/web3dtexts.h"

namespace zun {

namespace {

std::string Printf(const char* format, double a, double b, double c) {
    char buf[256];
    std::snprintf(buf, sizeof buf, format, a, b, c);
    return buf;
}

// The number at the start of the text, as the dialog's integer fields read it.
bool ReadInt(const std::string& text, int* value) {
    const char* s = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s, &end, 10);
    // A number past the int range would otherwise wrap to an unrelated, possibly valid one.
    if (end == s || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    *value = static_cast<int>(v);
    return true;
}

bool ReadFloat(const std::string& text, float* value) {
    const char* s = text.c_str();
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    if (end == s || !std::isfinite(v)) return false;
    *value = static_cast<float>(v);
    return true;
}

}  // namespace

std::string TrimBlanks(const std::string& s) {
    const char* blanks = " \t\r\n";
    const std::size_t a = s.find_first_not_of(blanks);
    if (a == std::string::npos) return "";
    const std::size_t b = s.find_last_not_of(blanks);
    return s.substr(a, b - a + 1);
}

std::string DescribeColouring(const Web3DChannelColouring& c) {
    const int r = c.colour & 0xFF, g = (c.colour >> 8) & 0xFF, b = (c.colour >> 16) & 0xFF;
    switch (c.colourKind) {
        case 0:
            if (r > 250 && g < 5 && b < 5) return "red";
            if (r < 5 && g > 250 && b < 5) return "green";
            if (r < 5 && g < 5 && b > 250) return "blue";
            return "single colour - RGB(" + std::to_string(r) + "," + std::to_string(g) + "," +
                   std::to_string(b) + ")";
        case 1:
            return "colour per data bit";
        case 3:
            return "colour per data value";
        case 2:
            return "colour-spectrum";
        case -2:
            return "colour combined";
        default:
            return "undefined";
    }
}

std::string BuildWeb3DDescription(const Web3DDocumentFacts& f) {
    char head[128];
    const int gx = f.grid.size() > 0 ? f.grid[0] : 0, gy = f.grid.size() > 1 ? f.grid[1] : 0,
              gz = f.grid.size() > 2 ? f.grid[2] : 0;
    std::snprintf(head, sizeof head, "The displayed 3D image has %d x %d x %d voxels. ", gx, gy, gz);
    std::string text = head;
    const double u = f.unitMetres;
    const auto& v = f.voxelSize;
    if (u >= 0.99) {
        text += Printf("Each voxel represents a physical volume of %.5g x %.5g x %.5g cubc metres.", v[0] * u,
                       v[1] * u, v[2] * u);
    } else if (u >= 0.00099) {
        text += Printf("Each voxel represents a physical volume of %.5g x %.5g x %.5g cubc mili-metres.",
                       v[0] * u * 1000, v[1] * u * 1000, v[2] * u * 1000);
    } else if (u >= 9.9e-07) {
        text += Printf("Each voxel represents a physical volume of %.5g x %.5g x %.5g cubc microns.",
                       v[0] * u * 1e6, v[1] * u * 1e6, v[2] * u * 1e6);
    } else {
        text += Printf("Each voxel represents a physical volume of %.5g x %.5g x %.5g cubc nano-metres.",
                       v[0] * u * 1e9, v[1] * u * 1e9, v[2] * u * 1e9);
    }
    text += "\r\n";
    for (std::size_t i = 0; i < f.channels.size(); ++i) {
        text += f.channels[i].name + " is displayed as " + DescribeColouring(f.channels[i]);
        text += i + 1 < f.channels.size() ? "; " : ".";
    }
    return text;
}

void BuildDefaultWeb3DOptions(Web3DOptions& o, const Web3DDocumentFacts& f) {
    o.description = BuildWeb3DDescription(f);
    o.maxSteps = 220.0f;
    o.opacityFactor = 1.4f;
    o.border = 8;
    o.title = f.title;
    o.fileName = f.title;
    o.serviceScript = false;
    o.thumbnail = true;
    if (!f.documentsFolder.empty()) o.folder = f.documentsFolder;
}

int Web3DTileCount(int z) {
    int n = static_cast<int>(std::ceil(std::sqrt(static_cast<double>(z))));
    if (n * n == z) ++n;
    if (n % 2 == 1) ++n;
    return n;
}

int CheckWeb3DExport(Web3DOptions& o, bool hasVolume, const Dims& volume, const Web3DDocumentFacts& f,
                     std::string& message) {
    if (!hasVolume || volume.size() < 3) {
        message = web3dmsg::kNoVolumeImage;
        return 1;
    }
    const int x = volume[0], y = volume[1], z = volume[2];
    if (x < 10 || y < 10 || z < 10) {
        message = web3dmsg::kTooSmall;
        return 2;
    }
    const float ratios[3] = {static_cast<float>(x) / static_cast<float>(y),
                             static_cast<float>(y) / static_cast<float>(z),
                             static_cast<float>(z) / static_cast<float>(x)};
    for (float r : ratios)
        if (r < 0.002f || r > 500.0f) {
            message = web3dmsg::kAspect;
            return 3;
        }
    const int n = Web3DTileCount(z);
    const long long w = static_cast<long long>(x) * n, h = static_cast<long long>(y) * n;
    if (w > 16384) {
        message = web3dmsg::kWidthLarge;
        return 4;
    }
    if (w < 256) {
        message = web3dmsg::kWidthSmall;
        return 5;
    }
    if (h > 16384) {
        message = web3dmsg::kHeightLarge;
        return 6;
    }
    if (h < 256) {
        message = web3dmsg::kHeightSmall;
        return 7;
    }
    if (o.folder.empty())
        BuildDefaultWeb3DOptions(o, f);
    else if (!f.rememberedFolder.empty())
        // An empty remembered folder would leave the export without a destination.
        o.folder = f.rememberedFolder;
    o.tilesX = o.tilesY = n;
    o.X = x;
    o.Y = y;
    o.Z = z;
    return 0;
}

std::string CheckWeb3DFileName(const std::string& name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == ' ' || c == '\t') return web3dmsg::kNameBlank;
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '_' || c == '-' || (c == '.' && i > 0);
        if (!plain) return web3dmsg::kNameSymbol;
    }
    return "";
}

Web3DDialogModel::Fields Web3DDialogModel::Fill() const {
    Fields f;
    f.width = std::to_string(options_.X);
    f.height = std::to_string(options_.Y);
    f.slices = std::to_string(options_.Z);
    f.title = options_.title;
    f.description = options_.description;
    f.border = std::to_string(options_.border);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.1f", options_.opacityFactor);
    f.opacityFactor = buf;
    f.folder = options_.folder;
    f.fileName = options_.fileName;
    f.thumbnail = options_.thumbnail;
    f.serviceScript = options_.serviceScript;
    f.averaging = options_.samplingMode == 1;
    return f;
}

long long Web3DAtlasSide(int extent, int border, int tiles) {
    return (static_cast<long long>(extent) + 2LL * border) * tiles;
}

int MaxWeb3DBorder(int tiles) {
    return static_cast<int>(kWeb3DMaxBorderPixels / (2LL * std::max(tiles, 1)));
}

std::string CheckWeb3DOptions(const Web3DOptions& o) {
    // Taken as it will be used: blanks around the name are refused, not trimmed.
    if (o.fileName.empty()) return web3dmsg::kEnterFileName;
    const std::string nameProblem = CheckWeb3DFileName(o.fileName);
    if (!nameProblem.empty()) return nameProblem;
    if (o.border < 0) return web3dmsg::kBadBorder;
    const int tiles = std::max(o.tilesX, o.tilesY);
    if (o.border > MaxWeb3DBorder(tiles))
        return web3dmsg::kBorderTooWide + std::to_string(MaxWeb3DBorder(tiles)) + web3dmsg::kBorderTooWideEnd;
    // The dialog's range, which its own message gives: the page's ray marcher takes no other.
    if (!(o.opacityFactor >= kWeb3DMinOpacity && o.opacityFactor <= kWeb3DMaxOpacity))
        return web3dmsg::kBadOpacity;
    // Last: the only check that looks at the disk. An empty folder is the export check's to fill.
    return o.folder.empty() ? std::string() : CheckPathUse(o.folder, PathUse::kWriteFolder);
}

std::array<std::string, 2> Web3DDialogModel::MatrixTexts(const std::string& borderText) const {
    int b = 0;
    if (!ReadInt(borderText, &b) || b < 0) b = 0;
    return {std::to_string(Web3DAtlasSide(options_.X, b, options_.tilesX)),
            std::to_string(Web3DAtlasSide(options_.Y, b, options_.tilesY))};
}

std::string Web3DDialogModel::Export(const Fields& f) {
    const std::string title = TrimBlanks(f.title), description = TrimBlanks(f.description);
    const std::string name = TrimBlanks(f.fileName);
    if (title.empty()) return web3dmsg::kEnterTitle;
    if (description.empty()) return web3dmsg::kEnterDescription;
    if (f.folder.empty()) return web3dmsg::kSelectFolder;
    if (name.empty()) return web3dmsg::kEnterFileName;
    const std::string nameProblem = CheckWeb3DFileName(name);
    if (!nameProblem.empty()) return nameProblem;
    int border = 0;
    if (!ReadInt(f.border, &border) || border < 0) return web3dmsg::kBadBorder;
    float opacity = 0;
    if (!ReadFloat(f.opacityFactor, &opacity)) return web3dmsg::kBadOpacity;
    // The checks the remote command meets too, on the values as they would be stored.
    Web3DOptions candidate = options_;
    candidate.fileName = name;
    candidate.folder = f.folder;
    candidate.border = border;
    candidate.opacityFactor = opacity;
    const std::string refused = CheckWeb3DOptions(candidate);
    if (!refused.empty()) return refused;
    options_.title = title;
    options_.description = description;
    options_.fileName = name;
    options_.folder = f.folder;
    options_.thumbnail = f.thumbnail;
    options_.serviceScript = f.serviceScript;
    options_.border = border;
    options_.opacityFactor = opacity;
    options_.samplingMode = f.averaging ? 1 : 0;
    return "";
}

}  // namespace zun
