#include "foundation/chan.h"

#include <gtest/gtest.h>

#include <climits>

#include "foundation/histogram.h"
#include "foundation/image.h"
#include "voxeltesting.h"

namespace zun {
namespace {

using testing::PolicyScope;
using testing::ScriptedMemory;

constexpr std::uint64_t kGiB = 1ull << 30;

std::vector<imtype> Values(const Chan<imtype>& c) {
    return std::vector<imtype>(c.Data(), c.Data() + c.GetNumVoxels());
}

// 4 x 4 x nz channel whose voxel (x, y, z) holds 100 * z + 10 * y + x.
std::unique_ptr<Chan3d<imtype>> Coded(VoxelAllocator* a, int nx, int ny, int nz) {
    auto p = std::make_unique<Chan3d<imtype>>(a, Dims{nx, ny, nz});
    Chan3d<imtype>& c = *p;
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) *c.At({x, y, z}) = static_cast<imtype>(100 * z + 10 * y + x);
    return p;
}

// --- the memory guard ---

TEST(MemoryGuard, RuleIsSinglePrecisionAndEqualityPasses) {
    MemoryStatus s{4 * kGiB, 2 * kGiB};
    // 1 GiB leaves 1 GiB of 4: exactly 25 %.
    EXPECT_TRUE(GuardAdmits(kGiB, 25, s));
    EXPECT_FALSE(GuardAdmits(kGiB, 26, s));
    // One byte more rounds away in single precision: still exactly 25 %.
    EXPECT_TRUE(GuardAdmits(kGiB + 1, 25, s));
    // A request beyond what is available counts as leaving nothing.
    EXPECT_FALSE(GuardAdmits(3 * kGiB, 1, s));
    EXPECT_TRUE(GuardAdmits(3 * kGiB, 0, s));
    // Sizes beyond 4 GiB are judged like any other.
    MemoryStatus big{64 * kGiB, 48 * kGiB};
    EXPECT_TRUE(GuardAdmits(16 * kGiB, 50, big));
    EXPECT_FALSE(GuardAdmits(16 * kGiB + kGiB, 50, big));
}

TEST(MemoryGuard, SmallRequestsAndZeroRemainAreNotChecked) {
    ScriptedMemory mem(4 * kGiB, 0);
    VoxelAllocator guarded(10), off(0);
    imtype* one = guarded.Allocate<imtype>(1);
    EXPECT_NE(one, nullptr);
    EXPECT_EQ(mem.Queries(), 0);
    EXPECT_EQ(guarded.Allocate<imtype>(2), nullptr);
    EXPECT_EQ(mem.Queries(), 1);
    imtype* free = off.Allocate<imtype>(1000);
    EXPECT_NE(free, nullptr);
    EXPECT_EQ(mem.Queries(), 1);
    VoxelAllocator::Free(one);
    VoxelAllocator::Free(free);
    // A byte count that overflows 64 bits is refused without asking anybody.
    EXPECT_EQ(off.Allocate<ullong>(~0ull / 4), nullptr);
}

TEST(MemoryGuard, AllocatorReadsThePolicyOnceWhenMade) {
    {
        PolicyScope p(true, 30);
        VoxelAllocator a;
        EXPECT_EQ(a.remainPercent, 30);
        SetMemoryPolicy({false, 30});
        EXPECT_EQ(a.remainPercent, 30);
        EXPECT_EQ(VoxelAllocator().remainPercent, 0);
    }
    PolicyScope p(false, 50);
    EXPECT_EQ(VoxelAllocator().remainPercent, 0);
}

// --- creation, reallocation, resizing ---

TEST(Chan, CreationZeroesTheBlockAndTheSpare) {
    VoxelAllocator a(0);
    Chan3d<imtype> c(&a, {3, 2, 4});
    EXPECT_EQ(c.GetNumVoxels(), 24u);
    EXPECT_EQ(c.nx, 3);
    EXPECT_EQ(c.ny, 2);
    EXPECT_EQ(c.nz, 4);
    for (std::uint64_t i = 0; i <= 24; ++i) EXPECT_EQ(c.Data()[i], 0);
    EXPECT_EQ(c.End(), c.Data() + 24);
    EXPECT_EQ(c.At({2, 1, 3}), c.Data() + 2 + 3 * (1 + 2 * 3));
    Chan<float> empty(nullptr, {});
    EXPECT_EQ(empty.GetNumVoxels(), 0u);
    EXPECT_TRUE(empty.OwnsAllocator());
}

TEST(Chan, RefusedCreationThrows) {
    ScriptedMemory mem(4 * kGiB, 0);
    VoxelAllocator a(10);
    EXPECT_THROW(Chan3d<imtype>(&a, {10, 10, 10}), std::bad_alloc);
    PolicyScope p(true, 10);
    EXPECT_THROW(Chan<float>(nullptr, {10, 10}), std::bad_alloc);
}

TEST(Chan, ImpossibleExtentsAreRefusedNotWrapped) {
    // 2^30 x 2^30 x 16 voxels: the count wraps to 0 in 64 bits, which once gave a one-element block
    // for a channel claiming the whole grid.
    const Dims wraps{1 << 30, 1 << 30, 16};
    EXPECT_EQ(CountVoxels(wraps), kVoxelCountOverflow);
    EXPECT_EQ(CountVoxels({1 << 30, 1 << 30, 15}), 15ull << 60);
    EXPECT_EQ(CountVoxels({INT_MAX, INT_MAX, INT_MAX}), kVoxelCountOverflow);
    EXPECT_EQ(CountVoxels({INT_MAX, 0, INT_MAX, INT_MAX}), 0u);
    EXPECT_TRUE(ImpossibleDims({2, -1, 2}));
    EXPECT_FALSE(ImpossibleDims({0, 5, 5}));

    VoxelAllocator a(0);
    auto cPtr = Coded(&a, 4, 4, 4);
    Chan3d<imtype>& c = *cPtr;
    for (const Dims& bad : {wraps, Dims{4, -4, 4}}) {
        EXPECT_EQ(c.Reallocate(bad), -1);
        EXPECT_EQ(c.ResizeKeep(bad, {0, 0, 0}, nullptr), -1);
        // Refused before anything changed: the data stay.
        EXPECT_EQ(c.GetDims(), (Dims{4, 4, 4}));
        EXPECT_EQ(*c.At({1, 2, 3}), 321);
    }
    EXPECT_THROW(Chan3d<imtype>(&a, wraps), std::bad_alloc);
    EXPECT_THROW(Chan<float>(&a, {1 << 20, 1 << 20, 1 << 20}), std::bad_alloc);

    Image3d<imtype> im(false);
    ASSERT_GE(im.AddChannels(2), 0);
    ASSERT_EQ(im.Resize({3, 3, 3}), 1);
    EXPECT_EQ(im.Resize(wraps), -1);
    EXPECT_EQ(im.Resize({3, -3, 3}), -1);
    EXPECT_EQ(im.GetDims(), (Dims{3, 3, 3}));
    EXPECT_EQ(im.GetNumVoxels(), 27u);
}

TEST(Chan, ReallocateSameDimsKeepsDataAndOffsetClears) {
    VoxelAllocator a(0);
    auto cPtr = Coded(&a, 4, 4, 4);
    Chan3d<imtype>& c = *cPtr;
    EXPECT_EQ(c.Reallocate({4, 4, 4}), 0);
    EXPECT_EQ(*c.At({1, 2, 3}), 321);
    EXPECT_EQ(c.Reallocate({4, 4, 4}, {0, 0, 1}), 1);
    for (imtype v : Values(c)) EXPECT_EQ(v, 0);
    EXPECT_EQ(c.Reallocate({5, 2, 1}), 1);
    EXPECT_EQ(c.nx, 5);
    EXPECT_EQ(c.nz, 1);
    EXPECT_EQ(c.GetNumVoxels(), 10u);
}

TEST(Chan, RefusedReallocateKeepsOldDimsWithClearedBlock) {
    VoxelAllocator a(10);
    auto cPtr = Coded(&a, 4, 4, 4);
    Chan3d<imtype>& c = *cPtr;
    ScriptedMemory mem(4 * kGiB, 0);
    EXPECT_EQ(c.Reallocate({8, 8, 8}), -1);
    EXPECT_EQ(c.GetDims(), (Dims{4, 4, 4}));
    EXPECT_EQ(c.nz, 4);
    for (std::uint64_t i = 0; i <= 64; ++i) EXPECT_EQ(c.Data()[i], 0);
}

TEST(Chan, ResizeKeepMovesDataByOffsets) {
    VoxelAllocator a(0);
    auto cPtr = Coded(&a, 4, 4, 4);
    Chan3d<imtype>& c = *cPtr;
    EXPECT_EQ(c.ResizeKeep({4, 4, 4}, {0, 0, 0}, nullptr), 0);
    // Two more slices, data shifted one slice up.
    EXPECT_EQ(c.ResizeKeep({4, 4, 6}, {0, 0, -1}, nullptr), 1);
    EXPECT_EQ(c.nz, 6);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(*c.At({x, y, 0}), 0);
            EXPECT_EQ(*c.At({x, y, 5}), 0);
            for (int k = 1; k <= 4; ++k) EXPECT_EQ(*c.At({x, y, k}), 100 * (k - 1) + 10 * y + x);
        }
    // Shift two columns towards the origin: the last two columns become 0.
    auto dPtr = Coded(&a, 4, 4, 4);
    Chan3d<imtype>& d = *dPtr;
    EXPECT_EQ(d.ResizeKeep({4, 4, 4}, {2, 0, 0}, nullptr), 1);
    for (int z = 0; z < 4; ++z)
        for (int y = 0; y < 4; ++y) {
            EXPECT_EQ(*d.At({0, y, z}), 100 * z + 10 * y + 2);
            EXPECT_EQ(*d.At({1, y, z}), 100 * z + 10 * y + 3);
            EXPECT_EQ(*d.At({2, y, z}), 0);
            EXPECT_EQ(*d.At({3, y, z}), 0);
        }
    EXPECT_EQ(d.Data()[64], 0);
}

