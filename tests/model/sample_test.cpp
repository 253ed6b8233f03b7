#include "platform/archiveio.h"
#include "model/sample.h"

#include <gtest/gtest.h>

#include "foundation/foundationclasses.h"
#include "foundation/memoryguard.h"
#include "foundation/voxelarchive.h"
#include "model/sampleclasses.h"
#include "platform/archive.h"

namespace zun {
namespace {

class SampleTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterFoundationClasses();
        RegisterModelClasses();
    }
    void TearDown() override { SetMemoryStatusSource({}); }

    // A sample of the given grid with one channel of each kind.
    static std::unique_ptr<ZunImage> MakeSample(int nx, int ny, int nz) {
        auto s = std::make_unique<ZunImage>();
        s->Resize(Dims{nx, ny, nz});
        return s;
    }
};

using test::LoadObject;
using test::StoreObject;

TEST_F(SampleTest, ChannelNamesAndLookup) {
    auto s = MakeSample(4, 3, 2);
    EXPECT_EQ(s->MakeChanName(ZunChan::kComposition), "comp_1");
    ASSERT_EQ(s->InsertChan(0, 0, "comp_1", s->PickUnusedColour()), 1);
    ASSERT_EQ(s->InsertChan(0, 1, "comp_7", s->PickUnusedColour()), 2);
    ASSERT_EQ(s->InsertChan(1, 2, "ct_2", s->PickUnusedColour()), 3);
    EXPECT_EQ(s->MakeChanName(ZunChan::kComposition), "comp_8");
    EXPECT_EQ(s->MakeChanName(ZunChan::kXrayCt), "ct_3");
    EXPECT_EQ(s->MakeChanName(ZunChan::kBoundary), "bound_1");
    EXPECT_EQ(s->FindChanIndex("Comp_1"), -1);
    EXPECT_EQ(s->FindChanIndex("comp_7"), 1);
    EXPECT_EQ(s->InsertChan(0, 0, "comp_7", 0), -2);
    EXPECT_EQ(s->GetChanCount(), 3);
    EXPECT_TRUE(s->HasItemName("ct_2"));
    // The palette is handed out in order, skipping colours in use.
    EXPECT_EQ(s->GetColours(0)[0], 0x0000FF);
    EXPECT_EQ(s->GetColours(1)[0], 0x00FF00);
    EXPECT_EQ(s->GetColours(2)[0], 0xFF0000);
    EXPECT_EQ(s->GetChan(2)->GetSliceCount(), 2);
    EXPECT_EQ(s->GetChanLabel(2), "LAC_mono");
    // A new CT channel's beam: an enabled source, a disabled detector, a disabled hardening layer.
    ZunChan& ct = *s->GetChan(2);
    ASSERT_EQ(ct.filters.size(), 3u);
    EXPECT_EQ(ct.filters.filters[0]->name, "Source");
    EXPECT_TRUE(ct.filters.filters[0]->enabled);
    EXPECT_EQ(ct.filters.filters[0]->table.size(), 2u);
    EXPECT_EQ(ct.filters.filters[1]->name, "Detector");
    EXPECT_FALSE(ct.filters.filters[1]->enabled);
    EXPECT_EQ(ct.filters.filters[2]->name, "Beam Hardening");
    EXPECT_FLOAT_EQ(ct.filters.maxStep, 0.1f);
    EXPECT_EQ(s->GetChan(0)->filters.size(), 0u);
    ct.polychromatic = true;
    EXPECT_EQ(ct.GetLabel(), "LAC_poly_s");
    ct.filters.filters[2]->enabled = true;
    ct.filters.AddDeviceFilter("mine", true);
    EXPECT_EQ(ct.GetLabel(), "LAC_poly_sbu");
    ct.filters.filters[0]->enabled = false;
    ct.dataType = 1;
    EXPECT_EQ(ct.GetLabel(), "LPC_poly_bu");
    for (auto& f : ct.filters.filters) f->enabled = false;
    EXPECT_EQ(ct.GetLabel(), "LPC_poly");
    ct.polychromatic = false;
    ct.dataType = 0;
    EXPECT_TRUE(s->GetChan(2)->autoAttenuation);
    EXPECT_FALSE(s->GetChan(0)->autoAttenuation);
    EXPECT_EQ(s->GetChan(0)->parent, s.get());
    EXPECT_EQ(s->children.size(), 3u);
}

