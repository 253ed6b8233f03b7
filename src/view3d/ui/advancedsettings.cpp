#include "view3d/ui/advancedsettings.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/numberfield.h"
#include "view3d/ui/controlpanel.h"
#include "view3d/ui/zunview.h"
#include "view3d/viewcontrols.h"

namespace zun {

CZunViewAdvancedSettings::CZunViewAdvancedSettings(ImageControlFloatingDialog& owner, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint), owner_(owner), view_(owner.View()) {
    setWindowTitle("Advanced View Settings");
    setAttribute(Qt::WA_DeleteOnClose);
    BuildControls();
    Fill();
    adjustSize();
    // Beside the panel: its frame's top-left corner at the panel frame's top-right corner, just
    // outside it (a rectangle's right() is its last column).
    const QRect panel = WindowFrameRect(&owner);
    PlaceWindowFrame(
        this, QRect(QPoint(panel.left() + panel.width(), panel.top()), WindowFrameRect(this).size()), &owner);
}

QRadioButton* CZunViewAdvancedSettings::stereoRadio(int mode) const {
    return qobject_cast<QRadioButton*>(stereo_->button(mode));
}

QRadioButton* CZunViewAdvancedSettings::renderRadio(int mode) const {
    return qobject_cast<QRadioButton*>(render_->button(mode));
}

void CZunViewAdvancedSettings::BuildControls() {
    auto* top = new QVBoxLayout(this);

    auto* stereo = new QGroupBox("Stereo", this);
    auto* sg = new QGridLayout(stereo);
    stereo_ = new QButtonGroup(this);
    const std::pair<const char*, int> modes[] = {{"Off", 2},
                                                 {"Anaglyphic", 1},
                                                 {"Quad buffer", 0},
                                                 {"Horizontal Interlace", 5},
                                                 {"Vertical Interlace", 6},
                                                 {"Horizontal split", 3},
                                                 {"Vertical split", 4}};
    for (int i = 0; i < 7; ++i) {
        auto* r = new QRadioButton(modes[i].first, stereo);
        stereo_->addButton(r, modes[i].second);
        sg->addWidget(r, i / 2, i % 2);
    }
    note_ = new QLabel("( hardware support unavailable)", stereo);
    note_->setStyleSheet("color: red");
    sg->addWidget(note_, 4, 0, 1, 2);
    connect(stereo_, &QButtonGroup::idClicked, this, [this](int id) { OnStereo(id); });

    auto addSlider = [this](QGridLayout* g, int row, int which, QLabel* label, QWidget* parent) {
        g->addWidget(label, row, 0);
        sliders_[which] = new QSlider(Qt::Horizontal, parent);
        sliders_[which]->setRange(1, 1000);
        sliders_[which]->setPageStep(which == kSplitH || which == kSplitV ? 1 : 2);
        edits_[which] = new QLineEdit(parent);
        edits_[which]->setReadOnly(true);
        edits_[which]->setMaximumWidth(90);
        RealField(edits_[which]);  // "%.6f" of values up to 1000
        g->addWidget(sliders_[which], row, 1);
        g->addWidget(edits_[which], row, 2);
        QSlider* s = sliders_[which];
        // Dragging does not act; the released thumb and page steps do.
        connect(s, &QSlider::valueChanged, this, [this, s, which] {
            if (!filling_ && !s->isSliderDown()) OnSlider(which);
        });
        connect(s, &QSlider::sliderReleased, this, [this, which] { OnSlider(which); });
    };
    eyeLabel_ = new QLabel("Eye separation:", stereo);
    addSlider(sg, 5, kEye, eyeLabel_, stereo);
    addSlider(sg, 6, kSplitH, new QLabel("Horizontal split:", stereo), stereo);
    addSlider(sg, 7, kSplitV, new QLabel("Vertical split:", stereo), stereo);
    eyeSwap_ = new QCheckBox(" Eye swap", stereo);
    sg->addWidget(eyeSwap_, 8, 0, 1, 2);
    connect(eyeSwap_, &QCheckBox::clicked, this, [this](bool on) { OnEyeSwap(on); });
    top->addWidget(stereo);

    auto* volume = new QGroupBox("Volume property", this);
    auto* vg = new QGridLayout(volume);
    auto* ends = new QHBoxLayout;
    ends->addWidget(new QLabel("Details", volume));
    ends->addStretch(1);
    ends->addWidget(new QLabel("Performance", volume));
    vg->addLayout(ends, 1, 1);
    addSlider(vg, 0, kDensity, new QLabel("Sample density:", volume), volume);
    render_ = new QButtonGroup(this);
    const char* names[4] = {"Standard", "Light", "Maximum Intensity Projection", "ISO Surface"};
    for (int i = 0; i < 4; ++i) {
        auto* r = new QRadioButton(names[i], volume);
        render_->addButton(r, i);
        vg->addWidget(r, 2 + i, 0, 1, 3);
    }
    connect(render_, &QButtonGroup::idClicked, this, [this](int id) { OnRenderMode(id); });
    thresholdLabel_ = new QLabel("Threshold:", volume);
    addSlider(vg, 6, kThreshold, thresholdLabel_, volume);

    auto addSpin = [this](QGridLayout* g, int row, int col, int which, QLabel* label, int max,
                          QWidget* parent) {
        g->addWidget(label, row, col);
        spins_[which] = new QSpinBox(parent);
        spins_[which]->setRange(0, max);
        g->addWidget(spins_[which], row, col + 1);
        connect(spins_[which], &QSpinBox::valueChanged, this, [this, which](int v) {
            if (!filling_) OnSpin(which, v);
        });
    };
    auto* af = new QGridLayout;
    addSpin(af, 0, 0, kAlpha, new QLabel("Alpha function:", volume), 100, volume);
    addSpin(af, 0, 2, kTransparency, new QLabel("Transparency:", volume), 100, volume);
    vg->addLayout(af, 7, 0, 1, 3);
    grey_ = new QCheckBox("Grayscale", volume);
    vg->addWidget(grey_, 8, 0);
    connect(grey_, &QCheckBox::clicked, this, [this] { OnGrayscale(); });
    auto* gg = new QGridLayout;
    const char* rgb[3] = {"Red:", "Green:", "Blue:"};
    for (int i = 0; i < 3; ++i) {
        greyLabels_[i] = new QLabel(rgb[i], volume);
        addSpin(gg, 0, 2 * i, kRed + i, greyLabels_[i], 255, volume);
    }
    vg->addLayout(gg, 9, 0, 1, 3);
    top->addWidget(volume);

    auto* buttons = new QHBoxLayout;
    auto* load = new QPushButton("Load default", this);
    auto* apply = new QPushButton("Apply", this);
    auto* close = new QPushButton("Close", this);
    apply->hide();
    for (QPushButton* b : {load, apply, close}) b->setAutoDefault(false);
    buttons->addWidget(load);
    buttons->addStretch(1);
    buttons->addWidget(apply);
    buttons->addWidget(close);
    connect(load, &QPushButton::clicked, this, [this] { OnLoadDefault(); });
    connect(close, &QPushButton::clicked, this, [this] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        QDialog::close();
        QApplication::restoreOverrideCursor();
    });
    top->addLayout(buttons);
}

