#include "app/ui/zunapp.h"

#include <filesystem>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QSplitter>
#include <QThread>

#include "app/compare.h"
#include "app/ui/childframe.h"
#include "app/ui/framechannel.h"
#include "app/ui/httpfetcher.h"
#include "app/ui/logwindow.h"
#include "app/ui/mainframe.h"
#include "app/ui/pluginlist.h"
#include "app/ui/prefsheet.h"
#include "app/ui/qtprompt.h"
#include "app/updatecheck.h"
#include "app/version.h"
#include "compute/model.h"
#include "document/docmessages.h"
#include "document/zundoc.h"
#include "foundation/heaprelease.h"
#include "foundation/memoryguard.h"
#include "foundation/pathutil.h"
#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/progressdialog.h"
#include "model/sample.h"
#include "plot/ui/propertycommands.h"
#include "plot/ui/usernotesdialog.h"
#include "setup/ui/setupdialog.h"
#include "tree/ui/treeview.h"
#include "view3d/ui/movierecording.h"
#include "view3d/ui/zunview.h"

namespace zun {

namespace {
CZunApp* g_app = nullptr;

// Windows that observe a document (its log window, its document windows) go before the document,
// at once: a deferred delete would let them touch the document after it is gone.
void DestroyNow(QWidget* w) {
    delete w;
}

const char kZunFilter[] = "Zun Files (*.zun)";
const char kBinaryFilter[] = "Binary Data Files (*.dat);;All Files (*)";
const char kOpenFilter[] =
    "Zun Files (*.zun);;Text Data Files (*.txt);;Binary Data Files (*.dat);;All Files (*)";

std::string WithExtension(std::string path, const char* ext) {
    if (GetFileExtension(path).empty()) path += ext;
    return path;
}

// Files from this size on take long enough to read or write that the work shows progress.
constexpr std::uintmax_t kProgressFileBytes = 16u << 20;

// A save of the document shows progress when its voxels alone reach that size.
std::unique_ptr<ProgressScope> SaveProgress(const CZunDoc& doc, ProgressRouter& router,
                                            const std::string& path, QWidget* parent) {
    const ZunImage& s = doc.GetSample();
    if (s.GetNumVoxels() * static_cast<std::uint64_t>(s.GetChanCount()) * 2 < kProgressFileBytes)
        return nullptr;
    return std::make_unique<ProgressScope>(router, "Saving " + path, parent);
}

// The long work a document being opened holds (its refusals name it).
const char kReadingWork[] = "file reading";

bool LiveRun(const Model& model) {
    const int s = model.GetState();
    return s == kRunning || s == kPausing || s == kPaused;
}

// A running computation is asked to stop, and this thread keeps handling messages until the
// worker has left: a worker waiting for this thread (a sent message) must never meet a join.
void StopRunAndWait(Model& model) {
    if (!model.IsBusy()) return;
    model.StopComputation(false);
    while (model.IsBusy()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (model.IsBusy()) QThread::msleep(1);
    }
}

bool SamePath(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) return true;
    return a == b;
}
}  // namespace

CZunApp::CZunApp() : CZunApp(Services{}) {}

CZunApp::CZunApp(Services services)
    : services_(std::move(services)),
      progress_(std::make_unique<ProgressRouter>()),
      channel_(new QtMainFrameChannel(this)),
      prefs_(std::make_unique<ZunPreferences>()),
      lastApplied_(std::make_unique<ZunPreferences>()) {
    g_app = this;
    if (services_.prompt) {
        prompt_ = services_.prompt;
    } else {
        ownPrompt_ = std::make_unique<QtPrompt>();
        prompt_ = ownPrompt_.get();
    }
    channel_->SetHandler([this](const FrameMessage& m) { OnFrameMessage(m); });
    preferenceSheet_ = RunPreferenceSheet;
    openUrl_ = [](const std::string& url) { QDesktopServices::openUrl(QUrl(QString::fromStdString(url))); };
    SetSetupDialogFactory([this]() -> std::unique_ptr<ComputationSetupDialog> {
        auto plugins = [](std::vector<PluginRunEntry>& list, bool job, QWidget* parent) {
            auto* w = new PluginListWidget(list, job, parent);
            return PluginSection{w, [w] { return w->Model().Job(); }};
        };
        return std::make_unique<SetupComputationRunner>(*prompt_, frame_.get(), plugins);
    });
    RegisterSavedClasses();
}