TEST_F(SampleTest, InsertKeepsKindsInOrderAndTheActiveBoundary) {
    auto s = MakeSample(2, 2, 2);
    s->InsertChan(0, 0, "comp_1", 1);
    s->InsertChan(3, 1, "bound_1", 2);
    s->SetActiveBoundary("bound_1", true);
    EXPECT_EQ(s->activeBoundaryIndex, 1);
    EXPECT_EQ(s->boundaryMaskWord, 16383);
    // A CT channel asked for the end still goes before the boundary, a composition asked for
    // the end after the other composition.
    s->InsertChan(1, 99, "ct_1", 3);
    s->InsertChan(0, 99, "comp_2", 4);
    EXPECT_EQ(s->GetChanNames(), (std::vector<std::string>{"comp_1", "comp_2", "ct_1", "bound_1"}));
    EXPECT_EQ(s->activeBoundaryIndex, 3);
    EXPECT_STREQ(s->GetChan(3)->GetRuntimeClass()->name, "Bound");
    EXPECT_EQ(s->GetChanLabel(3), "bound");
    s->RemoveChan("comp_1");
    EXPECT_EQ(s->activeBoundaryIndex, 2);
    EXPECT_TRUE(s->boundaryMaskOn);
    s->RemoveChan("no such channel");  // nothing happens
    EXPECT_EQ(s->GetChanCount(), 3);
    EXPECT_EQ(s->RenameChan("ct_1", 0), -1);
    EXPECT_EQ(s->RenameChan("comp_2", 0), 0);
    EXPECT_EQ(s->RenameChan("mask", 2), 0);
    EXPECT_EQ(s->GetActiveBoundaryName(), "mask");
    EXPECT_EQ(s->activeBoundaryIndex, 2);
    EXPECT_FALSE(s->HasItemName("bound_1"));
    EXPECT_TRUE(s->HasItemName("mask"));
    s->RemoveChan("mask");
    EXPECT_EQ(s->activeBoundaryIndex, -1);
    EXPECT_FALSE(s->boundaryMaskOn);
    EXPECT_EQ(s->boundaryMaskWord, 0);
    // A non-boundary channel cannot be the active mask.
    s->SetActiveBoundary("ct_1", true);
    EXPECT_EQ(s->activeBoundaryIndex, -1);
    EXPECT_FALSE(s->boundaryMaskOn);
}

TEST_F(SampleTest, VoxelWordAccess) {
    auto s = MakeSample(3, 2, 2);
    s->InsertChan(0, 0, "comp_1", 1);
    ZunChan& c = *s->GetChan(0);
    c.range = {2.0f, 12.0f};
    EXPECT_EQ(s->SetChanRawWord(0, 5, 70000), 0);
    EXPECT_EQ(c.Data()[5], 65535);
    EXPECT_EQ(s->SetChanRawWord(0, 4, -5), 0);
    EXPECT_EQ(c.Data()[4], 0);
    c.Data()[3] = 0xC000;
    EXPECT_EQ(s->SetChanNormValue(0, 3, 0.99999f), 0);
    EXPECT_EQ(c.Data()[3], 0xC000 | 16382);
    EXPECT_FLOAT_EQ(s->GetChanPhysicalValue(0, 2, 1, 1), 2.0f);  // index 11, word 0
    c.Data()[11] = 0x7FFF;
    EXPECT_FLOAT_EQ(s->GetChanPhysicalValue(0, 2, 1, 1), 12.0f);
    EXPECT_FLOAT_EQ(s->GetChanNormValue(0, 11), 1.0f);
    // Outside the channel list or the grid: 0.0 and 1, nothing written.
    EXPECT_EQ(s->SetChanNormValue(1, 0, 0.5f), 1);
    EXPECT_EQ(s->SetChanNormValue(0, 12, 0.5f), 1);
    EXPECT_EQ(s->SetChanRawWord(0, -1, 5), 1);
    EXPECT_FLOAT_EQ(s->GetChanNormValue(0, 12), 0.0f);
    EXPECT_FLOAT_EQ(s->GetChanPhysicalValue(0, 3, 0, 0), 0.0f);
    EXPECT_FLOAT_EQ(s->GetChanPhysicalValue(-1, 0, 0, 0), 0.0f);
}

