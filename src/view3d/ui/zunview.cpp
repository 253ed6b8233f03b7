#include "view3d/ui/zunview.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QScreen>
#include <QWheelEvent>

#include <osg/Notify>
#include <osgDB/WriteFile>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <new>

#include "document/docmessages.h"
#include "document/docsettings.h"
#include "document/zundoc.h"
#include "foundation/ui/dialoghelpers.h"
#include "tree/displaytree.h"
#include "view3d/documentlayers.h"
#include "view3d/processorset.h"
#include "view3d/treelayers.h"
#include "view3d/ui/controlpanel.h"
#include "view3d/ui/runanimationdriver.h"
#include "view3d/updatehints.h"
#include "view3d/viewmessages.h"

namespace zun {

namespace {

std::atomic<int> g_debugLevel{0};

// The scene library's messages reach the UI thread as queued calls; nothing is shown from the
// render thread and no lock is held while a box is open. The library has one message hook for the
// whole program, so one handler serves every view and outlives any of them.
class ShowFileHandler : public osg::NotifyHandler {
public:
    void notify(osg::NotifySeverity, const char* message) override {
        if (g_debugLevel.load() != 1 || !message) return;
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;
        const QString text = QString::fromUtf8(message).trimmed();
        QMetaObject::invokeMethod(
            app,
            [text] {
                QMessageBox::warning(QApplication::activeWindow(), QString(),
                                     QString(viewmsg::kLibraryMessage) + text);
            },
            Qt::QueuedConnection);
    }
};

// On the UI thread, as every view is made: a handler already in place stays.
void InstallLibraryMessageHandler() {
    if (!dynamic_cast<ShowFileHandler*>(osg::getNotifyHandler())) osg::setNotifyHandler(new ShowFileHandler);
}

std::uint32_t ToColorRef(const QColor& c) {
    return static_cast<std::uint32_t>(c.red()) | (static_cast<std::uint32_t>(c.green()) << 8) |
           (static_cast<std::uint32_t>(c.blue()) << 16);
}

osg::Vec4 ClearColour(std::uint32_t c) {
    return osg::Vec4((c & 0xFF) / 255.0f, ((c >> 8) & 0xFF) / 255.0f, ((c >> 16) & 0xFF) / 255.0f, 1.0f);
}

}  // namespace

void CZunView::SetDebugLevel(int level) {
    g_debugLevel = level;
}

int CZunView::DebugLevel() {
    return g_debugLevel.load();
}

CZunView::CZunView(CZunDoc* document, QWidget* parent) : QOpenGLWidget(parent), doc_(document) {
    // An opaque framebuffer: a translucent volume would otherwise let the window behind show
    // through in grabs of the window.
    setTextureFormat(GL_RGB8);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setMinimumSize(64, 64);
    scene_ = std::make_unique<VolumeScene>(settings_, renderSettings_);
    render_ = std::make_unique<RenderLoop>([this] { return DrawFrameFromRenderThread(); });
    // Queued behind the frame that ended the spin, ahead of any later input.
    render_->onSpinEnded = [this] {
        QMetaObject::invokeMethod(
            this, [this] { manipulator_->EndThrow(); }, Qt::QueuedConnection);
    };
    if (QScreen* s = QGuiApplication::primaryScreen(); s && s->refreshRate() >= 10)
        render_->SetSpinInterval(std::chrono::microseconds(static_cast<long long>(1e6 / s->refreshRate())));
    updates_ = std::make_unique<UpdateLoop>([this](unsigned bits) {
        QPointer<CZunView> self(this);
        updateHandoff_.Run(
            [self, bits, this](std::uint64_t ticket) {
                QMetaObject::invokeMethod(
                    this,
                    [this, bits, ticket] {
                        ApplyUpdateHints(bits);
                        updateHandoff_.Done(ticket);
                    },
                    Qt::QueuedConnection);
            },
            std::chrono::hours(1));
    });
    CreateViewer();
    if (doc_) {
        doc_->Views().Add(this);
        // The settings of this window's record, when the document carried one.
        if (ViewRecord* record = OwnRecord(false)) ApplyRecord(*record);
        const Dims& d = doc_->GetSample().GetDims();
        if (d.size() == 3 && d[0] > 0 && d[1] > 0 && d[2] > 0) ResetSampleDensity(settings_, d[2]);
    }
    settings_.RepairLoaded();
    renderSettings_.renderMode = settings_.renderMode;
    if (settings_.renderMode == kRenderGrayscale)
        renderSettings_.SetGrayscaleWeights(settings_.greyWeights[0], settings_.greyWeights[1],
                                            settings_.greyWeights[2]);
    ApplyStereoMode();
    SyncEyeSeparation();
    SyncSplitSeparations();
    SyncEyeSwap();
    SetAxesVisible(settings_.axesShown);
    SetBackgroundColour(settings_.background);
    // The first display volume comes through the update thread like every later one.
    OnUpdate(this, kUpdateData, nullptr);
}

CZunView::~CZunView() {
    // Nothing waits on this thread any more, then both threads end before the viewer goes.
    frameHandoff_.Cancel();
    updateHandoff_.Cancel();
    updates_->Stop();
    render_->Stop();
    if (doc_) doc_->Views().Remove(this);
    if (panel_) delete panel_.data();
    if (contextConnection_) disconnect(contextConnection_);
    ReleaseGL();
    if (viewer_) viewer_->setDone(true);
    if (gw_) gw_->close(false);
}

void CZunView::CreateViewer() {
    manipulator_ = new MFCTrackballManipulator;
    manipulator_->stepSlices = [this](bool forward) {
        if (stepSlices) stepSlices(forward);
    };
    InstallLibraryMessageHandler();
    viewer_ = new osgViewer::Viewer;
    // Left to itself the scene library pins the thread that draws a single-threaded viewer, our UI
    // thread, to the first processor, and without its own choice it gives the thread every
    // processor of the machine: either way every thread started from it afterwards (the
    // computation's worker, the fill's and kernels' OpenMP teams) would run on a set the user did
    // not choose. It gets the set the program was started with.
    viewer_->setUseConfigureAffinity(false);
    OpenThreads::Affinity startingSet;
    for (int cpu : StartingProcessors()) startingSet.add(static_cast<unsigned>(cpu));
    viewer_->setProcessorAffinity(startingSet);
    viewer_->setThreadingModel(osgViewer::Viewer::SingleThreaded);
    viewer_->setKeyEventSetsDone(0);
    viewer_->setLightingMode(osg::View::HEADLIGHT);
    osg::Camera* cam = viewer_->getCamera();
    cam->setClearMask(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    cam->setClearColor(ClearColour(settings_.background));
    cam->setDisplaySettings(new osg::DisplaySettings);
    capture_ = new ScreenImageCallback;
    cam->setFinalDrawCallback(capture_.get());
    AttachNewGraphicsWindow();
    const int w = std::max(width(), 1), h = std::max(height(), 1);
    cam->setProjectionMatrixAsPerspective(45.0, h > 0 ? double(w) / h : 1.0, 0.1, 1000.0);
    viewer_->setCameraManipulator(manipulator_.get(), true);
    viewer_->addSlave(scene_->Hud(), false);
    viewer_->setSceneData(scene_->SceneData());
}

void CZunView::AttachNewGraphicsWindow() {
    const int w = std::max(1, static_cast<int>(width() * Scale()));
    const int h = std::max(1, static_cast<int>(height() * Scale()));
    if (gw_) gw_->close(false);
    gw_ = new osgViewer::GraphicsWindowEmbedded(0, 0, w, h);
    osg::Camera* cam = viewer_->getCamera();
    cam->setGraphicsContext(gw_.get());
    cam->setViewport(0, 0, w, h);
    scene_->Hud()->setGraphicsContext(gw_.get());
    scene_->Hud()->setViewport(0, 0, w, h);
}

double CZunView::Scale() const {
    return devicePixelRatioF();
}

void CZunView::initializeGL() {
    if (glInitialised_) {
        // A new context (the widget moved to another window): a fresh State draws, the old one
        // would draw nothing.
        AttachNewGraphicsWindow();
    }
    glInitialised_ = true;
    if (contextConnection_) disconnect(contextConnection_);
    contextConnection_ = connect(
        context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] { ReleaseGL(); }, Qt::DirectConnection);
    GLint maxTex = 0;
    context()->functions()->glGetIntegerv(GL_MAX_3D_TEXTURE_SIZE, &maxTex);
    maxTextureSize_ = maxTex;
    viewer_->realize();
}

void CZunView::ReleaseGL() {
    if (!glInitialised_ || !context() || !viewer_) return;
    makeCurrent();
    osg::State* state = gw_ ? gw_->getState() : nullptr;
    if (state) {
        viewer_->getCamera()->releaseGLObjects(state);
        scene_->Hud()->releaseGLObjects(state);
        if (scene_->VolumeNode()) scene_->VolumeNode()->releaseGLObjects(state);
        state->releaseGLObjects();
        osg::flushAllDeletedGLObjects(state->getContextID());
    }
    doneCurrent();
}

void CZunView::resizeGL(int w, int h) {
    const int pw = std::max(1, static_cast<int>(w * Scale()));
    const int ph = std::max(1, static_cast<int>(h * Scale()));
    gw_->resized(0, 0, pw, ph);
    gw_->getEventQueue()->windowResize(0, 0, pw, ph);
    viewer_->getCamera()->setProjectionMatrixAsPerspective(45.0, double(pw) / ph, 0.1, 1000.0);
    scene_->Hud()->setViewport(0, 0, pw, ph);
    scene_->UpdateHudLayout(pw, ph);
}

void CZunView::paintGL() {
    gw_->setDefaultFboId(defaultFramebufferObject());
    const osg::Quat before = manipulator_->getRotation();
    if (settings_.axesShown) {
        // The triad turns with the volume.
        const double len2 = before.length2();
        scene_->Triad()->setAttitude(len2 > 0 ? before.conj() / len2 : osg::Quat());
    }
    viewer_->frame();
    const osg::Quat after = manipulator_->getRotation();
    lastFrameMoved_ = !(after == before);
    // The record the document stores for this window follows the camera and the settings.
    if (ViewRecord* record = OwnRecord(true)) *record = MakeRecord();
    ++framesPainted_;
    ShowViewInfo();
    frameHandoff_.Done(frameTicket_.load());
}

bool CZunView::DrawFrameFromRenderThread() {
    // The UI thread owns the GL context: the render thread hands each frame to it and waits, so
    // that a burst of requests meanwhile collapses into the next frame.
    // A view nobody can see (hidden, or in a minimised window) draws nothing and ends its spin.
    auto unseen = std::make_shared<std::atomic<bool>>(false);
    const bool drawn = frameHandoff_.Run(
        [this, unseen](std::uint64_t ticket) {
            frameTicket_ = ticket;
            QMetaObject::invokeMethod(
                this,
                [this, unseen, ticket] {
                    if (!isVisible() || window()->isMinimized()) {
                        *unseen = true;
                        frameHandoff_.Done(ticket);
                        return;
                    }
                    update();
                },
                Qt::QueuedConnection);
        },
        std::chrono::milliseconds(1000));
    return drawn && !unseen->load() && lastFrameMoved_.load();
}

void CZunView::RequestRedraw(int hint) {
    if (hint == kRedrawOnce || hint == kRedrawSpin || hint == kRedrawOnceStop || hint == kRedrawStopThread) {
        if (!render_->Running() && hint != kRedrawStopThread)
            scene_->UpdateHudLayout(gw_->getTraits()->width, gw_->getTraits()->height);
        render_->RequestRedraw(hint);
    }
}

void CZunView::OnUpdate(DocView*, unsigned hint, const ChangeHint*) {
    if (!viewer_ || viewer_->done()) return;
    updates_->Post(hint);
}

void CZunView::ApplyUpdateHints(unsigned bits) {
    if (bits == 0 || !doc_) return;
    doc_->viewsUpdating = true;
    const UpdateActions act = DecideUpdate(bits);
    try {
        if (act.refresh) RefreshVolumeProperties();
        if (act.rebuild) RebuildAndFill(bits);
    } catch (const std::bad_alloc&) {
        // Runs inside a Qt event: an escaping exception would end the program and take the
        // unsaved document along. The view shows nothing until the next update; the document is
        // untouched.
        ShowEmptyVolumeAfterFailure();
        ShowInsufficientMemoryError(doc_->GetPromptSink(), viewmsg::kUpdateActivity);
    }
    if (updatesApplied) updatesApplied();
    doc_->viewsUpdating = false;
}

void CZunView::RebuildAndFill(unsigned bits) {
    ZunImage& sample = doc_->GetSample();
    RebuildVolumeImage(sample.GetDims(), true);
    if (ShouldRefill(bits, volume_.GetNumVoxels(), runState_)) {
        if (TreeAnimating()) {
            // The run animation draws the volume itself, step by step.
            runState_ = 0;
        } else if (fillDisplayVolume) {
            runState_ = fillDisplayVolume(volume_, sample.GetDims());
        } else if (tree_ && tree_->IsBuilt()) {
            TreeDisplayLayers layers(*tree_, sample);
            runState_ =
                FillDisplayVolume(kFillAll, layers, sample.GetDims(), volume_.Data(), volume_.GetDims());
        } else {
            auto layers = MakeSampleLayers(sample);
            runState_ =
                FillDisplayVolume(kFillAll, *layers, sample.GetDims(), volume_.Data(), volume_.GetDims());
        }
    }
    BuildVolumeScene();
    RefreshVolumeProperties();
}

void CZunView::ShowEmptyVolumeAfterFailure() {
    // A half-filled volume would show a picture that matches nothing; transparent needs no memory.
    if (volume_.Data()) std::fill(volume_.Data(), volume_.Data() + volume_.GetNumVoxels(), disptype{0});
    // Nothing is filled: the next update of any kind fills again.
    runState_ = -1;
    try {
        // The scene must point at the volume's memory now, which a resize may have moved.
        BuildVolumeScene();
        RefreshVolumeProperties();
    } catch (const std::bad_alloc&) {
        // The next update builds it again.
    }
}

bool CZunView::TreeAnimating() const {
    return animation_ && animation_->Stepping().IsAnimating();
}

void CZunView::StepSliceAnimation(int position, bool fillIn) {
    if (!animation_) return;
    SliceStepping& s = animation_->Stepping();
    if (position == -1) {
        s.Begin(true);
    } else if (position == -2) {
        // The tree's display items are back as they were before the recording: so is the view.
        s.End();
        ApplyUpdateHints(kUpdateDisplayItems);
    } else if (s.ShowUpTo(position, fillIn)) {
        ApplyUpdateHints(kUpdateDisplayItems);
    }
}

int CZunView::RebuildVolumeImage(Dims dims, bool resetSampleDensity) {
    if (dims.size() != 3) dims.resize(3, 0);
    const std::uint64_t budget = displayMaxSize ? displayMaxSize() : kDefaultDisplayMaxSize;
    if (!FitDisplayDims(dims, budget, volume_.GetDims(), maxTextureSize_) && scene_->VolumeNode()) return 0;
    const int r = volume_.Resize(dims);
    if (r < 0) return r;
    if (resetSampleDensity && CountVoxels(dims) > 0) ResetSampleDensity(settings_, dims[2]);
    return 1;
}

std::array<double, 3> SceneVoxelSize(const CZunDoc& doc) {
    std::array<double, 3> voxel{1, 1, 1};
    // The unit first, then the voxel size along each axis in it.
    const auto& v = doc.GetModel().GetParams().voxelPhysicalSize;
    if (v.size() == 4)
        for (std::size_t i = 0; i < 3; ++i) voxel[i] = v[i + 1];
    return voxel;
}

void CZunView::BuildVolumeScene() {
    if (volume_.GetNumVoxels() == 0) {
        // The old tile's image points into the voxels the resize to an empty grid freed.
        scene_->Clear();
        runState_ = -1;
        RequestRedraw(kRedrawOnce);
        return;
    }
    const std::array<double, 3> voxel = doc_ ? SceneVoxelSize(*doc_) : std::array<double, 3>{1, 1, 1};
    const bool existed = scene_->VolumeNode() != nullptr;
    const double oldDistance = manipulator_->getDistance();
    const double oldRadius = camera_.radius;
    const osg::Quat rotation = manipulator_->getRotation();
    bool creating = false;
    const double r = scene_->Build(volume_.Data(), volume_.GetDims(), voxel, creating);
    if (!existed) {
        viewer_->setSceneData(scene_->SceneData());
        if (camera_.radius == 0) camera_.radius = r;
        manipulator_->SetHomeFromBound(scene_->VolumeNode());
        if (camera_.restored) {
            const Quaternion& q = camera_.rotation;
            manipulator_->setRotation(osg::Quat(q[0], q[1], q[2], q[3]));
            if (camera_.distance > 0) {
                camera_.distance = RescaleDistance(camera_.distance, camera_.radius, r);
                manipulator_->setDistance(camera_.distance);
            }
        } else {
            ResetCamera();
        }
        camera_.restored = false;
    } else {
        manipulator_->SetHomeFromBound(scene_->VolumeNode());
        manipulator_->setRotation(rotation);
        if (camera_.distance > 0 || oldDistance > 0) {
            camera_.distance = RescaleDistance(oldDistance, oldRadius, r);
            manipulator_->setDistance(camera_.distance);
        }
    }
    camera_.radius = r;
    scene_->ApplyBoundingBox();
}

void CZunView::ResetCamera() {
    manipulator_->home(0.0);
    camera_.distance = manipulator_->getDistance();
    const Quaternion q = QuatFromAngleAxis(0.7853981852531433, 0.707, 0.707, 0);
    camera_.rotation = q;
    manipulator_->setRotation(osg::Quat(q[0], q[1], q[2], q[3]));
    RequestRedraw(kRedrawOnce);
}

void CZunView::RefreshVolumeProperties() {
    if (!scene_->GetVolumeLayer()) return;
    scene_->MarkDirty();
    RequestRedraw(kRedrawOnce);
}

bool CZunView::SetVolumeProperty(int index, float value) {
    return scene_->SetVolumeProperty(index, value);
}

void CZunView::SetVolumeScalarProperty(float value) {
    settings_.alphaFunction = value;
    SetVolumeProperty(0, value);
    RefreshVolumeProperties();
}

void CZunView::SetRenderMode(int mode) {
    settings_.renderMode = mode >= 0 && mode <= 4 ? mode : 0;
    renderSettings_.renderMode = settings_.renderMode;
    if (settings_.renderMode == kRenderGrayscale)
        renderSettings_.SetGrayscaleWeights(settings_.greyWeights[0], settings_.greyWeights[1],
                                            settings_.greyWeights[2]);
    // A new technique compiles the mode's shader.
    BuildVolumeScene();
    RefreshVolumeProperties();
}

void CZunView::SetAxesVisible(bool show) {
    if (!scene_->SetAxesVisible(show)) settings_.axesShown = false;
}

void CZunView::OnViewAxes() {
    settings_.axesShown = !settings_.axesShown;
    SetAxesVisible(settings_.axesShown);
    RequestRedraw(kRedrawOnce);
}

void CZunView::SetBackgroundColour(std::uint32_t c) {
    settings_.background = c & 0x00FFFFFFu;
    const osg::Vec4 v = ClearColour(settings_.background);
    viewer_->getCamera()->setClearColor(v);
    renderSettings_.SetBackgroundUniform(v.r(), v.g(), v.b());
}

void CZunView::OnSetBackgroundColour() {
    const std::uint32_t c = settings_.background;
    const QColor picked = QColorDialog::getColor(QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF), this);
    if (!picked.isValid()) return;
    SetBackgroundColour(ToColorRef(picked));
    RequestRedraw(kRedrawOnce);
}