TEST(Chan, ResizeKeepWithScratchSwapsBlocksAndRefusalLeavesChannel) {
    VoxelAllocator a(0);
    auto cPtr = Coded(&a, 4, 4, 4);
    Chan3d<imtype>& c = *cPtr;
    Chan<imtype> scratch(&a, {2, 2, 2});  // wrong size: resized before use
    EXPECT_EQ(c.ResizeKeep({2, 2, 2}, {1, 1, 1}, &scratch), 1);
    EXPECT_EQ(*c.At({0, 0, 0}), 111);
    EXPECT_EQ(*c.At({1, 1, 1}), 222);
    EXPECT_EQ(scratch.GetDims(), (Dims{4, 4, 4}));

    VoxelAllocator g(10);
    auto ePtr = Coded(&g, 4, 4, 4);
    Chan3d<imtype>& e = *ePtr;
    ScriptedMemory mem(4 * kGiB, 0);
    EXPECT_THROW(e.ResizeKeep({5, 5, 5}, {}, nullptr), std::bad_alloc);
    EXPECT_EQ(e.GetDims(), (Dims{4, 4, 4}));
    EXPECT_EQ(*e.At({3, 3, 3}), 333);
}

// --- copies ---

TEST(Chan, CopyFromCloneAndAssign) {
    VoxelAllocator a(0);
    auto srcPtr = Coded(&a, 3, 2, 2);
    Chan3d<imtype>& src = *srcPtr;
    Chan3d<imtype> same(&a, {3, 2, 2});
    imtype* block = same.Data();
    same = src;
    EXPECT_EQ(same.Data(), block);  // equal dims copy into the present block
    EXPECT_EQ(Values(same), Values(src));
    Chan3d<imtype> other(&a, {1, 1, 1});
    other.Assign(src);
    EXPECT_EQ(other.nx, 3);
    EXPECT_EQ(Values(other), Values(src));
    other.Assign(other);
    EXPECT_EQ(Values(other), Values(src));

    auto clone = src.Clone();
    EXPECT_EQ(clone->GetRuntimeClass(), &Chan3d<imtype>::classInfo);
    EXPECT_EQ(clone->GetAllocator(), &a);
    EXPECT_EQ(static_cast<Chan3d<imtype>*>(clone.get())->nz, 2);
    Chan2d<float> own(nullptr, {2, 2});
    auto ownClone = own.Clone();
    EXPECT_TRUE(ownClone->OwnsAllocator());
    EXPECT_NE(ownClone->GetAllocator(), own.GetAllocator());
}