TEST_F(SampleTest, BlockSetsAndSliceMarkers) {
    auto s = MakeSample(4, 4, 5);
    s->InsertChan(1, 0, "ct_1", 1);
    ZunChan& c = *s->GetChan(0);
    c.range = {0.0f, 10.0f};
    EXPECT_EQ(s->SetChanBlockValue(0, {1, 1, 3}, {2, 2, 5}, 5.0f, true, false, WordParts{}, true), 0);
    EXPECT_EQ(c.Data()[(3 * 4 + 1) * 4 + 1], 0x4000 | 8192);
    // The box is clipped at the last plane: slices 3 and 4 are marked, and no more.
    EXPECT_TRUE(c.GetSlice(3)->imported);
    EXPECT_TRUE(c.GetSlice(4)->imported);
    EXPECT_FALSE(c.GetSlice(2)->imported);
    EXPECT_EQ(c.importCounts[2], 2);
    EXPECT_EQ(s->SetChanBlockValue(0, {0, 0, 4}, {4, 4, 1}, 11.0f, false, false, WordParts{}, true), 2);
    EXPECT_FALSE(c.GetSlice(4)->imported);
    EXPECT_EQ(c.importCounts[2], 1);
    EXPECT_EQ(s->SetChanBlockValueMasked(0, {0, 0, 0}, {4, 4, 5}, 4.0f, 6.0f, 1.0f, false, true,
                                         WordParts{true, false, true}, false),
              0);
    EXPECT_EQ(c.Data()[(3 * 4 + 1) * 4 + 1], 0x4000 | 0x8000 | 1638);
    EXPECT_EQ(s->SetChanBlockValue(3, {0, 0, 0}, {1, 1, 1}, 1.0f, false, false, WordParts{}, false), -1);
}

TEST_F(SampleTest, ReadOnlyTestAndMeanFractions) {
    auto s = MakeSample(2, 2, 2);
    EXPECT_TRUE(s->AllVoxelsRO());
    s->InsertChan(0, 0, "comp_1", 1);
    s->InsertChan(0, 1, "comp_2", 2);
    s->InsertChan(1, 2, "ct_1", 3);
    for (int k = 0; k < 8; ++k) {
        s->GetChan(0)->Data()[k] = 0x4000 | 16383;
        s->GetChan(1)->Data()[k] = 0x4000 | (k < 4 ? 16383 : 0);
        s->GetChan(2)->Data()[k] = 0x4000;
    }
    EXPECT_TRUE(s->AllVoxelsRO());
    std::vector<float> means{9.0f};
    s->GetMeanVolumeFractions(means);
    ASSERT_EQ(means.size(), 2u);
    EXPECT_FLOAT_EQ(means[0], 1.0f);
    EXPECT_FLOAT_EQ(means[1], 0.5f);
    s->GetChan(2)->Data()[7] = 5;
    EXPECT_FALSE(s->AllVoxelsRO());
    s->GetChan(2)->Data()[7] = 0x4000;
    s->InsertChan(3, 3, "bound_1", 4);
    EXPECT_FALSE(s->AllVoxelsRO());
}

TEST_F(SampleTest, MeanFractionsStayExactOnLargeGrids) {
    // 2^25 voxels: a float running sum would stall at 2^24.
    auto s = MakeSample(512, 256, 256);
    s->InsertChan(0, 0, "comp_1", 1);
    imtype* d = s->GetChan(0)->Data();
    std::fill(d, d + s->GetNumVoxels(), imtype{16383});
    std::vector<float> means;
    s->GetMeanVolumeFractions(means);
    EXPECT_FLOAT_EQ(means.at(0), 1.0f);
}

