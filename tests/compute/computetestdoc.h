#pragma once
// A document over plain buffers for the controller, step and kernel tests.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "compute/computedocument.h"
#include "compute/model.h"
#include "compute/plugindocument.h"
#include "platform/mainframe.h"
#include "platform/prompt.h"

namespace zun::test {

struct SampleChannel {
    std::string name;
    int kind = 0;
    std::array<float, 2> range{0.0f, 1.0f};
    int bits = 0;
    std::array<std::int32_t, 3> importCounts{0, 0, 0};
    std::vector<std::uint16_t> words;
};

class TestSample : public ComputeSample {
public:
    std::array<std::uint32_t, 3> dims{1, 1, 1};
    std::vector<SampleChannel> channels;
    int maskChannel = -1;
    std::uint16_t maskWord = 16383;
    int resets = 0;

    std::size_t Voxels() const { return std::size_t(dims[0]) * dims[1] * dims[2]; }
    SampleChannel& Add(const std::string& name, int kind, std::uint16_t fill = 0) {
        channels.push_back(
            {name, kind, {0.0f, 1.0f}, 0, {0, 0, 0}, std::vector<std::uint16_t>(Voxels(), fill)});
        return channels.back();
    }

    std::array<std::uint32_t, 3> Dims() const override { return dims; }
    int ChannelCount() const override { return static_cast<int>(channels.size()); }
    int ChannelKind(int ch) const override { return channels[ch].kind; }
    std::uint16_t* ChannelWords(int ch) override { return channels[ch].words.data(); }
    std::array<float, 2> ChannelRange(int ch) const override { return channels[ch].range; }
    void SetChannelRangeValue(int ch, int which, float value) override { channels[ch].range[which] = value; }
    int ImportedBitDepth(int ch) const override { return channels[ch].bits; }
    std::array<std::int32_t, 3> ImportCounts(int ch) const override { return channels[ch].importCounts; }
    void ResetRecordedSettings(int) override { ++resets; }
    int MaskChannel() const override { return maskChannel; }
    std::uint16_t MaskWord() const override { return maskWord; }
};

class RecordingRemote : public RemoteComputeReplies {
public:
    void ReplyWork(const ComputeDocument& doc, int percent) override {
        std::lock_guard l(m);
        work.push_back(percent);
        from.push_back(&doc);
    }
    void ReplyOk(const ComputeDocument& doc, const std::string& text) override {
        std::lock_guard l(m);
        oks.push_back(text);
        from.push_back(&doc);
    }
    std::mutex m;
    std::vector<int> work;
    std::vector<std::string> oks;
    // The document of every reply, progress and end alike.
    std::vector<const ComputeDocument*> from;
};

class TestComputeDocument : public ComputeDocument {
public:
    TestComputeDocument()
        : frame([this](const FrameMessage& msg) {
              if (msg.kind == FrameMsg::RefreshViews) ++refreshes;
              if (model) model->HandleFrameMessage(msg);
          }) {}

    // Builds the controller over this document (after the sample's channels exist).
    Model& MakeModel() {
        model = std::make_unique<Model>(this);
        model->Attach(this);
        return *model;
    }
    // Pumps posted messages until the run has ended.
    void WaitForEnd(int timeoutMs = 60000) {
        for (int waited = 0; model->IsBusy() && waited < timeoutMs; waited += 5) frame.WaitAndPump(5);
        frame.Pump();
    }

    CLogger* GetLogger() override { return &logger; }
    bool IsLoggingEnabled() const override { return true; }
    ComputeSample* Sample() override { return &sample; }
    PluginDocument* Plugins() override { return nullptr; }
    PropertyDocument* Properties() override { return nullptr; }
    std::vector<ComputeDeviceEntry> DeviceSelection() const override { return devices; }
    Prompt* GetPrompt() override { return &prompt; }
    MainFrameChannel* GetMainFrame() override { return &frame; }
    RemoteComputeReplies* GetRemote() override { return remoteOn ? &remote : nullptr; }
    bool PluginsEnabled() const override { return false; }
    std::vector<std::string> PluginFolders() const override { return {}; }
    bool SaveAfterComputation() const override { return saveAfter; }
    bool ExitAfterComputation() const override { return exitAfter; }
    bool ViewUpdateInProgress() const override { return false; }
    std::string FilePath() const override { return "/tmp/sample.zun"; }
    void UpdateAllViews(int hint, bool) override { hints.push_back(hint); }
    int StartComputationRecording() override { return recordingResult; }
    void StopComputationRecording() override { ++recordingStops; }
    bool Save() override {
        ++saves;
        return saveResult;
    }
    void CloseMainWindow() override { ++closes; }

    CLogger logger{this};
    TestSample sample;
    HeadlessPrompt prompt;
    QueuedMainFrameChannel frame;
    RecordingRemote remote;
    bool remoteOn = false;
    std::vector<ComputeDeviceEntry> devices{{"CPU #0", 1}, {"CPU #1", 1}};
    bool saveAfter = false, exitAfter = false, saveResult = true;
    int recordingResult = 0, recordingStops = 0, saves = 0, closes = 0;
    std::vector<int> hints;
    std::atomic<int> refreshes{0};
    std::unique_ptr<Model> model;
};

// Fills the document with `comps` composition channels (Void first) and `cts` CT channels and
// registers them with the controller.
inline Model& MakeComputeSetup(TestComputeDocument& doc, std::array<std::uint32_t, 3> dims, int comps,
                               int cts) {
    doc.sample.dims = dims;
    doc.sample.channels.clear();
    Model& m = doc.MakeModel();
    m.SetDimensions(dims);
    doc.sample.Add("Void", kChanComposition);
    for (int i = 1; i < comps; ++i) {
        doc.sample.Add("C" + std::to_string(i), kChanComposition);
        m.InsertChannel(i, ("C" + std::to_string(i)).c_str());
    }
    for (int j = 0; j < cts; ++j) {
        doc.sample.Add("CT" + std::to_string(j + 1), kChanCt);
        m.InsertChannel(comps + j, ("CT" + std::to_string(j + 1)).c_str());
    }
    return m;
}

}  // namespace zun::test
