#include "document/zundoc.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <new>

#include "document/compfile.h"
#include "document/docmessages.h"
#include "foundation/pathutil.h"
#include "platform/archive.h"
#include "platform/progress.h"
#include "platform/prompt.h"

namespace zun {

namespace {
// The long work a save holds (its refusals name it).
const char kSavingWork[] = "file saving";

std::atomic<std::int32_t> g_archiveSchema{static_cast<std::int32_t>(kDocVersion)};

std::string WithoutExtension(const std::string& path) {
    std::filesystem::path p(path);
    return p.has_extension() ? p.replace_extension().string() : path;
}

// What one load reads; handed over to the document only when the whole file was read.
struct LoadedContent {
    std::unique_ptr<ZunImage> sample;
    std::unique_ptr<Model> model;
    std::unique_ptr<CLogger> logger;
    std::unique_ptr<Serializable> energyOptVars;
    DocSettings settings;
    std::vector<WindowRecord> windows;
};

std::unique_ptr<Serializable> NewEnergyOptVars() {
    const ClassInfo* info = ClassRegistry::Instance().Find("DialogVars");
    return info ? info->CreateObject() : nullptr;
}

}  // namespace

std::int32_t GetArchiveSchema() {
    return g_archiveSchema.load();
}

namespace {
std::atomic<CZunDoc*> g_activeDoc{nullptr};
}  // namespace

CZunDoc* GetActiveZunDoc() {
    return g_activeDoc.load();
}

void SetActiveZunDoc(CZunDoc* doc) {
    g_activeDoc = doc;
}

CZunDoc::CZunDoc(DocServices services) : services_(services) {
    ResetContent();
}

CZunDoc::~CZunDoc() {
    CZunDoc* self = this;
    g_activeDoc.compare_exchange_strong(self, nullptr);
    // A run still going stops before the sample it works on goes away.
    model_.reset();
}

void CZunDoc::ResetContent() {
    model_.reset();
    sample_ = std::make_unique<ZunImage>(true);
    logger_ = std::make_unique<CLogger>(this);
    model_ = std::make_unique<Model>(this);
    AttachController();
    energyOptVars_ = NewEnergyOptVars();
    settings_ = DocSettings();
    windows_.clear();
    boundDef = BoundDef();
    transBoundParams = TransBoundParams();
}

void CZunDoc::Tell(const std::string& text, int icon) const {
    if (services_.prompt) services_.prompt->Tell(text, static_cast<PromptIcon>(icon));
}

bool CZunDoc::Ask(const std::string& text) const {
    if (!services_.prompt) return true;
    return services_.prompt->Ask(
               PromptRequest{text, {}, {}, PromptButtons::OkCancel, PromptIcon::Question}) == kPromptOk;
}

void CZunDoc::AttachController() {
    model_->Attach(this);
}

bool CZunDoc::IsComputing() const {
    return model_ && model_->RunInProgress();
}

void CZunDoc::ApplyDeviceSelection(bool tellChanges) {
    if (settings_.devices.empty()) return;
    std::vector<ComputeDeviceEntry> present;
    model_->Devices().GetDeviceList(present);
    std::vector<std::string> a, b;
    for (const auto& d : present) a.push_back(d.name);
    for (const auto& d : settings_.devices) b.push_back(d.name);
    if (tellChanges && a != b) Tell(docmsg::kDevicesChanged, static_cast<int>(PromptIcon::Information));
    model_->Devices().ApplyDeviceSelection(settings_.devices);
}

bool CZunDoc::OnNewDocument(const LoggingPrefs& prefs) {
    if (IsComputing()) return false;
    ResetContent();
    // The controller's parameter set starts with the same first composition.
    sample_->InsertChan(ZunChan::kComposition, 0, "Void", sample_->PickUnusedColour());
    model_->GetParams().setupChanged = false;
    // A new document computes on every processor until the user selects otherwise.
    model_->Devices().GetDeviceList(settings_.devices);
    settings_.loggingEnabled = prefs.enabled;
    settings_.clearLogOnStart = prefs.clearOnStart;
    settings_.viewLog = prefs.viewLog;
    path_.clear();
    title_ = "Untitled";
    nameText_ = title_;
    modified_ = legacyFile_ = newerFile_ = false;
    return true;
}

void CZunDoc::SetPathName(const std::string& path) {
    path_ = path;
    title_ = std::filesystem::path(path).filename().string();
    nameText_ = WithoutExtension(path);
}

void CZunDoc::UpdateAllViews(DocView* sender, unsigned hint, const ChangeHint* hintObject) {
    views_.UpdateAllViews(sender, hint, hintObject);
}

void CZunDoc::SetNotes(const std::string& text) {
    std::string lf;
    lf.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            lf += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            lf += text[i];
        }
    }
    settings_.notes = std::move(lf);
    modified_ = true;
}

