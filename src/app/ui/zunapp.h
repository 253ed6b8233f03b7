#pragma once
// The application object: the preferences file, the main window, the open documents and their
// windows, and the commands that act on a whole document (new, open, save, close, the
// computation). There is one; Instance() finds it.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>

#include "app/preferences.h"
#include "app/startup.h"
#include "platform/inifile.h"
#include "platform/mainframe.h"

namespace zun {

class CChildFrame;
class CLogFrame;
class CMainFrame;
class CZunDoc;
struct LoggingPrefs;
class ComputationSetupDialog;
class Prompt;
class ProgressRouter;
class QtMainFrameChannel;

class CZunApp : public QObject, public AppOperations {
    Q_OBJECT
public:
    struct Services {
        Prompt* prompt = nullptr;  // null: the program's message dialog
        std::string profilePath;   // empty: ProfilePath()
    };
    CZunApp();
    explicit CZunApp(Services services);
    ~CZunApp() override;
    static CZunApp* Instance();

    // Loads the preferences, makes the main window and opens the files of the command line (or one
    // new document). False when the program cannot start.
    bool InitInstance(const StartupOptions& options);
    CMainFrame* MainFrame() const { return frame_.get(); }

    // ---- the document commands
    CZunDoc* OnFileNew();
    void OnFileOpen();
    // Opens a document file, or a text or binary data file into a new document; a file open
    // already is activated. Null (with the reason shown) when nothing was opened.
    CZunDoc* OpenDocumentFile(const std::string& path);
    // The files of the command line or of a drop, in turn; once no further document may open,
    // the rest are left with one message.
    void OpenDocumentFiles(const std::vector<std::string>& paths);
    bool OnFileSave(CZunDoc* doc);
    bool OnFileSaveAs(CZunDoc* doc);
    bool OnExportBinaryDataFile(CZunDoc* doc);
    void OnOpenRecentFile(int index);
    void OnSetupComputation(CZunDoc* doc);
    void OnStartComputation(CZunDoc* doc);
    void OnStopComputation(CZunDoc* doc);
    void OnSaveAfterComputation(CZunDoc* doc, bool on);
    void OnExitAfterComputation(CZunDoc* doc, bool on);
    void OnWindowNew();
    void OnAbout();
    void ShowLog(CZunDoc* doc);
    // "Preferences...": the last-applied copy is refreshed, then the sheet edits the preferences and
    // calls ApplyPreferences when the user applies them.
    void OnPreferences();
    // "Compare...": the first two open documents, whatever they were read from, voxel for voxel.
    void OnCompare();
    // The check for a newer version (see app/updatecheck.h for the results); "&Check update"
    // runs it by hand and tells the outcome.
    int CheckForUpdate(bool manual, const std::string& prefix);
    void OnCheckUpdate();
    // Opens a web address with the desktop (tests replace it).
    void SetUrlOpener(std::function<void(const std::string&)> open) { openUrl_ = std::move(open); }
    // The remote interpreter's question: no compute cluster is known.
    bool HasNoClusters() const { return prefs_->cluster.clusters.empty(); }
    // Closes every document as CloseDocument does; false when the user keeps one (or a window
    // stays).
    bool CloseAllDocuments();

    // ---- AppOperations
    CZunDoc* NewDocument() override { return OnFileNew(); }
    CZunDoc* OpenDocument(const std::string& path) override { return OpenDocumentFile(path); }
    // Refused while long work holds the document (its reading or saving included); asks before
    // stopping its running computation, then about its notes and unsaved changes. False when the
    // document stays.
    bool CloseDocument(CZunDoc* doc) override;
    CZunDoc* ActiveDocument() override;
    std::vector<CZunDoc*> Documents() override;
    MainFrameChannel& FrameChannel() override;
    void Quit() override;
    ZunPreferences* Preferences() override { return prefs_.get(); }

