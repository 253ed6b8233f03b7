#include "view3d/ui/movierecording.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QImage>
#include <QImageWriter>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpressionValidator>
#include <QSaveFile>

#include <osg/Viewport>

#include "document/zundoc.h"
#include "foundation/ui/numberfield.h"
#include "view3d/recordingtexts.h"
#include "view3d/ui/zunview.h"

namespace zun {

ComputationRecordingDialog::ComputationRecordingDialog(QWidget* parent, const QString& title,
                                                       const QString& folder, int framesPerSecond,
                                                       bool saveFrames)
    : QFileDialog(parent, title, folder, recmsg::kAviFilters), framesPerSecond_(framesPerSecond) {
    // Our own dialog, so that the two fields can be added to it.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setDefaultSuffix("avi");
    fps_ = IntegerField(new QLineEdit(QString::number(framesPerSecond), this), 0, INT32_MAX);
    fps_->setObjectName("framesPerSecond");
    fps_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), fps_));
    saveFrames_ = new QCheckBox(recmsg::kSaveFramesAlso, this);
    saveFrames_->setObjectName("saveFrames");
    saveFrames_->setChecked(saveFrames);
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        const int row = grid->rowCount();
        grid->addWidget(new QLabel(recmsg::kFramesPerSecond, this), row, 0);
        grid->addWidget(fps_, row, 1);
        grid->addWidget(saveFrames_, row + 1, 1);
    }
}

bool ComputationRecordingDialog::SaveFrames() const {
    return saveFrames_->isChecked();
}

void ComputationRecordingDialog::accept() {
    int value = 0;
    const std::string problem = CheckFramesPerSecond(fps_->text().toStdString(), value);
    if (!problem.empty()) {
        if (showMessage)
            showMessage(QString::fromStdString(problem));
        else
            QMessageBox::information(this, QString(), QString::fromStdString(problem));
        return;
    }
    framesPerSecond_ = value;
    QFileDialog::accept();
}

ViewMovieRecording::ViewMovieRecording(CZunView* view, CZunDoc* doc)
    : QObject(view), view_(view), doc_(doc), recording_(*this) {
    setObjectName("movieRecording");
    view_->updatesApplied = [this] { recording_.WriteRecordingFrame(); };
}

ViewMovieRecording::~ViewMovieRecording() {
    // The view goes during a run: finish the movie, and the controller stops waiting on frames.
    view_->updatesApplied = nullptr;
    recording_.Stop();
}

void ViewMovieRecording::FinishWithLastState() {
    // The view applies updates on its own schedule, so the computation's last update may not have
    // reached it yet: it is applied here, which also takes its frame, before the movie ends.
    if (recording_.Active()) view_->ApplyUpdateHints(static_cast<unsigned>(kHintComputationProgress));
    recording_.Stop();
}

bool ViewMovieRecording::ComputationRunning() const {
    if (computationRunning) return computationRunning();
    return doc_ && doc_->GetModel().GetState() == kRunning;
}

bool ViewMovieRecording::AnimationRecorderBusy() const {
    return animationBusy && animationBusy();
}

int ViewMovieRecording::ChooseRecording(RecordingChoice& choice) {
    if (chooseRecording) return chooseRecording(choice);
    const QString folder = QString::fromStdString(!choice.fileName.empty() ? choice.fileName
                                                  : doc_                   ? doc_->recordingFolder
                                                                           : "");
    ComputationRecordingDialog dialog(view_,
                                      QString::fromStdString(Title()) + recmsg::kRecordComputationSuffix,
                                      folder, choice.framesPerSecond, choice.saveFrames);
    if (dialog.exec() != QDialog::Accepted) return 1;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return 2;
    // The platform's compressor list stands for the two the movie writer has.
    const QStringList codecs{recmsg::kUncompressed, recmsg::kMsVideo1};
    bool ok = false;
    const QString codec =
        QInputDialog::getItem(view_, recmsg::kCompressionTitle, recmsg::kCompressor, codecs, 1, false, &ok);
    if (!ok) return 1;
    choice.fileName = files.front().toStdString();
    choice.framesPerSecond = dialog.FramesPerSecond();
    choice.saveFrames = dialog.SaveFrames();
    choice.codec = codec == codecs[0] ? MovieCodec::kUncompressed : MovieCodec::kMsVideo1;
    if (doc_) doc_->recordingFolder = FolderOf(choice.fileName);
    return 0;
}