bool CZunView::ApplyStereoMode() {
    osg::DisplaySettings* ds = viewer_->getCamera()->getDisplaySettings();
    if (!ds) return false;
    using DS = osg::DisplaySettings;
    const int mode = settings_.stereoMode;
    const bool on = ds->getStereo();
    const DS::StereoMode m = ds->getStereoMode();
    // Already in that mode (the interlaced ones are set every time).
    if ((mode == 2 && !on) ||
        (on && ((mode == 1 && m == DS::ANAGLYPHIC) || (mode == 0 && m == DS::QUAD_BUFFER) ||
                (mode == 3 && m == DS::HORIZONTAL_SPLIT) || (mode == 4 && m == DS::VERTICAL_SPLIT))))
        return false;
    switch (mode) {
        case 0:
            ds->setStereo(settings_.quadBufferAvailable);
            ds->setStereoMode(DS::QUAD_BUFFER);
            break;
        case 1:
            ds->setStereo(true);
            ds->setStereoMode(DS::ANAGLYPHIC);
            ds->setMinimumNumStencilBits(std::max(8u, ds->getMinimumNumStencilBits()));
            break;
        case 3:
        case 4:
            ds->setStereo(true);
            ds->setStereoMode(mode == 3 ? DS::HORIZONTAL_SPLIT : DS::VERTICAL_SPLIT);
            ds->setSplitStereoAutoAdjustAspectRatio(true);
            break;
        case 5:
        case 6:
            ds->setStereo(true);
            ds->setStereoMode(mode == 5 ? DS::HORIZONTAL_INTERLACE : DS::VERTICAL_INTERLACE);
            break;
        default:
            ds->setStereo(false);
            ds->setStereoMode(DS::ANAGLYPHIC);
            break;
    }
    return true;
}

