#pragma once
// The texts of the exported web page (XHTML with the X3D scene and its controls) and of the
// optional loader page for a data-publishing service.

#include <array>
#include <ctime>
#include <string>
#include <vector>

#include "foundation/voxeltypes.h"
#include "view3d/web3doptions.h"

namespace zun {

// One resolution level as the page lists it.
struct Web3DPageLevel {
    Web3DOptions level;  // X, Y, Z, tiles and border of the level
    std::string label;
};

// What the page says about the document and the view besides the options.
struct Web3DPageFacts {
    Dims sampleGrid{0, 0, 0};
    std::array<double, 3> voxelSize{1, 1, 1};
    std::string versionText;  // "<FileDescription> - <ProductVersion>"
    std::string createDate;   // Web3DCreateDate
    std::array<double, 3> position{0, 0, 10};
    std::array<double, 4> orientation{0, 0, 1, 0};  // axis x, y, z, then angle
};

// Local time as "%A, %B %d %Y, %H:%M".
std::string Web3DCreateDate(std::time_t when);
// Camera position for the page: the eye point scaled by the volume's bounding radius r so that
// the page's volume (whose diagonal is 20 tan 22.5 degrees) is seen as the view sees its own.
std::array<double, 3> Web3DViewpointPosition(const std::array<double, 3>& eye, double radius);
// The page's volume dimensions for a level of X x Y x Z voxels of the given sizes.
std::array<double, 3> Web3DVolumeDimensions(int X, int Y, int Z, const std::array<double, 3>& voxelSize);

// Text for an attribute value: HtmlEscape with line ends turned into blanks.
std::string HtmlAttributeEscape(const std::string& text);

// The XHTML page for the file name N and the levels (the first one is shown first).
std::string BuildWeb3DPage(const Web3DOptions& options, const std::string& name,
                           const std::vector<Web3DPageLevel>& levels, const Web3DPageFacts& facts);
// The loader page that shows "Web3D/<N>.xhtml" through the data service.
std::string BuildWeb3DLoaderPage(const std::string& title, const std::string& name);

}  // namespace zun
