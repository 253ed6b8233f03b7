#include <gtest/gtest.h>

#include "dochelpers.h"
#include "foundation/tiffio.h"
#include "model/voxelword.h"
#include "platform/progress.h"
#include "testfiles.h"

namespace zun {
namespace {

using Lines = std::vector<std::string>;

// Float slices f0, f1 (4 x 3, values (x + 4y) * (z + 1) / 4) and 16-bit slices i0, i1.
void WriteStack(const std::string& dir) {
    RunPython(R"(
import sys, numpy as np, tifffile
d = sys.argv[1]
for z in range(2):
    a = (np.arange(12, dtype=np.float32).reshape(3, 4)) * (z + 1) / 4
    tifffile.imwrite(d + "/f%d.tif" % z, a)
    tifffile.imwrite(d + "/i%d.tif" % z, (np.arange(12, dtype=np.uint16).reshape(3, 4) * 1000))
)",
              {dir});
}

// The stack written to a folder, and a new document whose progress a test can follow and cancel.
struct StackDocument {
    TempDir dir;
    DocFixture f;
    HeadlessProgress progress;
    CZunDoc doc{DocServices{&f.prompt, &progress, nullptr}};
    StackDocument() {
        WriteStack(dir.Path());
        doc.OnNewDocument();
        doc.Views().Add(&f.hints);
    }
};

TEST(ImageStack, FloatStackSetsTheLimitsFromItsMaximum) {
    StackDocument stack;
    auto& [dir, f, progress, doc] = stack;
    ASSERT_EQ(doc.ResizeVolume({4, 3, 3}, {0, 0, 0}), 0);
    ASSERT_EQ(doc.InsertChannel(1, 1, "ct"), 0);
    f.hints.Take();
    ImageImportSettings s;
    EXPECT_EQ(doc.ImportImageStack("ct", {2, 0}, dir.Path(), {"f0.tif", "f1.tif"}, s), 2);
    const ZunChan& c = *doc.GetSample().FindChan("ct");
    EXPECT_EQ(c.range, (std::vector<float>{0.0f, 5.5f}));  // 11 * 2 / 4
    EXPECT_EQ(doc.GetModel().GetParams().ctAttenHighMeasured[1], 5.5f);
    // Slice 2 holds f0: the sample 2.75 (x 3, y 2) is half the range; read-only bit set.
    EXPECT_EQ(c.Data()[2 * 12 + 11], 0x4000 | 8192);
    EXPECT_EQ(c.Data()[0 * 12 + 11] & 0x3FFF, 16383);
    EXPECT_EQ(c.Data()[1 * 12 + 11], 0);
    EXPECT_EQ(f.hints.Take(), (Lines{"2 ImportSlice ct:2 ct:0 imported 0"}));
    EXPECT_NE(c.note.find("Imported f0.tif into slice 2 at "), std::string::npos);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_GE(progress.Calls(), 2);

    // Manual limits, and a file that cannot be read is reported while the others go in.
    s.autoAttenuation = false;
    s.lacAtZero = 0;
    s.lacAtOne = 11;
    s.retain = true;
    EXPECT_EQ(doc.ImportImageStack("ct", {1, 2}, dir.Path(), {"f0.tif", "missing.tif"}, s), 1);
    EXPECT_EQ(c.range, (std::vector<float>{0.0f, 11.0f}));
    EXPECT_TRUE(c.GetSlice(1)->image);
    EXPECT_EQ(f.Messages(), (Lines{"Could not import missing.tif"}));
    EXPECT_EQ(f.hints.Take(), (Lines{"2 ImportSlice ct:1 imported 1"}));

    // A mixed stack is refused before anything changes.
    const std::vector<imtype> before(c.Data(), c.Data() + 36);
    EXPECT_EQ(doc.ImportImageStack("ct", {0, 1}, dir.Path(), {"f0.tif", "i1.tif"}, s), -1);
    EXPECT_EQ(f.Messages(),
              (Lines{"Import data must be either all floating-point or all fixed-point format; not both."}));
    EXPECT_EQ(std::vector<imtype>(c.Data(), c.Data() + 36), before);

    // Fixed point fills the full word range; the grid can then be fitted to the images.
    ASSERT_EQ(doc.InsertChannel(2, 2, "p"), 0);
    EXPECT_EQ(doc.ImportImageStack("p", {0}, dir.Path(), {"i1.tif"}, ImageImportSettings{}), 1);
    EXPECT_EQ(doc.GetSample().FindChan("p")->Data()[11],
              0x4000 | static_cast<int>(11000 * 16383.0 / 65535 + 0.5));
}

// Cancel in the middle of a stack puts back every slice already read, with its kept image and
// record, and leaves the channel's settings, limits and the document as they were.
TEST(ImageStack, CancelLeavesTheDocumentAsItWas) {
    StackDocument stack;
    auto& [dir, f, progress, doc] = stack;
    ASSERT_EQ(doc.ResizeVolume({4, 3, 3}, {0, 0, 0}), 0);
    ASSERT_EQ(doc.InsertChannel(1, 1, "ct"), 0);
    ImageImportSettings s;
    s.retain = true;
    ASSERT_EQ(doc.ImportImageStack("ct", {0}, dir.Path(), {"f1.tif"}, s), 1);
    ZunChan& c = *doc.GetSample().FindChan("ct");
    const std::vector<imtype> voxels(c.Data(), c.Data() + 36);
    const std::vector<float> range = c.range;
    const std::string note = c.note;
    const std::string keptPath = c.GetSlice(0)->import->path;
    const imtype* keptFirst = c.GetSlice(0)->image ? c.GetSlice(0)->image->Plane(0) : nullptr;
    ASSERT_NE(keptFirst, nullptr);
    const auto counts = c.importCounts;
    doc.SetModifiedFlag(false);
    f.hints.Take();

    // Two slices read, the third file's turn cancelled.
    progress.CancelAtCall(progress.Calls() + 3);
    ImageImportSettings other;
    other.autoAttenuation = false;
    other.lacAtZero = 0;
    other.lacAtOne = 40;
    other.applyScale = true;
    other.scaleFactor = 3;
    EXPECT_EQ(doc.ImportImageStack("ct", {0, 1, 2}, dir.Path(), {"f0.tif", "f1.tif", "f0.tif"}, other), 0);
    EXPECT_EQ(std::vector<imtype>(c.Data(), c.Data() + 36), voxels);
    EXPECT_EQ(c.range, range);
    EXPECT_FALSE(c.applyScale);
    EXPECT_EQ(doc.GetModel().GetParams().ctAttenHighMeasured[1], range[1]);
    EXPECT_EQ(c.note, note);
    EXPECT_EQ(c.importCounts, counts);
    ASSERT_TRUE(c.GetSlice(0)->image);
    EXPECT_EQ(c.GetSlice(0)->image->Plane(0), keptFirst);
    EXPECT_EQ(c.GetSlice(0)->import->path, keptPath);
    EXPECT_FALSE(c.GetSlice(1)->imported);
    EXPECT_FALSE(c.GetSlice(1)->image);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_TRUE(f.hints.Take().empty());
    EXPECT_TRUE(f.Messages().empty());
}

TEST(ImageStack, AStackThatCannotBeReadKeepsTheChannelLimits) {
    TempDir dir;
    WriteStack(dir.Path());
    // Float images whose headers read but whose samples are cut off.
    for (const char* name : {"f0.tif", "f1.tif"}) {
        std::vector<std::uint8_t> b = ReadFileBytes(dir.File(name));
        b.resize(b.size() - 40);
        WriteFileBytes(dir.File(std::string("cut_") + name), b);
    }
    bool isFloat = false;
    ASSERT_EQ(IsTiffFloat(dir.File("cut_f0.tif"), &isFloat), 0);
    ASSERT_TRUE(isFloat);
    DocFixture f;
    ASSERT_EQ(f.doc.ResizeVolume({4, 3, 2}, {0, 0, 0}), 0);
    ASSERT_EQ(f.doc.InsertChannel(1, 1, "ct"), 0);
    ASSERT_EQ(f.doc.ImportImageStack("ct", {0, 1}, dir.Path(), {"f0.tif", "f1.tif"}, ImageImportSettings{}),
              2);
    const ZunChan& c = *f.doc.GetSample().FindChan("ct");
    ASSERT_EQ(c.range, (std::vector<float>{0.0f, 5.5f}));
    const std::vector<imtype> before(c.Data(), c.Data() + 24);
    f.Messages();
    EXPECT_EQ(
        f.doc.ImportImageStack("ct", {0, 1}, dir.Path(), {"cut_f0.tif", "cut_f1.tif"}, ImageImportSettings{}),
        0);
    // Nothing was read, so there is no maximum: the data keep the range they were imported with.
    EXPECT_EQ(c.range, (std::vector<float>{0.0f, 5.5f}));
    EXPECT_EQ(f.doc.GetModel().GetParams().ctAttenHighMeasured[1], 5.5f);
    EXPECT_EQ(std::vector<imtype>(c.Data(), c.Data() + 24), before);
}

TEST(ImageStack, GridFitsTheImportedImages) {
    TempDir dir;
    WriteStack(dir.Path());
    DocFixture f;
    ASSERT_EQ(f.doc.ResizeVolume({6, 5, 4}, {0, 0, 0}), 0);
    EXPECT_FALSE(f.doc.AutosizeGrid());  // nothing imported yet
    EXPECT_EQ(f.doc.ImportImageStack("Void", {1, 2}, dir.Path(), {"i0.tif", "i1.tif"}, ImageImportSettings{}),
              2);
    f.Messages();
    EXPECT_TRUE(f.doc.AutosizeGrid());
    EXPECT_EQ(f.Messages(), (Lines{"Fit the sample grid to the imported images?"}));
    EXPECT_EQ(f.doc.GetSample().GetDims(), (Dims{4, 3, 2}));
    EXPECT_EQ(f.doc.GetSample().GetChan(0)->Data()[12 + 11] & 0x3FFF,
              static_cast<int>(11000 * 16383.0 / 65535 + 0.5));  // i1 now in slice 1
}

}  // namespace
}  // namespace zun
