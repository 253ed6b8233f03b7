#include "view3d/ui/controlpanel.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/numberfield.h"
#include "foundation/ui/wheelguard.h"
#include "view3d/runanimation.h"
#include "view3d/ui/advancedsettings.h"
#include "view3d/ui/runanimationdriver.h"
#include "view3d/ui/zunview.h"
#include "view3d/updatehints.h"

namespace zun {

namespace {

QPushButton* Button(const QString& text, QWidget* parent, bool pushLike = false) {
    auto* b = new QPushButton(text, parent);
    b->setAutoDefault(false);
    if (pushLike) b->setCheckable(true);
    return b;
}

}  // namespace

ImageControlFloatingDialog::ImageControlFloatingDialog(CZunView& view, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), view_(view) {
    setWindowTitle(panelmsg::kPanelTitle);
    BuildControls();
    FillScreenList();
    SyncFromView();
}

ImageControlFloatingDialog::~ImageControlFloatingDialog() {
    CloseAdvancedSettings();
}

void ImageControlFloatingDialog::BuildControls() {
    // The column scrolls on a screen too short for it: the recording buttons stay in reach.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    outer->addWidget(scroll_);
    body_ = new QWidget(scroll_);
    auto* top = new QVBoxLayout(body_);
    top->setContentsMargins(6, 6, 6, 6);
    top->setSpacing(4);
    // The information fields take a small font: six decimals must fit the narrow panel.
    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1.0));

    auto* info = new QGroupBox("Information", this);
    auto* ig = new QGridLayout(info);
    const char* labels[5] = {"X:", "Y:", "Z:", "Angle:", "Scale:"};
    for (int i = 0; i < 5; ++i) {
        ig->addWidget(new QLabel(labels[i], info), i, 0);
        info_[i] = new QLineEdit(info);
        info_[i]->setFont(small);
        RealField(info_[i]);
        ig->addWidget(info_[i], i, 1);
    }
    auto* set = Button("Set", info);
    ig->addWidget(set, 5, 1, Qt::AlignRight);
    connect(set, &QPushButton::clicked, this, [this] { OnSet(); });
    top->addWidget(info);

    auto* move = new QGroupBox("Movement", this);
    auto* mg = new QGridLayout(move);
    auto* up = Button("Up", move);
    auto* down = Button("Down", move);
    auto* left = Button("Left", move);
    auto* right = Button("Right", move);
    auto* home = Button("Home", move);
    mg->addWidget(up, 0, 1);
    mg->addWidget(left, 1, 0);
    mg->addWidget(home, 1, 1);
    mg->addWidget(right, 1, 2);
    mg->addWidget(down, 2, 1);
    connect(up, &QPushButton::clicked, this, [this] { view_.PanView(ArrowKey::Up); });
    connect(down, &QPushButton::clicked, this, [this] { view_.PanView(ArrowKey::Down); });
    connect(left, &QPushButton::clicked, this, [this] { view_.PanView(ArrowKey::Left); });
    connect(right, &QPushButton::clicked, this, [this] { view_.PanView(ArrowKey::Right); });
    connect(home, &QPushButton::clicked, this, [this] {
        view_.ResetRotation();
        view_.RequestRedraw(kRedrawOnce);
    });
    top->addWidget(move);

    auto* row = new QHBoxLayout;
    auto* zoom = new QGroupBox("Zoom", this);
    auto* zl = new QHBoxLayout(zoom);
    auto* in = Button("In", zoom);
    auto* out = Button("Out", zoom);
    zl->addWidget(in);
    zl->addWidget(out);
    connect(in, &QPushButton::clicked, this, [this] { view_.ZoomIn(); });
    connect(out, &QPushButton::clicked, this, [this] { view_.ZoomOut(); });
    row->addWidget(zoom);
    auto* slice = new QGroupBox("Slice", this);
    auto* sl = new QHBoxLayout(slice);
    slice_ = new QCheckBox(slice);
    minus_ = Button("-", slice);
    plus_ = Button("+", slice);
    for (QPushButton* b : {minus_, plus_}) {
        b->setEnabled(false);
        b->setFixedWidth(28);
    }
    sl->addWidget(slice_);
    sl->addWidget(minus_);
    sl->addWidget(plus_);
    connect(slice_, &QCheckBox::clicked, this, [this](bool on) { OnSliceCheck(on); });
    connect(minus_, &QPushButton::clicked, this, [this] { OnStepSlices(false); });
    connect(plus_, &QPushButton::clicked, this, [this] { OnStepSlices(true); });
    row->addWidget(slice);
    top->addLayout(row);

    auto* box = new QGroupBox("Bounding Box", this);
    auto* bl = new QHBoxLayout(box);
    visible_ = new QCheckBox("Visible", box);
    transparent_ = new QCheckBox("Transparent", box);
    bl->addWidget(visible_);
    bl->addWidget(transparent_);
    connect(visible_, &QCheckBox::clicked, this, [this](bool on) { OnBoxVisible(on); });
    connect(transparent_, &QCheckBox::clicked, this, [this](bool on) { OnBoxTransparent(on); });
    top->addWidget(box);

    auto* anim = new QGroupBox("Animation", this);
    auto* al = new QGridLayout(anim);
    const std::pair<const char*, int> effects[] = {{"Fill in", kAnimFillIn},
                                                   {"Step Through", kAnimStepThrough},
                                                   {"Fill in (Top)", kAnimFillFromTop},
                                                   {"Fill in (Right)", kAnimFillFromRight}};
    for (int i = 0; i < 4; ++i) {
        auto* b = Button(effects[i].first, anim);
        al->addWidget(b, i / 2, i % 2);
        connect(b, &QPushButton::clicked, this, [this, mode = effects[i].second] { OnAnimation(mode); });
    }
    top->addWidget(anim);

    auto* effect = new QGroupBox("3D and Effect", this);
    auto* el = new QGridLayout(effect);
    const char* stereo[4] = {"Quad buffer", "Anaglyphic", "Interlace Hor.", "Split Hor."};
    for (int i = 0; i < 4; ++i) {
        stereo_[i] = Button(stereo[i], effect, true);
        el->addWidget(stereo_[i], i / 2, i % 2);
    }
    connect(stereo_[0], &QPushButton::clicked, this, [this] {
        view_.ToggleQuadBuffer();
        SyncFromView();
    });
    connect(stereo_[1], &QPushButton::clicked, this, [this] {
        view_.ToggleAnaglyphic();
        SyncFromView();
    });
    connect(stereo_[2], &QPushButton::clicked, this, [this] {
        view_.ToggleInterlaceHorizontal();
        SyncFromView();
    });
    connect(stereo_[3], &QPushButton::clicked, this, [this] {
        view_.ToggleSplitHorizontal();
        SyncFromView();
    });
    eyeSwap_ = Button("Eye swap", effect, true);
    el->addWidget(eyeSwap_, 2, 0, 1, 2);
    connect(eyeSwap_, &QPushButton::clicked, this, [this](bool on) { OnEyeSwap(on); });
    el->addWidget(new QLabel("Shader property:", effect), 3, 0, 1, 2);
    shaders_ = new QComboBox(effect);
    shaders_->addItems({"Standard shader", "Light shader", "Maximum Intensity Projection",
                        "ISO Surface shader", "Grayscale"});
    shaders_->setMaxVisibleItems(5);
    el->addWidget(shaders_, 4, 0, 1, 2);
    auto* more = Button("More...", effect);
    el->addWidget(more, 5, 1);
    connect(shaders_, &QComboBox::activated, this, [this](int i) { OnShader(i); });
    connect(more, &QPushButton::clicked, this, [this] { OnMore(); });
    top->addWidget(effect);

    auto* full = new QGroupBox("Full Screen Mode", this);
    auto* fl = new QHBoxLayout(full);
    screens_ = new QComboBox(full);
    auto* detect = Button("Det.", full);
    detect->setFont(small);
    fl->addWidget(screens_, 1);
    fl->addWidget(detect);
    connect(screens_, &QComboBox::activated, this, [this](int i) { OnScreen(i); });
    connect(detect, &QPushButton::clicked, this, [this] { OnDetect(); });
    top->addWidget(full);

    auto* rec = new QGroupBox("Recording", this);
    auto* rl = new QHBoxLayout(rec);
    auto* record = Button("Record", rec);
    auto* stop = Button("Stop", rec);
    rl->addWidget(record);
    rl->addWidget(stop);
    connect(record, &QPushButton::clicked, this, [this] { OnRecord(); });
    connect(stop, &QPushButton::clicked, this, [this] { OnStop(); });
    top->addWidget(rec);
    top->addStretch(1);
    // A compact panel: it floats beside the document window and should not hide much of it.
    for (QGroupBox* g : findChildren<QGroupBox*>()) {
        g->layout()->setContentsMargins(6, 2, 6, 4);
        g->layout()->setSpacing(3);
    }
    scroll_->setWidget(body_);
    // The column scrolls under the pointer: the wheel must not reach the shader or screen lists.
    ScrollAreaTakesWheel(scroll_);
    // Where the column will scroll, room for the scroll bar beside it.
    int width = body_->minimumSizeHint().width();
    if (body_->sizeHint().height() > ClientRoomOnScreen(this).height())
        width += scroll_->verticalScrollBar()->sizeHint().width();
    scroll_->setMinimumWidth(width);
}