CZunApp::~CZunApp() {
    if (IsRemoteControlled()) GetRemoteControlStartup().Shutdown();
    // Each document goes with its windows, after its worker has left.
    while (!docs_.empty()) DestroyDocument(docs_.back().doc.get());
    frame_.reset();
    if (g_app == this) g_app = nullptr;
}

CZunApp* CZunApp::Instance() {
    return g_app;
}

LoggingPrefs CZunApp::Logging() const {
    return LoggingPrefs{prefs_->logging.enabled, prefs_->logging.clearOnStart, prefs_->logging.viewLog};
}

void CZunApp::SavePreferences() {
    prefs_->SaveAll(ini_);
}

void CZunApp::ApplyPreferences() {
    if (prefs_->display.maxSize != lastApplied_->display.maxSize) {
        for (DocEntry& e : docs_) e.doc->UpdateAllViews(nullptr, kHintData);
        lastApplied_->display.maxSize = prefs_->display.maxSize;
    }
    if (prefs_->memory.enabled != lastApplied_->memory.enabled ||
        prefs_->memory.remain != lastApplied_->memory.remain) {
        const int percent = prefs_->memory.enabled ? prefs_->memory.remain : 0;
        SetMemoryPolicy(MemoryPolicy{prefs_->memory.enabled, prefs_->memory.remain});
        for (DocEntry& e : docs_) e.doc->GetSample().GetAllocator().remainPercent = percent;
        lastApplied_->memory.enabled = prefs_->memory.enabled;
        lastApplied_->memory.remain = prefs_->memory.remain;
    }
    for (DocEntry& e : docs_) e.doc->SetPlugins(prefs_->plugins.enabled, prefs_->plugins.searchList);
    // The scene library's messages show only at debug level 1.
    CZunView::SetDebugLevel(prefs_->debug.level);
}

bool CZunApp::InitInstance(const StartupOptions& options) {
    SetRemoteControlled(options.Remote());
    if (options.Remote() && !GetRemoteControlStartup().Start(options)) return false;
    ini_.SetPath(services_.profilePath.empty() ? ProfilePath() : services_.profilePath);
    prefs_->LoadAll(ini_);
    *lastApplied_ = *prefs_;
    CZunView::SetDebugLevel(prefs_->debug.level);
    SetMemoryPolicy(MemoryPolicy{prefs_->memory.enabled, prefs_->memory.remain});
    recent_.Load(ini_);
    InstallQtMessagePump();
    frame_ = std::make_unique<CMainFrame>(*this);
    frame_->RebuildRecentFiles();
    if (options.Remote()) {
        frame_->EnterRemoteMode(options.window);
        GetRemoteControlStartup().Attach(*this);
    } else {
        frame_->show();
    }
    if (options.files.empty()) {
        if (!OnFileNew()) return false;
    } else {
        // A file that cannot be opened has told why; the program goes on with the others (and
        // runs without a document when none opened).
        OpenDocumentFiles(options.files);
    }
    // The first document window's OpenGL view has made Qt recreate the frame's native window,
    // which drops it out of the controller's window.
    if (options.Remote()) frame_->KeepEmbedded();
    frame_->UpdateCommandUI();
    if (!options.Remote()) CheckForUpdate(false, "");
    return true;
}

// ---------------------------------------------------------------------------------------------
// Documents and their windows

CZunDoc* CZunApp::CreateDocument() {
    DocServices s{prompt_, progress_.get(), channel_};
    docs_.push_back(DocEntry{std::make_unique<CZunDoc>(s), {}, {}});
    CZunDoc* doc = docs_.back().doc.get();
    doc->SetPlugins(prefs_->plugins.enabled, prefs_->plugins.searchList);
    doc->closeMainWindow = [this] {
        if (frame_) QMetaObject::invokeMethod(frame_.get(), &QWidget::close, Qt::QueuedConnection);
    };
    return doc;
}

bool CZunApp::RefuseNewDocument() {
    const std::string refused = docmsg::NoRoomForDocument(docs_.size());
    if (refused.empty()) return false;
    prompt_->Tell(refused, PromptIcon::Warning);
    return true;
}

