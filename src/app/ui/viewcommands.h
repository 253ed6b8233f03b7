#pragma once
// The 3-D view's commands of the File and View menus, forwarded by the active document window to
// its view and tree so that they work whichever pane has the focus: the snapshot, the axes, the
// bounding box, the background colour and the three colour schemes.

#include <string>

namespace zun {

class CChildFrame;
class CZunApp;
class CZunView;
class ZunTreeView;

namespace viewcmd {
// The colour schemes are the tree's view option.
inline constexpr int kRgb = 0;
inline constexpr int kRybNormal = 1;
inline constexpr int kRybPaint = 2;
}  // namespace viewcmd

// What the menus show for a window: whether it has a 3-D view (the view commands are enabled)
// and a tree (the colour schemes are), and the check marks.
struct ViewCommandState {
    bool hasView = false;
    bool hasTree = false;
    bool axesShown = false;
    bool boxShown = false;
    int colourScheme = -1;
};
ViewCommandState QueryViewCommands(CChildFrame* frame);

// "Save Snapshot...": asks for the file in the document's image-output folder (a name without an
// extension becomes a JPEG), writes what the view shows and tells "Error writing <file>" when
// nothing was written.
void SaveViewSnapshot(CZunApp& app, CChildFrame& frame);
void ToggleViewAxes(CChildFrame& frame);
// The control panel's bounding-box box follows.
void ToggleViewBoundingBox(CChildFrame& frame);
void ChooseViewBackground(CChildFrame& frame);
// Stores the scheme in the tree (kept with the document) and has the view redraw its colours;
// choosing the scheme in use does nothing. False when nothing changed.
bool SetViewColourScheme(CChildFrame& frame, int scheme);

// "Export Data > 3D Images > OSG..." of the channel and slice menus: the save dialog of the
// document's scene export, then the scene of the selected channels or slices only; failures are
// told as "Could not export <texts>". The tree and the view must outlive the commands.
void RegisterSelectionOsgExports(ZunTreeView& tree, CZunView& view);

}  // namespace zun
