#pragma once
// The document: one sample with its channels, the computation controller, the log and the
// settings of one data set, read and written through one archive. GUI-free: views observe it
// through DocViewList, questions and messages go through the prompt it was given.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "compute/computedocument.h"
#include "compute/log.h"
#include "compute/model.h"
#include "document/changehints.h"
#include "document/datadocument.h"
#include "document/docadapters.h"
#include "document/docsettings.h"
#include "document/imagestack.h"
#include "document/setdata.h"
#include "document/textdatafile.h"
#include "model/bounddef.h"
#include "model/sample.h"

namespace zun {

class Archive;
class Prompt;
class ProgressSink;
class MainFrameChannel;

// What the document is given by the program (all may be null in headless use).
struct DocServices {
    Prompt* prompt = nullptr;
    ProgressSink* progress = nullptr;
    MainFrameChannel* frame = nullptr;
};

// The preferences' logging section, which a new document takes over.
struct LoggingPrefs {
    bool enabled = true;
    bool clearOnStart = false;
    bool viewLog = false;
};

// The program-wide schema value: the version of the document file being loaded.
std::int32_t GetArchiveSchema();

class CZunDoc;
// The document of the active window (the GUI sets it when a window becomes active; null when
// none). A document that goes away is no longer the active one.
CZunDoc* GetActiveZunDoc();
void SetActiveZunDoc(CZunDoc* doc);

class CZunDoc : public ComputeDocument {
public:
    explicit CZunDoc(DocServices services = {});
    ~CZunDoc() override;
    CZunDoc(const CZunDoc&) = delete;
    CZunDoc& operator=(const CZunDoc&) = delete;

    // ---- life cycle and files
    // A new document: the sample with its first composition channel "Void", the controller and
    // the log; the logging switches come from the preferences.
    bool OnNewDocument(const LoggingPrefs& prefs = {});
    // Reads a document file. On any failure the document is left as it was, the prompt shows the
    // reason ("Unexpected file format." for a damaged or foreign file) and false is returned.
    bool OnOpenDocument(const std::string& path);
    // Writes the document file atomically; on failure the old file stays and the prompt says why.
    bool OnSaveDocument(const std::string& path);
    // The Save command: asks the older-format question for a document read from the older
    // form, saves to the document's path, tells the views the new name.
    bool OnFileSave();
    // Called right before every write of the document file, whoever saves (menus, remote
    // control, save after computation): the windows put their display records in.
    void SetBeforeStore(std::function<void()> beforeStore) { beforeStore_ = std::move(beforeStore); }
    void Serialize(Archive& ar);

    // ---- identity
    const std::string& GetPathName() const { return path_; }
    void SetPathName(const std::string& path);
    const std::string& GetTitle() const { return title_; }
    void SetTitle(const std::string& title) { title_ = title; }
    void SetTitleText(const std::string& text) { title_ = text; }
    const std::string& GetNameText() const { return nameText_; }
    bool IsModified() const { return modified_; }
    void SetModifiedFlag(bool modified = true) { modified_ = modified; }
    bool ReadFromOlderFormat() const { return legacyFile_; }
    // Set when the last open read a file of a newer program (the update check is due).
    bool OpenedNewerFile() const { return newerFile_; }

    // ---- owned parts
    ZunImage& GetSample() { return *sample_; }
    const ZunImage& GetSample() const { return *sample_; }
    Model& GetModel() { return *model_; }
    const Model& GetModel() const { return *model_; }
    CLogger& Logger() { return *logger_; }
    DocSettings& Settings() { return settings_; }
    const DocSettings& Settings() const { return settings_; }
    // The energy-optimisation record (created through the class registry when registered).
    Serializable* EnergyOptVars() { return energyOptVars_.get(); }
    std::vector<WindowRecord>& WindowRecords() { return windows_; }
    Prompt* GetPromptSink() const { return services_.prompt; }
    // The progress of the document's long operations (a router to the dialog of the window running one).
    ProgressSink* GetProgress() const { return services_.progress; }

