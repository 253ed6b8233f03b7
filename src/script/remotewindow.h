#pragma once
// What the remote commands need of a document's window: its tree (the display state the tree
// menus and the Display Properties dialog edit), its 3-D view, and the pictures and pages only
// the window can draw. The GUI implements it over a document window; tests implement it over a
// plain tree.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tree/displayprops.h"
#include "view3d/animationrecorder.h"
#include "view3d/web3doptions.h"

namespace zun {

class DatcolPropsModel;
class DisplayPropsModel;
class DisplayTree;
class MethodSheet;
class SetupComputationState;
struct MapDataSpec;

// A window that a remote command opened, on the screen while the controller drives it: centred
// over the main window and closed to the local user's input. It shows what its settings hold
// after each command and goes when the command's window goes.
class RemoteShownWindow {
public:
    virtual ~RemoteShownWindow() = default;
    virtual void Refresh() {}
};

// The boundary wizard of the boundary command, on the screen as the other remote windows are,
// with the named boundaries as its list.
class RemoteBoundaryBuild : public RemoteShownWindow {
public:
    // Builds the document's boundary definition into the boundaries as BuildBoundaryFromDocument
    // does (its result), with the wizard's progress window.
    virtual int Build() = 0;
};

class RemoteDocWindow : public DisplayPropsSink {
public:
    // The window's tree; null once the window has gone.
    virtual DisplayTree* Tree() = 0;
    // The colour behind the 3-D view (0x00BBGGRR), which colour slice images are drawn over.
    virtual std::uint32_t ViewBackground() { return 0; }
    // Draws the channel's histogram with its stored settings in the histogram window, shown over
    // the main window, and writes the plot's picture to the path (the format by its extension).
    // False when the window could not be made; `saved` tells whether the file was written.
    virtual bool SaveHistogramPicture(int channel, const std::string& path, bool& saved) = 0;
    // The web-page export of the 3-D view: the check (0 passed, else the message says why), then
    // the writer without its dialog (its result codes).
    virtual int CheckWeb3DExport(Web3DOptions& options, std::string& message) = 0;
    virtual int WriteWeb3DPage(Web3DOptions& options, std::string& message) = 0;
    // The first volume scalar property of the 3-D view, which is then redrawn.
    virtual void SetVolumeScalarProperty(float value) { (void)value; }
    // The windows of the commands that open one, over the settings the commands drive (which
    // outlive the returned window). Null: nothing is shown (no screen).
    virtual std::unique_ptr<RemoteShownWindow> ShowDisplayProperties(DisplayPropsModel& model) {
        (void)model;
        return nullptr;
    }
    virtual std::unique_ptr<RemoteShownWindow> ShowDataColour(DatcolPropsModel& model) {
        (void)model;
        return nullptr;
    }
    virtual std::unique_ptr<RemoteShownWindow> ShowMapChannelData(MapDataSpec& settings) {
        (void)settings;
        return nullptr;
    }
    virtual std::unique_ptr<RemoteShownWindow> ShowSetupComputation(SetupComputationState& state) {
        (void)state;
        return nullptr;
    }
    virtual std::unique_ptr<RemoteShownWindow> ShowMethodSheet(MethodSheet& sheet) {
        (void)sheet;
        return nullptr;
    }
    virtual std::unique_ptr<RemoteBoundaryBuild> ShowBoundaryBuild(const std::vector<std::string>& targets) {
        (void)targets;
        return nullptr;
    }
    // The progress window of the document's long operations, over the main window for as long as
    // the returned window lives: what the document reports while it does shows in it.
    virtual std::unique_ptr<RemoteShownWindow> ShowDocumentProgress(const std::string& caption) {
        (void)caption;
        return nullptr;
    }
    // The channel's compound changed: the open property windows that show it recalculate.
    virtual void RefreshPropertyDialogs(int channel) { (void)channel; }
    // Records the scripted animation of the 3-D view into the movie file; the recorder's message
    // (empty when the movie was written).
    virtual std::string RecordAnimation(const RecordOptions& options, const std::string& path) {
        (void)options;
        (void)path;
        return "Animation recording is not available.";
    }
};

}  // namespace zun
