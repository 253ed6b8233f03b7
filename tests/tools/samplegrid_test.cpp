// The sample-grid check: its messages in order, the count line, and the no-overlap question.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "document/zundoc.h"
#include "platform/prompt.h"
#include "tools/samplegrid.h"

using namespace zun;

namespace {

struct Outcome {
    bool accepted;
    std::string message;
};

Outcome Try(SetupSampleGrid g, std::array<const char*, 3> sizes,
            std::array<const char*, 3> offsets = {"0", "0", "0"}, const char* voxel = "1e-6",
            int answer = kPromptYes) {
    for (std::size_t k = 0; k < 3; ++k) {
        g.sizeText[k] = sizes[k];
        g.offsetText[k] = offsets[k];
    }
    g.physicalText[2] = voxel;
    HeadlessPrompt p;
    p.QueueAnswer(answer);
    const bool ok = g.Accept(p);
    const auto r = p.Requests();
    return {ok, r.empty() ? std::string() : r.back().text};
}

}  // namespace

TEST(SampleGridCheck, MessagesInOrder) {
    const SetupSampleGrid g({30, 30, 30}, {1, 1e-6, 1e-6, 1e-6}, true);
    const std::string xy = std::string(gridmsg::kXYTooSmall) + "3";
    const std::string limit = std::string(gridmsg::kSizeLimit) + "32767";
    struct Case {
        std::array<const char*, 3> sizes;
        const char* voxel;
        bool ok;
        std::string message;
    } cases[] = {
        {{"abc", "5", "5"}, "1", false, gridmsg::kInvalidValue},
        {{"", "5", "5"}, "1", false, gridmsg::kInvalidValue},
        {{"-4", "5", "5"}, "1", false, gridmsg::kInvalidValue},
        {{"99999999999", "5", "5"}, "1", false, gridmsg::kInvalidValue},
        // within the per-axis limit but two bytes a voxel overflow 32 bits; checked before the limit
        {{"32767", "32767", "3"}, "1", false, gridmsg::kTooLarge},
        {{"4294967295", "4294967295", "4294967295"}, "1", false, gridmsg::kTooLarge},
        {{"2", "100", "100"}, "1", false, xy},
        {{"100", "2", "0"}, "1", true, ""},  // one size 0: an empty grid is allowed
        {{"0", "0", "0"}, "1", true, ""},
        {{"32768", "3", "3"}, "1", false, limit},
        {{"10", "10", "10"}, "0", false, gridmsg::kInvalidVoxelSize},
        {{"10", "10", "10"}, "-1e-6", false, gridmsg::kInvalidVoxelSize},
        {{"10", "10", "10"}, "x", false, gridmsg::kInvalidVoxelSize},
        // not a number and infinity are no sizes: they would spoil every result and the saved file
        {{"10", "10", "10"}, "nan", false, gridmsg::kInvalidVoxelSize},
        {{"10", "10", "10"}, "inf", false, gridmsg::kInvalidVoxelSize},
        {{"10", "10", "10"}, "1e309", false, gridmsg::kInvalidVoxelSize},
        {{" 12 ", "10", "10"}, "1e-12", true, ""},
    };
    for (const Case& c : cases) {
        const Outcome o = Try(g, c.sizes, {"0", "0", "0"}, c.voxel);
        EXPECT_EQ(o.accepted, c.ok) << c.sizes[0] << "," << c.sizes[1] << "," << c.sizes[2] << " " << c.voxel;
        EXPECT_EQ(o.message, c.message) << c.sizes[0];
    }
}

