#pragma once
// Voxel images: a list of channels of one element type on one common grid, sharing one memory
// guard. Resizing is all or nothing and may keep the voxel data.

#include <concepts>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/chan.h"

namespace zun {

template <class T>
class Image : public Serializable {
public:
    static const ClassInfo classInfo;
    const ClassInfo* GetRuntimeClass() const override { return &classInfo; }

    // `axes` zero extents, no channels; with keepData a scratch channel is made at once.
    explicit Image(int axes = 0, bool keepData = false);
    ~Image() override;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    void Serialize(Archive& ar) override;

    // Makes this image a copy of the other (keep-data included). Throws std::bad_alloc when the
    // copy is refused; the image is then of no further use until assigned or resized again.
    virtual void Assign(const Image<T>& other);
    // Inserts a zeroed channel at the index (the channel count appends); returns the new count.
    // Throws std::bad_alloc when refused, leaving the list as it was.
    virtual int InsertChannel(int index);
    virtual int RemoveChannel(int index);
    virtual void RemoveAllChannels();
    // All or nothing: 1 some channel changed, 0 nothing changed, -1 refused (every channel and the
    // image keep their old extents; with keep-data also their data).
    virtual int Resize(const Dims& newDims, const Dims& offsets);
    virtual int Resize(const Dims& newDims);
    virtual int ReverseChannel(int index);

    int AddChannels(int n);
    // Adds n channels at the end; on failure removes those it added and returns -1.
    int AppendPlanes(int n);
    void RemoveLastChannels(int n);
    void ClearAll();
    int ReverseAll();
    // Resizes dst to src's extents, matches the channel counts and copies every channel. 1 or -1.
    static int CopyChannels(const Image<T>& src, Image<T>& dst);

    const Dims& GetDims() const { return dims; }
    std::uint64_t GetNumVoxels() const { return CountVoxels(dims); }
    int GetNumChannels() const { return static_cast<int>(channels.size()); }
    Chan<T>* GetChannel(int index) const { return channels[index].get(); }
    bool GetKeepData() const { return keepData; }
    const Chan<T>* GetScratch() const { return scratch.get(); }
    VoxelAllocator& GetAllocator() { return allocator; }

    // Writes or reads the channel objects (not their voxels).
    void SerializeChannels(Archive& ar, std::vector<std::unique_ptr<Chan<T>>>& list);

protected:
    // The channel class this image makes (InsertChannel); a derived image may make its own.
    virtual std::unique_ptr<Chan<T>> CreateChannel();
    // Run after the channel list, the blocks or the extents changed.
    virtual void ChannelsChanged() {}
    // Axes every image of this class has (-1 any); a stored image with others is refused.
    virtual int RequiredAxes() const { return -1; }
    void SetKeepData(bool keep);
    // Gives back the scratch channel's block (the channel itself stays while keep-data is set).
    void ReleaseScratch();
    void DropChannelsFrom(int first);

    Dims dims;
    VoxelAllocator allocator;
    std::vector<std::unique_ptr<Chan<T>>> channels;
    bool keepData = false;
    std::unique_ptr<Chan<T>> scratch;
};

template <class T>
class Image2d : public Image<T> {
public:
    static const ClassInfo classInfo;
    const ClassInfo* GetRuntimeClass() const override { return &classInfo; }

    Image2d() : Image<T>(2, false) { UpdateDims(); }
    explicit Image2d(const Dims& dims);

    void UpdateDims();
    Image2d<T>& operator=(const Image2d<T>& other);

    // Voxel block of channel k.
    T* Plane(int k) const { return planes[k]; }

    // Slice-file readers and writers (see tiffio.h and gridfiles.h for their result codes).
    static int ReadTiff(const std::string& path, Image2d<T>& image, int* bitsPerSample = nullptr) requires(
        std::same_as<T, float> || std::same_as<T, ullong> || std::same_as<T, uint8>);
    static int WriteTiff(const std::string& path,
                         const Image2d<T>& image) requires(std::same_as<T, uint8> || std::same_as<T, imtype>);
    static void GetMaxValue(const Image2d<T>& image, float* maximum) requires std::same_as<T, float>;
    static int ReadGrdVod(const std::string& path, Image2d<T>& image, float* minimum = nullptr,
                          float* maximum = nullptr) requires std::same_as<T, float>;

    int nx = 0, ny = 0;

protected:
    std::unique_ptr<Chan<T>> CreateChannel() override;
    void ChannelsChanged() override { UpdateDims(); }
    int RequiredAxes() const override { return 2; }

    std::vector<T*> planes;
};

template <class T>
class Image3d : public Image<T> {
public:
    static const ClassInfo classInfo;
    const ClassInfo* GetRuntimeClass() const override { return &classInfo; }

    Image3d() : Image3d(false) {}
    explicit Image3d(bool keepData) : Image<T>(3, keepData) { UpdateDims(); }

    void UpdateDims();
    Image3d<T>& operator=(const Image3d<T>& other);

    T* Plane(int k) const { return planes[k]; }

    int nx = 0, ny = 0, nz = 0;

protected:
    std::unique_ptr<Chan<T>> CreateChannel() override;
    void ChannelsChanged() override { UpdateDims(); }
    int RequiredAxes() const override { return 3; }

    std::vector<T*> planes;
};

#define ZUN_DECLARE_IMAGE(T)             \
    template <>                          \
    const ClassInfo Image<T>::classInfo; \
    extern template class Image<T>;
#define ZUN_DECLARE_IMAGE2D(T)             \
    template <>                            \
    const ClassInfo Image2d<T>::classInfo; \
    extern template class Image2d<T>;
#define ZUN_DECLARE_IMAGE3D(T)             \
    template <>                            \
    const ClassInfo Image3d<T>::classInfo; \
    extern template class Image3d<T>;
ZUN_VOXEL_CHAN_TYPES(ZUN_DECLARE_IMAGE)
ZUN_VOXEL_2D_TYPES(ZUN_DECLARE_IMAGE2D)
ZUN_VOXEL_3D_TYPES(ZUN_DECLARE_IMAGE3D)
#undef ZUN_DECLARE_IMAGE
#undef ZUN_DECLARE_IMAGE2D
#undef ZUN_DECLARE_IMAGE3D

}  // namespace zun