TEST_F(SampleTest, SliceInsertAndDelete) {
    auto s = MakeSample(2, 2, 3);
    s->InsertChan(0, 0, "comp_1", 1);
    s->InsertChan(1, 1, "ct_1", 2);
    for (int z = 0; z < 3; ++z)
        for (int c = 0; c < 2; ++c)
            std::fill_n(s->GetChan(c)->Data() + 4 * z, 4, static_cast<imtype>(10 * z + c + 1));
    EXPECT_EQ(s->InsertSlices(1, 2), 5);
    EXPECT_EQ(s->nz, 5);
    for (int c = 0; c < 2; ++c) {
        ZunChan& ch = *s->GetChan(c);
        EXPECT_EQ(ch.nz, 5);
        EXPECT_EQ(ch.GetSliceCount(), 5);
        EXPECT_EQ(ch.Data()[0], c + 1);
        EXPECT_EQ(ch.Data()[4], 0);
        EXPECT_EQ(ch.Data()[12], 10 + c + 1);
        EXPECT_EQ(ch.Data()[16], 20 + c + 1);
        for (int z = 0; z < 5; ++z) {
            EXPECT_EQ(ch.GetSlice(z)->index, z);
            EXPECT_EQ(ch.children[static_cast<std::size_t>(z)], ch.GetSlice(z));
        }
    }
    EXPECT_EQ(s->Plane(1), s->GetChan(1)->Data());
    // Runs: {4, 3} deleted first as one run, then {0}.
    EXPECT_EQ(s->DeleteSlices({4, 0, 3, 3}), 2);
    EXPECT_EQ(s->GetChan(0)->Data()[0], 0);
    EXPECT_EQ(s->GetChan(0)->Data()[4], 0);
    EXPECT_EQ(s->GetChan(1)->nz, 2);
    EXPECT_EQ(s->GetChan(1)->GetSlice(1)->index, 1);
    EXPECT_EQ(s->DeleteSlices({7}), 2);
}

TEST_F(SampleTest, SliceInsertRollsBackWhenMemoryIsRefused) {
    SetMemoryStatusSource([](MemoryStatus& st) {
        st.totalPhysical = 100ull << 20;
        st.availablePhysical = 50ull << 20;
        return true;
    });
    auto s = MakeSample(64, 64, 64);
    s->GetAllocator().remainPercent = 1;
    s->InsertChan(0, 0, "comp_1", 1);
    s->InsertChan(0, 1, "comp_2", 2);
    s->GetChan(1)->Data()[100] = 77;
    // Each channel is 512 KiB; 8 more planes of each still fit, 8192 (64 MiB) do not.
    EXPECT_EQ(s->InsertSlices(0, 8), 72);
    EXPECT_EQ(s->InsertSlices(10, 8192), -1);
    EXPECT_EQ(s->nz, 72);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(s->GetChan(c)->nz, 72);
        EXPECT_EQ(s->GetChan(c)->GetSliceCount(), 72);
    }
    EXPECT_EQ(s->GetChan(1)->Data()[100 + 8 * 64 * 64], 77);
    // Refused part way: the probe and the first channel's new planes fit, the second's do not.
    auto calls = std::make_shared<int>(0);
    SetMemoryStatusSource([calls](MemoryStatus& st) {
        st.totalPhysical = 100ull << 20;
        st.availablePhysical = ++*calls <= 2 ? 50ull << 20 : 1ull << 20;
        return true;
    });
    EXPECT_EQ(s->InsertSlices(5, 100), -1);
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(s->GetChan(c)->nz, 72);
        EXPECT_EQ(s->GetChan(c)->GetSliceCount(), 72);
    }
    EXPECT_EQ(s->GetChan(1)->Data()[100 + 8 * 64 * 64], 77);
}