QSize ImageControlFloatingDialog::sizeHint() const {
    return {std::max(body_->sizeHint().width(), scroll_->minimumWidth()), body_->sizeHint().height()};
}

CZunViewAdvancedSettings* ImageControlFloatingDialog::AdvancedSettings() const {
    return advanced_;
}

void ImageControlFloatingDialog::SyncFromView() {
    const ControlPanelState s = PanelStateOf(view_.Settings(), view_.MonitorIndex());
    {
        const QSignalBlocker b1(shaders_), b2(screens_);
        shaders_->setCurrentIndex(s.shader);
        if (s.screen >= 0 && s.screen < screens_->count()) screens_->setCurrentIndex(s.screen);
    }
    stereo_[0]->setChecked(s.quadBuffer);
    stereo_[1]->setChecked(s.anaglyphic);
    stereo_[2]->setChecked(s.interlaceHorizontal);
    stereo_[3]->setChecked(s.splitHorizontal);
    eyeSwap_->setChecked(s.eyeSwapChecked);
    eyeSwap_->setEnabled(s.eyeSwapEnabled);
    visible_->setChecked(s.boxVisible);
    transparent_->setEnabled(s.transparentEnabled);
    transparent_->setChecked(s.transparentChecked);
    slice_->setChecked(view_.panelSliceStepping);
    minus_->setEnabled(view_.panelSliceStepping);
    plus_->setEnabled(view_.panelSliceStepping);
    if (advanced_) advanced_->Fill();
}

