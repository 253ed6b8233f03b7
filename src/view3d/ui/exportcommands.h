#pragma once
// The tree's "Export Data" commands that write what the window shows: slice images (with the
// options dialog) and the display volume as RGBA text. Each runs the whole command on the UI
// thread: dialogs, progress with Cancel, the report at the end.

#include <cstdint>

class QWidget;

namespace zun {

class CZunDoc;
class CZunView;
class DisplayTree;
class DisplayVolume;
class TreeCommands;

// "Export Data > 2D Images..." of the root (scope 3), channels (1) or slices (2) of a tree. The
// view background colour (0x00BBGGRR) is what colour TIFF images are drawn over.
void RunSliceImageExport(QWidget* parent, CZunDoc& doc, const DisplayTree& tree, int scope,
                         std::uint32_t viewBackground);

// "Export Data > RGBA File...": the volume that the 3-D view renders, as a text file.
void RunDisplayRgbaExport(QWidget* parent, CZunDoc& doc, const DisplayVolume& volume);

// Serves these entries of a window's tree menus. The view (null when the window has none) gives
// the background of colour TIFF images and the RGBA volume; without it the RGBA entry stays unserved.
// The commands keep the tree, the parent and the view, which must outlive them.
void RegisterExportCommands(TreeCommands& commands, CZunDoc& doc, const DisplayTree& tree, QWidget* parent,
                            CZunView* view);

}  // namespace zun