// A size or offset with anything but blanks after its number is refused before anything is taken:
// its leading digits alone would be another grid ("1e309" as 1 slice drops the others unasked).
// The voxel sizes keep the C library's reading.
TEST(SampleGridCheck, SizesAndOffsetsAreReadWhole) {
    const SetupSampleGrid g({30, 30, 30}, {1, 1e-6, 1e-6, 1e-6}, true);
    using namespace std::string_literals;
    for (const std::string& bad :
         {"24abc"s, "1e309"s, "1,5"s, "24.0"s, "0x10"s, "24 5"s, "-3-"s, "24\0"s + "5"}) {
        SetupSampleGrid size = g;
        size.sizeText[2] = bad;
        SetupSampleGrid offset = g;
        offset.offsetText[1] = bad;
        for (SetupSampleGrid* t : {&size, &offset}) {
            HeadlessPrompt p;
            EXPECT_FALSE(t->Accept(p)) << bad;
            EXPECT_EQ(t->Check(), gridmsg::kInvalidValue) << bad;
            ASSERT_EQ(p.Requests().size(), 1u) << bad;
            EXPECT_EQ(p.Requests()[0].text, gridmsg::kInvalidValue);
            EXPECT_EQ(t->sizes, (std::array<std::uint32_t, 3>{30, 30, 30})) << bad;
            EXPECT_EQ(t->offsets, (std::array<std::int32_t, 3>{})) << bad;
        }
        EXPECT_EQ(size.CountLine().text, "Total number of voxels is 0") << bad;
    }
    // Blanks around the number and a sign before it are still a number; a voxel size reads its
    // leading number as before.
    SetupSampleGrid y = g;
    y.sizeText = {"\t20 ", "+20\n", " 20\r\n"};
    y.offsetText = {" -3 ", "+2\t", "0 "};
    y.physicalText[1] = "2e-6 m";
    EXPECT_EQ(y.Check(), "");
    EXPECT_EQ(y.sizes, (std::array<std::uint32_t, 3>{20, 20, 20}));
    EXPECT_EQ(y.offsets, (std::array<std::int32_t, 3>{-3, 2, 0}));
    EXPECT_DOUBLE_EQ(y.physical[1], 2e-6);
}

TEST(SampleGridCheck, OverlapQuestionAndOffsetClamping) {
    const SetupSampleGrid g({30, 30, 30}, {1, 1, 1, 1}, false);
    // 40 on an axis of old size 30: no common region; No keeps the dialog open.
    Outcome o = Try(g, {"30", "30", "30"}, {"40", "0", "0"}, "1", kPromptNo);
    EXPECT_FALSE(o.accepted);
    EXPECT_EQ(o.message, gridmsg::kNoCommonRegion);
    SetupSampleGrid y = g;
    y.sizeText = {"30", "30", "30"};
    y.offsetText = {"40", "-50", "5"};
    HeadlessPrompt p;
    p.QueueAnswer(kPromptYes);
    ASSERT_TRUE(y.Accept(p));
    EXPECT_EQ(y.offsets, (std::array<std::int32_t, 3>{30, -30, 5}));
    // Overlapping offsets ask nothing.
    EXPECT_EQ(Try(g, {"30", "30", "30"}, {"29", "-29", "0"}).message, "");
    // An empty old grid asks nothing either.
    EXPECT_EQ(
        Try(SetupSampleGrid({0, 0, 0}, {1, 1, 1, 1}, false), {"8", "8", "8"}, {"100", "0", "0"}).message, "");
}

// The question comes exactly when the resize would keep no voxel of the old grid: checked against
// the resized document itself, with unequal old and new sizes on every axis and offsets of both
// signs.
TEST(SampleGridCheck, TheQuestionComesExactlyWhenTheResizeLosesTheData) {
    for (std::size_t axis = 0; axis < 3; ++axis)
        for (const auto& [from, to] : {std::pair{8u, 4u}, std::pair{4u, 8u}})
            for (int off = -10; off <= 10; ++off) {
                HeadlessPrompt prompt;
                CZunDoc doc(DocServices{&prompt});
                doc.OnNewDocument();
                std::array<std::uint32_t, 3> oldSizes{4, 3, 3};
                oldSizes[axis] = from;
                ASSERT_EQ(doc.ResizeVolume(oldSizes, {0, 0, 0}), 0);
                ASSERT_EQ(doc.InsertChannel(1, 1, "ct"), 0);
                ZunChan& ct = *doc.GetSample().GetChan(1);
                std::fill_n(ct.Data(), ct.GetNumVoxels(), imtype(9));
                SetupSampleGrid g = SetupSampleGrid::FromDocument(doc);
                g.sizeText[axis] = std::to_string(to);
                g.offsetText[axis] = std::to_string(off);
                prompt.QueueAnswer(kPromptYes);
                ASSERT_TRUE(g.Accept(prompt));
                const bool asked = !prompt.Requests().empty();
                ASSERT_EQ(g.ApplyTo(doc), 0);
                const ZunChan& r = *doc.GetSample().GetChan(1);
                const bool kept = std::count(r.Data(), r.Data() + r.GetNumVoxels(), imtype(9)) > 0;
                EXPECT_EQ(asked, !kept) << "axis " << axis << " " << from << "->" << to << " offset " << off;
                // Accepted offsets lie within -old size .. new size.
                EXPECT_GE(g.offsets[axis], -static_cast<int>(from));
                EXPECT_LE(g.offsets[axis], static_cast<int>(to));
            }
    // The reported case: 20 x 10 x 4 to 10 x 10 x 4. X offset 15 moves every old voxel out and
    // asks; -15 keeps the last five columns and does not.
    const SetupSampleGrid g({20, 10, 4}, {1, 1, 1, 1}, false);
    EXPECT_EQ(Try(g, {"10", "10", "4"}, {"15", "0", "0"}, "1", kPromptNo).message, gridmsg::kNoCommonRegion);
    EXPECT_EQ(Try(g, {"10", "10", "4"}, {"-15", "0", "0"}).message, "");
}