TEST(Chan, RefusedCopyKeepsOldBlock) {
    VoxelAllocator big(0), guarded(10);
    auto srcPtr = Coded(&big, 4, 4, 4);
    Chan3d<imtype>& src = *srcPtr;
    auto dstPtr = Coded(&guarded, 2, 2, 2);
    Chan3d<imtype>& dst = *dstPtr;
    ScriptedMemory mem(4 * kGiB, 0);
    EXPECT_THROW(dst.CopyFrom(src), std::bad_alloc);
    EXPECT_EQ(dst.GetDims(), (Dims{2, 2, 2}));
    EXPECT_EQ(dst.nx, 2);
    EXPECT_EQ(*dst.At({1, 1, 1}), 111);
}

TEST(Chan, CopyBlockClipsAtEveryEdge) {
    VoxelAllocator a(0);
    auto srcPtr = Coded(&a, 4, 4, 4);
    Chan3d<imtype>& src = *srcPtr;
    // Corner boxes of every kind: the part that fits both channels is copied, nothing else.
    for (int sx : {0, 3})
        for (int sy : {0, 3})
            for (int sz : {0, 3}) {
                Chan3d<imtype> dst(&a, {3, 3, 3});
                ASSERT_EQ(Chan<imtype>::CopyBlock(dst, src, {5, 5, 5}, {1, 1, 1}, {sx, sy, sz}), 1);
                for (int z = 0; z < 3; ++z)
                    for (int y = 0; y < 3; ++y)
                        for (int x = 0; x < 3; ++x) {
                            const bool in = x >= 1 && y >= 1 && z >= 1 && sx + x - 1 < 4 && sy + y - 1 < 4 &&
                                            sz + z - 1 < 4;
                            const int want = in ? 100 * (sz + z - 1) + 10 * (sy + y - 1) + sx + x - 1 : 0;
                            EXPECT_EQ(*dst.At({x, y, z}), want) << sx << sy << sz << " at " << x << y << z;
                        }
                EXPECT_EQ(dst.Data()[27], 0);  // the spare is never written
            }
}