void ImageControlFloatingDialog::ShowViewInfo(double angleDegrees, double x, double y, double z,
                                              double distance) {
    const double values[5] = {x, y, z, angleDegrees, distance};
    for (int i = 0; i < 5; ++i)
        if (!info_[i]->hasFocus()) info_[i]->setText(QString::fromStdString(ViewInfoText(values[i])));
}

void ImageControlFloatingDialog::FillScreenList() {
    const QSignalBlocker b(screens_);
    screens_->clear();
    for (const std::string& t : ScreenListTexts(view_.Screens()))
        screens_->addItem(QString::fromStdString(t));
    screens_->setCurrentIndex(std::clamp(view_.MonitorIndex() + 1, 0, screens_->count() - 1));
}

void ImageControlFloatingDialog::CloseAdvancedSettings() {
    if (!advanced_) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    CZunViewAdvancedSettings* d = advanced_;
    advanced_ = nullptr;
    delete d;
    QApplication::restoreOverrideCursor();
}

void ImageControlFloatingDialog::OnSet() {
    // A field that is not a number keeps the value the view has now.
    const osg::Quat q = view_.Manipulator()->getRotation();
    double angle = 0, x = 0, y = 0, z = 1;
    q.getRotate(angle, x, y, z);
    const double current[5] = {x, y, z, angle * 180.0 / osg::PI, view_.CameraDistance()};
    double v[5];
    for (int i = 0; i < 5; ++i) v[i] = ParseViewInfo(info_[i]->text().toStdString(), current[i]);
    view_.SetViewRotation(v[3], v[4], v[0], v[1], v[2]);
}

