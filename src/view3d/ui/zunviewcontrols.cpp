// The 3-D view's navigation steps, stereo switches, control panel and full-screen mode.

#include <QApplication>
#include <QGuiApplication>
#include <QLayout>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QSplitter>

#include <cmath>

#include "foundation/ui/dialoghelpers.h"
#include "view3d/ui/controlpanel.h"
#include "view3d/ui/fullscreen.h"
#include "view3d/ui/runanimationdriver.h"
#include "view3d/ui/zunview.h"
#include "view3d/updatehints.h"

namespace zun {

ImageControlFloatingDialog* CZunView::ControlPanel() const {
    return panel_;
}

FullScreenWindow* CZunView::FullScreenPopup() const {
    return fullScreen_;
}

void CZunView::Tell(const std::string& text) {
    if (tell) {
        tell(text);
        return;
    }
    QMessageBox::information(panel_ ? static_cast<QWidget*>(panel_.data()) : this, QString(),
                             QString::fromStdString(text));
}

void CZunView::RotateStep(ArrowKey direction) {
    const TrackballDrag d = RotateStepDrag(direction);
    manipulator_->Drag(d.x0, d.y0, d.x1, d.y1);
}

void CZunView::PanStep(int direction) {
    const PanOffset p = PanStepOffset(direction);
    manipulator_->Pan(p.dx, p.dy);
}

void CZunView::PanView(ArrowKey direction) {
    if (!viewer_) return;
    const PanOffset p = PanViewOffset(direction);
    manipulator_->Pan(p.dx, p.dy);
    RequestRedraw(kRedrawOnce);
}

void CZunView::SetViewRotation(double angleDegrees, double distance, double x, double y, double z) {
    camera_.rotation = QuatFromAngleAxis(angleDegrees * osg::PI / 180.0, x, y, z);
    const Quaternion& q = camera_.rotation;
    manipulator_->setRotation(osg::Quat(q[0], q[1], q[2], q[3]));
    manipulator_->setDistance(distance);
    RequestRedraw(kRedrawOnce);
}

void CZunView::ResetRotation() {
    if (!viewer_) return;
    manipulator_->home(0.0);
    // A whole turn about x, taken in single precision: the identity.
    camera_.rotation = QuatFromAngleAxis(static_cast<float>(2 * osg::PI), 1, 0, 0);
    camera_.distance = manipulator_->getDistance();
    const Quaternion& q = camera_.rotation;
    manipulator_->setRotation(osg::Quat(q[0], q[1], q[2], q[3]));
}

double CZunView::CameraDistance() const {
    return manipulator_->getDistance();
}

void CZunView::ZoomIn() {
    camera_.distance = manipulator_->getDistance();
    manipulator_->setDistance(ZoomInDistance(camera_.distance));
    RequestRedraw(kRedrawOnce);
}

void CZunView::ZoomOut() {
    camera_.distance = manipulator_->getDistance();
    manipulator_->setDistance(ZoomOutDistance(camera_.distance));
    RequestRedraw(kRedrawOnce);
}

bool CZunView::SetShaderMode(int mode) {
    if (mode == settings_.renderMode) return false;
    SetRenderMode(mode);
    return true;
}

void CZunView::SetGreyWeights(const std::array<float, 3>& w) {
    settings_.greyWeights = w;
    renderSettings_.SetGrayscaleWeights(w[0], w[1], w[2]);
}

void CZunView::ApplyStereoSettings() {
    ApplyStereoMode();
    SyncEyeSeparation();
    SyncSplitSeparations();
    SyncEyeSwap();
    RequestRedraw(kRedrawOnce);
}

void CZunView::ChangeStereoMode(int mode) {
    // Frames are drawn on this thread, so the settings change between two frames; the render
    // thread is ended and started again only so that no queued frame draws half-changed settings.
    RequestRedraw(kRedrawStopThread);
    settings_.stereoMode = mode;
    ApplyStereoMode();
    SyncEyeSeparation();
    SyncSplitSeparations();
    SyncEyeSwap();
    RequestRedraw(kRedrawOnce);
    SyncControlPanel();
}

void CZunView::SetStereoOff() {
    if (settings_.stereoMode != 2) ChangeStereoMode(2);
}

void CZunView::ToggleQuadBuffer() {
    ChangeStereoMode(ToggleStereoMode(settings_.stereoMode, 0));
}

void CZunView::ToggleAnaglyphic() {
    ChangeStereoMode(ToggleStereoMode(settings_.stereoMode, 1));
}

void CZunView::ToggleInterlaceHorizontal() {
    ChangeStereoMode(ToggleStereoMode(settings_.stereoMode, 5));
}

void CZunView::ToggleSplitHorizontal() {
    ChangeStereoMode(ToggleStereoMode(settings_.stereoMode, 3));
}

void CZunView::ToggleEyeSwap() {
    if (settings_.stereoMode == 2) return;
    RequestRedraw(kRedrawStopThread);
    settings_.eyeSwap = !settings_.eyeSwap;
    SyncEyeSwap();
    RequestRedraw(kRedrawOnce);
    SyncControlPanel();
}

void CZunView::ApplyBoundingBoxFlags(std::int32_t flags) {
    settings_.boundingBoxFlags = flags;
    scene_->ApplyBoundingBox();
    SyncControlPanel();
    RequestRedraw(kRedrawOnce);
}

void CZunView::SyncControlPanel() {
    if (panel_) panel_->SyncFromView();
}

void CZunView::OnDisplayControlPanel() {
    if (panel_) {
        if (fullScreen_) {
            panel_->raise();
            panel_->activateWindow();
        } else {
            CloseControlPanel();
        }
        return;
    }
    // Stepping by the panel starts afresh with every panel.
    if (animation_ && !TreeAnimating()) animation_->Stepping().End();
    panelSliceStepping = false;
    if (screens_.empty()) DetectScreens();
    QWidget* owner = homeParent_ ? homeParent_->window() : window();
    panel_ = new ImageControlFloatingDialog(*this, owner);
    const QString title = owner->windowTitle();
    panel_->setWindowTitle(title.isEmpty() ? QString(panelmsg::kPanelTitle)
                                           : title + QString(panelmsg::kPanelTitleSuffix));
    panel_->resize(FitClientSize(panel_, panel_->sizeHint()));
    // The panel's frame at its place, kept whole on the screen.
    const QSize frame = WindowFrameRect(panel_).size();
    if (fullScreen_) {
        PlaceWindowFrame(panel_, QRect(fullScreen_->geometry().topLeft(), frame), fullScreen_);
    } else {
        const QRect w = WindowFrameRect(owner);
        PlaceWindowFrame(panel_, QRect(QPoint(PanelLeft(w.left(), frame.width()), w.top()), frame), owner);
    }
    ShowViewInfo();
    panel_->show();
}

void CZunView::CloseControlPanel() {
    if (panelSliceStepping && animation_ && !TreeAnimating()) {
        animation_->Stepping().End();
        OnUpdate(this, kUpdateDisplayItems, nullptr);
    }
    panelSliceStepping = false;
    if (!panel_) return;
    ImageControlFloatingDialog* p = panel_;
    panel_ = nullptr;
    p->CloseAdvancedSettings();
    p->hide();
    p->deleteLater();
}

void CZunView::ShowViewInfo() {
    if (!panel_ || TreeAnimating() || (recorderBusy && recorderBusy())) return;
    double angle = 0, x = 0, y = 0, z = 1;
    manipulator_->getRotation().getRotate(angle, x, y, z);
    panel_->ShowViewInfo(angle * 180.0 / osg::PI, x, y, z, manipulator_->getDistance());
}

bool CZunView::DetectScreens() {
    const QList<QScreen*> screens = QGuiApplication::screens();
    const int n = static_cast<int>(screens.size());
    if (n == static_cast<int>(screens_.size())) return false;
    screens_.clear();
    if (n < 1) return false;
    for (QScreen* s : screens) {
        const QRect g = s->geometry();
        screens_.push_back({s == QGuiApplication::primaryScreen(), g.left(), g.top(), g.left() + g.width(),
                            g.top() + g.height()});
    }
    return true;
}

void CZunView::LeaveFullScreen() {
    if (!fullScreen_) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Back into the document window where the view was; its drawing surface is made anew there.
    if (auto* split = qobject_cast<QSplitter*>(homeParent_.data())) {
        split->insertWidget(std::max(homeIndex_, 0), this);
    } else if (homeParent_) {
        setParent(homeParent_);
        if (homeParent_->layout()) homeParent_->layout()->addWidget(this);
    }
    show();
    FullScreenWindow* popup = fullScreen_;
    fullScreen_ = nullptr;
    popup->hide();
    popup->deleteLater();
    homeParent_ = nullptr;
    homeIndex_ = -1;
    QApplication::restoreOverrideCursor();
}

void CZunView::SetFullScreen(int index) {
    if (index == -1 && monitorIndex_ == -1) return;
    if (index == monitorIndex_) {
        Tell(panelmsg::kAlreadyOnScreen + std::to_string(index));
        return;
    }
    // A refused screen leaves the view as it was, drawing where it drew.
    if (index >= static_cast<int>(screens_.size()) || index < -1) {
        Tell(panelmsg::kInvalidScreen);
        SyncControlPanel();
        return;
    }
    if (monitorIndex_ == -1) SetStereoOff();
    RequestRedraw(kRedrawStopThread);
    LeaveFullScreen();
    monitorIndex_ = index;
    if (index != -1) {
        homeParent_ = parentWidget();
        if (auto* split = qobject_cast<QSplitter*>(homeParent_.data())) homeIndex_ = split->indexOf(this);
        // Owned by the document window: closing it takes the window and the view inside along.
        fullScreen_ = new FullScreenWindow(screens_[static_cast<std::size_t>(index)], homeParent_);
        fullScreen_->Host(this);
        fullScreen_->show();
        fullScreen_->raise();
        setFocus();
        if (panel_) {
            // The panel's frame at the window's corner: its title bar stays on the screen to drag.
            PlaceWindowFrame(panel_, QRect(fullScreen_->geometry().topLeft(), WindowFrameRect(panel_).size()),
                             fullScreen_);
            panel_->CloseAdvancedSettings();
            panel_->raise();
        }
    } else {
        SetStereoOff();
    }
    SyncControlPanel();
    RequestRedraw(kRedrawOnce);
}

void CZunView::ToggleFullScreenHeight() {
    if (!fullScreen_ || !viewer_) return;
    if (fullScreen_->IsFullHeight()) {
        fullScreen_->SetFullHeight(false);
        if (panel_)
            panel_->raise();
        else
            OnDisplayControlPanel();
    } else {
        fullScreen_->SetFullHeight(true);
        SyncControlPanel();
    }
    RequestRedraw(kRedrawOnce);
}

void CZunView::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) {
        OnDisplayControlPanel();
        return;
    }
    QOpenGLWidget::mouseDoubleClickEvent(e);
}

}  // namespace zun