void ViewMovieRecording::ShowMessage(const std::string& text) {
    if (showMessage)
        showMessage(text);
    else
        QMessageBox::warning(view_, QString(), QString::fromStdString(text));
}

void ViewMovieRecording::ViewportSize(int& width, int& height) const {
    const osg::Viewport* vp = view_->Viewer() ? view_->Viewer()->getCamera()->getViewport() : nullptr;
    width = vp ? static_cast<int>(vp->width()) : 0;
    height = vp ? static_cast<int>(vp->height()) : 0;
}

std::uint32_t ViewMovieRecording::Background() const {
    return view_->Settings().background;
}

bool ViewMovieRecording::Capture(int order, FrameImage& image) {
    captured_ = view_->CaptureFrame(order);
    if (!captured_ || !captured_->data() || captured_->getPixelSizeInBits() != 24) return false;
    image = FrameImage{captured_->data(), captured_->s(), captured_->t(),
                       static_cast<std::ptrdiff_t>(captured_->getRowStepInBytes())};
    return true;
}

bool ViewMovieRecording::WriteJpeg(const FrameImage& bgr, const std::string& path) {
    return WriteJpegFrame(bgr, path);
}

void ViewMovieRecording::AdjustSyncUpdateCount(int delta) {
    if (doc_) doc_->GetModel().AdjustSyncUpdateCount(delta);
}

std::string ViewMovieRecording::Title() const {
    for (QWidget* w = view_->parentWidget(); w; w = w->parentWidget())
        if (qobject_cast<QMdiSubWindow*>(w) && !w->windowTitle().isEmpty())
            return w->windowTitle().toStdString();
    return doc_ ? doc_->GetTitle() : std::string();
}

void ViewMovieRecording::LogTimestamped(const std::string& text) {
    if (doc_) doc_->Logger().AppendTimestamped(text);
}

void ViewMovieRecording::ShowRecording(bool on) {
    if (showRecording) showRecording(on);
}

bool WriteJpegFrame(const FrameImage& bgr, const std::string& path) {
    // The frame comes bottom row first; the file wants the top row first.
    const QImage image =
        QImage(bgr.data, bgr.width, bgr.height, static_cast<qsizetype>(bgr.stride), QImage::Format_BGR888)
            .mirrored();
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) return false;
    QImageWriter writer(&file, "jpg");
    if (!writer.write(image)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

ViewMovieRecording* MovieRecordingOf(QWidget* view) {
    return view ? view->findChild<ViewMovieRecording*>("movieRecording", Qt::FindDirectChildrenOnly)
                : nullptr;
}

namespace {

std::vector<QPointer<ViewMovieRecording>> RecordersOf(CZunDoc& doc) {
    std::vector<QPointer<ViewMovieRecording>> out;
    for (DocView* v : doc.Views().Views())
        if (auto* view = dynamic_cast<CZunView*>(v))
            if (ViewMovieRecording* r = MovieRecordingOf(view)) out.emplace_back(r);
    return out;
}

}  // namespace

ViewMovieRecording* AddMovieRecording(CZunView* view, CZunDoc& doc) {
    auto* r = new ViewMovieRecording(view, &doc);
    CZunDoc* d = &doc;
    d->startRecording = [d] {
        for (const auto& r : RecordersOf(*d))
            if (r) r->Recording().cancelledByUser = false;
        // A dialog of one view may let another window close: each recorder is checked again.
        for (const auto& r : RecordersOf(*d)) {
            if (!r) continue;
            const int result = r->Recording().Start();
            if (result != 0) {
                for (const auto& s : RecordersOf(*d))
                    if (s) s->Recording().Stop();
                return result;
            }
        }
        return 0;
    };
    d->stopRecording = [d] {
        for (const auto& r : RecordersOf(*d))
            if (r) r->FinishWithLastState();
    };
    return r;
}

bool RecordingStartCancelled(CZunDoc& doc) {
    for (const auto& r : RecordersOf(doc))
        if (r && r->Recording().cancelledByUser) return true;
    return false;
}

}  // namespace zun