void ImageControlFloatingDialog::OnSliceCheck(bool checked) {
    RunAnimationDriver* anim = view_.Animation();
    if (view_.TreeAnimating()) {
        view_.Tell(panelmsg::kWaitAnimation);
        slice_->setChecked(view_.panelSliceStepping);
        return;
    }
    if (anim) {
        if (checked)
            anim->Stepping().Begin(true);
        else
            anim->Stepping().End();
    }
    view_.panelSliceStepping = checked;
    slice_->setChecked(checked);
    view_.OnUpdate(nullptr, kUpdateDisplayItems, nullptr);
    minus_->setEnabled(checked);
    plus_->setEnabled(checked);
}

void ImageControlFloatingDialog::OnStepSlices(bool forward) {
    if (RunAnimationDriver* anim = view_.Animation()) {
        if (forward)
            anim->Stepping().StepForward();
        else
            anim->Stepping().StepBackward();
    }
    view_.RequestRedraw(kRedrawOnce);
}

void ImageControlFloatingDialog::OnBoxVisible(bool checked) {
    std::int32_t f = view_.Settings().boundingBoxFlags;
    f = checked ? (f | kBoxShown) : (f & ~kBoxShown);
    view_.ApplyBoundingBoxFlags(f);
    transparent_->setEnabled(checked);
}

void ImageControlFloatingDialog::OnBoxTransparent(bool checked) {
    std::int32_t f = view_.Settings().boundingBoxFlags;
    f = checked ? (f | kBoxTransparentBin) : (f & ~kBoxTransparentBin);
    view_.ApplyBoundingBoxFlags(f);
}

void ImageControlFloatingDialog::OnAnimation(int mode) {
    RunAnimationDriver* anim = view_.Animation();
    if (!anim || anim->Stepping().CountDisplayedChannels() == 0) {
        view_.Tell(panelmsg::kNoDisplayedChannel);
        return;
    }
    if (slice_->isChecked()) OnSliceCheck(false);
    anim->Run(mode);
}

void ImageControlFloatingDialog::OnRecord() {
    if (view_.recorderBusy && view_.recorderBusy()) {
        view_.Tell(panelmsg::kRecordingRunning);
        return;
    }
    if (view_.recordAnimation) view_.recordAnimation();
}

void ImageControlFloatingDialog::OnStop() {
    if (!view_.recorderBusy || !view_.recorderBusy()) {
        view_.Tell(panelmsg::kNoRecording);
        return;
    }
    if (view_.stopRecording) view_.stopRecording();
}

void ImageControlFloatingDialog::OnEyeSwap(bool checked) {
    if (checked != view_.Settings().eyeSwap) view_.ToggleEyeSwap();
    eyeSwap_->setChecked(view_.Settings().eyeSwap);
    if (advanced_) advanced_->Fill();
}

void ImageControlFloatingDialog::OnShader(int index) {
    bool changed = false;
    if (index >= 0 && index <= 3) {
        if (view_.Settings().renderMode != index) {
            view_.SetRenderMode(index);
            changed = true;
        }
    } else if (index == 4) {
        changed = view_.SetShaderMode(kRenderGrayscale);
    }
    if (changed && advanced_) advanced_->Fill();
}

void ImageControlFloatingDialog::OnMore() {
    if (advanced_) {
        CloseAdvancedSettings();
        return;
    }
    advanced_ = new CZunViewAdvancedSettings(*this, parentWidget());
    advanced_->show();
    if (!advanced_->isVisible()) {
        view_.Tell(panelmsg::kNoAdvanced);
        delete advanced_.data();
        advanced_ = nullptr;
    }
}

void ImageControlFloatingDialog::OnScreen(int index) {
    view_.SetFullScreen(index - 1);
}

void ImageControlFloatingDialog::OnDetect() {
    if (!view_.DetectScreens()) {
        view_.Tell(panelmsg::kNoNewScreen);
        return;
    }
    FillScreenList();
}

void ImageControlFloatingDialog::reject() {
    // Closing the panel is the view's: it ends the stepping and deletes the panel.
    CloseAdvancedSettings();
    view_.CloseControlPanel();
}

}  // namespace zun
