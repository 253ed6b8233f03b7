#pragma once
// The scene of some channels or slices only, written like the view's own scene export: a display
// volume of the view's extents filled with the kept items in the tree's colours, put in a scene of
// the view's settings and written by the path's extension.

#include <string>
#include <vector>

#include "view3d/selectionlayers.h"

namespace zun {

class CZunView;
class DisplayTree;

// 0 written; 1 failed with the texts appended to errors (nothing kept gives "No volumetric image
// is created."); 2 nothing was written because none of the kept items is displayed (the text
// says that only displayed ones are exported).
int ExportSelectionToOsg(CZunView& view, const DisplayTree& tree, const SliceSelection& keep,
                         const std::string& path, std::vector<std::string>& errors);

}  // namespace zun