CZunApp::DocEntry* CZunApp::OpenEntry(const std::string& path) {
    for (DocEntry& e : docs_)
        if (SamePath(e.source, path) || SamePath(e.doc->GetPathName(), path)) return &e;
    return nullptr;
}

CZunApp::DocEntry* CZunApp::Entry(const CZunDoc* doc) {
    for (DocEntry& e : docs_)
        if (e.doc.get() == doc) return &e;
    return nullptr;
}

CZunDoc* CZunApp::FindDocument(const void* doc) const {
    for (const DocEntry& e : docs_)
        if (e.doc.get() == doc) return e.doc.get();
    return nullptr;
}

CChildFrame* CZunApp::CreateFrame(CZunDoc& doc, const CChildFrame* copyFrom) {
    auto* child = new CChildFrame(doc, nullptr, copyFrom);
    QMdiSubWindow* w = frame_->AddChild(child);
    // Every way of closing the window (its close button, maximised or not, its Ctrl+W) comes
    // through its close event.
    w->installEventFilter(this);
    UpdateTitles(doc);
    const CZunDoc* which = &doc;
    connect(w, &QObject::destroyed, this, [this, which] {
        // Counted once the window is wholly gone: the views that remain renumber their titles.
        QMetaObject::invokeMethod(
            this,
            [this, which] {
                if (CZunDoc* d = FindDocument(which)) UpdateTitles(*d);
                if (frame_) {
                    frame_->UpdateCommandUI();
                    frame_->UpdateCaption();
                }
            },
            Qt::QueuedConnection);
    });
    return child;
}

bool CZunApp::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Close) return QObject::eventFilter(watched, event);
    auto* w = qobject_cast<QMdiSubWindow*>(watched);
    auto* child = w ? qobject_cast<CChildFrame*>(w->widget()) : nullptr;
    if (!child) return QObject::eventFilter(watched, event);
    CZunDoc* doc = &child->Document();
    if (FramesOf(doc).size() > 1) return false;  // one of several views: only it goes
    // The last window of a document closes the document as File > Close does: its questions,
    // the end of its run and the document itself. The window stays until then, and is destroyed
    // with the document outside its own close handling.
    event->ignore();
    QMetaObject::invokeMethod(
        this,
        [this, doc] {
            if (FindDocument(doc)) CloseDocument(doc);
        },
        Qt::QueuedConnection);
    return true;
}

void CZunApp::UpdateTitles(CZunDoc& doc) {
    if (!frame_) return;
    const std::vector<CChildFrame*> frames = FramesOf(&doc);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        QString t = QString::fromStdString(doc.GetTitle());
        if (frames.size() > 1) t += QString(":%1").arg(i + 1);
        if (QWidget* w = frames[i]->parentWidget()) w->setWindowTitle(t);
    }
    frame_->UpdateCaption();
}

std::vector<CChildFrame*> CZunApp::FramesOf(CZunDoc* doc) const {
    std::vector<CChildFrame*> out;
    if (!frame_) return out;
    for (CChildFrame* c : frame_->Children())
        if (&c->Document() == doc) out.push_back(c);
    return out;
}

void CZunApp::Activate(CZunDoc& doc) {
    const auto frames = FramesOf(&doc);
    if (!frames.empty())
        if (auto* w = qobject_cast<QMdiSubWindow*>(frames.front()->parentWidget())) frame_->MakeCurrent(w);
}

CZunDoc* CZunApp::ActiveDocument() {
    if (!frame_) return nullptr;
    CChildFrame* c = frame_->ActiveChild();
    return c ? &c->Document() : nullptr;
}

std::vector<CZunDoc*> CZunApp::Documents() {
    std::vector<CZunDoc*> out;
    for (DocEntry& e : docs_) out.push_back(e.doc.get());
    return out;
}

MainFrameChannel& CZunApp::FrameChannel() {
    return *channel_;
}

void CZunApp::Quit() {
    if (frame_) frame_->close();
}

CLogFrame* CZunApp::LogWindow(CZunDoc* doc) const {
    for (const DocEntry& e : docs_)
        if (e.doc.get() == doc) return e.log.data();
    return nullptr;
}

