#pragma once
// A document over plain buffers for the plug-in and property tests.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "compute/exitrequested.h"
#include "compute/propertydocument.h"

namespace zun::test {

struct TestChannel {
    std::string name;
    int kind = 0;
    float min = 0.0f, max = 1.0f;
    std::vector<std::uint16_t> words;
};

class TestPluginDocument : public PropertyDocument {
public:
    TestPluginDocument(std::uint32_t nx, std::uint32_t ny, std::uint32_t nz) : dims{nx, ny, nz} {}

    TestChannel& AddChannel(const std::string& name, int kind, std::uint16_t fill = 0) {
        channels.push_back(
            TestChannel{name, kind, 0.0f, 1.0f,
                        std::vector<std::uint16_t>(std::size_t(dims[0]) * dims[1] * dims[2], fill)});
        return channels.back();
    }

    std::string Title() const override { return "phantom.zun"; }
    std::array<std::uint32_t, 3> GridSize() const override { return dims; }
    std::array<double, 3> VoxelSize() const override { return {1e-6, 2e-6, 3e-6}; }
    int ChannelCount() const override { return static_cast<int>(channels.size()); }
    std::string ChannelName(int ch) const override { return channels.at(ch).name; }
    int ChannelKind(int ch) const override { return channels.at(ch).kind; }
    void GetRange(int ch, float& min, float& max) const override {
        min = channels.at(ch).min;
        max = channels.at(ch).max;
    }
    void SetRange(int ch, float min, float max) override {
        channels.at(ch).min = min;
        channels.at(ch).max = max;
    }
    std::uint16_t* ChannelWords(int ch) override { return channels.at(ch).words.data(); }
    void Log(const std::string& text) override { log.push_back(text); }
    // Throws at the given call (1-based) and every later one, as the controller does after a stop.
    void SetProgress(float percent) override {
        progress.push_back(percent);
        if (stopAtCall > 0 && static_cast<int>(progress.size()) >= stopAtCall) throw ExitRequested{};
    }
    std::int64_t RandomSeed() const override { return seed; }
    void SetModified() override { ++modifiedCalls; }
    int ActiveBoundary() const override { return activeBoundary; }
    void SetStateText(const std::string& text) override { states.push_back(text); }
    void MarkChannelModified(int ch) override { modifiedChannels.push_back(ch); }
    int ThreadCount() const override { return threads; }
    int MaxReports() const override { return maxReports; }

    std::array<std::uint32_t, 3> dims;
    std::vector<TestChannel> channels;
    std::vector<std::string> log;
    std::vector<float> progress;
    int stopAtCall = 0;
    std::int64_t seed = 12345;
    int modifiedCalls = 0;
    int activeBoundary = -1;
    std::vector<std::string> states;
    std::vector<int> modifiedChannels;
    int threads = 2;
    int maxReports = 10;
};

}  // namespace zun::test