    // ---- what the computation uses of the document
    CLogger* GetLogger() override { return logger_.get(); }
    bool IsLoggingEnabled() const override { return settings_.loggingEnabled; }
    ComputeSample* Sample() override { return &computeSample_; }
    PluginDocument* Plugins() override { return &propertyView_; }
    PropertyDocument* Properties() override { return &propertyView_; }
    std::vector<ComputeDeviceEntry> DeviceSelection() const override { return settings_.devices; }
    Prompt* GetPrompt() override { return services_.prompt; }
    MainFrameChannel* GetMainFrame() override { return services_.frame; }
    RemoteComputeReplies* GetRemote() override { return remote_; }
    bool PluginsEnabled() const override { return pluginsEnabled_; }
    std::vector<std::string> PluginFolders() const override { return pluginFolders_; }
    bool SaveAfterComputation() const override { return settings_.saveAfterComputation; }
    bool ExitAfterComputation() const override { return settings_.exitAfterComputation; }
    bool ViewUpdateInProgress() const override { return viewsUpdating; }
    std::string FilePath() const override { return path_; }
    void UpdateAllViews(int hint, bool statsChanged = false) override;
    int StartComputationRecording() override;
    void StopComputationRecording() override;
    bool Save() override { return OnFileSave(); }
    void CloseMainWindow() override;

    void SetRemote(RemoteComputeReplies* remote) { remote_ = remote; }
    void SetPlugins(bool enabled, std::vector<std::string> folders);
    // The 3-D views' computation recordings and the main window's close, as the GUI provides them.
    std::function<int()> startRecording;
    std::function<void()> stopRecording;
    std::function<void()> closeMainWindow;

    // ---- computation commands
    // The "Start Computation..." command: the document's checks, the composition coefficients
    // of the monochromatic CT channels, then the controller's start. Returns the start's code;
    // 1 when the document refused (its message shown).
    int OnStartComputation();
    void OnStopComputation();
    // The "Setup Computation Method..." command over the given dialog.
    int OnSetupComputation(ComputationSetupDialog& dialog);
    // "Start Computation" is enabled.
    bool CanStartComputation() const;
    // Fills the CT channel's row of the attenuation matrix from the compositions' compounds at
    // its beam energy (monochromatic linear attenuation channels only).
    void ComputeCompositionCoefficients(int ctChannel);
    void SetSaveAfterComputation(bool on);
    // The device dialog's confirmed selection: applied, and the document marked modified when it
    // differs from the saved one.
    void SetDeviceSelection(const std::vector<ComputeDeviceEntry>& entries);
    // The main frame's messages for this document (end of a run, state, progress).
    void HandleFrameMessage(const FrameMessage& msg);

    // ---- views
    DocViewList& Views() { return views_; }
    void UpdateAllViews(DocView* sender, unsigned hint, const ChangeHint* hintObject = nullptr);

    // ---- notes
    const std::string& GetNotes() const { return settings_.notes; }
    // Stores the text (line ends made LF) and marks the document modified.
    void SetNotes(const std::string& text);

    // ---- channels (names are exact, case-sensitive)
    // position: the index the new channel should get (kept within its kind's place). 0 inserted,
    // -1 the name exists, -2 memory refused, -3 bad kind, empty name, a name CheckChannelName
    // refuses or one channel too many (both told).
    int InsertChannel(int kind, int position, const std::string& name);
    // The same without a message: the reason of a refusal, empty when the channel went in.
    std::string TryInsertChannel(int kind, int position, const std::string& name);
    // Several channels at once, as "insertchannels" lists them: item i goes to index i + 1 (kept
    // within the channel list), an empty name takes the kind's default name. The count and every
    // name (one that exists, or comes twice, included) are checked before anything changes; memory
    // that runs out part way takes the channels this call inserted out again. The refusal, or ""
    // when the whole list went in. The parameter set's interaction planes are rebuilt once for the
    // whole list.
    struct NewChannel {
        std::string name;
        std::int32_t kind = 0;
    };
    std::string InsertChannels(const std::vector<NewChannel>& items);
    // The index that "insert first/last of a kind" and "insert before/after" give.
    int InsertPositionFirst(int kind) const;
    int InsertPositionLast(int kind) const;
    // Returns the names deleted.
    std::vector<std::string> DeleteChannels(std::vector<std::string> names, bool quiet);
    // 0 renamed or unchanged, -1 the new name exists or CheckChannelName refuses it (told), -2 no
    // such channel or a computation running.
    int RenameChannel(const std::string& oldName, const std::string& newName);
    // Why RenameChannel would not rename (no such channel, a computation running, a name that is
    // refused or taken); empty when it would, or when the names are the same.
    std::string CheckRenameChannel(const std::string& oldName, const std::string& newName) const;
    std::string GetChannelDisplayName(int index) const;
    std::string GetChannelDisplayName(const std::string& name) const;
    void SetBoundaryActive(bool enabled, const std::string& name);
    void ClearBoundaries(const std::vector<std::string>& names);
    // Moves the masks of the named boundary channels (the transform dialog's OK), remembering the
    // transform as the last used. 0 done, 1 cancelled, -1 nothing to move.
    int TransformBoundaries(const std::vector<std::string>& names, const TransBoundParams& params);
    // Announces boundaries rebuilt by the boundary wizard (hint 2 and the channel list).
    void BoundariesChanged(const std::vector<std::string>& names);