bool CZunView::SyncEyeSeparation() {
    osg::DisplaySettings* ds = viewer_->getCamera()->getDisplaySettings();
    if (!ds || settings_.stereoMode == 2 || ds->getEyeSeparation() == settings_.eyeSeparation) return false;
    ds->setEyeSeparation(settings_.eyeSeparation);
    return true;
}

bool CZunView::SyncSplitSeparations() {
    osg::DisplaySettings* ds = viewer_->getCamera()->getDisplaySettings();
    if (!ds || settings_.stereoMode == 2) return false;
    bool changed = false;
    if (ds->getSplitStereoHorizontalSeparation() != settings_.splitHorizontal) {
        ds->setSplitStereoHorizontalSeparation(settings_.splitHorizontal);
        changed = true;
    }
    if (ds->getSplitStereoVerticalSeparation() != settings_.splitVertical) {
        ds->setSplitStereoVerticalSeparation(settings_.splitVertical);
        changed = true;
    }
    return changed;
}

bool CZunView::SyncEyeSwap() {
    osg::DisplaySettings* ds = viewer_->getCamera()->getDisplaySettings();
    if (!ds || settings_.stereoMode == 2) return false;
    // Swapped eyes are a negative screen distance.
    const float d = ds->getScreenDistance();
    if ((settings_.eyeSwap && d < 0) || (!settings_.eyeSwap && d >= 0)) return false;
    ds->setScreenDistance(-d);
    return true;
}

