#include "app/ui/remotedocwindow.h"

#include <QApplication>
#include <QImage>
#include <QPointer>

#include <functional>

#include "app/ui/childframe.h"
#include "app/ui/mainframe.h"
#include "app/ui/zunapp.h"
#include "document/ui/datcoldialog.h"
#include "document/zundoc.h"
#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/progressdialog.h"
#include "plot/ui/compoundtextdialog.h"
#include "plot/ui/histogramdialog.h"
#include "plot/ui/plotpropertiesdialog.h"
#include "plot/ui/plotwidget.h"
#include "setup/ui/methodsheetdialog.h"
#include "setup/ui/setupdialog.h"
#include "tools/boundarywizard.h"
#include "tools/ui/addboundsheet.h"
#include "tools/ui/mapchanneldialog.h"
#include "tree/ui/displaypropsdialog.h"
#include "tree/ui/treeview.h"
#include "view3d/ui/animationrecording.h"
#include "view3d/ui/zunview.h"

namespace zun {

namespace {

// A window the remote commands opened, on the screen: centred over the main window at first,
// closed to the local user's input, and showing its settings after every command (by its own
// refresh, or made again where it stood).
class ShownDialog : public RemoteShownWindow {
public:
    using Make = std::function<QWidget*()>;
    using Show = std::function<void(QWidget*)>;
    explicit ShownDialog(Make make, Show refresh = {})
        : make_(std::move(make)), refresh_(std::move(refresh)) {
        Open(nullptr);
    }
    ~ShownDialog() override { delete dialog_.data(); }
    void Refresh() override {
        if (!dialog_) return;
        if (refresh_) {
            refresh_(dialog_);
            return;
        }
        const QPoint at = dialog_->geometry().topLeft();
        delete dialog_.data();
        Open(&at);
    }

private:
    void Open(const QPoint* at) {
        dialog_ = make_();
        if (!dialog_) return;
        dialog_->show();
        if (at)
            PlaceWindowOnScreen(dialog_, *at);
        else
            CenterWindowInMainFrame(dialog_, 0, 0);
        dialog_->setEnabled(false);
    }
    Make make_;
    Show refresh_;
    QPointer<QWidget> dialog_;
};

QWidget* MainFrameWidget() {
    return CZunApp::Instance() ? CZunApp::Instance()->MainFrame() : nullptr;
}

// The boundary wizard over the document's definition, captioned as the command's, shown like the
// other remote windows; its Apply's progress window shows the build.
class BoundaryBuildWindow : public RemoteBoundaryBuild {
public:
    BoundaryBuildWindow(CZunDoc& doc, std::vector<std::string> targets)
        : doc_(doc), targets_(std::move(targets)), wizard_(doc, targets_) {
        sheet_ = new AddBoundSheet(wizard_, doc.GetSample().GetChanCount(), MainFrameWidget());
        sheet_->setWindowTitle("Build boundary");
        sheet_->show();
        CenterWindowInMainFrame(sheet_, 0, 0);
        sheet_->setEnabled(false);
    }
    ~BoundaryBuildWindow() override { delete sheet_.data(); }
    int Build() override {
        int r = 0;
        {
            const std::unique_ptr<ProgressSink> progress =
                MakeBoundaryProgress(sheet_, boundmsg::kGenerating);
            r = BuildBoundaryFromDocument(doc_, targets_, progress.get());
        }
        // The progress window hands its owner back to the user; this one stays the command's.
        if (sheet_) sheet_->setEnabled(false);
        return r;
    }

private:
    CZunDoc& doc_;
    std::vector<std::string> targets_;
    BoundaryWizard wizard_;
    QPointer<AddBoundSheet> sheet_;
};

// The document's progress window, as the menu's operations show it.
class DocumentProgressWindow : public RemoteShownWindow {
public:
    DocumentProgressWindow(CZunDoc& doc, const std::string& caption)
        : scope_(doc.GetProgress(), caption, MainFrameWidget()) {}

private:
    ProgressScope scope_;
};

class FrameRemoteWindow : public RemoteDocWindow {
public:
    FrameRemoteWindow(CZunDoc& doc, CChildFrame& frame)
        : doc_(doc),
          frame_(&frame),
          tree_(qobject_cast<ZunTreeView*>(frame.TreePane())),
          view_(qobject_cast<CZunView*>(frame.ViewPane())) {}

    DisplayTree* Tree() override { return tree_ ? &tree_->Tree() : nullptr; }

    std::uint32_t ViewBackground() override { return view_ ? view_->Settings().background : 0; }

    void UpdateView(unsigned bits) override {
        if (!tree_) return;
        // Every view of the window beside the tree, as the Display Properties dialog tells them.
        if (QWidget* frame = tree_->parentWidget())
            for (QObject* o : frame->children())
                if (auto* v = dynamic_cast<DocView*>(o); v && o != tree_.data())
                    v->OnUpdate(nullptr, bits, nullptr);
        tree_->viewport()->update();
    }

    void UpdateTreeStats(const std::set<TreeItemId>& items) override {
        if (!tree_) return;
        StatsMod hint(0, &items);
        tree_->OnUpdate(nullptr, 0, &hint);
    }