    // ---- commands that derive data from the model
    // Fits the grid to the box the imported images cover, after asking.
    bool AutosizeGrid();
    // For every CT channel, the measured attenuation less the model's (the compositions times
    // the attenuation matrix) into the property channel "<CT name>_residual", made when missing.
    // Returns the number of channels written, -1 when there is no model to subtract.
    int SubtractModelData();
    // The composition words of a voxel that holds no composition (empty without defaults).
    std::vector<imtype> DefaultFractionWords() const;

    // ---- set data
    // The request "Set Data..." opens with for the selected channels; false (with the message
    // shown) for a sample without voxels.
    bool PrepareSetData(const std::vector<std::string>& names, SetDataRequest& request) const;
    // Carries the request out; false when nothing changed.
    bool ApplySetData(const SetDataRequest& request);
    // Voxel words of these channels were written in place (set data, the edit-data console): the
    // channels and the document are modified, and a computed channel's change makes the next
    // computation start over. Announcing the change to the views is the caller's.
    void NoteVoxelsEdited(const std::vector<ZunChan*>& channels);
    // True while the controller runs a computation: the document's data is not edited then.
    bool IsComputing() const;
    // Work on the document that lets events through while it runs (a recording of its view, an
    // export, a boundary build, an import) holds a LongWork for its run, so that a request or a
    // menu command handled meanwhile does not close the document or its windows under it. Work
    // that changes the document's data (a build, an import, a read) also keeps it from being
    // saved half done, as a computation does.
    class LongWork {
    public:
        LongWork(CZunDoc& doc, std::string what, bool changesData = false)
            : doc_(doc), what_(std::move(what)) {
            doc_.longWork_.push_back({what_, changesData});
        }
        ~LongWork() {
            auto& list = doc_.longWork_;
            for (auto it = list.rbegin(); it != list.rend(); ++it)
                if (it->what == what_) {
                    list.erase(std::next(it).base());
                    break;
                }
        }
        LongWork(const LongWork&) = delete;
        LongWork& operator=(const LongWork&) = delete;

    private:
        CZunDoc& doc_;
        const std::string what_;
    };
    // What long work runs on the document ("animation recording", ...); empty when none.
    std::string RunningWork() const { return longWork_.empty() ? std::string() : longWork_.back().what; }
    // Why a save would be refused now (a computation, another save, long work that changes the
    // data); empty when it may go on.
    std::string SaveRefusal() const;

    // ---- grid and slices
    // Resizes every channel to sizes, the old data placed at offsets. 0 done, -1 bad sizes,
    // -2 memory refused (nothing changed).
    int ResizeVolume(const std::array<std::uint32_t, 3>& sizes, const std::array<std::int32_t, 3>& offsets);
    // The sample-grid dialog's OK: the default-values switch and the four physical sizes
    // (multiplier, X, Y, Z edge) into the controller, then the resize. The document is marked
    // modified when a physical size moved by more than 1e-12. Returns ResizeVolume's code.
    int ApplySampleGrid(const std::array<std::uint32_t, 3>& sizes, const std::array<std::int32_t, 3>& offsets,
                        const std::array<double, 4>& physical, bool setDefaults);
    // The image-import command's grid check ("Invalid sample grid size..." when an extent is 0).
    bool CheckGridForImport() const;
    // 0 done, -1 bad position, -2 memory refused.
    int InsertSlices(int first, int count);
    // Returns the numbers deleted (descending), empty when cancelled or nothing valid.
    std::vector<std::uint32_t> DeleteSlices(std::vector<std::uint32_t> numbers);
    bool ClearSlices(const std::vector<ChanSliceRecord>& records);
    bool ReverseSlices(const std::vector<std::string>& names);
    bool DiscardAllImportedImages();
    void DiscardChannelImportedImages(const std::vector<std::string>& names);
    void DiscardSliceImportedImages(const std::vector<ChanSliceRecord>& records);

    // ---- image import
    // Reads the files (TIFF, or Surfer grid / VO by their extension) in the given order into the
    // given slices of the channel, with progress; reports the files it could not read. Returns
    // the number of slices imported, -1 when refused (mixed floating and fixed point, no such
    // channel). `failure`, when given, receives why the import was refused or cancelled, or the
    // report of the files it could not read; it is left empty when every file went in.
    int ImportImageStack(const std::string& channel, const std::vector<int>& slices,
                         const std::string& folder, const std::vector<std::string>& files,
                         const ImageImportSettings& settings, std::string* failure = nullptr);