void CZunViewAdvancedSettings::Range(int which, float& min, float& max) const {
    const ViewSettings& s = view_.Settings();
    switch (which) {
        case kEye:
            min = s.defaults.eyeSeparation / 10.0f;
            max = 3.0f * s.defaults.eyeSeparation;
            break;
        case kSplitH:
        case kSplitV:
            min = 0;
            max = 100;
            break;
        case kDensity:
            min = s.defaults.sampleDensity / 10.0f;
            max = 5.0f * s.defaults.sampleDensity;
            break;
        default:
            min = 0.01f;
            max = 1.0f;
            break;
    }
}

void CZunViewAdvancedSettings::FillStereo() {
    const ViewSettings& s = view_.Settings();
    const AdvancedEnables e = AdvancedEnablesOf(s);
    if (QAbstractButton* b = stereo_->button(s.stereoMode)) b->setChecked(true);
    note_->setVisible(e.quadBufferNote);
    for (QWidget* w : {static_cast<QWidget*>(eyeLabel_), static_cast<QWidget*>(sliders_[kEye]),
                       static_cast<QWidget*>(edits_[kEye]), static_cast<QWidget*>(eyeSwap_)})
        w->setEnabled(e.eye);
    sliders_[kSplitH]->setEnabled(e.splitHorizontal);
    edits_[kSplitH]->setEnabled(e.splitHorizontal);
    sliders_[kSplitV]->setEnabled(e.splitVertical);
    edits_[kSplitV]->setEnabled(e.splitVertical);
}