void CZunApp::AddRecent(const std::string& path) {
    std::error_code ec;
    const auto abs = std::filesystem::absolute(path, ec);
    recent_.Add(ec ? path : abs.lexically_normal().string());
    recent_.Save(ini_);
    if (frame_) frame_->RebuildRecentFiles();
}

std::string CZunApp::ChooseFile(const std::string& title, const std::string& filter, bool save,
                                const std::string& suggested) {
    if (chooseFile_) return chooseFile_(title, filter, save, suggested);
    const QString t = QString::fromStdString(title), f = QString::fromStdString(filter),
                  s = QString::fromStdString(suggested);
    const QString chosen =
        save ? GetSaveFileName(frame_.get(), t, s, f) : QFileDialog::getOpenFileName(frame_.get(), t, s, f);
    return chosen.toStdString();
}

CZunDoc* CZunApp::OnFileNew() {
    if (RefuseNewDocument()) return nullptr;
    CZunDoc* doc = CreateDocument();
    if (!doc->OnNewDocument(Logging())) {
        DestroyDocument(doc);
        return nullptr;
    }
    doc->SetTitle("Zun" + std::to_string(++untitled_));
    CreateFrame(*doc);
    if (prefs_->logging.viewLog) ShowLog(doc);
    return doc;
}

void CZunApp::OnFileOpen() {
    const std::string path = ChooseFile("Open", kOpenFilter, false, {});
    if (!path.empty()) OpenDocumentFile(path);
}

CZunDoc* CZunApp::OpenDocumentFile(const std::string& path) {
    if (DocEntry* e = OpenEntry(path)) {
        // A document is never left without a window the user could reach it through.
        if (frame_ && FramesOf(e->doc.get()).empty()) CreateFrame(*e->doc);
        Activate(*e->doc);
        return e->doc.get();
    }
    if (RefuseNewDocument()) return nullptr;
    std::error_code ec;
    if (const std::string refused = CheckPathUse(path, PathUse::kReadFile); !refused.empty()) {
        prompt_->Tell(refused, PromptIcon::Warning);
        return nullptr;
    }
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fclose(f);
    } else {
        prompt_->Tell("Cannot open " + path + ": " + std::strerror(errno) + ".", PromptIcon::Warning);
        return nullptr;
    }
    const OpenKind kind = ProbeOpenFile(path);
    if (kind == OpenKind::Refused) return nullptr;
    CZunDoc* doc = CreateDocument();
    bool ok = false;
    {
        // The document is listed while it is read, and the progress dialog lets requests and
        // commands run: none may close or change it before the read has ended.
        CZunDoc::LongWork reading(*doc, kReadingWork, true);
        WaitCursor wait;
        // A large file takes seconds to read: the progress dialog, whose Cancel drops the new
        // document and changes nothing else.
        std::unique_ptr<ProgressScope> progress;
        if (std::filesystem::file_size(path, ec) >= kProgressFileBytes && !ec)
            progress = std::make_unique<ProgressScope>(*progress_, "Reading " + path, frame_.get());
        if (kind == OpenKind::Document) {
            ok = doc->OnOpenDocument(path);
        } else if (!doc->OnNewDocument(Logging())) {
            prompt_->Tell("Could not create new document for " + path, PromptIcon::Warning);
        } else {
            // A data file fills a new document; the document keeps no path, so that a save never
            // writes a document file over the data file.
            ok = kind == OpenKind::TextData ? doc->ImportTextDocument(path) : doc->ImportBinaryDataFile(path);
            if (ok) doc->SetModifiedFlag(false);
        }
    }
    if (!ok) {
        DestroyDocument(doc);
        return nullptr;
    }
    Entry(doc)->source = path;
    AddRecent(path);
    CChildFrame* child = CreateFrame(*doc);
    // A data file brings no display state: its CT channels are what there is to see.
    if (kind != OpenKind::Document) {
        child->DisplayCtChannels();
        doc->SetModifiedFlag(false);
    }
    if (prefs_->logging.viewLog) ShowLog(doc);
    if (doc->OpenedNewerFile() && !IsRemoteControlled()) CheckForUpdate(true, docmsg::kNewerVersionPrefix);
    return doc;
}

void CZunApp::OpenDocumentFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        // A file open already is only activated; any other would be refused in turn.
        if (!OpenEntry(path) && RefuseNewDocument()) return;
        OpenDocumentFile(path);
    }
}