TEST(Chan, CopyBlockRefusesStartOutsideOnAnyAxis) {
    VoxelAllocator a(0);
    auto srcPtr = Coded(&a, 4, 4, 4);
    Chan3d<imtype>& src = *srcPtr;
    Chan3d<imtype> dst(&a, {4, 4, 4});
    // Starts whose linear index lies inside the block but whose axis is out of range.
    EXPECT_EQ(Chan<imtype>::CopyBlock(dst, src, {0, 0, 0}, {5, 0, 0}, {0, 0, 0}), 0);
    EXPECT_EQ(Chan<imtype>::CopyBlock(dst, src, {0, 0, 0}, {0, 0, 0}, {0, 7, 1}), 0);
    EXPECT_EQ(Chan<imtype>::CopyBlock(dst, src, {0, 0, 0}, {-1, 1, 1}, {0, 0, 0}), 0);
    EXPECT_EQ(Chan<imtype>::CopyBlock(dst, src, {-2, 1, 1}, {0, 0, 0}, {0, 0, 0}), 0);
    for (imtype v : Values(dst)) EXPECT_EQ(v, 0);
    // Extent 0 takes what fits both.
    EXPECT_EQ(Chan<imtype>::CopyBlock(dst, src, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}), 1);
    EXPECT_EQ(Values(dst), Values(src));
}

TEST(Chan, CopyBlockAcrossAxisCountsAndConverting) {
    VoxelAllocator a(0);
    // A 2-D picture placed as slice 2 of a 3-D channel.
    Chan2d<imtype> pic(&a, {3, 2});
    for (int i = 0; i < 6; ++i) pic.Data()[i] = static_cast<imtype>(i + 1);
    Chan3d<imtype> vol(&a, {4, 3, 3});
    EXPECT_EQ(Chan<imtype>::CopyBlock(vol, pic, {3, 2, 1}, {1, 1, 2}, {0, 0}), 1);
    EXPECT_EQ(*vol.At({1, 1, 2}), 1);
    EXPECT_EQ(*vol.At({3, 2, 2}), 6);
    EXPECT_EQ(*vol.At({0, 0, 2}), 0);

    Chan3d<ullong> wide(&a, {4, 3, 3});
    Chan<float> real(&a, {4, 3, 3});
    EXPECT_EQ(Chan<ullong>::CopyBlock(wide, vol, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}), 1);
    EXPECT_EQ(Chan<float>::CopyBlock(real, vol, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}), 1);
    EXPECT_EQ(*wide.At({3, 2, 2}), 6u);
    EXPECT_EQ(*real.At({3, 2, 2}), 6.0f);
}

