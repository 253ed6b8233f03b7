#pragma once
// What the computation controller and its steps need of the document and of its sample. The
// document implements these over its `ZunImage`, options and views; tests implement them over
// plain buffers.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "compute/devices.h"
#include "compute/log.h"

namespace zun {

class MainFrameChannel;
class PluginDocument;
class PropertyDocument;
class Prompt;

// Channel kinds of the sample.
enum ChannelKind : int { kChanComposition = 0, kChanCt = 1, kChanProperty = 2, kChanBoundary = 3 };

// The sample as the computation sees it: a grid of voxels carrying an ordered list of channels of
// 16-bit words (composition channels first, then CT channels).
class ComputeSample {
public:
    virtual ~ComputeSample() = default;
    virtual std::array<std::uint32_t, 3> Dims() const = 0;
    virtual int ChannelCount() const = 0;
    virtual int ChannelKind(int ch) const = 0;
    virtual std::uint16_t* ChannelWords(int ch) = 0;
    // The channel's two values for word value 0 and 16383.
    virtual std::array<float, 2> ChannelRange(int ch) const = 0;
    virtual void SetChannelRangeValue(int ch, int which, float value) = 0;
    // Smallest bit depth among the channel's imported slices; 0 when none was imported.
    virtual int ImportedBitDepth(int ch) const = 0;
    // Imported-slice counts per axis.
    virtual std::array<std::int32_t, 3> ImportCounts(int ch) const = 0;
    // Ends the channel's recorded settings section after a computation.
    virtual void ResetRecordedSettings(int ch) = 0;
    // The active boundary that masks the computation: its channel index (-1 none) and the word
    // that marks voxels inside.
    virtual int MaskChannel() const = 0;
    virtual std::uint16_t MaskWord() const = 0;

    int FirstChannelOfKind(int kind) const {
        for (int i = 0; i < ChannelCount(); ++i)
            if (ChannelKind(i) == kind) return i;
        return -1;
    }
    int CountChannelsOfKind(int kind) const {
        int n = 0;
        for (int i = 0; i < ChannelCount(); ++i) n += ChannelKind(i) == kind;
        return n;
    }
};

class ComputeDocument;

// Replies to a remote controller that started the computation of a document. Several documents
// may compute at once, each started by its own request: each answers that request alone.
class RemoteComputeReplies {
public:
    virtual ~RemoteComputeReplies() = default;
    // Progress of the computation of `doc`.
    virtual void ReplyWork(const ComputeDocument& doc, int percent) = 0;
    // The computation of `doc` has ended: the final reply of the request that started it ("OK",
    // or "OK:" and `text` when there is one); nothing when no controller started it.
    virtual void ReplyOk(const ComputeDocument& doc, const std::string& text) = 0;
};

// The property computation as the controller drives it (the controller's own method list and
// `CPropertyComputation` unless another engine is set).
class PropertyComputationEngine {
public:
    virtual ~PropertyComputationEngine() = default;
    // Number of property method records.
    virtual int MethodCount() const = 0;
    // Checks the records against the document; returns the problem count and fills the texts.
    virtual int CheckSettings(std::string& errors, std::string& warnings) = 0;
    // Keeps the checked copy of the records.
    virtual void AcceptCheckedSettings() = 0;
    // Runs the enabled methods; a step result code.
    virtual int Apply() = 0;
    virtual void Serialize(Archive& ar) = 0;
};

// View update hints the controller sends.
enum ComputeHint : int { kHintStateChanged = 1, kHintComputationStart = 4, kHintComputationProgress = 6 };

class ComputeDocument : public LogHost {
public:
    virtual ComputeSample* Sample() = 0;
    virtual PluginDocument* Plugins() = 0;
    // The channels as the controller's own property computation reads and writes them (null:
    // none; a document that sets its own engine with Model::SetPropertyComputation needs none).
    virtual PropertyDocument* Properties() { return nullptr; }
    virtual std::vector<ComputeDeviceEntry> DeviceSelection() const = 0;

    virtual Prompt* GetPrompt() = 0;
    virtual MainFrameChannel* GetMainFrame() = 0;
    virtual RemoteComputeReplies* GetRemote() = 0;  // null: not remote-controlled
    virtual bool PluginsEnabled() const = 0;
    virtual std::vector<std::string> PluginFolders() const = 0;

    virtual bool SaveAfterComputation() const = 0;
    virtual bool ExitAfterComputation() const = 0;
    virtual bool ViewUpdateInProgress() const = 0;
    virtual std::string FilePath() const = 0;

    // Views (UI thread). `statsChanged` adds the statistics change hint.
    virtual void UpdateAllViews(int hint, bool statsChanged = false) = 0;
    virtual int StartComputationRecording() = 0;
    virtual void StopComputationRecording() = 0;
    // The Save command; false when the document was not saved.
    virtual bool Save() = 0;
    // Asks the main window to close (exit after computation).
    virtual void CloseMainWindow() = 0;
};

}  // namespace zun
