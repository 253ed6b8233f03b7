#include "foundation/image.h"

#include <algorithm>
#include <stdexcept>

#include "foundation/voxelarchive.h"

namespace zun {

template <class T>
Image<T>::Image(int axes, bool keep) : dims(static_cast<std::size_t>(std::max(axes, 0)), 0) {
    SetKeepData(keep);
}

template <class T>
Image<T>::~Image() {
    channels.clear();
    scratch.reset();
}

template <class T>
void Image<T>::SetKeepData(bool keep) {
    if (keep && !scratch) scratch = std::make_unique<Chan<T>>(&allocator, Dims(dims.size(), 0));
    if (!keep) scratch.reset();
    keepData = keep;
}

template <class T>
void Image<T>::ReleaseScratch() {
    // The work channel takes a block only while an operation needs it: held between operations it
    // would cost every keep-data document one more channel of memory.
    if (scratch && scratch->GetNumVoxels() > 0) scratch->ReallocateUnguarded(Dims(dims.size(), 0));
}

template <class T>
std::unique_ptr<Chan<T>> Image<T>::CreateChannel() {
    return std::make_unique<Chan<T>>(&allocator, dims);
}

template <class T>
int Image<T>::InsertChannel(int index) {
    if (index < 0 || index > GetNumChannels()) throw std::out_of_range("channel index");
    auto c = CreateChannel();
    channels.insert(channels.begin() + index, std::move(c));
    ChannelsChanged();
    return GetNumChannels();
}

template <class T>
int Image<T>::RemoveChannel(int index) {
    if (index < 0 || index >= GetNumChannels()) throw std::out_of_range("channel index");
    channels.erase(channels.begin() + index);
    ChannelsChanged();
    return GetNumChannels();
}

template <class T>
void Image<T>::RemoveAllChannels() {
    channels.clear();
    ChannelsChanged();
}

template <class T>
void Image<T>::DropChannelsFrom(int first) {
    while (GetNumChannels() > first) channels.pop_back();
    ChannelsChanged();
}

template <class T>
int Image<T>::AddChannels(int n) {
    // The plane table is rebuilt once for all of them: a file may ask for tens of thousands.
    const int before = GetNumChannels();
    try {
        channels.reserve(channels.size() + static_cast<std::size_t>(std::max(n, 1)));
        int i = 0;
        do {
            channels.push_back(CreateChannel());
        } while (++i < n);
    } catch (const std::bad_alloc&) {
        while (GetNumChannels() > before) channels.pop_back();
        ChannelsChanged();
        return -1;
    }
    ChannelsChanged();
    return GetNumChannels();
}

template <class T>
int Image<T>::AppendPlanes(int n) {
    const int before = GetNumChannels();
    if (AddChannels(n) < 0) {
        DropChannelsFrom(before);
        return -1;
    }
    return GetNumChannels();
}

template <class T>
void Image<T>::RemoveLastChannels(int n) {
    DropChannelsFrom(std::max(GetNumChannels() - std::max(n, 0), 0));
}

template <class T>
void Image<T>::ClearAll() {
    for (auto& c : channels) c->Clear();
}

template <class T>
int Image<T>::ReverseChannel(int index) {
    return channels.at(index)->ReverseZ();
}

template <class T>
int Image<T>::ReverseAll() {
    int any = 0;
    for (int i = 0; i < GetNumChannels(); ++i) {
        int r;
        try {
            r = ReverseChannel(i);
        } catch (const std::bad_alloc&) {
            r = -1;
        }
        if (r < 0) {
            // Undo what was done, so that the channels stay in step.
            for (int j = 0; j < i; ++j) {
                try {
                    ReverseChannel(j);
                } catch (const std::bad_alloc&) {
                }
            }
            return r;
        }
        if (r > 0) any = 1;
    }
    return any;
}

template <class T>
int Image<T>::CopyChannels(const Image<T>& src, Image<T>& dst) {
    if (dst.Resize(src.dims) < 0) return -1;
    const int have = dst.GetNumChannels(), want = src.GetNumChannels();
    if (have < want) {
        if (dst.AddChannels(want - have) < 0) {
            dst.DropChannelsFrom(have);
            return -1;
        }
    } else if (have > want) {
        dst.DropChannelsFrom(want);
    }
    try {
        for (int k = 0; k < want; ++k) dst.channels[k]->CopyFrom(*src.channels[k]);
    } catch (const std::bad_alloc&) {
        dst.ChannelsChanged();
        return -1;
    }
    dst.ChannelsChanged();
    return 1;
}

template <class T>
void Image<T>::Assign(const Image<T>& other) {
    if (&other == this) return;
    SetKeepData(other.keepData);
    if (CopyChannels(other, *this) < 0) throw std::bad_alloc();
}

template <class T>
int Image<T>::Resize(const Dims& newDims) {
    return Resize(newDims, Dims());
}

template <class T>
int Image<T>::Resize(const Dims& newDims, const Dims& offsets) {
    // Refused like a size the allocator refuses, with nothing changed.
    if (ImpossibleDims(newDims)) return -1;
    // The growth of every channel together asks the guard first: one block at a time, tens of
    // thousands of channels (a file's header may ask for them) would each pass.
    const std::uint64_t oldVoxels = GetNumVoxels(), newVoxels = CountVoxels(newDims);
    if (!keepData && GetNumChannels() > 1 && newVoxels > oldVoxels) {
        std::uint64_t grow = 0;
        if (__builtin_mul_overflow(newVoxels - oldVoxels, sizeof(T) * GetNumChannels(), &grow) ||
            !allocator.Admits(grow))
            return -1;
    }
    const Dims old = dims;
    int sum = 0;
    if (!keepData) {
        for (int i = 0; i < GetNumChannels(); ++i) {
            const int r = channels[i]->Reallocate(newDims, offsets);
            if (r < 0) {
                // The rollback takes its blocks past the guard: it must not be refused half way.
                for (int j = 0; j < i; ++j) channels[j]->ReallocateUnguarded(old);
                ChannelsChanged();
                return -1;
            }
            sum += r;
        }
    } else {
        if (!scratch) scratch = std::make_unique<Chan<T>>(&allocator, old);
        if (scratch->Reallocate(newDims, offsets) < 0) {
            ChannelsChanged();
            return -1;
        }
        Dims back(offsets.size());
        for (std::size_t j = 0; j < offsets.size(); ++j) back[j] = -offsets[j];
        for (int i = 0; i < GetNumChannels(); ++i) {
            sum += channels[i]->ResizeKeep(newDims, offsets, scratch.get());
            if (scratch->Reallocate(newDims, offsets) < 0) {
                // The scratch is back at the old extents, cleared: shift every resized channel back.
                for (int j = 0; j <= i; ++j) {
                    channels[j]->ResizeKeep(old, back, scratch.get());
                    scratch->ReallocateUnguarded(old);
                }
                ReleaseScratch();
                ChannelsChanged();
                return -1;
            }
        }
    }
    dims = newDims;
    ReleaseScratch();
    ChannelsChanged();
    return sum > 0 ? 1 : 0;
}

template <class T>
void Image<T>::SerializeChannels(Archive& ar, std::vector<std::unique_ptr<Chan<T>>>& list) {
    if (ar.IsStoring()) {
        ar << static_cast<std::int32_t>(list.size());
        for (const auto& c : list) ar.WriteObject(c.get());
        return;
    }
    list.clear();
    const std::int32_t n = ReadArchiveCount(ar);
    for (std::int32_t i = 0; i < n; ++i) {
        auto c = ar.ReadOwnedObject<Chan<T>>();
        if (!c) throw ArchiveException(ArchiveException::generic, "missing channel in archive");
        list.push_back(std::move(c));
    }
}

template <class T>
void Image<T>::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        SerializeIntVector(ar, dims);
        SerializeChannels(ar, channels);
        ar << kVoxelStamp << static_cast<std::uint8_t>(keepData ? 1 : 0);
        std::uint64_t count = GetNumVoxels();
        for (auto& c : channels) SerializeVoxelBlock(ar, &c->data, &count, kVoxelStamp, nullptr, false);
        return;
    }
    try {
        Dims d;
        SerializeIntVector(ar, d);
        for (int e : d)
            if (e < 0) throw ArchiveException(ArchiveException::generic, "negative voxel extent in archive");
        if (RequiredAxes() >= 0 && static_cast<int>(d.size()) != RequiredAxes())
            throw ArchiveException(ArchiveException::generic, "wrong number of image axes in archive");
        channels.clear();
        dims = std::move(d);
        SerializeChannels(ar, channels);
        std::int32_t stamp = 0;
        std::uint8_t keep = 0;
        ar >> stamp >> keep;
        for (auto& c : channels) {
            // Every channel must describe the image's grid before a block is read for it.
            if (c->dims != dims)
                throw ArchiveException(ArchiveException::generic, "channel extents differ from the image's");
            c->FreeBlock();
            c->allocator = nullptr;
            c->ownedAllocator.reset();
        }
        const std::uint64_t expect = GetNumVoxels();
        for (std::size_t i = 0; i < channels.size(); ++i) {
            Chan<T>& c = *channels[i];
            c.allocator = &allocator;
            try {
                // The stored count is checked before any memory is taken for it.
                if (ReadVoxelCount(ar, stamp) != expect)
                    throw ArchiveException(ArchiveException::generic, "voxel count differs from the image's");
                c.data = ReadVoxelBlock<T>(ar, expect, &allocator, true);
            } catch (...) {
                channels.erase(channels.begin() + static_cast<std::ptrdiff_t>(i), channels.end());
                throw;
            }
        }
        // The scratch block is the size of the grid: taken only once the file has shown that it
        // really holds such a grid.
        if (keep && channels.empty() && expect > 0)
            throw ArchiveException(ArchiveException::generic, "a voxel grid without channels");
        if (keep && !scratch) scratch = std::make_unique<Chan<T>>(&allocator, Dims());
        if (!keep) scratch.reset();
        keepData = keep != 0;
        ReleaseScratch();
    } catch (...) {
        // Only channels whose blocks were read completely stay.
        while (!channels.empty() && !channels.back()->data) channels.pop_back();
        ChannelsChanged();
        throw;
    }
    ChannelsChanged();
}