    bool SaveHistogramPicture(int channel, const std::string& path, bool& saved) override {
        saved = false;
        std::vector<HistogramSliceEntry> slices;
        const ZunImage& sample = doc_.GetSample();
        for (int j = 0; j < sample.GetSliceCount(); ++j)
            slices.push_back({sample.GetChanNameCStr(channel), j});
        QWidget* main = CZunApp::Instance() ? CZunApp::Instance()->MainFrame() : nullptr;
        auto dialog = std::make_unique<HistogramDialog>(doc_, "zun", std::move(slices), main);
        if (!dialog->Opened()) return false;
        dialog->show();
        CenterWindowInMainFrame(dialog.get(), 0, 0);
        dialog->setEnabled(false);
        QApplication::processEvents();
        PlotWidget* plot = dialog->GetPlotCtrl();
        const QImage picture = plot->RenderImage(plot->size());
        saved = !picture.isNull() && picture.save(QString::fromStdString(path));
        dialog->hide();
        return true;
    }

    int CheckWeb3DExport(Web3DOptions& options, std::string& message) override {
        if (!view_) {
            message = "No volume image is created.";
            return 1;
        }
        return view_->CheckWeb3DExport(options, message);
    }

    int WriteWeb3DPage(Web3DOptions& options, std::string& message) override {
        if (!view_) {
            message = "No volume image is created.";
            return 3;
        }
        return view_->WriteWeb3DPage(options, false, message);
    }

    void SetVolumeScalarProperty(float value) override {
        if (view_) view_->SetVolumeScalarProperty(value);
    }

    void RefreshPropertyDialogs(int channel) override {
        if (CompoundTextDialog* w = FindXrayAttenuationWindow(doc_)) w->UpdateChannel(channel);
    }

    std::string RecordAnimation(const RecordOptions& options, const std::string& path) override {
        ViewAnimationRecording* rec = view_ ? AnimationRecordingOf(view_) : nullptr;
        if (!rec) return "Animation recording is not available.";
        if (rec->Busy()) return "A recording is already running.";
        // The recording's own questions are answered from the command: its options, its file and
        // its message, which becomes the reply.
        std::string message;
        const auto chooseOptions = rec->chooseOptions;
        const auto chooseFile = rec->chooseFile;
        const auto showMessage = rec->showMessage;
        rec->chooseOptions = [&options](RecordOptions& o) {
            o = options;
            return true;
        };
        rec->chooseFile = [&path] { return path; };
        rec->showMessage = [&message](const std::string& text) { message = text; };
        rec->OnRecordAnimation();
        rec->chooseOptions = chooseOptions;
        rec->chooseFile = chooseFile;
        rec->showMessage = showMessage;
        return message;
    }

    std::unique_ptr<RemoteShownWindow> ShowDisplayProperties(DisplayPropsModel& model) override {
        if (!tree_) return nullptr;
        ZunTreeView* tree = tree_;
        return std::make_unique<ShownDialog>(
            [tree, &model] { return new DisplayPropertiesDialog(*tree, model); },
            [](QWidget* w) { static_cast<DisplayPropertiesDialog*>(w)->Refresh(); });
    }

    std::unique_ptr<RemoteShownWindow> ShowDataColour(DatcolPropsModel& model) override {
        return std::make_unique<ShownDialog>(
            [&model] { return new DatcolPropertiesDialog(model, MainFrameWidget()); },
            [](QWidget* w) { static_cast<DatcolPropertiesDialog*>(w)->Refresh(); });
    }

    std::unique_ptr<RemoteShownWindow> ShowMapChannelData(MapDataSpec& settings) override {
        CZunDoc& doc = doc_;
        return std::make_unique<ShownDialog>(
            [&doc, &settings] { return new MapChannelDataDialog(MainFrameWidget(), doc, settings); });
    }

    std::unique_ptr<RemoteShownWindow> ShowSetupComputation(SetupComputationState& state) override {
        CZunApp* app = CZunApp::Instance();
        if (!app) return nullptr;
        return std::make_unique<ShownDialog>(
            [app, &state] { return new SetupComputationDialog(state, app->GetPrompt(), MainFrameWidget()); });
    }

    std::unique_ptr<RemoteShownWindow> ShowMethodSheet(MethodSheet& sheet) override {
        CZunApp* app = CZunApp::Instance();
        if (!app) return nullptr;
        const std::string title = doc_.GetTitle();
        return std::make_unique<ShownDialog>([app, &sheet, title] {
            return new MethodSheetDialog(sheet, title, app->GetPrompt(), MainFrameWidget());
        });
    }

    std::unique_ptr<RemoteBoundaryBuild> ShowBoundaryBuild(const std::vector<std::string>& targets) override {
        return std::make_unique<BoundaryBuildWindow>(doc_, targets);
    }

    std::unique_ptr<RemoteShownWindow> ShowDocumentProgress(const std::string& caption) override {
        return std::make_unique<DocumentProgressWindow>(doc_, caption);
    }

private:
    CZunDoc& doc_;
    QPointer<CChildFrame> frame_;
    QPointer<ZunTreeView> tree_;
    QPointer<CZunView> view_;
};

}  // namespace

std::unique_ptr<RemoteDocWindow> FindRemoteDocWindow(CZunDoc& doc) {
    CZunApp* app = CZunApp::Instance();
    if (!app) return nullptr;
    for (CChildFrame* frame : app->FramesOf(&doc))
        if (frame && qobject_cast<ZunTreeView*>(frame->TreePane()))
            return std::make_unique<FrameRemoteWindow>(doc, *frame);
    return nullptr;
}

}  // namespace zun
