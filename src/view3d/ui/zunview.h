#pragma once
// The 3-D view of a document window: the volume scene drawn by the scene library inside a
// QOpenGLWidget. A render thread collapses redraw requests and paces the frames (drawing itself
// happens on the UI thread, which owns the GL context); an update thread collects the document's
// update bits and has the UI thread apply them one batch at a time.

#include <QOpenGLWidget>
#include <QPointer>

#include <osg/ref_ptr>
#include <osgViewer/GraphicsWindow>
#include <osgViewer/Viewer>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/changehints.h"
#include "view3d/displayfill.h"
#include "view3d/redrawqueue.h"
#include "view3d/ui/raytrace.h"
#include "view3d/ui/screenimage.h"
#include "view3d/ui/trackball.h"
#include "view3d/ui/volumescene.h"
#include "view3d/viewcontrols.h"
#include "view3d/viewsettings.h"
#include "view3d/web3doptions.h"

namespace zun {

class CZunDoc;
class DisplayTree;
class RunAnimationDriver;
class ImageControlFloatingDialog;
class FullScreenWindow;

class CZunView : public QOpenGLWidget, public DocView {
    Q_OBJECT
public:
    explicit CZunView(CZunDoc* document, QWidget* parent = nullptr);
    ~CZunView() override;

    // The document's change notification: the hint is a set of update bits.
    void OnUpdate(DocView* sender, unsigned hint, const ChangeHint* changeHint) override;
    // Hints 1 once, 2 keep redrawing while the camera turns, 8 once, 9 end the render thread.
    void RequestRedraw(int hint);
    // On the UI thread: refresh, rebuild and refill as the bits ask. Running out of memory shows
    // the insufficient-memory message and an empty view; the document stays as it was.
    void ApplyUpdateHints(unsigned bits);
    // Draws one frame and reads it back (order 0 blue-green-red, 1 red-green-blue); null when
    // nothing could be read.
    osg::ref_ptr<osg::Image> CaptureFrame(int order);

    // Display volume and scene.
    int RebuildVolumeImage(Dims dims, bool resetSampleDensity);
    void BuildVolumeScene();
    void RefreshVolumeProperties();
    bool SetVolumeProperty(int index, float value);
    void SetVolumeScalarProperty(float value);
    osgVolume::ImageLayer* GetVolumeLayer() const { return scene_->GetVolumeLayer(); }
    DisplayVolume& GetDisplayVolume() { return volume_; }
    int RunAnimationState() const { return runState_; }
    // Fills the display volume (mode 2) and returns the number of view slices that show
    // something. Without one, the sample's compositions are shown in their own colours.
    std::function<int(DisplayVolume& volume, const Dims& sample)> fillDisplayVolume;
    // The tree of the same window: its display state decides what the volume shows.
    void SetTree(const DisplayTree* tree) { tree_ = tree; }
    // Called on the UI thread after each batch of update bits was applied (the computation movie
    // takes its frame there).
    std::function<void()> updatesApplied;
    // Ctrl+Shift+wheel and Ctrl+Shift+Up/Down: the tree's slice stepping.
    std::function<void(bool forward)> stepSlices;
    CZunDoc* Document() const { return doc_; }

    // The window's run animation and the tree's stepping set it animates (none without a tree).
    void SetAnimation(RunAnimationDriver* animation) { animation_ = animation; }
    RunAnimationDriver* Animation() const { return animation_; }
    bool TreeAnimating() const;
    // For the animation recorder: -1 begins stepping the tree's selected channels, -2 ends it, any
    // other position shows the stepped slices up to it (fillIn keeps the earlier ones) and redraws
    // the volume when anything changed.
    void StepSliceAnimation(int position, bool fillIn);

    // Settings.
    ViewSettings& Settings() { return settings_; }
    void SetRenderMode(int mode);
    void SetAxesVisible(bool show);
    void OnViewAxes();
    void SetBackgroundColour(std::uint32_t colour);
    void OnSetBackgroundColour();
    // The "Display maxSize" preference, asked at every rebuild of the display volume (so the
    // value at start-up and after every change of the preferences counts); unset: the built-in
    // budget.
    std::function<std::uint64_t()> displayMaxSize;
    // Stereo: each returns whether it changed the camera's display settings (callers redraw).
    bool ApplyStereoMode();
    bool SyncEyeSeparation();
    bool SyncSplitSeparations();
    bool SyncEyeSwap();
    // A second window on the same document starts with every setting of this one.
    void CopySettingsFrom(const CZunView& other);
    void ResetCamera();
    // The scene library's messages are shown only at debug level 1.
    static void SetDebugLevel(int level);
    static int DebugLevel();

    // The record the document stores for this window, and reading one back (before the first
    // scene build). Every view keeps its own record: the n-th view of a document the n-th.
    ViewRecord MakeRecord() const;
    void ApplyRecord(const ViewRecord& record);

    // Exports and snapshot. ExportOsg: 0 written, 1 failed with the texts in errors.
    int ExportOsg(const std::string& path, std::vector<std::string>& errors);
    // Writes a snapshot to path (format by extension), atomically; false when nothing was
    // captured or the writer failed.
    bool WriteSnapshot(const std::string& path);
    void OnExportOsgKey();