    // ---- services
    Prompt& GetPrompt() const { return *prompt_; }
    ProgressRouter& Progress() const { return *progress_; }
    QtMainFrameChannel& Channel() const { return *channel_; }
    IniFile& Profile() { return ini_; }
    RecentFileList& Recent() { return recent_; }
    // The preferences in force, and the copy taken when they were last applied.
    ZunPreferences& Prefs() { return *prefs_; }
    ZunPreferences& LastApplied() { return *lastApplied_; }
    // Lets the open documents follow what changed since the last application: the display
    // budget (their views rebuild) and the memory guard (their images' reserve).
    void ApplyPreferences();
    // Writes the preferences file.
    void SavePreferences();
    // The log window of a document, when open.
    CLogFrame* LogWindow(CZunDoc* doc) const;
    std::vector<CChildFrame*> FramesOf(CZunDoc* doc) const;
    // The captions of the document's windows and of the main window after a rename.
    void RefreshTitles(CZunDoc& doc) {
        if (Entry(&doc)) UpdateTitles(doc);
    }

    // ---- seams the other windows and the tests fill in
    // Asks for a file name: empty when cancelled. `save` asks for a new file.
    using FileChooser = std::function<std::string(const std::string& title, const std::string& filter,
                                                  bool save, const std::string& suggested)>;
    void SetFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }
    // Through the chooser above, or the system's file dialog over the main window.
    std::string ChooseFile(const std::string& title, const std::string& filter, bool save,
                           const std::string& suggested);
    // The computation set-up dialog.
    void SetSetupDialogFactory(std::function<std::unique_ptr<ComputationSetupDialog>()> factory) {
        setupFactory_ = std::move(factory);
    }
    bool HasSetupDialog() const { return static_cast<bool>(setupFactory_); }
    // The preference sheet, run modally over the application.
    void SetPreferenceSheet(std::function<void(CZunApp&)> sheet) { preferenceSheet_ = std::move(sheet); }
    bool HasPreferenceSheet() const { return static_cast<bool>(preferenceSheet_); }
    // Takes over the main-frame messages of one kind (for example the 3-D views' updates).
    void SetFrameHandler(FrameMsg kind, std::function<void(const FrameMessage&)> handler);

protected:
    // A document window's close: the last one of a document closes the document.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct DocEntry {
        std::unique_ptr<CZunDoc> doc;
        std::string source;  // the file it was opened from (also a data file)
        QPointer<CLogFrame> log;
    };
    void OnFrameMessage(const FrameMessage& msg);
    CZunDoc* FindDocument(const void* doc) const;
    DocEntry* Entry(const CZunDoc* doc);
    CZunDoc* CreateDocument();
    // Tells why when no further document may open; false while one may. Every road that makes a
    // document asks it first.
    bool RefuseNewDocument();
    // The document opened from the file or saved to it; null when none.
    DocEntry* OpenEntry(const std::string& path);
    LoggingPrefs Logging() const;
    CChildFrame* CreateFrame(CZunDoc& doc, const CChildFrame* copyFrom = nullptr);
    void Activate(CZunDoc& doc);
    // "Stop computation?" while the document's computation runs; OK stops it and waits for its
    // worker. False when the user keeps the run.
    bool ConfirmStopComputation(CZunDoc& doc);
    void DestroyDocument(CZunDoc* doc);
    void AddRecent(const std::string& path);
    void UpdateTitles(CZunDoc& doc);
    // A file named after the document, with the extension `ext`, in the folder of the document's
    // file or of the data file it was read from (no folder when neither).
    std::string FileBesideDocument(const CZunDoc& doc, const char* ext);

    Services services_;
    std::unique_ptr<Prompt> ownPrompt_;
    Prompt* prompt_ = nullptr;
    std::unique_ptr<ProgressRouter> progress_;
    QtMainFrameChannel* channel_;  // owned through the QObject parent
    IniFile ini_;
    RecentFileList recent_;
    std::unique_ptr<ZunPreferences> prefs_;
    std::unique_ptr<ZunPreferences> lastApplied_;
    std::unique_ptr<CMainFrame> frame_;
    std::vector<DocEntry> docs_;
    std::map<FrameMsg, std::function<void(const FrameMessage&)>> handlers_;
    FileChooser chooseFile_;
    std::function<std::unique_ptr<ComputationSetupDialog>()> setupFactory_;
    std::function<void(CZunApp&)> preferenceSheet_;
    std::function<void(const std::string&)> openUrl_;
    int untitled_ = 0;
};

}  // namespace zun