// --- Image2d, Image3d ---

template <class T>
Image2d<T>::Image2d(const Dims& d) : Image<T>(0, false) {
    for (int e : d)
        if (e < 0) throw std::invalid_argument("negative voxel extent");
    this->dims = d;
    UpdateDims();
}

namespace {
template <class T>
void FillPlanes(std::vector<T*>& planes, const std::vector<std::unique_ptr<Chan<T>>>& channels) {
    planes.resize(channels.size());
    for (std::size_t k = 0; k < planes.size(); ++k) planes[k] = channels[k]->Data();
}
}  // namespace

template <class T>
void Image2d<T>::UpdateDims() {
    nx = DimsExtent(this->dims, 0);
    ny = DimsExtent(this->dims, 1);
    FillPlanes(planes, this->channels);
}

template <class T>
void Image3d<T>::UpdateDims() {
    nx = DimsExtent(this->dims, 0);
    ny = DimsExtent(this->dims, 1);
    nz = DimsExtent(this->dims, 2);
    FillPlanes(planes, this->channels);
}

template <class T>
Image2d<T>& Image2d<T>::operator=(const Image2d<T>& other) {
    if (&other != this) {
        this->Assign(other);
        UpdateDims();
    }
    return *this;
}

template <class T>
Image3d<T>& Image3d<T>::operator=(const Image3d<T>& other) {
    if (&other != this) {
        this->Assign(other);
        UpdateDims();
    }
    return *this;
}

