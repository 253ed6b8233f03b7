#include "view3d/ui/animationrecording.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <osg/Viewport>

#include "document/zundoc.h"
#include "foundation/pathutil.h"
#include "foundation/ui/numberfield.h"
#include "view3d/ui/movierecording.h"
#include "view3d/ui/zunview.h"

namespace zun {

namespace {

QString OneDecimal(float v) {
    return QString::number(v, 'f', 1);
}

// Runs after every frame the main camera draws (on the UI thread, inside the view's paint).
class FrameDrawnCallback : public osg::Camera::DrawCallback {
public:
    explicit FrameDrawnCallback(ViewAnimationRecording* owner) : owner_(owner) {}
    void operator()(osg::RenderInfo&) const override {
        if (owner_) owner_->OnFrameDrawn();
    }

private:
    QPointer<ViewAnimationRecording> owner_;
};

}  // namespace

RecordOptionsDialog::RecordOptionsDialog(QWidget* parent, const RecordOptions& options)
    : QDialog(parent), options_(options) {
    setWindowTitle("Record Animation");
    const char* kindTexts[4] = {"Manual - Free form", "Rotation around horizontal axis",
                                "Rotation around vertical axis", "Set rotation axis angle (degree):"};
    auto* optionsBox = new QGroupBox("Options", this);
    auto* grid = new QGridLayout(optionsBox);
    for (int i = 0; i < 4; ++i) {
        kinds_[i] = new QRadioButton(kindTexts[i], optionsBox);
        grid->addWidget(kinds_[i], i, 0, 1, i == 3 ? 1 : 2);
    }
    auto digits = [this] { return new QRegularExpressionValidator(QRegularExpression("[0-9]*"), this); };
    axisAngle_ = RealField(new QLineEdit(OneDecimal(options.axisAngle), optionsBox));
    grid->addWidget(axisAngle_, 3, 1);
    frameRate_ = IntegerField(new QLineEdit(QString::number(options.frameRate), optionsBox), 0, UINT32_MAX);
    frameRate_->setValidator(digits());
    rotations_ = IntegerField(new QLineEdit(QString::number(options.rotations), optionsBox), 0, UINT32_MAX);
    rotations_->setValidator(digits());
    period_ = RealField(new QLineEdit(OneDecimal(options.period), optionsBox));
    int row = 4;
    for (auto [text, edit] : {std::pair<const char*, QLineEdit*>{"Frame rate:", frameRate_},
                              {"Number of rotations:", rotations_},
                              {"Rotation period (sec):", period_}}) {
        grid->addWidget(new QLabel(text, optionsBox), row, 0);
        grid->addWidget(edit, row++, 1);
    }
    saveFrames_ = new QCheckBox("Save individual frames", optionsBox);
    saveFrames_->setChecked(options.saveFrames);
    grid->addWidget(saveFrames_, row, 0, 1, 2);

    auto* effectBox = new QGroupBox(this);
    auto* effects = new QGridLayout(effectBox);
    effect_ = new QCheckBox("Enable animation effect", effectBox);
    fillIn_ = new QRadioButton("Fill in", effectBox);
    stepThrough_ = new QRadioButton("Step through", effectBox);
    noRotation_ = new QCheckBox("No rotation", effectBox);
    fillIn_->setChecked(true);
    effects->addWidget(effect_, 0, 0, 1, 2);
    effects->addWidget(fillIn_, 1, 0);
    effects->addWidget(stepThrough_, 1, 1);
    effects->addWidget(noRotation_, 2, 0, 1, 2);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton("Start", QDialogButtonBox::AcceptRole);
    buttons->addButton("Cancel", QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &RecordOptionsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(optionsBox);
    layout->addWidget(effectBox);
    layout->addWidget(buttons);

    // Opens with the choices it was given (the last accepted ones); "No rotation" keeps the
    // axis its angle names.
    int kind = std::clamp(options.mode, 0, 3);
    if (options.mode == 4) kind = options.axisAngle == 0.0f ? 1 : options.axisAngle == 90.0f ? 2 : 3;
    kinds_[kind]->setChecked(true);
    effect_->setChecked(options.effect != 0 && options.mode != 0);
    stepThrough_->setChecked(options.effect == 2);
    fillIn_->setChecked(options.effect != 2);
    noRotation_->setChecked(options.mode == 4);
    for (int i = 0; i < 4; ++i)
        connect(kinds_[i], &QRadioButton::clicked, this, [this, i] {
            if (i == 1 || i == 2) axisAngle_->setText(OneDecimal(i == 1 ? 0.0f : 90.0f));
            Refresh();
        });
    connect(effect_, &QCheckBox::toggled, this, &RecordOptionsDialog::Refresh);
    connect(noRotation_, &QCheckBox::toggled, this, &RecordOptionsDialog::Refresh);
    Refresh();
}

int RecordOptionsDialog::CheckedKind() const {
    for (int i = 0; i < 4; ++i)
        if (kinds_[i]->isChecked()) return i;
    return 1;
}

void RecordOptionsDialog::Refresh() {
    const RecordOptionsEnables e =
        RecordOptionsState(CheckedKind(), effect_->isChecked(), noRotation_->isChecked());
    frameRate_->setEnabled(e.frameRate);
    rotations_->setEnabled(e.rotations);
    axisAngle_->setEnabled(e.axisAngle);
    period_->setEnabled(e.period);
    effect_->setEnabled(e.effect);
    for (QWidget* w : {static_cast<QWidget*>(fillIn_), static_cast<QWidget*>(stepThrough_),
                       static_cast<QWidget*>(noRotation_)})
        w->setEnabled(e.effectChoices);
    for (QRadioButton* k : kinds_) k->setEnabled(e.kinds);
}

void RecordOptionsDialog::accept() {
    auto tell = [this](const QString& text) {
        if (showMessage)
            showMessage(text);
        else
            QMessageBox::information(this, QString(), text);
    };
    bool ok[4];
    RecordOptions o;
    o.frameRate = frameRate_->text().toUInt(&ok[0]);
    o.rotations = rotations_->text().toUInt(&ok[1]);
    o.period = period_->text().toFloat(&ok[2]);
    o.axisAngle = axisAngle_->text().toFloat(&ok[3]);
    // The refusal names the first field that does not read.
    const char* names[4] = {"Frame rate", "Number of rotations", "Rotation period", "Axis angle"};
    for (int i = 0; i < 4; ++i)
        if (!ok[i] || (i == 2 && o.period < 0)) {
            tell(QString("Invalid value for %1").arg(names[i]));
            return;
        }
    o.mode = CheckedKind();
    o.saveFrames = saveFrames_->isChecked();
    o.effect = 0;
    if (o.mode != 0 && effect_->isChecked()) {
        o.effect = fillIn_->isChecked() ? 1 : 2;
        if (noRotation_->isChecked()) o.mode = 4;
    }
    const std::string problem = CheckRecordOptions(o);
    if (!problem.empty()) {
        tell(QString::fromStdString(problem));
        return;
    }
    options_ = o;
    QDialog::accept();
}

ViewAnimationRecording::ViewAnimationRecording(CZunView* view, CZunDoc* doc)
    : QObject(view), view_(view), doc_(doc) {
    setObjectName("animationRecording");
}

ViewAnimationRecording::~ViewAnimationRecording() {
    // The view goes: a free-form recording is dropped without a movie.
    StopFreeForm();
}

void ViewAnimationRecording::AttachFrameCallback() {
    drawn_ = new FrameDrawnCallback(this);
    view_->Viewer()->getCamera()->setPostDrawCallback(drawn_.get());
}

void ViewAnimationRecording::DetachFrameCallback() {
    if (drawn_ && view_->Viewer()) view_->Viewer()->getCamera()->setPostDrawCallback(nullptr);
    drawn_ = nullptr;
}

double ViewAnimationRecording::ClockSeconds() const {
    return elapsedSeconds ? elapsedSeconds()
                          : std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void ViewAnimationRecording::StopFreeForm() {
    DetachFrameCallback();
    if (freeForm_) {
        freeForm_.reset();
        busy_ = false;
        ShowRecording(false);
    }
}

std::string ViewAnimationRecording::Title() const {
    for (QWidget* w = view_->parentWidget(); w; w = w->parentWidget())
        if (qobject_cast<QMdiSubWindow*>(w) && !w->windowTitle().isEmpty())
            return w->windowTitle().toStdString();
    return doc_ ? doc_->GetTitle() : std::string();
}

std::string ViewAnimationRecording::ChooseFile() {
    const std::string path = chooseFile ? chooseFile() : AskFile();
    if (path.empty()) return {};
    if (const std::string refused = CheckPathUse(path, PathUse::kWriteFile); !refused.empty()) {
        ShowMessage(refused);
        return {};
    }
    return path;
}

std::string ViewAnimationRecording::AskFile() {
    const QString folder = doc_ ? QString::fromStdString(doc_->recordingFolder) : QString();
    QFileDialog dialog(view_, "Save Animation", folder, "Avi Files (*.avi);;Any Files (*)");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("avi");
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) {
        ShowMessage("No file is selected");
        return {};
    }
    const std::string path = files.front().toStdString();
    if (doc_) doc_->recordingFolder = FolderOf(path);
    return path;
}

void ViewAnimationRecording::ShowMessage(const std::string& text) {
    if (showMessage)
        showMessage(text);
    else
        QMessageBox::warning(view_, QString(), QString::fromStdString(text));
}

void ViewAnimationRecording::OnRecordAnimation() {
    if (busy_) return;
    RecordOptions options;
    if (chooseOptions) {
        if (!chooseOptions(options)) return;
    } else {
        RecordOptionsDialog dialog(view_, dialogOptions_);
        if (dialog.exec() != QDialog::Accepted) return;
        options = dialogOptions_ = dialog.Options();
    }
    options_ = options;
    busy_ = true;
    if (options.mode == 0) {
        freeForm_ = std::make_unique<FreeFormRecording>();
        start_ = std::chrono::steady_clock::now();
        pausedSeconds_ = ClockSeconds();
        std::array<double, 16> m{};
        const osg::Matrixd cam = view_->Manipulator()->getMatrix();
        std::copy(cam.ptr(), cam.ptr() + 16, m.begin());
        lastColour_ = Background();
        freeForm_->Start(m, lastColour_);
        AttachFrameCallback();
        ShowRecording(true);
        return;
    }
    const std::string file = ChooseFile();
    if (file.empty()) {
        busy_ = false;
        return;
    }
    // The recording lets events through: its document stays open until it ends.
    std::unique_ptr<CZunDoc::LongWork> work;
    if (doc_) work = std::make_unique<CZunDoc::LongWork>(*doc_, "animation recording");
    const std::string message =
        SaveWithProgress([&](MovieWriter& writer) { return RecordScripted(*this, writer, file, options); });
    work.reset();
    busy_ = false;
    view_->RequestRedraw(kRedrawOnce);
    if (!message.empty()) ShowMessage(message);
}

std::string ViewAnimationRecording::SaveWithProgress(const std::function<std::string(MovieWriter&)>& record) {
    auto writer = MakeBackgroundMovieWriter();
    progress_ = std::make_unique<CProgressBar>(view_);
    progress_->SetText(Title() + " Save Animation");
    progress_->Start();
    const std::string message = record(*writer);
    progress_.reset();
    return message;
}

void ViewAnimationRecording::OnStopRecording() {
    if (!freeForm_) return;
    // The recording ends where Stop was pressed: the time spent choosing the file would
    // otherwise lengthen the movie by as much.
    const double end = RecordedSeconds();
    const double pauseStart = ClockSeconds();
    DetachFrameCallback();
    const std::string file = ChooseFile();
    if (file.empty()) {
        // A cancelled file choice keeps the recording going, without the pause.
        pausedSeconds_ += ClockSeconds() - pauseStart;
        AttachFrameCallback();
        return;
    }
    freeForm_->Finish(end);
    const std::vector<AnimationEvent> events = freeForm_->Events();
    freeForm_.reset();
    const std::string message = SaveWithProgress([&](MovieWriter& writer) {
        return ReplayFreeForm(*this, writer, file, options_.frameRate, options_.saveFrames, events);
    });
    busy_ = false;
    ShowRecording(false);
    if (!message.empty()) ShowMessage(message);
}

void ViewAnimationRecording::OnFrameDrawn() {
    if (!freeForm_) return;
    const double t = RecordedSeconds();
    std::array<double, 16> m{};
    const osg::Matrixd cam = view_->Manipulator()->getMatrix();
    std::copy(cam.ptr(), cam.ptr() + 16, m.begin());
    freeForm_->AddCamera(t, m);
    // Background changes are recorded where they are first drawn.
    if (Background() != lastColour_) {
        lastColour_ = Background();
        freeForm_->AddColour(t, lastColour_);
    }
}

bool ViewAnimationRecording::Capture(int order, FrameImage& image) {
    captured_ = view_->CaptureFrame(order);
    if (!captured_ || !captured_->data() || captured_->getPixelSizeInBits() != 24) return false;
    image = FrameImage{captured_->data(), captured_->s(), captured_->t(),
                       static_cast<std::ptrdiff_t>(captured_->getRowStepInBytes())};
    return true;
}

bool ViewAnimationRecording::WriteJpeg(const FrameImage& bgr, const std::string& path) {
    return WriteJpegFrame(bgr, path);
}

void ViewAnimationRecording::ViewportSize(int& width, int& height) const {
    const osg::Viewport* vp = view_->Viewer() ? view_->Viewer()->getCamera()->getViewport() : nullptr;
    width = vp ? static_cast<int>(vp->width()) : 0;
    height = vp ? static_cast<int>(vp->height()) : 0;
}

std::uint32_t ViewAnimationRecording::Background() const {
    return view_->Settings().background;
}

Quat ViewAnimationRecording::Rotation() const {
    const osg::Quat q = view_->Manipulator()->getRotation();
    return {q.x(), q.y(), q.z(), q.w()};
}

void ViewAnimationRecording::SetRotation(const Quat& q) {
    view_->Manipulator()->setRotation(osg::Quat(q[0], q[1], q[2], q[3]));
}

double ViewAnimationRecording::Distance() const {
    return view_->Manipulator()->getDistance();
}

double ViewAnimationRecording::MinimumDistance() const {
    return view_->Manipulator()->getMinimumDistance();
}

int ViewAnimationRecording::SliceCount() const {
    if (!doc_) return 0;
    const auto& d = doc_->GetSample().GetDims();
    return d.size() == 3 ? d[2] : 0;
}

void ViewAnimationRecording::SetCameraMatrix(const std::array<double, 16>& m) {
    view_->Manipulator()->setByMatrix(osg::Matrixd(m.data()));
}

void ViewAnimationRecording::SetBackground(std::uint32_t colour) {
    view_->SetBackgroundColour(colour);
}

void ViewAnimationRecording::StepSlices(int position, bool fillIn) {
    if (stepSlices) stepSlices(position, fillIn);
}

bool ViewAnimationRecording::Progress(int percent) {
    if (!progress_) return false;
    return progress_->SetProgress(percent);
}

void ViewAnimationRecording::ShowRecording(bool on) {
    if (showRecording) showRecording(on);
}

ViewAnimationRecording* AnimationRecordingOf(QWidget* view) {
    return view ? view->findChild<ViewAnimationRecording*>("animationRecording", Qt::FindDirectChildrenOnly)
                : nullptr;
}

ViewAnimationRecording* AddAnimationRecording(CZunView* view, CZunDoc& doc) {
    auto* r = new ViewAnimationRecording(view, &doc);
    // The effects step the tree's slices through the view; the control panel's Record and Stop
    // buttons are the two commands.
    r->stepSlices = [view](int position, bool fillIn) { view->StepSliceAnimation(position, fillIn); };
    QPointer<ViewAnimationRecording> rec(r);
    view->recorderBusy = [rec] { return rec && rec->Busy(); };
    view->recordAnimation = [rec] {
        if (rec) rec->OnRecordAnimation();
    };
    view->stopRecording = [rec] {
        if (rec) rec->OnStopRecording();
    };
    // A computation movie is refused while an animation is recorded.
    if (ViewMovieRecording* movie = MovieRecordingOf(view)) {
        movie->animationBusy = [rec] { return rec && rec->Busy(); };
    }
    return r;
}

}  // namespace zun