TEST_F(SampleTest, ReverseAndResizeMoveTheSlices) {
    auto s = MakeSample(2, 2, 3);
    s->InsertChan(0, 0, "comp_1", 1);
    ZunChan& c = *s->GetChan(0);
    Slice* first = c.GetSlice(0);
    c.Data()[0] = 9;
    EXPECT_EQ(c.ReverseZ(), 1);
    EXPECT_EQ(c.GetSlice(2), first);
    EXPECT_EQ(first->index, 2);
    EXPECT_EQ(c.Data()[8], 9);
    // Keep-data resize: two planes dropped at the front, one added at the back.
    first->import = std::make_unique<ImportInfo>();
    first->import->position = {3, 4};
    first->import->cropRange = {1, 1};
    EXPECT_EQ(s->Resize(Dims{2, 2, 2}, Dims{1, 1, 2}), 1);
    EXPECT_EQ(c.nz, 2);
    EXPECT_EQ(c.GetSliceCount(), 2);
    EXPECT_EQ(c.GetSlice(0), first);
    EXPECT_EQ(first->import->position, (ImportInfo::Pair{2, 3}));
    EXPECT_EQ(c.Data()[3], 0);
}

TEST_F(SampleTest, ImportedExtent) {
    auto s = MakeSample(10, 10, 4);
    s->InsertChan(0, 0, "comp_1", 1);
    s->InsertChan(0, 1, "comp_2", 1);
    auto place = [](Slice* sl, int px, int py, int rx, int ry) {
        sl->import = std::make_unique<ImportInfo>();
        sl->import->position = {px, py};
        sl->import->cropRange = {rx, ry};
    };
    std::array<std::int32_t, 3> min{}, ext{};
    s->GetImportedExtent(min, ext);
    EXPECT_EQ(ext, (std::array<std::int32_t, 3>{0, 0, 0}));
    place(s->GetChan(0)->GetSlice(1), 2, 3, 4, 4);
    place(s->GetChan(1)->GetSlice(2), -1, 5, 3, 2);
    s->GetImportedExtent(min, ext);
    EXPECT_EQ(min, (std::array<std::int32_t, 3>{-1, 3, 1}));
    EXPECT_EQ(ext, (std::array<std::int32_t, 3>{7, 4, 2}));
}

TEST_F(SampleTest, ArchiveRoundTripWithAllChannelKinds) {
    auto s = MakeSample(5, 4, 3);
    s->InsertChan(0, 0, "comp_1", 1);
    s->InsertChan(1, 1, "ct_1", 2);
    s->InsertChan(2, 2, "prop_1", 3);
    s->InsertChan(3, 3, "bound_1", 4);
    s->SetActiveBoundary("bound_1", true);
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 60; ++k) s->GetChan(c)->Data()[k] = static_cast<imtype>(k * 1000 + c);
    ASSERT_EQ(s->GetChan(0)->compound.SetFormula("CaCO3", true), 0);
    s->GetChan(0)->compound.density = 2.71;
    EXPECT_EQ(s->GetChanLabel(0), "CaCO3");
    ZunChan& ct = *s->GetChan(1);
    ct.range = {-1.5f, 7.25f};
    ct.note = "A<#@#>B<#@#>";
    ct.polychromatic = true;
    ct.dataType = 1;
    ct.applyScale = true;
    ct.scaleFactor = 2.5f;
    ct.cropX = -3;
    ct.histVars.binCount = 77;
    ct.importCounts = {0, 0, 1};
    ct.GetSlice(2)->import = std::make_unique<ImportInfo>();
    ct.GetSlice(2)->import->path = "slice.tif";
    ct.GetSlice(2)->image = std::make_unique<Image2d<imtype>>(Dims{2, 2});
    ct.GetSlice(2)->image->InsertChannel(0);
    ct.GetSlice(2)->image->Plane(0)[3] = 0x4123;
    ct.GetSlice(2)->imported = true;

    auto back = LoadObject<ZunImage>(StoreObject(*s));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->GetChanNames(), s->GetChanNames());
    EXPECT_EQ(back->GetDims(), s->GetDims());
    EXPECT_EQ(back->activeBoundaryIndex, 3);
    EXPECT_TRUE(back->boundaryMaskOn);
    EXPECT_TRUE(back->HasItemName("prop_1"));
    EXPECT_STREQ(back->GetChan(3)->GetRuntimeClass()->name, "Bound");
    for (int c = 0; c < 4; ++c) {
        const ZunChan& a = *s->GetChan(c);
        const ZunChan& b = *back->GetChan(c);
        EXPECT_TRUE(std::equal(a.Data(), a.Data() + 60, b.Data()));
        EXPECT_EQ(b.kind, a.kind);
        EXPECT_EQ(b.range, a.range);
        EXPECT_EQ(b.colours, a.colours);
        EXPECT_EQ(b.parent, back.get());
        ASSERT_EQ(b.GetSliceCount(), 3);
        EXPECT_EQ(b.GetSlice(2)->owner, &b);
        EXPECT_EQ(b.GetSlice(2)->index, 2);
    }
    EXPECT_TRUE(back->GetChan(0)->compound == s->GetChan(0)->compound);
    const ZunChan& ct2 = *back->GetChan(1);
    ASSERT_EQ(ct2.filters.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(ct2.filters.filters[k]->name, ct.filters.filters[k]->name);
        EXPECT_EQ(ct2.filters.filters[k]->enabled, ct.filters.filters[k]->enabled);
        EXPECT_EQ(ct2.filters.filters[k]->table, ct.filters.filters[k]->table);
    }
    EXPECT_EQ(ct2.GetLabel(), "LPC_poly_s");
    EXPECT_EQ(ct2.note, ct.note);
    EXPECT_TRUE(ct2.polychromatic);
    EXPECT_EQ(ct2.dataType, 1);
    EXPECT_FLOAT_EQ(ct2.scaleFactor, 2.5f);
    EXPECT_EQ(ct2.cropX, -3);
    EXPECT_TRUE(ct2.histVars == ct.histVars);
    EXPECT_EQ(ct2.importCounts, ct.importCounts);
    ASSERT_TRUE(ct2.GetSlice(2)->import);
    EXPECT_EQ(ct2.GetSlice(2)->import->path, "slice.tif");
    ASSERT_TRUE(ct2.GetSlice(2)->image);
    EXPECT_EQ(ct2.GetSlice(2)->image->Plane(0)[3], 0x4123);
    EXPECT_TRUE(ct2.GetSlice(2)->imported);
    EXPECT_FALSE(ct2.GetSlice(1)->import);
}