// --- box operations on voxel words ---

TEST(Chan, BlockOperationsChangeOnlyTheBoxAndTheChosenFields) {
    VoxelAllocator a(0);
    Chan3d<imtype> c(&a, {4, 3, 2});
    for (std::uint64_t i = 0; i < 24; ++i) c.Data()[i] = static_cast<imtype>(90 + 5 * i);
    const std::vector<imtype> before = Values(c);

    EXPECT_EQ(c.SetBlockValue({2, 0, 1}, {2, 1, 1}, 0xFFFF, false, true, false), 1);
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) {
                const imtype old = before[x + 4 * (y + 3 * z)];
                const bool in = x >= 2 && y >= 1 && z == 1;
                EXPECT_EQ(*c.At({x, y, z}), in ? (old | kVoxelReadOnlyBit) : old);
            }

    // Error bit on the voxels whose value lies in 100..200 only.
    Chan3d<imtype> m(&a, {4, 3, 2});
    for (std::uint64_t i = 0; i < 24; ++i) m.Data()[i] = static_cast<imtype>(90 + 5 * i);
    BlockSelection sel{100, 200, false, false, true};
    EXPECT_EQ(m.SetBlockValueMasked({0, 0, 0}, {0, 0, 0}, kVoxelErrorBit | 7, sel), 1);
    for (std::uint64_t i = 0; i < 24; ++i) {
        const imtype v = static_cast<imtype>(90 + 5 * i);
        EXPECT_EQ(m.Data()[i], (v >= 100 && v <= 200) ? (v | kVoxelErrorBit) : v);
    }

    EXPECT_EQ(c.BlockOp({0, 1, 0}, {0, 2, 0}), 1);
    for (int z = 0; z < 2; ++z)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(*c.At({x, 2, z}), 0);
    EXPECT_EQ(*c.At({0, 1, 0}), before[4]);
    // A start outside changes nothing.
    const std::vector<imtype> now = Values(c);
    EXPECT_EQ(c.BlockOp({1, 1, 1}, {0, 3, 0}), 0);
    EXPECT_EQ(c.SetBlockValue({1, 1, 1}, {4, 0, 0}, 1, true, true, true), 0);
    EXPECT_EQ(Values(c), now);
}

TEST(Chan, FillBlockOfDisplayVolume) {
    VoxelAllocator a(0);
    Chan3d<disptype> c(&a, {4, 3, 2});
    EXPECT_TRUE(c.FillBlock({0, 1, 0}, {0, 2, 0}, 0xABCDEF01u));
    int filled = 0;
    for (std::uint64_t i = 0; i < 24; ++i) filled += c.Data()[i] == 0xABCDEF01u;
    EXPECT_EQ(filled, 8);
    for (int z = 0; z < 2; ++z)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(*c.At({x, 2, z}), 0xABCDEF01u);
    EXPECT_FALSE(c.FillBlock({0, 0, 0}, {0, 0, 2}, 5u));
    EXPECT_EQ(c.Data()[24], 0u);
}

TEST(Chan, CopyBit0ToBit1) {
    VoxelAllocator a(0);
    Chan3d<ullong> src(&a, {2, 2, 1}), dst(&a, {2, 2, 1});
    const ullong s[4] = {0, 1, 2, 3}, d[4] = {0xF2, 0xF0, 0xF3, 0xF1};
    for (int i = 0; i < 4; ++i) src.Data()[i] = s[i], dst.Data()[i] = d[i];
    EXPECT_TRUE(dst.CopyBit0ToBit1(src));
    // Bit 1 follows the source's bit 0; every other bit stays.
    const ullong want[4] = {0xF0, 0xF2, 0xF1, 0xF3};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(dst.Data()[i], want[i]) << i;
    Chan3d<ullong> other(&a, {3, 1, 1});
    EXPECT_FALSE(dst.CopyBit0ToBit1(other));
}

// --- reversal and progress step ---