bool CZunApp::OnFileSave(CZunDoc* doc) {
    if (!doc) return false;
    if (doc->GetPathName().empty()) return OnFileSaveAs(doc);
    WaitCursor wait;
    const auto progress = SaveProgress(*doc, *progress_, doc->GetPathName(), frame_.get());
    if (!doc->OnFileSave()) return false;
    AddRecent(doc->GetPathName());
    UpdateTitles(*doc);
    return true;
}

bool CZunApp::OnFileSaveAs(CZunDoc* doc) {
    if (!doc) return false;
    std::string suggested = doc->GetPathName();
    if (suggested.empty()) suggested = FileBesideDocument(*doc, ".zun");
    std::string path = ChooseFile("Save As", kZunFilter, true, suggested);
    if (path.empty()) return false;
    path = WithExtension(path, ".zun");
    WaitCursor wait;
    {
        const auto progress = SaveProgress(*doc, *progress_, path, frame_.get());
        if (!doc->OnSaveDocument(path)) return false;
    }
    RenameDocMod hint(doc->GetTitle());
    if (!frame_ || !frame_->Closing()) doc->UpdateAllViews(nullptr, kHintRename, &hint);
    AddRecent(path);
    UpdateTitles(*doc);
    return true;
}

std::string CZunApp::FileBesideDocument(const CZunDoc& doc, const char* ext) {
    std::string folder;
    if (!doc.GetPathName().empty()) {
        folder = GetPathFolder(doc.GetPathName());
    } else if (const DocEntry* e = Entry(&doc); e && !e->source.empty()) {
        folder = GetPathFolder(e->source);
    }
    return (folder.empty() ? std::string() : folder + "/") + StripFileExtension(doc.GetTitle()) + ext;
}

bool CZunApp::OnExportBinaryDataFile(CZunDoc* doc) {
    if (!doc) return false;
    // The export starts beside the document (or the file it was read from).
    const std::string path =
        ChooseFile("Export Binary Data File", kBinaryFilter, true, FileBesideDocument(*doc, ".dat"));
    if (path.empty()) return false;
    WaitCursor wait;
    ProgressScope progress(*progress_, "Writing " + path, frame_.get());
    return doc->ExportBinaryDataFile(path);
}

void CZunApp::OnOpenRecentFile(int index) {
    if (index < 0 || index >= recent_.Size()) return;
    const std::string path = recent_[index];
    std::error_code ec;
    // Refused for want of room, the file stays listed: it could be opened.
    if (!OpenEntry(path) && RefuseNewDocument()) return;
    if (!std::filesystem::exists(path, ec)) {
        prompt_->Tell(path + " was not found.");
        recent_.Remove(index);
        recent_.Save(ini_);
        frame_->RebuildRecentFiles();
        return;
    }
    if (!OpenDocumentFile(path)) {
        recent_.Remove(index);
        recent_.Save(ini_);
        frame_->RebuildRecentFiles();
        prompt_->Tell(path + " exists but could not be opened.");
    }
}

bool CZunApp::CloseDocument(CZunDoc* doc) {
    if (!doc || !Entry(doc)) return false;
    // Long work on the document lets this command through while it still uses the document and
    // its view.
    if (const std::string work = doc->RunningWork(); !work.empty()) {
        prompt_->Tell(docmsg::BusyClose(work));
        return false;
    }
    if (!ConfirmStopComputation(*doc)) return false;
    // A "Yes" puts the notes into the document, whose own question follows.
    AskNotesSaveChanges(*doc);
    if (doc->IsModified()) {
        const int a = prompt_->Ask(PromptRequest{"Save changes to " + doc->GetTitle() + "?",
                                                 {},
                                                 {},
                                                 PromptButtons::YesNoCancel,
                                                 PromptIcon::Question});
        if (a == kPromptCancel) return false;
        if (a == kPromptYes && !OnFileSave(doc)) return false;
    }
    DestroyDocument(doc);
    return true;
}