// Writes a channel record by hand in the layout of a given version, under the class name
// "ZunChan", so the loader meets what older program versions stored.
class LegacyChan : public Serializable {
public:
    static const ClassInfo classInfo;
    const ClassInfo* GetRuntimeClass() const override { return &classInfo; }
    std::uint32_t version = 2648;
    std::int32_t kind = 0;
    int nz = 2;
    int slices = 2;
    std::vector<float> range{0.0f, 1.0f};
    std::vector<int> counts{0, 0, 0};
    std::string name = "old";
    std::vector<std::unique_ptr<Slice>> objects;  // alive while the archive maps their addresses

    void Serialize(Archive& ar) override {
        std::vector<int> dims{2, 2, nz}, colours{5, 6, 7};
        SerializeIntVector(ar, dims);
        ar << std::int32_t{1908} << std::int32_t{slices};
        for (int i = 0; i < slices; ++i) {
            objects.push_back(std::make_unique<Slice>());
            ar.WriteObject(objects.back().get());
        }
        SerializeIntVector(ar, counts);
        SerializeIntVector(ar, colours);
        SerializeFloatVector(ar, range);
        ar << version << name << kind;
        if (version >= 1040) ar << std::string("note");
        const bool ct = version < 486 ? kind == 0 : kind == 1;
        if (ct) {
            if (version >= 80) ar << std::int32_t{1};
            ar << true;                      // polychromatic
            if (version >= 93) ar << false;  // autoRename
            PolyFilters filters;
            filters.AddDeviceFilter("Source", true)->table = {{1.0f, 0.5f}};
            filters.Serialize(ar);
            CombinedFilters combined;
            combined.Serialize(ar);
        }
        ar << true;  // rescaleByEnergy
        if (version < 1644) ar << std::uint8_t{1} << std::uint32_t{0xDEADBEEF};
        if (version >= 1754) ar << false;
        if (version >= 1643) ar << true << 3.0f << true << 0.5f;
        ar << true << std::int32_t{4} << std::int32_t{5};
        if (version >= 1200) ar << true;
        ar << true;
        Compound compound;
        compound.SetFormula("H2O", true);
        compound.density = 1.0;
        compound.Serialize(ar);
        if (version >= 1548) {
            HistVars h;
            h.binCount = 42;
            h.Serialize(ar);
        }
    }
};
const ClassInfo LegacyChan::classInfo{"ZunChan", 0, true, nullptr, &Serializable::classSerializable};