std::size_t CZunDoc::TreeItemCount() const {
    std::size_t n = 1;
    for (int i = 0; i < sample_->GetChanCount(); ++i)
        n += 1 + static_cast<std::size_t>(sample_->GetChan(i)->GetSliceCount());
    return n;
}

void CZunDoc::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        ar << kDocVersion;
        ar.WriteObject(sample_.get());
        ar.WriteObject(model_.get());
        ar.WriteObject(logger_.get());
        settings_.Serialize(ar);
        ar.WriteObject(energyOptVars_.get());
        ar << static_cast<std::int32_t>(windows_.size());
        // A tree record holds no count: the reader takes one item per tree item of the sample.
        // A record that no tree has filled yet (or that an edit left behind) is sized to match,
        // or the file could not be read again.
        const std::size_t items = TreeItemCount();
        for (WindowRecord& w : windows_) {
            w.tree.items.resize(items);
            w.tree.Serialize(ar, kDocVersion);
            w.view.Serialize(ar, kDocVersion);
        }
        return;
    }

    LoadedContent in;
    std::uint32_t version = 0;
    ar >> version;
    // Only our own top level is known; older layouts cannot be read.
    if (version < kDocVersion) throw ArchiveException(ArchiveException::badSchema, "older document layout");
    g_archiveSchema = static_cast<std::int32_t>(version);
    in.sample = ar.ReadOwnedObject<ZunImage>();
    if (!in.sample) throw ArchiveException(ArchiveException::generic, "document without a sample");
    in.model = ar.ReadOwnedObject<Model>();
    if (!in.model) throw ArchiveException(ArchiveException::generic, "document without a controller");
    in.logger = ar.ReadOwnedObject<CLogger>();
    if (!in.logger) in.logger = std::make_unique<CLogger>();
    in.settings.Serialize(ar);
    Serializable* vars = ar.ReadObject(nullptr);
    if (vars) in.energyOptVars = ar.TakeOwnership(vars);
    std::int32_t windows = 0;
    ar >> windows;
    if (windows < 0) throw ArchiveException(ArchiveException::generic, "negative window count");
    std::size_t items = 1;
    for (int i = 0; i < in.sample->GetChanCount(); ++i) items += 1 + in.sample->GetChan(i)->GetSliceCount();
    // One window opens: the first record is kept, the others are read (object numbers run through
    // the whole archive) and dropped.
    for (std::int32_t w = 0; w < windows; ++w) {
        WindowRecord rec;
        rec.tree.items.resize(items);
        rec.tree.Serialize(ar, static_cast<std::int32_t>(version));
        rec.view.Serialize(ar, static_cast<std::int32_t>(version));
        if (w == 0) in.windows.push_back(std::move(rec));
    }

    model_.reset();
    sample_ = std::move(in.sample);
    model_ = std::move(in.model);
    logger_ = std::move(in.logger);
    logger_->SetDocument(this);
    if (in.energyOptVars) energyOptVars_ = std::move(in.energyOptVars);
    settings_ = std::move(in.settings);
    windows_ = std::move(in.windows);
    boundDef = BoundDef();
    transBoundParams = TransBoundParams();
    newerFile_ = version > kDocVersion;
    AttachController();
    model_->GetParams().setupChanged = false;
    ApplyDeviceSelection(true);
}

