#include "foundation/image.h"

#include <gtest/gtest.h>

#include "voxeltesting.h"

namespace zun {
namespace {

using testing::ScriptedMemory;

constexpr std::uint64_t kGiB = 1ull << 30;

// Fills channel k of a 3-D image with 1000 * k + 100 * z + 10 * y + x.
void Code(Image3d<imtype>& im) {
    for (int k = 0; k < im.GetNumChannels(); ++k) {
        Chan<imtype>& c = *im.GetChannel(k);
        const Dims& d = c.GetDims();
        for (int z = 0; z < d[2]; ++z)
            for (int y = 0; y < d[1]; ++y)
                for (int x = 0; x < d[0]; ++x)
                    *c.At({x, y, z}) = static_cast<imtype>(1000 * k + 100 * z + 10 * y + x);
    }
}

void ExpectPlanes(const Image3d<imtype>& im) {
    for (int k = 0; k < im.GetNumChannels(); ++k) EXPECT_EQ(im.Plane(k), im.GetChannel(k)->Data());
    EXPECT_EQ(im.nx, im.GetDims()[0]);
    EXPECT_EQ(im.nz, im.GetDims()[2]);
}

// A keep-data image with `channels` channels of 4 x 4 x 4 coded voxels.
void Make(Image3d<imtype>& im, int channels) {
    EXPECT_EQ(im.AddChannels(channels), channels);
    EXPECT_EQ(im.Resize({4, 4, 4}), 1);
    Code(im);
}

TEST(Image, ConstructionAndChannelList) {
    Image<float> plain(3, true);
    EXPECT_EQ(plain.GetDims(), (Dims{0, 0, 0}));
    EXPECT_EQ(plain.GetNumChannels(), 0);
    ASSERT_NE(plain.GetScratch(), nullptr);
    EXPECT_EQ(plain.GetScratch()->GetNumVoxels(), 0u);

    Image3d<imtype> im;
    Make(im, 2);
    EXPECT_EQ(im.InsertChannel(0), 3);
    ExpectPlanes(im);
    EXPECT_EQ(im.GetChannel(0)->GetRuntimeClass(), &Chan3d<imtype>::classInfo);
    for (std::uint64_t i = 0; i < 64; ++i) EXPECT_EQ(im.GetChannel(0)->Data()[i], 0);
    EXPECT_EQ(*im.GetChannel(1)->At({1, 2, 3}), 321);
    EXPECT_EQ(im.RemoveChannel(0), 2);
    ExpectPlanes(im);
    im.RemoveLastChannels(1);
    EXPECT_EQ(im.GetNumChannels(), 1);
    EXPECT_EQ(im.AppendPlanes(2), 3);
    im.ClearAll();
    EXPECT_EQ(*im.GetChannel(0)->At({1, 2, 3}), 0);
    im.RemoveAllChannels();
    EXPECT_EQ(im.GetNumChannels(), 0);
    EXPECT_THROW(im.RemoveChannel(0), std::out_of_range);
}

TEST(Image, RefusedInsertLeavesListAndAppendRollsBack) {
    Image3d<imtype> im;
    im.GetAllocator().remainPercent = 10;
    Make(im, 1);
    ScriptedMemory mem(4 * kGiB, 2 * kGiB, 3);  // the third channel is refused
    EXPECT_EQ(im.AppendPlanes(3), -1);
    EXPECT_EQ(im.GetNumChannels(), 1);
    ExpectPlanes(im);
    EXPECT_THROW(im.InsertChannel(0), std::bad_alloc);
    EXPECT_EQ(im.GetNumChannels(), 1);
}

TEST(Image, ResizeKeepDataShiftsEveryChannel) {
    Image3d<imtype> im(true);
    Make(im, 3);
    EXPECT_EQ(im.Resize({4, 4, 4}), 0);
    EXPECT_EQ(*im.GetChannel(2)->At({3, 2, 1}), 2123);
    EXPECT_EQ(im.Resize({4, 4, 6}, {0, 0, -1}), 1);
    EXPECT_EQ(im.nz, 6);
    ExpectPlanes(im);
    for (int k = 0; k < 3; ++k) {
        Chan<imtype>& c = *im.GetChannel(k);
        EXPECT_EQ(c.GetDims(), (Dims{4, 4, 6}));
        EXPECT_EQ(*c.At({1, 1, 0}), 0);
        EXPECT_EQ(*c.At({1, 1, 5}), 0);
        for (int z = 1; z <= 4; ++z) EXPECT_EQ(*c.At({3, 2, z}), 1000 * k + 100 * (z - 1) + 23);
    }
    // Between resizes the work channel holds no block: a keep-data image costs its channels only.
    EXPECT_EQ(im.GetScratch()->GetNumVoxels(), 0u);
    EXPECT_EQ(im.Resize({3, 4, 6}, {-1, 0, 0}), 1);
    for (int z = 1; z <= 4; ++z) EXPECT_EQ(*im.GetChannel(2)->At({2, 2, z}), 2000 + 100 * (z - 1) + 21);
    EXPECT_EQ(im.GetScratch()->GetNumVoxels(), 0u);
}

TEST(Image, ResizeWithoutKeepDataClears) {
    Image3d<imtype> im(false);
    Make(im, 2);
    EXPECT_EQ(im.Resize({4, 4, 6}, {0, 0, -1}), 1);
    for (int k = 0; k < 2; ++k)
        for (std::uint64_t i = 0; i < 96; ++i) ASSERT_EQ(im.GetChannel(k)->Data()[i], 0);
    ExpectPlanes(im);
}

TEST(Image, RefusedKeepDataResizeRestoresEverything) {
    // Refusal at every possible request: the scratch first, then after each channel.
    for (int refuse = 1; refuse <= 5; ++refuse) {
        Image3d<imtype> im(true);
        im.GetAllocator().remainPercent = 10;
        Make(im, 3);
        ScriptedMemory mem(4 * kGiB, 2 * kGiB, refuse);
        const int r = im.Resize({5, 4, 6}, {1, 0, -1});
        if (refuse == 5) {
            EXPECT_EQ(r, 1);  // the scratch asks once before the channels and once after each
            continue;
        }
        EXPECT_EQ(r, -1) << refuse;
        EXPECT_EQ(im.GetDims(), (Dims{4, 4, 4}));
        ExpectPlanes(im);
        for (int k = 0; k < 3; ++k) {
            Chan<imtype>& c = *im.GetChannel(k);
            ASSERT_EQ(c.GetDims(), (Dims{4, 4, 4})) << refuse << " channel " << k;
            for (int z = 0; z < 4; ++z)
                for (int y = 0; y < 4; ++y)
                    for (int x = 0; x < 4; ++x) {
                        // Column x = 0 left the grid with the first shift and comes back as 0.
                        const bool shifted = k <= refuse - 2 && x == 0;
                        const int want = shifted ? 0 : 1000 * k + 100 * z + 10 * y + x;
                        ASSERT_EQ(*c.At({x, y, z}), want) << refuse << " channel " << k;
                    }
        }
        EXPECT_EQ(im.GetScratch()->GetNumVoxels(), 0u);
    }
}

TEST(Image, RefusedResizeWithoutKeepDataRestoresDims) {
    Image3d<imtype> im(false);
    im.GetAllocator().remainPercent = 10;
    Make(im, 3);
    ScriptedMemory mem(4 * kGiB, 2 * kGiB, 2);
    EXPECT_EQ(im.Resize({8, 8, 8}), -1);
    EXPECT_EQ(im.GetDims(), (Dims{4, 4, 4}));
    for (int k = 0; k < 3; ++k) EXPECT_EQ(im.GetChannel(k)->GetDims(), (Dims{4, 4, 4}));
    ExpectPlanes(im);
}

TEST(Image, AssignMatchesChannelsDimsAndKeepData) {
    Image3d<imtype> two(false), five(true);
    Make(two, 2);
    five.AddChannels(5);
    five.Resize({2, 2, 2});
    five = two;
    EXPECT_EQ(five.GetNumChannels(), 2);
    EXPECT_FALSE(five.GetKeepData());
    EXPECT_EQ(five.GetScratch(), nullptr);
    EXPECT_EQ(five.GetDims(), (Dims{4, 4, 4}));
    EXPECT_EQ(*five.GetChannel(1)->At({3, 3, 3}), 1333);
    ExpectPlanes(five);

    Image3d<imtype> big(true), small(false);
    Make(big, 5);
    Make(small, 2);
    small.Resize({1, 1, 1});
    small = big;
    EXPECT_EQ(small.GetNumChannels(), 5);
    EXPECT_TRUE(small.GetKeepData());
    EXPECT_EQ(*small.GetChannel(4)->At({1, 2, 3}), 4321);
    ExpectPlanes(small);
}

TEST(Image, RefusedAssignThrows) {
    Image3d<imtype> src, dst;
    Make(src, 2);
    dst.GetAllocator().remainPercent = 10;
    ScriptedMemory mem(4 * kGiB, 0);
    EXPECT_THROW(dst.Assign(src), std::bad_alloc);
}

TEST(Image, ReverseAll) {
    Image3d<imtype> im;
    Make(im, 2);
    EXPECT_EQ(im.ReverseAll(), 1);
    EXPECT_EQ(*im.GetChannel(1)->At({1, 2, 0}), 1321);
    EXPECT_EQ(*im.GetChannel(0)->At({1, 2, 3}), 21);
    Image3d<imtype> none;
    EXPECT_EQ(none.ReverseAll(), 0);
}

TEST(Image, TwoDimensionalImage) {
    Image2d<float> im(Dims{3, 2});
    EXPECT_EQ(im.nx, 3);
    EXPECT_EQ(im.ny, 2);
    EXPECT_EQ(im.AppendPlanes(2), 2);
    EXPECT_EQ(im.Plane(1), im.GetChannel(1)->Data());
    EXPECT_EQ(im.GetChannel(0)->GetRuntimeClass(), &Chan2d<float>::classInfo);
    EXPECT_EQ(static_cast<Chan2d<float>*>(im.GetChannel(0))->nx, 3);
    EXPECT_EQ(im.Resize({5, 1}), 1);
    EXPECT_EQ(im.ny, 1);
    EXPECT_EQ(im.Plane(0), im.GetChannel(0)->Data());
}

}  // namespace
}  // namespace zun