template <class T>
std::unique_ptr<Chan<T>> Image2d<T>::CreateChannel() {
    return std::make_unique<Chan2d<T>>(&this->allocator, this->dims);
}

template <class T>
std::unique_ptr<Chan<T>> Image3d<T>::CreateChannel() {
    return std::make_unique<Chan3d<T>>(&this->allocator, this->dims);
}

#define ZUN_IMAGE_RECORDS(T)                                                              \
    template class Image<T>;                                                              \
    template <>                                                                           \
    const ClassInfo Image<T>::classInfo{"Image" #T, 0, true, &MakeSerializable<Image<T>>, \
                                        &Serializable::classSerializable};
#define ZUN_IMAGE2D_RECORDS(T)                                                                  \
    template class Image2d<T>;                                                                  \
    template <>                                                                                 \
    const ClassInfo Image2d<T>::classInfo{"Image2d" #T, 0, true, &MakeSerializable<Image2d<T>>, \
                                          &Image<T>::classInfo};
#define ZUN_IMAGE3D_RECORDS(T)                                                                  \
    template class Image3d<T>;                                                                  \
    template <>                                                                                 \
    const ClassInfo Image3d<T>::classInfo{"Image3d" #T, 0, true, &MakeSerializable<Image3d<T>>, \
                                          &Image<T>::classInfo};
ZUN_VOXEL_CHAN_TYPES(ZUN_IMAGE_RECORDS)
ZUN_VOXEL_2D_TYPES(ZUN_IMAGE2D_RECORDS)
ZUN_VOXEL_3D_TYPES(ZUN_IMAGE3D_RECORDS)

}  // namespace zun