void CZunView::CopySettingsFrom(const CZunView& other) {
    settings_.CopyFrom(other.settings_);
    renderSettings_.renderMode = settings_.renderMode;
    if (settings_.renderMode == kRenderGrayscale)
        renderSettings_.SetGrayscaleWeights(settings_.greyWeights[0], settings_.greyWeights[1],
                                            settings_.greyWeights[2]);
    SetAxesVisible(settings_.axesShown);
    SetBackgroundColour(settings_.background);
    ApplyStereoMode();
    SyncEyeSeparation();
    SyncSplitSeparations();
    SyncEyeSwap();
    if (scene_->VolumeNode()) {
        BuildVolumeScene();
        RefreshVolumeProperties();
    }
}

ViewRecord CZunView::MakeRecord() const {
    const osg::Quat q = manipulator_->getRotation();
    const double radius = scene_->VolumeNode() ? scene_->VolumeNode()->getBound().radius() : 0.0;
    return zun::MakeViewRecord(settings_, Quaternion{q.x(), q.y(), q.z(), q.w()}, manipulator_->getDistance(),
                               radius);
}

ViewRecord* CZunView::OwnRecord(bool create) {
    if (!doc_) return nullptr;
    // The document's 3-D views and its window records go in the same order.
    std::size_t index = 0;
    bool found = false;
    for (DocView* v : doc_->Views().Views()) {
        if (v == this) {
            found = true;
            break;
        }
        if (dynamic_cast<CZunView*>(v)) ++index;
    }
    std::vector<WindowRecord>& records = doc_->WindowRecords();
    // A document without records has no window to store (headless use).
    if (!found || records.empty()) return nullptr;
    if (index >= records.size()) {
        if (!create) return nullptr;
        records.resize(index + 1);
    }
    return &records[index].view;
}

