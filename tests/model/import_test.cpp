#include <gtest/gtest.h>

#include <cmath>

#include "foundation/foundationclasses.h"
#include "model/importinfo.h"
#include "model/sample.h"
#include "model/sampleclasses.h"
#include "model/slice.h"

namespace zun {
namespace {

TEST(ImportRecord, MergeRules) {
    ImportInfo a, b, unset;
    a.path = "a.tif";
    b.path = "b.tif";
    a.bits = 16;
    b.bits = 8;
    a.scale = 1.0f;
    b.scale = 2.0f;
    a.position = {3, 4};
    b.position = {3, 5};
    ImportInfo m = a;
    m.Merge(b);
    EXPECT_EQ(m.path, "...");
    EXPECT_EQ(m.bits, 2147483646);
    EXPECT_EQ(m.scale, -1.0f);
    EXPECT_EQ(m.position, (ImportInfo::Pair{3, 2147483646}));
    ImportInfo u;
    u.Merge(a);
    EXPECT_EQ(u, a);
    ImportInfo keep = a;
    keep.Merge(unset);
    EXPECT_EQ(keep, a);
    keep.Reset();
    EXPECT_EQ(keep, unset);
}

TEST(ImportRecord, ArchiveLayout) {
    ImportInfo r;
    r.path = "x.tif";
    r.bits = 12;
    r.scale = 1.0f;
    r.position = {-5, 3};
    MemoryStream s;
    {
        Archive ar(s, Archive::Mode::Store);
        r.Serialize(ar);
    }
    // Four pairs (count + two values), the stamp, the path, bits and scale.
    ASSERT_EQ(s.Bytes().size(), 4u * 12 + 4 + 1 + 5 + 4 + 4);
    EXPECT_EQ(s.Bytes()[40], 0xFB);  // position x = -5
    s.Rewind();
    ImportInfo back;
    Archive ar(s, Archive::Mode::Load);
    back.Serialize(ar);
    EXPECT_EQ(back, r);
}

TEST(SectionedText, AppendAndFind) {
    const std::string key = "Threshold", text = "Threshold 7";
    std::string n = "A<#@#>Threshold 5<#@#>B<#@#>";
    LogText::AppendSection(&text, n, &key);
    EXPECT_EQ(n, "A<#@#>Threshold 7<#@#>B<#@#>");
    std::string plain = "A";
    LogText::AppendSection(&text, plain, &key);
    EXPECT_EQ(plain, "A\n<#@#>Threshold 7<#@#>");
    std::string found;
    EXPECT_TRUE(LogText::FindSection(n, "Thresh", found));
    EXPECT_EQ(found, "Threshold 7");
    EXPECT_FALSE(LogText::FindSection(n, "Zzz", found));
    LogText::AppendSection(nullptr, n, &key);
    EXPECT_EQ(n, "A<#@#>B<#@#>");
    LogText::AppendSection(&text, n, nullptr);
    EXPECT_EQ(n, "A<#@#>B<#@#>Threshold 7<#@#>");
    LogText::AppendSection(nullptr, n, nullptr);
    EXPECT_EQ(n, "");
    LogText::AppendSection(&text, n, nullptr);
    EXPECT_EQ(n, "Threshold 7<#@#>");
}

TEST(SampleConversion, IntegerRule) {
    IntegerSampleRule r16(16, nullptr, nullptr);
    EXPECT_EQ(r16(65535), 0x7FFF);
    EXPECT_EQ(r16(0), 0x4000);
    EXPECT_EQ(r16(32768), 0x4000 | 8192);
    const float two = 2.0f, minus = -300.0f;
    IntegerSampleRule r8(8, &two, nullptr);
    EXPECT_EQ(r8(128), 0x4000 | 16383);
    IntegerSampleRule r8o(8, nullptr, &minus);
    EXPECT_EQ(r8o(200), 0x4000);
    // Wide integer samples keep a usable mask instead of an undefined shift.
    IntegerSampleRule r32(32, nullptr, nullptr), r64(64, nullptr, nullptr);
    EXPECT_EQ(r32(0xFFFFFFFFull), 0x7FFF);
    EXPECT_EQ(r32(0x80000000ull), 0x4000 | 8192);
    EXPECT_EQ(r64(~0ull), 0x7FFF);
    EXPECT_EQ(r64(0), 0x4000);
    // Boundary images: any sample above 0 is inside; 0/1 masks work.
    IntegerSampleRule r1(1, nullptr, nullptr);
    EXPECT_EQ(r1.Bound(1), 16383);
    EXPECT_EQ(r1.Bound(0), 0);
    EXPECT_EQ(r8.Bound(255), 16383);
}

TEST(SampleConversion, FloatRule) {
    FloatSampleRule r(1.0f, 0.0f, nullptr, nullptr);
    EXPECT_EQ(r(0.25f), 0x4000 | 4096);
    EXPECT_EQ(r(-3.0f), 0x4000);
    EXPECT_EQ(r(7.0f), 0x7FFF);
    EXPECT_EQ(r(NAN), 0x4000);
    EXPECT_EQ(r.Bound(0.0f), 0);
    EXPECT_EQ(r.Bound(0.5f), 16383);
    FloatSampleRule flat(3.0f, 3.0f, nullptr, nullptr);
    EXPECT_EQ(flat(100.0f), 0x4000);
    EXPECT_EQ(flat(-100.0f), 0x4000);
    const float scale = 0.5f, offset = 0.25f;
    FloatSampleRule so(0.0f, 1.0f, &scale, &offset);
    EXPECT_EQ(so(0.5f), 0x4000 | 8192);
}

class PlacementTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterFoundationClasses();
        RegisterSampleClasses();
        sample.Resize(Dims{30, 20, 2});
        sample.InsertChan(1, 0, "ct_1", 1);
        chan = sample.GetChan(0);
    }
    // Gives slice z an image of w x h words, each word 0x4000 | (x + 100*y), and a record.
    Slice& GiveImage(int z, int w, int h) {
        Slice& s = *chan->GetSlice(z);
        s.image = std::make_unique<Image2d<imtype>>(Dims{w, h});
        s.image->InsertChannel(0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                s.image->Plane(0)[y * w + x] = static_cast<imtype>(0x4000 | (x + 100 * y));
        s.import = std::make_unique<ImportInfo>();
        s.import->resolution = {w, h};
        s.import->cropRange = {w, h};
        s.import->cropOffset = {0, 0};
        s.import->position = {0, 0};
        return s;
    }
    imtype At(int x, int y, int z) const { return chan->Data()[(z * 20 + y) * 30 + x]; }

    ZunImage sample;
    ZunChan* chan = nullptr;
};

TEST_F(PlacementTest, NegativeAndPositivePositions) {
    Slice& s = GiveImage(1, 40, 30);
    s.import->cropRange = {20, 10};
    s.import->cropOffset = {2, 1};
    s.import->position = {-5, 3};
    chan->PlaceSliceImage(1);
    // Image columns 2+5 .. 2+19 go to grid columns 0..14, rows 1.. to grid rows 3..12.
    EXPECT_EQ(At(0, 3, 1), 0x4000 | (7 + 100 * 1));
    EXPECT_EQ(At(14, 12, 1), 0x4000 | (21 + 100 * 10));
    EXPECT_EQ(At(15, 3, 1), 0);
    EXPECT_EQ(At(0, 13, 1), 0);
    EXPECT_EQ(At(0, 2, 1), 0);
    EXPECT_EQ(At(0, 3, 0), 0);
    std::array<std::int32_t, 4> rect{};
    ASSERT_TRUE(s.GetImportedRect(rect));
    EXPECT_EQ(rect, (std::array<std::int32_t, 4>{-5, 3, 15, 13}));

    // Placing again first clears the plane; a window beyond the grid is clipped.
    s.import->position = {25, 15};
    s.import->cropOffset = {0, 0};
    chan->PlaceSliceImage(1);
    EXPECT_EQ(At(0, 3, 1), 0);
    EXPECT_EQ(At(25, 15, 1), 0x4000);
    EXPECT_EQ(At(29, 19, 1), 0x4000 | (4 + 400));
}

TEST_F(PlacementTest, DamagedRecordsPlaceNothing) {
    Slice& s = GiveImage(0, 10, 10);
    s.import->cropOffset = {50, 0};  // outside the image
    chan->PlaceSliceImage(0);
    EXPECT_EQ(At(0, 0, 0), 0);
    s.import->cropOffset = {-4, 0};
    chan->PlaceSliceImage(0);
    EXPECT_EQ(At(0, 0, 0), 0);
    s.import->cropOffset = {0, 0};
    s.import->position = {ImportInfo::kUnset, 0};
    chan->PlaceSliceImage(0);
    EXPECT_EQ(At(0, 0, 0), 0);
    s.import->position = {-2147483647, -2147483647};
    chan->PlaceSliceImage(0);
    EXPECT_EQ(At(0, 0, 0), 0);
    s.import->position = {0, 0};
    chan->PlaceSliceImage(0);
    EXPECT_EQ(At(9, 9, 0), 0x4000 | 909);
}

TEST_F(PlacementTest, RecordEditingOverTheTree) {
    Slice& a = GiveImage(0, 10, 8);
    Slice& b = GiveImage(1, 12, 8);
    a.import->path = "a.tif";
    b.import->path = "b.tif";
    a.import->bits = 16;
    b.import->bits = 8;
    a.import->scale = b.import->scale = 1.0f;
    std::vector<ImageItem*> items{&sample};
    ImportInfo combined = ImageItem::CollectImport(items);
    EXPECT_EQ(combined.path, "...");
    EXPECT_EQ(combined.bits, ImportInfo::kMixed);
    EXPECT_EQ(combined.resolution, (ImportInfo::Pair{ImportInfo::kMixed, 8}));

    sample.SaveImport();
    EXPECT_TRUE(ImageItem::IsImportSaved(items));
    EXPECT_TRUE(sample.IsImportDefault());
    // Edit: crop range 6 x 20 asked; the mixed fields stay per slice; y is capped by the resolution.
    ImportInfo edit = combined;
    edit.cropRange = {6, 20};
    edit.position = {2, 1};
    a.modified = b.modified = false;
    EXPECT_TRUE(ImageItem::ApplyImport(items, edit));
    EXPECT_EQ(a.import->bits, 16);
    EXPECT_EQ(b.import->bits, 8);
    EXPECT_EQ(a.import->path, "a.tif");
    EXPECT_EQ(a.import->cropRange, (ImportInfo::Pair{6, 8}));
    EXPECT_EQ(b.import->position, (ImportInfo::Pair{2, 1}));
    EXPECT_TRUE(a.modified);
    EXPECT_FALSE(ImageItem::IsImportSaved(items));
    EXPECT_FALSE(sample.IsImportDefault());
    EXPECT_EQ(ImageItem::CollectCropRange(items), (ImportInfo::Pair{6, 8}));

    sample.RestoreImport();
    EXPECT_TRUE(ImageItem::IsImportSaved(items));
    EXPECT_EQ(a.import->cropRange, (ImportInfo::Pair{10, 8}));
    a.import->scale = 3.0f;
    a.import->position = {4, 4};
    EXPECT_TRUE(sample.ApplyDefaultImport());
    EXPECT_EQ(a.import->scale, 1.0f);
    EXPECT_EQ(a.import->position, (ImportInfo::Pair{0, 0}));
    EXPECT_TRUE(sample.IsImportDefault());
    sample.DropSavedImport();
    EXPECT_FALSE(a.savedImport);

    EXPECT_TRUE(ImageItem::HasRetainedImages(std::vector<ImageItem*>{chan}));
    b.ReleaseImage();
    EXPECT_FALSE(ImageItem::HasRetainedImages(std::vector<ImageItem*>{chan}));
    EXPECT_TRUE(ImageItem::HasRetainedImages(std::vector<ImageItem*>{&a}));
    EXPECT_EQ(a.GetExtent(), (std::vector<std::int32_t>{30, 20, 1}));
    EXPECT_EQ(sample.GetExtent(), (std::vector<std::int32_t>{30, 20, 2}));
}

TEST_F(PlacementTest, ClearingAndImportEvents) {
    Slice& s = GiveImage(1, 5, 5);
    s.imported = true;
    chan->importCounts = {0, 0, 1};
    chan->PlaceSliceImage(1);
    EXPECT_EQ(chan->ClearSliceImport(1), 1);
    EXPECT_EQ(chan->importCounts[2], 0);
    EXPECT_FALSE(s.image);
    EXPECT_EQ(*s.import, ImportInfo());
    EXPECT_EQ(At(0, 0, 1), 0);
    EXPECT_TRUE(s.modified);
    EXPECT_FALSE(sample.ClearSlices(0));

    chan->note = "keep<Start file import event 1\n<End file import event>\nmid<Start file import event 2";
    chan->LogImportEvent("<Start file import event 3\n<End file import event>\n", true);
    EXPECT_EQ(chan->note, "keepmid 2\n\n<#@#><Start file import event 3\n<End file import event>\n<#@#>");
}

}  // namespace
}  // namespace zun