TEST(Chan, ReverseZ) {
    VoxelAllocator a(0);
    auto onePtr = Coded(&a, 2, 2, 1);
    Chan3d<imtype>& one = *onePtr;
    const auto before = Values(one);
    EXPECT_EQ(one.ReverseZ(), 1);
    EXPECT_EQ(Values(one), before);
    auto fivePtr = Coded(&a, 2, 3, 5);
    Chan3d<imtype>& five = *fivePtr;
    EXPECT_EQ(five.ReverseZ(), 1);
    for (int z = 0; z < 5; ++z)
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 2; ++x) EXPECT_EQ(*five.At({x, y, z}), 100 * (4 - z) + 10 * y + x);
    // Only three-axis channels have slices to reverse.
    Chan2d<imtype> flat(&a, {3, 2});
    EXPECT_EQ(flat.ReverseZ(), 0);
}

TEST(Chan, ProgressStep) {
    VoxelAllocator a(0);
    auto step = [&](int n) { return Chan<uint8>(&a, {n}).GetProgressStep(); };
    EXPECT_EQ(step(0), 1u);
    EXPECT_EQ(step(199), 1u);
    EXPECT_EQ(step(200), 2u);
    EXPECT_EQ(step(299), 2u);
    EXPECT_EQ(step(499900), 4999u);
    EXPECT_EQ(step(500000), 5000u);
    EXPECT_EQ(step(2000000), 5000u);
}

TEST(Chan, CompareDims) {
    EXPECT_EQ(CompareDims({1, 2, 3}, {1, 2, 3}), 0);
    EXPECT_EQ(CompareDims({1, 2, 3}, {1, 2, 4}), 1);
    EXPECT_EQ(CompareDims({1, 2}, {1, 2, 1}), 2);
}

// --- histogram and region records ---

TEST(Histogram, BinsFollowTheValueRange) {
    Histogram h;
    std::vector<imtype> narrow = {10, 11, 12, 12};
    EXPECT_EQ(h.Build({{narrow.data(), narrow.size()}}), -1);
    EXPECT_TRUE(h.counters.empty());

    std::vector<imtype> all(16384);
    for (int i = 0; i < 16384; ++i) all[i] = static_cast<imtype>(i | (i % 3 == 0 ? kVoxelErrorBit : 0));
    EXPECT_EQ(h.Build({{all.data(), all.size()}, {nullptr, 5}}), 0);
    ASSERT_EQ(h.counters.size(), 1000u);
    EXPECT_EQ(h.binCount, 1000u);
    std::uint64_t total = 0;
    for (auto n : h.counters) total += n;
    EXPECT_EQ(total, 16384u);
    EXPECT_EQ(h.counters[999], 16u);  // 16383 and its neighbours land in the last bin

    std::vector<imtype> mid;
    for (int v = 100; v < 150; ++v) mid.push_back(static_cast<imtype>(v));
    std::vector<imtype> more = {149, 149};
    EXPECT_EQ(h.Build({{mid.data(), mid.size()}, {more.data(), more.size()}}), 0);
    ASSERT_EQ(h.counters.size(), 50u);
    EXPECT_EQ(h.minValue, 100);
    EXPECT_EQ(h.counters[0], 1u);
    EXPECT_EQ(h.counters[49], 3u);

    EXPECT_EQ(h.Build({}), 0);
    EXPECT_EQ(h.counters.size(), 1000u);

    VoxelAllocator a(0);
    Chan<imtype> c(&a, {50});
    for (int i = 0; i < 50; ++i) c.Data()[i] = static_cast<imtype>(100 + i);
    EXPECT_EQ(c.MakeHistogram(h), 0);
    EXPECT_EQ(h.counters.size(), 50u);
}

TEST(RegionStats, Centroid) {
    RegionStats3d<ullong> r;
    r.count = 4;
    r.sx = 2;
    r.sy = 6;
    r.sz = 10;
    r.ComputeCentroid();
    EXPECT_EQ(r.cx, 1);
    EXPECT_EQ(r.cy, 2);
    EXPECT_EQ(r.cz, 3);
    RegionStats3d<ullong> e;
    e.ComputeCentroid();
    EXPECT_EQ(e.cx + e.cy + e.cz, 0);
    EXPECT_TRUE(e < r);
}

}  // namespace
}  // namespace zun