void CZunView::ApplyRecord(const ViewRecord& record) {
    ApplyViewRecord(record, settings_, camera_);
    renderSettings_.renderMode = settings_.renderMode;
}

osg::ref_ptr<osg::Image> CZunView::CaptureFrame(int order) {
    capture_->Request(order);
    // Qt draws the widget's frame synchronously for a grab; the callback reads it back.
    grabFramebuffer();
    return capture_->Take();
}

int CZunView::ExportOsg(const std::string& path, std::vector<std::string>& errors) {
    return scene_->ExportOsg(path, errors);
}

bool CZunView::WriteSnapshot(const std::string& path) {
    osg::ref_ptr<osg::Image> img = CaptureFrame(ScreenImageCallback::kRgb);
    if (!img || !img->data()) return false;
    namespace fs = std::filesystem;
    const fs::path target(path);
    // The writer picks its format by the extension, so the temporary name keeps it.
    const fs::path tmp =
        target.parent_path() / ("." + target.stem().string() + ".partial" + target.extension().string());
    if (!osgDB::writeImageFile(*img, tmp.string())) {
        std::error_code ec;
        fs::remove(tmp, ec);
        return false;
    }
    std::error_code ec;
    fs::rename(tmp, target, ec);
    if (ec) fs::remove(tmp, ec);
    return !ec;
}

