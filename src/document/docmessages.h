#pragma once
// The document's own texts, in one place so that the GUI, the log and remote replies agree, and
// the reports that several commands share.

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace zun {

class Prompt;

namespace docmsg {

inline constexpr const char* kUnexpectedFileFormat = "Unexpected file format.";
inline constexpr const char* kDevicesChanged =
    "Available computation devices have changed since the last run.";
inline constexpr const char* kNewerVersionPrefix =
    "The data file was created by a newer version of the ZUN software. ";
inline constexpr const char* kOlderFormatQuestion =
    "This document was read from an older file format. Saving will store it in the current format, which "
    "older "
    "program versions cannot read. Save anyway?";
inline constexpr const char* kDeleteChannels = "Delete selected channel(s)?";
inline constexpr const char* kFirstCompositionKept = "The first composition channel cannot be deleted";
inline constexpr const char* kDeleteSlices = "Delete selected slices(s)?";
inline constexpr const char* kClearSlices = "Clear data in selected slices?";
inline constexpr const char* kReverseSlices = "Reverse slices of selected channel(s)?";
inline constexpr const char* kDiscardImages = "Discard all imported images?";
inline constexpr const char* kSetupFailed = "Setup Computation failed: Composition channels may not exist";
inline constexpr const char* kZeroVolumeSetData = "Must have a non-zero volume before setting data";
inline constexpr const char* kImportCancelled = "Data import cancelled";
inline constexpr const char* kMixedImportFormats =
    "Import data must be either all floating-point or all fixed-point format; not both.";
inline constexpr const char* kBusySave = "The document cannot be saved while a computation is running.";
inline constexpr const char* kBusySaving = "The document is being saved already.";
inline constexpr const char* kBusyExport = "The document cannot be exported while a computation is running.";
inline std::string BusySave(const std::string& work) {
    return "The document cannot be saved while its " + work + " is running.";
}
inline std::string BusyClose(const std::string& work) {
    return "The document cannot be closed while its " + work + " is running.";
}
inline constexpr const char* kInvalidGridForImport =
    "Invalid sample grid size. Check parameters under the Setup Sample Grid context menu.";
inline constexpr const char* kAutosizeGrid = "Fit the sample grid to the imported images?";
inline constexpr const char* kZeroVolumeCompute = "Must have a non-zero volume before starting a computation";
inline constexpr const char* kNothingToCompute =
    "Nothing to compute: the set-up needs composition and X-ray CT channels and at least one selected step";

// The most documents open at once, however they open (new, a file, the command line, a drop, a
// remote request). Each one's window holds its own 3-D view: an empty document takes about 19 MB,
// nearly all of it that view's framebuffer at the window's size, its OpenGL context and compiled
// shaders (its own data is a fraction of a megabyte), and a view maximised on a large screen takes
// several times that; the view's two threads also reserve some 80 MB of address space. 48 of them
// stay a few gigabytes below a workstation's memory even then, while users work with a handful to
// a few dozen documents.
inline constexpr std::size_t kMaxOpenDocuments = 48;
// Empty while one more document may open beside the `open` ones; else the refusal.
std::string NoRoomForDocument(std::size_t open);

// "Channel "<name>" already exists" (insert) and "Channel name '<name>' already exists" (rename).
std::string ChannelExists(const std::string& name);
std::string ChannelNameExists(const std::string& name);
// "Channel "<name>" does not exist."
std::string NoSuchChannel(const std::string& name);
inline constexpr const char* kBusyChange = "The document cannot be changed while a computation is running.";
// "Insufficient memory" [+ " while " + activity] + "."
std::string InsufficientMemory(const std::string& activity = {});

}  // namespace docmsg

// "Insufficient memory" [+ " while " + activity] + "." in a message box.
void ShowInsufficientMemoryError(Prompt* prompt, const std::string& activity = {});

// How many names a text lists before it sums up the rest: a batch of tens of thousands of slices
// would otherwise make a message box taller than any screen and a remote reply of megabytes.
inline constexpr std::size_t kListedNames = 20;
// The first kListedNames names joined by `separator`, then " ... and N more" for the rest.
std::string ListFirstNames(const std::vector<std::string>& names, const std::string& separator);

// The files a batch could not handle, as its report shows them: the first kListedNames names and
// how many there were. An export of 160,000 slices into a long folder path that all fail would
// otherwise hold half a gigabyte of names for a report of twenty.
class FileFailures {
public:
    FileFailures() = default;
    FileFailures(std::initializer_list<std::string> names);
    explicit FileFailures(const std::vector<std::string>& names);

    void Add(const std::string& name);
    // The names kept: the first kListedNames added.
    const std::vector<std::string>& Listed() const { return listed_; }
    std::size_t Count() const { return count_; }
    bool Empty() const { return count_ == 0; }

private:
    std::vector<std::string> listed_;
    std::size_t count_ = 0;
};

// The report of the files a batch of `total` files could not handle: empty for no failure; "Could
// not <verb> any files" when every one of several failed; else "Could not <verb>
// <first>,<second>,..." (see ListFirstNames).
std::string FileFailuresText(const FileFailures& failures, std::size_t total, const std::string& verb);
// FileFailuresText in a message box, when there is one to show.
void ReportFileFailures(Prompt* prompt, const FileFailures& failures, std::size_t total,
                        const std::string& verb);

}  // namespace zun
