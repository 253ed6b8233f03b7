#pragma once
// What the plug-in host needs of the document it runs against. The document layer implements it
// over its sample, log and controller; tests implement it over plain buffers.

#include <array>
#include <cstdint>
#include <string>

namespace zun {

class PluginDocument {
public:
    virtual ~PluginDocument() = default;

    virtual std::string Title() const = 0;
    virtual std::array<std::uint32_t, 3> GridSize() const = 0;
    virtual std::array<double, 3> VoxelSize() const = 0;  // metres

    // The channel list does not change while a plug-in runs: it runs on the computation worker,
    // and channels are inserted and deleted only on the UI thread.
    virtual int ChannelCount() const = 0;
    virtual std::string ChannelName(int ch) const = 0;
    virtual int ChannelKind(int ch) const = 0;  // 0 composition, 1 CT, 2 property, 3 boundary
    virtual void GetRange(int ch, float& min, float& max) const = 0;
    virtual void SetRange(int ch, float min, float max) = 0;
    virtual std::uint16_t* ChannelWords(int ch) = 0;  // GridSize() product words

    virtual void Log(const std::string& text) = 0;
    // Reports progress of the running computation; throws when a stop was requested.
    virtual void SetProgress(float percent) = 0;
    // The computation's random seed; negative means "seed from the clock".
    virtual std::int64_t RandomSeed() const = 0;
    // Called once after a run that changed channel data: the document's modified flag, and the
    // parameter set's note that the data changed since the last composition run.
    virtual void SetModified() = 0;
};

}  // namespace zun