bool CZunApp::ConfirmStopComputation(CZunDoc& doc) {
    Model& model = doc.GetModel();
    if (!LiveRun(model)) return true;
    const PromptRequest question{"Stop computation?", {}, {}, PromptButtons::OkCancel, PromptIcon::Question};
    // A run that ends while the question is open withdraws it: nothing is thrown away then.
    const int answer = prompt_->AskWhile(question, [&model] { return LiveRun(model); });
    if (answer == kPromptCancel && LiveRun(model)) return false;
    // Stopped before the questions about the document, whose save a run would refuse. The
    // document is busy meanwhile: a second close waits for this one.
    CZunDoc::LongWork stopping(doc, "computation");
    StopRunAndWait(model);
    return true;
}

bool CZunApp::CloseAllDocuments() {
    while (!docs_.empty()) {
        CZunDoc* doc = docs_.back().doc.get();
        Activate(*doc);
        if (!CloseDocument(doc)) return false;
    }
    return true;
}

void CZunApp::DestroyDocument(CZunDoc* doc) {
    auto it =
        std::find_if(docs_.begin(), docs_.end(), [doc](const DocEntry& e) { return e.doc.get() == doc; });
    if (it == docs_.end()) return;
    CloseDocumentWindows(*doc);
    if (it->log) DestroyNow(it->log.data());
    if (frame_)
        for (CChildFrame* c : FramesOf(doc)) DestroyNow(c->parentWidget());
    if (GetActiveZunDoc() == doc) SetActiveZunDoc(nullptr);
    StopRunAndWait(doc->GetModel());
    // Destroying the document stops its run and joins the worker; messages the worker posted
    // before that are dropped, since the document is no longer listed.
    std::unique_ptr<CZunDoc> owned = std::move(it->doc);
    docs_.erase(it);
    owned.reset();
    channel_->Drain();
    if (frame_) frame_->UpdateCommandUI();
    // What the document and its windows held is free now, and what they left for later deletion
    // once the events before this call have run; it may lie below blocks of documents still
    // open, where the heap keeps it unless asked.
    QMetaObject::invokeMethod(
        this, [] { ReleaseFreeHeap(); }, Qt::QueuedConnection);
}

void CZunApp::ShowLog(CZunDoc* doc) {
    DocEntry* e = Entry(doc);
    if (!e) return;
    if (e->log) {
        e->log->raise();
        e->log->activateWindow();
        return;
    }
    e->log = new CLogFrame(doc->Logger(), doc->GetTitle(), frame_.get());
}

void CZunApp::OnPreferences() {
    if (!preferenceSheet_) return;
    *lastApplied_ = *prefs_;
    preferenceSheet_(*this);
}

void CZunApp::OnWindowNew() {
    CZunDoc* doc = ActiveDocument();
    if (!doc) {
        prompt_->Tell("Command failed.");
        return;
    }
    CChildFrame* active = frame_->ActiveChild();
    // The new view starts from the window it was made from, not from the document's first one.
    CChildFrame* child = CreateFrame(*doc, active);
    if (active) {
        QList<int> sizes = child->Splitter()->sizes();
        if (!sizes.isEmpty()) {
            const int total = sizes.value(0) + sizes.value(1);
            const int tree = std::max(0, active->Splitter()->sizes().value(0));
            child->Splitter()->setSizes({tree, std::max(0, total - tree)});
        }
    }
}

void CZunApp::OnAbout() {
    const QString text = QString("<b>%1</b> version %2<br>%3")
                             .arg(QString::fromStdString(GetVersionString("ProductName")),
                                  QString::fromStdString(GetVersionString("ProductVersion")),
                                  QString::fromStdString(GetVersionString("FileDescription")));
    QMessageBox box(QMessageBox::Information, "About Zun", text, QMessageBox::Close, frame_.get());
    box.exec();
}

void CZunApp::OnCompare() {
    std::vector<std::string> titles;
    for (const DocEntry& e : docs_) titles.push_back(e.doc->GetTitle());
    const auto pair = PickComparedDocuments(titles);
    if (!pair) {
        prompt_->Tell(kCompareNeedsTwo);
        return;
    }
    CZunDoc& a = *docs_[static_cast<std::size_t>(pair->first)].doc;
    CZunDoc& b = *docs_[static_cast<std::size_t>(pair->second)].doc;
    std::string report;
    {
        WaitCursor wait;
        report = CompareDocuments(a.GetSample(), a.GetTitle(), b.GetTitle(), b.GetSample());
    }
    prompt_->Tell(report);
}