void CZunView::OnExportOsgKey() {
    if (!scene_->VolumeImage()) {
        QMessageBox::warning(this, QString(), viewmsg::kNoVolumeImage);
        return;
    }
    const QString start = doc_ ? QString::fromStdString(doc_->sceneExportFolder) : QString();
    QString selected = "OSG Binary Files (*.osgb)";
    const QString path =
        GetSaveFileName(this, viewmsg::kSaveOsgTitle, start, viewmsg::kOsgFilters, &selected);
    if (path.isEmpty()) return;
    if (doc_) doc_->sceneExportFolder = QFileInfo(path).absolutePath().toStdString();
    std::vector<std::string> errors;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int r = ExportOsg(path.toStdString(), errors);
    QApplication::restoreOverrideCursor();
    if (r == 0) {
        QMessageBox::information(this, QString(), QString(viewmsg::kSavedAt) + path);
    } else {
        QMessageBox::warning(this, QString(), QString::fromStdString(ListFirstNames(errors, "\n")).trimmed());
    }
}

namespace {

int OsgButton(Qt::MouseButton b) {
    switch (b) {
        case Qt::LeftButton:
            return 1;
        case Qt::MiddleButton:
            return 2;
        case Qt::RightButton:
            return 3;
        default:
            return 0;
    }
}

}  // namespace