    // ---- data files
    // Fill a new, empty document; false (with the message shown) on refusal.
    bool ImportTextDocument(const std::string& path);
    bool ImportBinaryDataFile(const std::string& path);
    // The whole document, or a selection of channels or of (channel, slice) records.
    bool ExportTextDocument(const std::string& path);
    bool ExportBinaryDataFile(const std::string& path);
    bool ExportChannelsToText(const std::vector<std::string>& names, const std::string& path);
    bool ExportSlicesToText(const std::vector<ChanSliceRecord>& records, const std::string& path);
    bool ImportChannelsFromText(const std::vector<std::string>& names, const std::string& path);
    bool ImportSlicesFromText(const std::vector<ChanSliceRecord>& records, const std::string& path);
    // The document's content as a data record (all channels and planes).
    DataDocument ToDataDocument() const;

    // ---- fields other parts read and write
    BoundDef boundDef;                  // the last boundary definition used (not stored)
    TransBoundParams transBoundParams;  // the last transform used (not stored)
    bool viewsUpdating = false;
    bool allVoxelsRO = false;  // every voxel of the computed channels is read-only
    int propertyDialogCount = 0;
    // The document's modeless property dialogs, each open at most once; several tree commands are
    // refused while one is open.
    enum PropertyDialog {
        kImportedImageDialog,
        kChannelInformationDialog,
        kCompositionDialog,
        kXrayAttenuationDialog,
        kXrayCtDialog,
        kOtherPropertyDialog,
        kPropertyDialogSlots
    };
    std::array<bool, kPropertyDialogSlots> propertyDialogOpen{};
    bool AnyPropertyDialogOpen() const {
        for (bool open : propertyDialogOpen)
            if (open) return true;
        return false;
    }
    std::string imageExportFolder;
    std::string webExportFolder;
    std::string sceneExportFolder;
    std::string textExportFolder;
    std::string recordingFolder;
    std::array<std::int32_t, 4> notesRect{};

private:
    // InsertChannel's work: its result code, the reason of a refusal in why.
    int InsertChannelWhy(int kind, int position, const std::string& name, std::string& why);
    void Tell(const std::string& text, int icon) const;
    bool Ask(const std::string& text) const;
    void ResetContent();
    void NoteDataChanged();
    // The file's header for these channels and planes; the words stay with the channels.
    void SelectionForText(const std::vector<int>& channels, const std::vector<std::uint32_t>& planes,
                          DataDocument& out) const;
    // Fills channel i's words (the sample's voxel count of them) from the file being imported.
    using FillWords = std::function<void(std::size_t channel, imtype* words)>;
    bool FillFromData(const DataDocument& header, const std::string& path, const FillWords& words);
    bool FillChannels(const DataDocument& header, const FillWords& words);
    void ApplyDataSettings(const DataDocument& data);
    // Runs an import; a refused file or a shortage of memory is told, and the import is false.
    bool ImportDataFile(const std::string& path, const std::function<bool()>& import);
    bool WriteDataFile(const std::function<void()>& write) const;
    bool ExportSelectionToText(const std::vector<int>& channels, const std::vector<std::uint32_t>& planes,
                               const std::string& path, bool withCompounds = false) const;
    PlaneWords TextPlanes(const std::vector<int>& channels, const std::vector<std::uint32_t>& planes) const;
    bool ImportSelectionFromText(const std::vector<int>& channels, const std::vector<std::uint32_t>& planes,
                                 const std::string& path);
    std::size_t TreeItemCount() const;

    DocServices services_;
    std::function<void()> beforeStore_;
    void AttachController();
    void ApplyDefaultFractions();
    void ApplyDeviceSelection(bool tellChanges);

    std::unique_ptr<ZunImage> sample_;
    DocComputeSample computeSample_{*this};
    DocPropertyView propertyView_{*this};
    std::unique_ptr<Model> model_;
    RemoteComputeReplies* remote_ = nullptr;
    struct RunningLongWork {
        std::string what;
        bool changesData = false;
    };
    std::vector<RunningLongWork> longWork_;
    bool pluginsEnabled_ = false;
    std::vector<std::string> pluginFolders_;
    std::unique_ptr<CLogger> logger_;
    std::unique_ptr<Serializable> energyOptVars_;
    DocSettings settings_;
    std::vector<WindowRecord> windows_;
    DocViewList views_;
    std::string path_;
    std::string title_;
    std::string nameText_;
    std::atomic<bool> modified_{false};  // also set by a plug-in run on the computation worker
    bool legacyFile_ = false;
    bool newerFile_ = false;
};

}  // namespace zun