// A boundary channel record: the channel part, a string list, the version and, before 486, the
// fields of the older layout.
class LegacyBound : public LegacyChan {
public:
    static const ClassInfo classInfo;
    const ClassInfo* GetRuntimeClass() const override { return &classInfo; }
    std::int32_t boundVersion = 2648;
    void Serialize(Archive& ar) override {
        LegacyChan::Serialize(ar);
        std::vector<std::string> names{"a", "b"};
        SerializeStringVector(ar, names);
        ar << boundVersion;
        if (boundVersion < 486) {
            ar << std::uint32_t{1};
            if (boundVersion >= 247) ar << std::uint32_t{2};
            ar << true << false << std::uint32_t{3};
        }
    }
};
const ClassInfo LegacyBound::classInfo{"Bound", 0, true, nullptr, &Serializable::classSerializable};

class LegacyImage : public Serializable {
public:
    static const ClassInfo classInfo;
    const ClassInfo* GetRuntimeClass() const override { return &classInfo; }
    std::uint32_t version = 2648;
    std::vector<LegacyChan> chans;
    int nz = 2;
    std::string active = "x";

    void Serialize(Archive& ar) override {
        std::vector<int> dims{2, 2, nz};
        SerializeIntVector(ar, dims);
        ar << static_cast<std::int32_t>(chans.size());
        for (auto& c : chans) ar.WriteObject(&c);
        ar << std::int32_t{1908} << std::uint8_t{1};
        std::vector<imtype> block(4 * static_cast<std::size_t>(nz) + 1, 3);
        for (std::size_t c = 0; c < chans.size(); ++c) {
            std::uint64_t count = 4 * static_cast<std::uint64_t>(nz);
            imtype* p = block.data();
            SerializeVoxelBlock(ar, &p, &count, 1908, nullptr, false);
        }
        ar << version;
        if (version >= 493) ar << true << std::int32_t{57} << std::uint16_t{16383} << active;
        ar << true;
    }
};
const ClassInfo LegacyImage::classInfo{"ZunImage", 0, true, nullptr, &Serializable::classSerializable};

TEST_F(SampleTest, LoadsEveryVersionGate) {
    for (std::uint32_t v : {79u, 92u, 485u, 492u, 1039u, 1199u, 1547u, 1643u, 1644u, 1753u, 2648u}) {
        SCOPED_TRACE(v);
        LegacyImage img;
        img.version = v;
        img.chans.resize(1);
        img.chans[0].version = v;
        img.chans[0].kind = 0;
        auto s = LoadObject<ZunImage>(StoreObject(img));
        ASSERT_TRUE(s);
        const ZunChan& c = *s->GetChan(0);
        // Kind numbers 0 and 1 swapped places at version 486.
        EXPECT_EQ(c.kind, v < 486 ? 1 : 0);
        EXPECT_EQ(c.note, v >= 1040 ? "note" : "");
        if (c.kind == 1) {
            EXPECT_EQ(c.dataType, v >= 80 ? 1 : 0);
            EXPECT_TRUE(c.polychromatic);
            EXPECT_EQ(c.autoRename, v < 93);
            ASSERT_EQ(c.filters.size(), 1u);
            EXPECT_EQ(c.filters.filters[0]->table.at(1.0f), 0.5f);
        }
        EXPECT_TRUE(c.rescaleByEnergy);
        EXPECT_EQ(c.autoAttenuation, v < 1754);
        EXPECT_EQ(c.applyScale, v >= 1643);
        EXPECT_FLOAT_EQ(c.scaleFactor, v >= 1643 ? 3.0f : 1.0f);
        EXPECT_FLOAT_EQ(c.zeroOffset, v >= 1643 ? 0.5f : 0.0f);
        EXPECT_EQ(c.cropX, 4);
        EXPECT_EQ(c.cropY, 5);
        EXPECT_EQ(c.retainImages, v >= 1200);
        EXPECT_TRUE(c.modified);
        EXPECT_EQ(c.histVars.binCount, v >= 1548 ? 42 : 0);
        EXPECT_EQ(c.compound.GetFormula(), "H2O");
        EXPECT_EQ(c.Data()[7], 3);
        // The stored active boundary names no boundary: no mask, whatever the stored index says.
        EXPECT_EQ(s->activeBoundaryIndex, -1);
        EXPECT_FALSE(s->boundaryMaskOn);
        EXPECT_EQ(s->GetActiveBoundaryName(), v >= 493 ? "x" : "");
        EXPECT_TRUE(s->modified);
    }
}