void CZunView::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) leftDown_ = true;
    if (e->button() == Qt::RightButton) rightDown_ = true;
    const QPointF p = e->position() * Scale();
    gw_->getEventQueue()->mouseButtonPress(static_cast<float>(p.x()), static_cast<float>(p.y()),
                                           OsgButton(e->button()));
    RequestRedraw(kRedrawOnce);
}

void CZunView::mouseMoveEvent(QMouseEvent* e) {
    const QPointF p = e->position() * Scale();
    gw_->getEventQueue()->mouseMotion(static_cast<float>(p.x()), static_cast<float>(p.y()));
    dragged_ = false;
    if (leftDown_ || rightDown_) {
        dragged_ = true;
        RequestRedraw(kRedrawOnce);
    }
}

void CZunView::mouseReleaseEvent(QMouseEvent* e) {
    const QPointF p = e->position() * Scale();
    gw_->getEventQueue()->mouseButtonRelease(static_cast<float>(p.x()), static_cast<float>(p.y()),
                                             OsgButton(e->button()));
    if (e->button() == Qt::LeftButton) {
        RequestRedraw(dragged_ ? kRedrawSpin : kRedrawOnceStop);
        leftDown_ = false;
        dragged_ = false;
    } else if (e->button() == Qt::RightButton) {
        RequestRedraw(kRedrawOnceStop);
        rightDown_ = false;
        dragged_ = false;
    }
}