// OK without edits keeps the controller's voxel sizes to the last bit and the document unmodified,
// also for sizes that five significant digits do not show.
TEST(SampleGridCheck, OkWithoutEditsKeepsTheVoxelSizesExactly) {
    HeadlessPrompt prompt;
    CZunDoc doc(DocServices{&prompt});
    doc.OnNewDocument();
    ASSERT_EQ(doc.ResizeVolume({5, 4, 3}, {0, 0, 0}), 0);
    const std::array<double, 4> sizes{1, 1.234567e-6, 1e-5 / 3, 2.5e-6};
    std::vector<double>& v = doc.GetModel().GetParams().voxelPhysicalSize;
    v.assign(sizes.begin(), sizes.end());
    doc.SetModifiedFlag(false);
    SetupSampleGrid g = SetupSampleGrid::FromDocument(doc);
    // Sizes that five digits show exactly keep the usual short form.
    EXPECT_EQ(g.physicalText[0], "1");
    EXPECT_EQ(g.physicalText[3], "2.5e-06");
    EXPECT_EQ(g.physicalText[1], "1.234567e-06");
    ASSERT_TRUE(g.Accept(prompt));
    EXPECT_EQ(g.ApplyTo(doc), 0);
    for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(v[k], sizes[k]) << k;
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(FormatVoxelSize(std::nan("")), "nan");
}

TEST(SampleGridCheck, CountLineThresholds) {
    struct Case {
        std::uint64_t n;
        int red;
        const char* prefix;
    } cases[] = {
        {27000, 55, "Total number of voxels is 27000"},
        {2147483646ULL, 55, "Total number of voxels is"},
        {2147483647ULL, 255, "Large number of voxels 2147483647"},
        {4294967294ULL, 255, "Large number of voxels"},
        {4294967295ULL, 255, "Very large No voxels 4294967295. Consider to split the sample grid"},
    };
    for (const Case& c : cases) {
        const VoxelCountLine l = MakeVoxelCountLine(c.n);
        EXPECT_EQ(l.text.rfind(c.prefix, 0), 0u) << l.text;
        EXPECT_EQ(l.rgb[0], c.red) << c.n;
    }
    EXPECT_EQ(MakeVoxelCountLine(2147483647ULL).rgb[1], 128);
    EXPECT_EQ(MakeVoxelCountLine(4294967295ULL).rgb[1], 0);
    // Products beyond 64 bits saturate instead of wrapping to a small count.
    EXPECT_EQ(GridVoxelCount({4294967295u, 4294967295u, 4294967295u}), UINT64_MAX);
    SetupSampleGrid g({1, 1, 1}, {1, 1, 1, 1}, false);
    g.sizeText = {"4294967295", "4294967295", "4294967295"};
    EXPECT_EQ(g.CountLine().rgb, (std::array<int, 3>{255, 0, 0}));
}

TEST(SampleGridCheck, OpensFromTheDocumentAndAppliesBack) {
    HeadlessPrompt prompt;
    CZunDoc doc(DocServices{&prompt});
    doc.OnNewDocument();
    doc.SetTitle("Rock");
    doc.ResizeVolume({5, 4, 3}, {0, 0, 0});
    doc.SetModifiedFlag(false);
    SetupSampleGrid g = SetupSampleGrid::FromDocument(doc);
    EXPECT_EQ(g.caption, "Rock Setup Sample Grid");
    EXPECT_EQ(g.sizeText, (std::array<std::string, 3>{"5", "4", "3"}));
    EXPECT_EQ(g.offsetText[0], "0");
    // A refused OK changes nothing; the typed values stay for the next try.
    g.physicalText[0] = "0";
    EXPECT_FALSE(g.Accept(prompt));
    EXPECT_FALSE(doc.IsModified());
    g.physicalText[0] = "2";
    g.sizeText[2] = "6";
    g.offsetText[2] = "2";
    ASSERT_TRUE(g.Accept(prompt));
    EXPECT_EQ(g.ApplyTo(doc), 0);
    EXPECT_EQ(doc.GetSample().GetDims(), (std::vector<int>{5, 4, 6}));
    EXPECT_DOUBLE_EQ(doc.GetModel().GetParams().voxelPhysicalSize[0], 2.0);
    EXPECT_TRUE(doc.IsModified());
}