void CZunViewAdvancedSettings::Fill() {
    filling_ = true;
    const ViewSettings& s = view_.Settings();
    const AdvancedEnables e = AdvancedEnablesOf(s);
    FillStereo();
    eyeSwap_->setChecked(s.eyeSwap);
    const float values[5] = {s.eyeSeparation, static_cast<float>(s.splitHorizontal),
                             static_cast<float>(s.splitVertical), s.sampleDensity, s.isoValue};
    for (int i = 0; i < 5; ++i) {
        float min = 0, max = 1;
        Range(i, min, max);
        const bool integer = i == kSplitH || i == kSplitV;
        edits_[i]->setText(integer ? QString::number(static_cast<int>(values[i]))
                                   : QString::asprintf("%.6f", values[i]));
        sliders_[i]->setValue(ValueToSlider(values[i], min, max));
    }
    if (s.renderMode >= 0 && s.renderMode <= 3) {
        render_->button(s.renderMode)->setChecked(true);
    } else {
        // Grey scale is not one of the radios: none shows checked.
        render_->setExclusive(false);
        for (QAbstractButton* b : render_->buttons()) b->setChecked(false);
        render_->setExclusive(true);
    }
    grey_->setChecked(s.renderMode == kRenderGrayscale);
    thresholdLabel_->setEnabled(e.threshold);
    sliders_[kThreshold]->setEnabled(e.threshold);
    edits_[kThreshold]->setEnabled(e.threshold);
    for (int i = 0; i < 3; ++i) {
        greyLabels_[i]->setEnabled(e.grey);
        spins_[kRed + i]->setEnabled(e.grey);
        spins_[kRed + i]->setValue(SpinOfGreyWeight(s.greyWeights[i]));
    }
    spins_[kAlpha]->setValue(SpinOfAlpha(s.alphaFunction));
    spins_[kTransparency]->setValue(SpinOfTransparency(s.transparency));
    filling_ = false;
}

void CZunViewAdvancedSettings::SyncPanel() {
    // The panel refills this dialog too.
    owner_.SyncFromView();
}

void CZunViewAdvancedSettings::OnStereo(int mode) {
    view_.ChangeStereoMode(mode);
    view_.RefreshVolumeProperties();
    SyncPanel();
    FillStereo();
}

void CZunViewAdvancedSettings::OnEyeSwap(bool on) {
    view_.Settings().eyeSwap = on;
    view_.SyncEyeSwap();
    view_.RefreshVolumeProperties();
    SyncPanel();
}

void CZunViewAdvancedSettings::OnSlider(int which) {
    float min = 0, max = 1;
    Range(which, min, max);
    const float v = SliderToValue(sliders_[which]->value(), min, max);
    ViewSettings& s = view_.Settings();
    switch (which) {
        case kEye:
            s.eyeSeparation = v;
            edits_[which]->setText(QString::asprintf("%.6f", v));
            view_.SyncEyeSeparation();
            view_.RequestRedraw(kRedrawOnce);
            break;
        case kSplitH:
        case kSplitV:
            (which == kSplitH ? s.splitHorizontal : s.splitVertical) = static_cast<int>(v);
            edits_[which]->setText(QString::number(static_cast<int>(v)));
            view_.SyncSplitSeparations();
            view_.RefreshVolumeProperties();
            break;
        case kDensity:
            s.sampleDensity = v;
            edits_[which]->setText(QString::asprintf("%.6f", v));
            view_.SetVolumeProperty(2, v);
            view_.RefreshVolumeProperties();
            break;
        case kThreshold:
            s.isoValue = v;
            edits_[which]->setText(QString::asprintf("%.6f", v));
            view_.SetVolumeProperty(3, v);
            view_.RefreshVolumeProperties();
            break;
    }
}

void CZunViewAdvancedSettings::OnRenderMode(int mode) {
    if (view_.Settings().renderMode == mode) return;
    view_.SetRenderMode(mode);
    SyncPanel();
    Fill();
}

void CZunViewAdvancedSettings::OnGrayscale() {
    if (view_.Settings().renderMode != kRenderGrayscale) view_.SetShaderMode(kRenderGrayscale);
    SyncPanel();
    Fill();
}

void CZunViewAdvancedSettings::OnSpin(int which, int value) {
    ViewSettings& s = view_.Settings();
    switch (which) {
        case kRed:
        case kGreen:
        case kBlue:
            s.greyWeights[which - kRed] = GreyWeightOfSpin(value);
            view_.SetGreyWeights(s.greyWeights);
            break;
        case kAlpha:
            s.alphaFunction = AlphaOfSpin(value);
            view_.SetVolumeProperty(0, s.alphaFunction);
            break;
        case kTransparency:
            s.transparency = TransparencyOfSpin(value);
            view_.SetVolumeProperty(1, s.transparency);
            break;
    }
    view_.RefreshVolumeProperties();
}

void CZunViewAdvancedSettings::OnLoadDefault() {
    ViewSettings& s = view_.Settings();
    s.ResetAdvanced();
    view_.ApplyStereoSettings();
    if (s.renderMode == kRenderComposite) {
        view_.SetVolumeProperty(0, s.alphaFunction);
        view_.SetVolumeProperty(1, s.transparency);
        view_.SetVolumeProperty(2, s.sampleDensity);
        view_.RefreshVolumeProperties();
    } else {
        view_.SetRenderMode(kRenderComposite);
    }
    SyncPanel();
    Fill();
}

}  // namespace zun