void CZunView::wheelEvent(QWheelEvent* e) {
    RequestRedraw(kRedrawOnce);
    manipulator_->ctrlHeld = e->modifiers() & Qt::ControlModifier;
    manipulator_->shiftHeld = e->modifiers() & Qt::ShiftModifier;
    gw_->getEventQueue()->mouseScroll(e->angleDelta().y() > 0 ? osgGA::GUIEventAdapter::SCROLL_UP
                                                              : osgGA::GUIEventAdapter::SCROLL_DOWN);
}

void CZunView::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Control) manipulator_->ctrlHeld = true;
    if (e->key() == Qt::Key_Shift) manipulator_->shiftHeld = true;
    ArrowKey key;
    switch (e->key()) {
        case Qt::Key_Up:
            key = ArrowKey::Up;
            break;
        case Qt::Key_Down:
            key = ArrowKey::Down;
            break;
        case Qt::Key_Left:
            key = ArrowKey::Left;
            break;
        case Qt::Key_Right:
            key = ArrowKey::Right;
            break;
        default:
            QOpenGLWidget::keyPressEvent(e);
            return;
    }
    const ArrowAction a =
        ArrowKeyAction(key, e->modifiers() & Qt::ControlModifier, e->modifiers() & Qt::ShiftModifier);
    switch (a.kind) {
        case ArrowAction::kStepForward:
        case ArrowAction::kStepBackward:
            if (stepSlices) stepSlices(a.kind == ArrowAction::kStepForward);
            break;
        case ArrowAction::kPan:
            PanStep(a.pan);
            break;
        case ArrowAction::kRotate:
            RotateStep(a.rotate);
            break;
        case ArrowAction::kNone:
            break;
    }
    RequestRedraw(kRedrawOnce);
}

void CZunView::keyReleaseEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Control:
            manipulator_->ctrlHeld = false;
            break;
        case Qt::Key_Shift:
            manipulator_->shiftHeld = false;
            break;
        case Qt::Key_Home:
            // The key and the control panel's Home button give the same view.
            ResetRotation();
            RequestRedraw(kRedrawOnce);
            break;
        case Qt::Key_F2:
            OnExportOsgKey();
            break;
        case Qt::Key_F8:
            ExportWeb3D();
            break;
        case Qt::Key_Escape:
            SetFullScreen(-1);
            break;
        case Qt::Key_F11:
            ToggleFullScreenHeight();
            break;
        default:
            QOpenGLWidget::keyReleaseEvent(e);
            return;
    }
}

}  // namespace zun
