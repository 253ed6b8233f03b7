#pragma once
// The host object a plug-in's run talks to: it reads and writes the channels of one document and
// reports through that document. Nothing it does throws into plug-in code.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "compute/zun_plugin.h"

namespace zun {

class PluginDocument;

class PluginObjHost final : public zunplugin::PluginObj {
public:
    PluginObjHost(PluginDocument& document, std::string pluginBaseName);
    ~PluginObjHost() = default;
    PluginObjHost(const PluginObjHost&) = delete;
    PluginObjHost& operator=(const PluginObjHost&) = delete;

    // Read by the caller after the run.
    bool DocumentChanged() const { return changed_; }
    bool Cancelled() const { return cancelled_; }

    int InterfaceVersion() const override;
    const char* PluginBaseName() const override;
    const char* DocumentTitle() const override;
    void GridSize(std::uint32_t dims[3]) const override;
    void VoxelSize(double metres[3]) const override;
    int ChannelCount() const override;
    int FindChannel(const char* name) const override;
    const char* ChannelName(int ch) const override;
    int ChannelKind(int ch) const override;
    int GetRange(int ch, float* min, float* max) const override;
    int SetRange(int ch, float min, float max) override;
    const std::uint16_t* Words(int ch) const override;
    std::uint16_t* WordsForWrite(int ch) override;
    int ReadSlice8(int ch, std::uint32_t z, std::uint8_t* out) const override;
    int WriteSlice8(int ch, std::uint32_t z, const std::uint8_t* in) override;
    int NormalizeVoxel(std::uint32_t x, std::uint32_t y, std::uint32_t z) override;
    std::uint64_t LabelClusters(const std::uint8_t* mask, std::uint64_t* labels, int order) override;
    void Log(const char* text) override;
    bool Progress(float percent) override;
    double Random() override;
    void MarkChanged() override;

private:
    bool ValidChannel(int ch) const { return ch >= 0 && ch < static_cast<int>(names_.size()); }
    std::uint16_t* Block(int ch) const;
    std::uint16_t* SliceWords(int ch, std::uint32_t z) const;

    PluginDocument& doc_;
    std::string baseName_;
    std::string title_;
    std::uint32_t dims_[3] = {0, 0, 0};
    // Channel names and kinds are taken once: the channel list cannot change during a run, and
    // the plug-in keeps the name pointers it is given.
    std::vector<std::string> names_;
    std::vector<int> kinds_;

    std::atomic<bool> changed_{false};
    std::atomic<bool> cancelled_{false};

    std::mutex randomLock_;
    std::mt19937_64 random_;
    std::uint64_t seed_ = 0;
    bool seedLogged_ = false;
};

}  // namespace zun
