#pragma once
// The interface between Zun and its plug-in libraries. Plug-in authors include only this header.
//
// A plug-in is a shared object (".so") placed in one of the plug-in folders of the preferences.
// It exports, unmangled, create_plugin (returns a new plug-in object) and release_plugin (destroys
// it). Only C types cross the boundary, so a plug-in built with a newer standard library keeps
// working; no exception may leave a plug-in (the host catches what escapes run and reports the
// plug-in as failed).

#include <cstdint>

namespace zunplugin {

constexpr int kHostInterfaceVersion = 1;

class PluginObj;

// What a plug-in library implements. The slot order (name, description, run) is part of the
// binary contract and must never change.
class Plugin {
public:
    virtual const char* name() = 0;
    virtual const char* description() = 0;
    // argv[0] is the library's file name without extension, then the user's parameters. The
    // return value is not used by the host.
    virtual int run(PluginObj* host, int argc, char** argv) = 0;

protected:
    // Destroyed only by release_plugin, so the object has no virtual destructor slot.
    ~Plugin() = default;
};

// What the host offers a running plug-in. Channel indices are positions in the sample's channel
// list. No call throws; a bad index gives a non-zero result or a null pointer.
class PluginObj {
public:
    virtual int InterfaceVersion() const = 0;  // kHostInterfaceVersion
    virtual const char* PluginBaseName() const = 0;
    virtual const char* DocumentTitle() const = 0;
    virtual void GridSize(std::uint32_t dims[3]) const = 0;  // nx, ny, nz
    virtual void VoxelSize(double metres[3]) const = 0;      // x, y, z edge in metres
    virtual int ChannelCount() const = 0;
    virtual int FindChannel(const char* name) const = 0;  // -1 when none
    virtual const char* ChannelName(int ch) const = 0;    // null when out of range
    // 0 composition, 1 X-ray CT, 2 property, 3 boundary, -1 bad index.
    virtual int ChannelKind(int ch) const = 0;
    virtual int GetRange(int ch, float* min, float* max) const = 0;  // 0 ok, 1 bad index
    // Property channels only (0 ok, 1 bad index or kind); marks the document changed.
    virtual int SetRange(int ch, float min, float max) = 0;
    // nx*ny*nz words, x fastest; bits 0-13 value, bit 14 read-only, bit 15 error. Null when bad.
    virtual const std::uint16_t* Words(int ch) const = 0;
    // The same block, writable; marks the document changed.
    virtual std::uint16_t* WordsForWrite(int ch) = 0;
    // nx*ny bytes of slice z, value*255/16383 rounded. 0 ok, 1 bad channel or slice.
    virtual int ReadSlice8(int ch, std::uint32_t z, std::uint8_t* out) const = 0;
    // value = in*16383/255 rounded, flag bits kept; marks the document changed. 0 ok, 1 bad.
    virtual int WriteSlice8(int ch, std::uint32_t z, const std::uint8_t* in) = 0;
    // Rescales the composition words of one voxel to the sum 16383, keeping read-only words.
    // 0 ok, 1 bad coordinates or no compositions.
    virtual int NormalizeVoxel(std::uint32_t x, std::uint32_t y, std::uint32_t z) = 0;
    // 26-connected labelling of mask (nx*ny*nz bytes, foreground 1) into labels (nx*ny*nz);
    // order > 0 numbers from the largest cluster, < 0 from the smallest, 0 in scan order.
    // Returns the number of clusters.
    virtual std::uint64_t LabelClusters(const std::uint8_t* mask, std::uint64_t* labels, int order) = 0;
    virtual void Log(const char* text) = 0;  // one line in the document's log, timestamped
    // Reports progress; true once the user asked to stop (it stays true).
    virtual bool Progress(float percent) = 0;
    virtual double Random() = 0;     // uniform in [0, 1); safe from several threads
    virtual void MarkChanged() = 0;  // data changed through a pointer from WordsForWrite

protected:
    ~PluginObj() = default;
};

}  // namespace zunplugin

extern "C" zunplugin::Plugin* create_plugin();
extern "C" void release_plugin(zunplugin::Plugin*);