bool CZunDoc::OnOpenDocument(const std::string& path) {
    if (IsComputing()) return false;
    CCompFile file;
    try {
        file.Open(path, CCompFile::Mode::Read);
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(path, ec);
        file.SetProgress(services_.progress, ec ? 0 : size);
        Archive ar(file, Archive::Mode::Load);
        ar.SetContext(this);
        // Serialize replaces the content only after everything was read.
        Serialize(ar);
    } catch (const ArchiveException&) {
        Tell(path + ": " + docmsg::kUnexpectedFileFormat, static_cast<int>(PromptIcon::Error));
        return false;
    } catch (const ProgressCancelled&) {
        // The user's Cancel: the document keeps what it had, nothing to tell.
        return false;
    } catch (const std::bad_alloc&) {
        ShowInsufficientMemoryError(services_.prompt, "opening the document");
        return false;
    } catch (const std::exception& e) {
        Tell(e.what(), static_cast<int>(PromptIcon::Error));
        return false;
    }
    legacyFile_ = file.IsLegacyZlib();
    SetPathName(path);
    modified_ = false;
    return true;
}

std::string CZunDoc::SaveRefusal() const {
    // The worker is writing the voxels: a file written now would mix two states.
    if (IsComputing()) return docmsg::kBusySave;
    // A save's progress dialog lets requests in: no second write of the document may start,
    // nor a close or a change (they see the long work).
    for (const RunningLongWork& w : longWork_)
        if (w.what == kSavingWork) return docmsg::kBusySaving;
    // A boundary half built or channels half read in would be stored as if whole.
    for (const RunningLongWork& w : longWork_)
        if (w.changesData) return docmsg::BusySave(w.what);
    return {};
}

bool CZunDoc::OnSaveDocument(const std::string& path) {
    if (const std::string refused = SaveRefusal(); !refused.empty()) {
        Tell(refused, static_cast<int>(PromptIcon::Warning));
        return false;
    }
    if (const std::string refused = CheckPathUse(path, PathUse::kWriteFile); !refused.empty()) {
        Tell(refused, static_cast<int>(PromptIcon::Error));
        return false;
    }
    LongWork saving(*this, kSavingWork);
    if (beforeStore_) beforeStore_();
    try {
        CCompFile file;
        file.Open(path, CCompFile::Mode::Write);
        // The voxels are nearly all of what is written.
        file.SetProgress(services_.progress,
                         sample_->GetNumVoxels() * static_cast<std::uint64_t>(sample_->GetChanCount()) * 2);
        {
            Archive ar(file, Archive::Mode::Store);
            ar.SetContext(this);
            Serialize(ar);
            ar.Flush();
        }
        file.Close();
    } catch (const ProgressCancelled&) {
        // Cancelled: the file of that name, if any, stays as it was.
        return false;
    } catch (const std::bad_alloc&) {
        ShowInsufficientMemoryError(services_.prompt, "saving the document");
        return false;
    } catch (const std::exception& e) {
        Tell(e.what(), static_cast<int>(PromptIcon::Error));
        return false;
    }
    SetPathName(path);
    legacyFile_ = false;
    modified_ = false;
    model_->GetParams().setupChanged = false;
    return true;
}

bool CZunDoc::OnFileSave() {
    if (path_.empty()) return false;
    if (legacyFile_ && services_.prompt &&
        services_.prompt->Ask(PromptRequest{
            docmsg::kOlderFormatQuestion, {}, {}, PromptButtons::YesNo, PromptIcon::Question}) != kPromptYes)
        return false;
    if (!OnSaveDocument(path_)) return false;
    RenameDocMod hint(title_);
    UpdateAllViews(nullptr, kHintRename, &hint);
    return true;
}

}  // namespace zun