TEST_F(SampleTest, LoadsOlderBoundaryRecords) {
    for (std::int32_t v : {100, 246, 247, 485, 486, 2648}) {
        SCOPED_TRACE(v);
        // Written by hand below: a boundary channel followed by a composition channel, so a
        // misread boundary record would derail the next one.
        struct TwoChannels : public Serializable {
            const ClassInfo* GetRuntimeClass() const override { return &LegacyImage::classInfo; }
            LegacyBound bound;
            LegacyChan comp;
            void Serialize(Archive& ar) override {
                std::vector<int> dims{2, 2, 2};
                SerializeIntVector(ar, dims);
                ar << std::int32_t{2};
                ar.WriteObject(&bound);
                ar.WriteObject(&comp);
                ar << std::int32_t{1908} << std::uint8_t{1};
                std::vector<imtype> block(9, 16383);
                for (int c = 0; c < 2; ++c) {
                    std::uint64_t count = 8;
                    imtype* p = block.data();
                    SerializeVoxelBlock(ar, &p, &count, 1908, nullptr, false);
                }
                ar << std::uint32_t{2648} << false << std::int32_t{-1} << std::uint16_t{0} << std::string()
                   << false;
            }
        } img;
        img.bound.kind = 3;
        img.bound.boundVersion = v;
        img.bound.name = "mask";
        img.comp.kind = 0;
        img.comp.objects.clear();
        auto s = LoadObject<ZunImage>(StoreObject(img));
        ASSERT_TRUE(s);
        ASSERT_EQ(s->GetChanCount(), 2);
        EXPECT_STREQ(s->GetChan(0)->GetRuntimeClass()->name, "Bound");
        EXPECT_EQ(s->GetChan(0)->kind, 3);
        EXPECT_EQ(s->GetChan(1)->kind, 0);
    }
}

TEST_F(SampleTest, RefusesDamagedSamples) {
    auto refused = [](LegacyImage& img, const std::string& what) {
        try {
            LoadObject<ZunImage>(StoreObject(img));
        } catch (const ArchiveException& e) {
            EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << "message: " << e.what();
            return true;
        }
        return false;
    };
    LegacyImage slices;
    slices.chans.resize(1);
    slices.chans[0].slices = 3;
    EXPECT_TRUE(refused(slices, "slice count"));
    LegacyImage grid;
    grid.chans.resize(1);
    grid.chans[0].nz = 3;
    grid.chans[0].slices = 3;
    EXPECT_TRUE(refused(grid, "extents"));
    LegacyImage range;
    range.chans.resize(1);
    range.chans[0].range = {1.0f};
    EXPECT_TRUE(refused(range, "value range"));
    LegacyImage counts;
    counts.chans.resize(1);
    counts.chans[0].counts = {1, 2};
    EXPECT_TRUE(refused(counts, "import count"));
    LegacyImage kind;
    kind.chans.resize(1);
    kind.chans[0].kind = 9;
    EXPECT_TRUE(refused(kind, "unknown kind"));
    LegacyImage twins;
    twins.chans.resize(2);
    EXPECT_TRUE(refused(twins, "two channels"));
}

}  // namespace
}  // namespace zun