    // Interactive web page export (F8, the tree's "Web3D..." command, remote "output-web3d").
    Web3DOptions& GetWeb3DOptions() { return web3dOptions_; }
    // What the export's defaults and checks need of the document and the tree.
    Web3DDocumentFacts Web3DFacts() const;
    void BuildDefaultWeb3DOptions(Web3DOptions& options) const;
    // rememberedFolder: the document's last destination replaces the options' folder (the
    // interactive export); without it a named folder stays.
    int CheckWeb3DExport(Web3DOptions& options, std::string& message, bool rememberedFolder = false) const;
    // -1 dialog cancelled, 0 written, 1 written without the script library, 2 cancelled while
    // writing, 3 a file could not be written, 8 refused (the volume changed, options that cannot
    // be written, no script library in the template), 9 the template copy failed.
    int WriteWeb3DPage(Web3DOptions& options, bool showDialog, std::string& message);
    // The user-level command: check, dialog, write and report. -1 refused or failed, else 0.
    int ExportWeb3D();
    // The template folder; empty: beside the program, then under its share folder.
    std::string web3dTemplateFolder;
    // Replaces the modal options dialog (tests, scripted runs): true for Export.
    std::function<bool(Web3DOptions& options)> runWeb3DDialog;

    // ---- navigation, stereo switches, the control panel and full screen
    void RotateStep(ArrowKey direction);  // no redraw of its own
    void PanStep(int direction);          // 1..4, no redraw of its own
    void PanView(ArrowKey direction);     // the panel's movement, then a redraw
    void SetViewRotation(double angleDegrees, double distance, double x, double y, double z);
    void ResetRotation();  // no redraw of its own
    void ZoomIn();
    void ZoomOut();
    double CameraDistance() const;
    // False when the mode is already in use.
    bool SetShaderMode(int mode);
    void SetStereoOff();
    void ToggleQuadBuffer();
    void ToggleAnaglyphic();
    void ToggleInterlaceHorizontal();
    void ToggleSplitHorizontal();
    void ToggleEyeSwap();
    // The stereo mode changed with the drawing quiet, applied to the camera that draws now.
    void ChangeStereoMode(int mode);
    // Every stereo setting applied to the camera's display settings, then a redraw.
    void ApplyStereoSettings();
    void SetGreyWeights(const std::array<float, 3>& weights);
    // The bounding-box flags applied, the panel refreshed, a redraw.
    void ApplyBoundingBoxFlags(std::int32_t flags);
    // "View > Display Control Panel": opens the panel, or closes it (in full screen it only comes
    // to the top).
    void OnDisplayControlPanel();
    void CloseControlPanel();
    ImageControlFloatingDialog* ControlPanel() const;
    void SyncControlPanel();
    // The panel's "Slice" check box is on.
    bool panelSliceStepping = false;
    // The animation recorder's state and commands, for the panel's buttons.
    std::function<bool()> recorderBusy;
    std::function<void()> recordAnimation;
    std::function<void()> stopRecording;

    // The known screens; false when their number did not change.
    bool DetectScreens();
    const std::vector<ScreenInfo>& Screens() const { return screens_; }
    // Full screen on screen index (-1 leaves it); messages through the window's boxes.
    void SetFullScreen(int index);
    int MonitorIndex() const { return monitorIndex_; }
    FullScreenWindow* FullScreenPopup() const;
    // F11: full monitor height without the panel, one pixel short with it.
    void ToggleFullScreenHeight();
    // Replaces the message boxes of the panel and full screen (tests).
    std::function<void(const std::string& text)> tell;
    void Tell(const std::string& text);

    // For tests and the recorders.
    osgViewer::Viewer* Viewer() const { return viewer_.get(); }
    MFCTrackballManipulator* Manipulator() const { return manipulator_.get(); }
    RenderLoop& Renderer() { return *render_; }
    bool RenderThreadRunning() const { return render_->Running(); }
    bool UpdateThreadRunning() const { return updates_->Running(); }
    std::uint64_t FramesPainted() const { return framesPainted_; }

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    void RebuildAndFill(unsigned bits);
    // This view's part of the document's window records; create: add the record when the
    // document keeps fewer than this view's place needs.
    ViewRecord* OwnRecord(bool create);
    void ShowEmptyVolumeAfterFailure();
    void CreateViewer();
    void AttachNewGraphicsWindow();
    void ReleaseGL();
    bool DrawFrameFromRenderThread();
    void LeaveFullScreen();
    void ShowViewInfo();
    double Scale() const;

    CZunDoc* doc_;
    const DisplayTree* tree_ = nullptr;
    RunAnimationDriver* animation_ = nullptr;
    QPointer<ImageControlFloatingDialog> panel_;
    QPointer<FullScreenWindow> fullScreen_;
    std::vector<ScreenInfo> screens_;
    int monitorIndex_ = -1;
    // Where the view sits in its window while it shows full screen.
    QPointer<QWidget> homeParent_;
    int homeIndex_ = -1;
    ViewSettings settings_;
    Web3DOptions web3dOptions_;
    RenderSettings renderSettings_;
    ViewCamera camera_;
    DisplayVolume volume_;
    std::unique_ptr<VolumeScene> scene_;
    osg::ref_ptr<osgViewer::Viewer> viewer_;
    osg::ref_ptr<osgViewer::GraphicsWindowEmbedded> gw_;
    osg::ref_ptr<MFCTrackballManipulator> manipulator_;
    osg::ref_ptr<ScreenImageCallback> capture_;
    int maxTextureSize_ = 0;
    int runState_ = -1;
    bool leftDown_ = false, rightDown_ = false, dragged_ = false;
    bool glInitialised_ = false;

    UiHandoff frameHandoff_;
    UiHandoff updateHandoff_;
    std::atomic<std::uint64_t> frameTicket_{0};
    std::atomic<bool> lastFrameMoved_{false};
    std::atomic<std::uint64_t> framesPainted_{0};
    std::unique_ptr<RenderLoop> render_;
    std::unique_ptr<UpdateLoop> updates_;
    QMetaObject::Connection contextConnection_;
};

// The proportions of a voxel in the scene: the document's voxel size along each axis, all 1
// when it keeps none.
std::array<double, 3> SceneVoxelSize(const CZunDoc& doc);

}  // namespace zun