int CZunApp::CheckForUpdate(bool manual, const std::string& prefix) {
    WaitCursor wait;
    const UpdateSect& u = prefs_->update;
    QtHttpFetcher http(5000, {u.server1, u.server2, u.usage});
    UpdateCheckServices s;
    s.http = &http;
    s.prompt = prompt_;
    s.openUrl = openUrl_;
    s.now = [] { return static_cast<std::int64_t>(std::time(nullptr)); };
    s.saveSection = [this] { prefs_->update.Save(ini_); };
    return UpdateChecker(prefs_->update, std::move(s)).CheckForUpdate(manual, prefix);
}

void CZunApp::OnCheckUpdate() {
    switch (CheckForUpdate(true, "")) {
        case kUpdateUpToDate:
            prompt_->Tell(updatemsg::kUpToDate, PromptIcon::Information);
            break;
        case kUpdateNoSession:
            prompt_->Tell(updatemsg::kNoConnection, PromptIcon::Error);
            break;
        case kUpdateNoVersionFile:
            prompt_->Tell(updatemsg::kNoServer, PromptIcon::Error);
            break;
        default:
            break;
    }
}

// ---------------------------------------------------------------------------------------------
// The computation commands

void CZunApp::OnSetupComputation(CZunDoc* doc) {
    if (!doc || !setupFactory_) return;
    std::unique_ptr<ComputationSetupDialog> dialog = setupFactory_();
    if (dialog) doc->OnSetupComputation(*dialog);
    frame_->UpdateCommandUI();
}

void CZunApp::OnStartComputation(CZunDoc* doc) {
    if (!doc || !doc->CanStartComputation()) return;
    const int r = doc->OnStartComputation();
    // The user's own Cancel of a recording choice leaves the run unstarted without a warning.
    if (r < 0 && !(r == -3 && RecordingStartCancelled(*doc))) {
        const char* why = r == -1   ? "The computation cannot start in its present state."
                          : r == -2 ? "No computation job is selected."
                                    : "The computation recording could not start.";
        prompt_->Tell(why, PromptIcon::Warning);
    }
    frame_->UpdateCommandUI();
}

void CZunApp::OnStopComputation(CZunDoc* doc) {
    if (!doc) return;
    // Only asks the worker to stop: the end arrives as its message, so this thread never waits.
    doc->GetModel().StopComputation(true);
    frame_->UpdateCommandUI();
}

void CZunApp::OnSaveAfterComputation(CZunDoc* doc, bool on) {
    if (!doc) return;
    doc->SetSaveAfterComputation(on);
    doc->SetModifiedFlag();
    frame_->UpdateCommandUI();
}

void CZunApp::OnExitAfterComputation(CZunDoc* doc, bool on) {
    if (!doc) return;
    doc->Settings().exitAfterComputation = on && doc->SaveAfterComputation();
    doc->SetModifiedFlag();
    frame_->UpdateCommandUI();
}

// ---------------------------------------------------------------------------------------------
// Messages from other threads

void CZunApp::SetFrameHandler(FrameMsg kind, std::function<void(const FrameMessage&)> handler) {
    handlers_[kind] = std::move(handler);
}

void CZunApp::OnFrameMessage(const FrameMessage& msg) {
    if (auto it = handlers_.find(msg.kind); it != handlers_.end() && it->second) {
        it->second(msg);
        return;
    }
    switch (msg.kind) {
        case FrameMsg::StatusProgress:
            if (frame_) frame_->StatusProgress(msg.value, msg.value2);
            return;
        case FrameMsg::RemoteRequest:
            GetRemoteControlStartup().HandleRequest(msg.text);
            return;
        case FrameMsg::AppendLogText:
            return;  // the log views receive their text directly
        default:
            break;
    }
    // A message about a document closed since it was posted is dropped.
    if (CZunDoc* doc = FindDocument(msg.document)) {
        doc->HandleFrameMessage(msg);
        if (msg.kind == FrameMsg::ComputationEnded || msg.kind == FrameMsg::SetModelState ||
            msg.kind == FrameMsg::StartStopComputation) {
            if (frame_) frame_->UpdateCommandUI();
        }
    }
}

}  // namespace zun
