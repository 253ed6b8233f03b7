#include "document/zundoc.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <climits>

#include <csignal>

#include "dochelpers.h"
#include "document/compfile.h"
#include "document/docmessages.h"
#include "document/gridplacement.h"
#include "foundation/memoryguard.h"
#include "foundation/threadcount.h"
#include "testfiles.h"

namespace zun {
namespace {

using Lines = std::vector<std::string>;

// Void, Water, Bone | ct 1, ct 2 | prop | bound, on a 4 x 3 x 5 grid with distinct words.
void Populate(CZunDoc& doc) {
    ASSERT_EQ(doc.ResizeVolume({4, 3, 5}, {0, 0, 0}), 0);
    ASSERT_EQ(doc.InsertChannel(0, 1, "Water"), 0);
    ASSERT_EQ(doc.InsertChannel(0, 2, "Bone"), 0);
    ASSERT_EQ(doc.InsertChannel(1, 3, "ct 1"), 0);
    ASSERT_EQ(doc.InsertChannel(1, 4, "ct 2"), 0);
    ASSERT_EQ(doc.InsertChannel(2, 5, "prop"), 0);
    ASSERT_EQ(doc.InsertChannel(3, 6, "bound"), 0);
    ZunImage& s = doc.GetSample();
    for (int i = 0; i < s.GetChanCount(); ++i) {
        ZunChan& c = *s.GetChan(i);
        for (std::uint64_t v = 0; v < c.GetNumVoxels(); ++v)
            c.Data()[v] = static_cast<imtype>(i * 4099 + v * 7919);
        c.range = {-0.5f * i, 1.0f + i};
    }
    s.GetChan(1)->compound.SetFormula("H2O", true);
    s.GetChan(1)->compound.density = 1.0;
    s.GetChan(2)->compound.SetFormula("Ca5(PO4)3OH", true);
    s.GetChan(2)->compound.density = 3.16;
}

TEST(ZunDoc, NewDocumentHoldsVoid) {
    DocFixture f;
    ASSERT_EQ(f.doc.GetSample().GetChanCount(), 1);
    EXPECT_EQ(f.doc.GetSample().GetChan(0)->name, "Void");
    EXPECT_EQ(f.doc.GetSample().GetChan(0)->kind, 0);
    EXPECT_FALSE(f.doc.IsModified());
    LoggingPrefs prefs{false, true, true};
    f.doc.OnNewDocument(prefs);
    EXPECT_FALSE(f.doc.IsLoggingEnabled());
    EXPECT_TRUE(f.doc.Settings().clearLogOnStart);
}

TEST(ZunDoc, ChannelOperationsSendTheirHints) {
    DocFixture f;
    Populate(f.doc);
    // The controller announces its new state (Ready) with the first insertion.
    Lines expected{"18 InsertSlice 0+5",
                   "2 Stats 0 all",
                   "1",
                   "18 InsertChan Water after 'Void'",
                   "18 InsertChan Bone after 'Water'",
                   "18 InsertChan ct 1 after 'Bone'",
                   "18 InsertChan ct 2 after 'ct 1'",
                   "18 InsertChan prop after 'ct 2'",
                   "18 InsertChan bound after 'prop'"};
    EXPECT_EQ(f.hints.Take(), expected);
    EXPECT_TRUE(f.doc.IsModified());

    // Refusals: an existing name, no hint.
    EXPECT_EQ(f.doc.InsertChannel(0, 1, "Water"), -1);
    EXPECT_EQ(f.doc.RenameChannel("Bone", "Water"), -1);
    EXPECT_EQ(f.Messages(),
              (Lines{"Channel \"Water\" already exists", "Channel name 'Water' already exists"}));
    EXPECT_TRUE(f.hints.Take().empty());
    EXPECT_EQ(f.doc.RenameChannel("Bone", "Bone"), 0);
    EXPECT_TRUE(f.hints.Take().empty());

    // The position stays within the kind's place, and "first" never goes before Void.
    EXPECT_EQ(f.doc.InsertPositionFirst(0), 1);
    EXPECT_EQ(f.doc.InsertPositionLast(0), 3);
    EXPECT_EQ(f.doc.InsertPositionFirst(2), 5);
    EXPECT_EQ(f.doc.InsertChannel(1, 0, "ct 0"), 0);
    EXPECT_EQ(f.doc.GetSample().FindChanIndex("ct 0"), 3);
    EXPECT_EQ(f.hints.Take(), (Lines{"18 InsertChan ct 0 after 'Bone'"}));

    // Active boundary: follows a rename and is cleared by a delete.
    f.doc.SetBoundaryActive(true, "bound");
    EXPECT_TRUE(f.doc.GetSample().boundaryMaskOn);
    EXPECT_EQ(f.doc.GetSample().boundaryMaskWord, 16383);
    f.doc.RenameChannel("bound", "mask");
    EXPECT_EQ(f.doc.GetSample().activeBoundaryName, "mask");
    f.doc.SetBoundaryActive(true, "prop");  // not a boundary: mask stays off
    EXPECT_FALSE(f.doc.GetSample().boundaryMaskOn);
    EXPECT_EQ(f.doc.GetSample().activeBoundaryIndex, -1);
    f.doc.SetBoundaryActive(true, "mask");
    EXPECT_EQ(f.hints.Take(), (Lines{"0 ActiveBound 'bound' 1", "0 RenameChan bound -> mask",
                                     "0 ActiveBound 'prop' 0", "0 ActiveBound 'mask' 1"}));

    ZunChan& mask = *f.doc.GetSample().FindChan("mask");
    mask.Data()[0] = 0x4000 | 16383;
    f.doc.ClearBoundaries({"mask", "prop", "none"});
    EXPECT_EQ(mask.Data()[0], 0x4000);  // value bits cleared, read-only flag kept
    EXPECT_EQ(f.hints.Take(), (Lines{"2 ChangeBound mask"}));

    // A transform moves the mask and is remembered; non-boundary names are left out.
    for (std::uint64_t v = 0; v < mask.GetNumVoxels(); ++v) mask.Data()[v] = v % 4 == 0 ? 16383 : 0;
    TransBoundParams shift;
    shift.translate = true;
    shift.translation = {1, 0, 0};
    EXPECT_EQ(f.doc.TransformBoundaries({"prop", "mask"}, shift), 0);
    EXPECT_EQ(f.doc.transBoundParams, shift);
    EXPECT_EQ(mask.Data()[0] & 0x3FFF, 0);
    EXPECT_EQ(mask.Data()[1] & 0x3FFF, 16383);
    EXPECT_EQ(f.hints.Take(), (Lines{"2 ChangeBound mask"}));
    EXPECT_EQ(f.doc.TransformBoundaries({"prop"}, shift), -1);

    // Delete: asks, keeps the first composition (telling once), clears the active boundary.
    f.prompt.QueueAnswer(kPromptCancel);
    EXPECT_TRUE(f.doc.DeleteChannels({"Water"}, false).empty());
    EXPECT_EQ(f.doc.DeleteChannels({"Void", "Water", "mask", "Void"}, false), (Lines{"Water", "mask"}));
    EXPECT_EQ(f.Messages(), (Lines{"Delete selected channel(s)?", "Delete selected channel(s)?",
                                   "The first composition channel cannot be deleted"}));
    EXPECT_EQ(f.hints.Take(), (Lines{"18 DeleteChan Water mask"}));
    EXPECT_EQ(f.doc.GetSample().activeBoundaryName, "");
    EXPECT_FALSE(f.doc.GetSample().boundaryMaskOn);
    EXPECT_EQ(f.doc.GetChannelDisplayName("Bone"), "Ca5(PO4)3OH");
    EXPECT_EQ(f.doc.GetChannelDisplayName("ct 1"), "LAC_mono_20keV");
    EXPECT_EQ(f.doc.GetChannelDisplayName("prop"), "");
}

TEST(ZunDoc, SampleGridCommand) {
    DocFixture f;
    EXPECT_FALSE(f.doc.CheckGridForImport());
    EXPECT_EQ(
        f.Messages(),
        (Lines{"Invalid sample grid size. Check parameters under the Setup Sample Grid context menu."}));
    const Params& p = f.doc.GetModel().GetParams();
    std::array<double, 4> physical{p.voxelPhysicalSize[0], p.voxelPhysicalSize[1], p.voxelPhysicalSize[2],
                                   p.voxelPhysicalSize[3]};
    physical[3] += 5e-13;  // within the tolerance: not a change
    ASSERT_EQ(f.doc.ApplySampleGrid({3, 2, 1}, {0, 0, 0}, physical, false), 0);
    EXPECT_TRUE(f.doc.CheckGridForImport());
    EXPECT_FALSE(p.setDefaultsForUndefinedVoxels);
    EXPECT_EQ(f.doc.GetModel().GetParams().sampleSize, (std::array<std::uint32_t, 3>{3, 2, 1}));
    f.doc.SetModifiedFlag(false);
    ASSERT_EQ(f.doc.ApplySampleGrid({3, 2, 1}, {0, 0, 0}, physical, false), 0);
    EXPECT_FALSE(f.doc.IsModified());
    physical[1] = 2e-6;
    ASSERT_EQ(f.doc.ApplySampleGrid({3, 2, 1}, {0, 0, 0}, physical, false), 0);
    EXPECT_TRUE(f.doc.IsModified());
    EXPECT_EQ(p.voxelPhysicalSize[1], 2e-6);
}

TEST(ZunDoc, MemoryRefusalsChangeNothing) {
    // The guard reads its policy when the sample is made; the status decides at each request.
    bool full = false;
    SetMemoryPolicy({true, 50});
    SetMemoryStatusSource([&](MemoryStatus& m) {
        m.totalPhysical = 1ull << 34;
        m.availablePhysical = full ? 1ull << 20 : 1ull << 34;
        return true;
    });
    {
        TempDir dir;
        DocFixture f;
        Populate(f.doc);
        ASSERT_TRUE(f.doc.OnSaveDocument(dir.File("m.zun")));
        f.doc.SetNotes("unsaved");
        f.hints.Take();
        f.Messages();
        full = true;
        // The voxel blocks of the file cannot be had: the open fails and the document stays.
        EXPECT_FALSE(f.doc.OnOpenDocument(dir.File("m.zun")));
        EXPECT_EQ(f.Messages(), (Lines{"Insufficient memory while opening the document."}));
        EXPECT_EQ(f.doc.GetNotes(), "unsaved");
        EXPECT_EQ(f.doc.InsertChannel(2, 5, "more"), -2);
        EXPECT_EQ(f.doc.InsertSlices(0, 2), -2);
        EXPECT_EQ(f.doc.ResizeVolume({8, 3, 5}, {0, 0, 0}), -2);
        EXPECT_EQ(f.Messages(), (Lines{"Insufficient memory while inserting a new data channel.",
                                       "Insufficient memory while inserting data slice(s).",
                                       "Insufficient memory while resizing the sample grid."}));
        const imtype first = f.doc.GetSample().GetChan(1)->Data()[0];
        EXPECT_FALSE(f.doc.ReverseSlices({f.doc.GetSample().GetChan(1)->name}));
        EXPECT_EQ(f.Messages(), (Lines{"Reverse slices of selected channel(s)?",
                                       "Insufficient memory while reversing data slices."}));
        EXPECT_EQ(f.doc.GetSample().GetChan(1)->Data()[0], first);
        EXPECT_TRUE(f.hints.Take().empty());
        EXPECT_EQ(f.doc.GetSample().GetChanCount(), 7);
        EXPECT_EQ(f.doc.GetSample().GetDims(), (Dims{4, 3, 5}));
        EXPECT_EQ(f.doc.GetModel().GetParams().compositionCount, 2);
    }
    SetMemoryStatusSource({});
    SetMemoryPolicy({});
}

TEST(ZunDoc, ImpossibleGridsAreRefusedWithoutAnException) {
    DocFixture f;
    Populate(f.doc);
    f.hints.Take();
    f.Messages();
    const ZunImage& s = f.doc.GetSample();
    const imtype first = s.GetChan(1)->Data()[0];
    // 2^30 x 2^30 x 16 voxels is 2^64: the count wraps round to 0 unless every product is checked.
    EXPECT_EQ(f.doc.ResizeVolume({1u << 30, 1u << 30, 16}, {0, 0, 0}), -2);
    EXPECT_EQ(f.doc.ResizeVolume({1u << 31, 1, 1}, {0, 0, 0}), -1);
    // More planes than an extent can count.
    EXPECT_EQ(f.doc.InsertSlices(0, INT_MAX), -2);
    EXPECT_EQ(f.doc.InsertSlices(5, INT_MAX - 4), -2);
    EXPECT_EQ(f.doc.InsertSlices(0, -3), -1);
    EXPECT_EQ(f.Messages(), (Lines{"Insufficient memory while resizing the sample grid.",
                                   "Insufficient memory while inserting data slice(s).",
                                   "Insufficient memory while inserting data slice(s)."}));
    EXPECT_EQ(s.GetDims(), (Dims{4, 3, 5}));
    EXPECT_EQ(s.GetChan(1)->Data()[0], first);
    EXPECT_TRUE(f.hints.Take().empty());
    EXPECT_EQ(f.doc.GetModel().GetParams().compositionCount, 2);
}

// The old data lands at the offset on every axis, whichever grid is larger and whichever way it
// moves; the overlap rule the checks ask agrees voxel by voxel.
TEST(ZunDoc, ResizeKeepsTheCommonRegionOnEveryAxisAndSign) {
    for (std::size_t axis = 0; axis < 3; ++axis)
        for (const auto& [from, to] : {std::pair{7u, 4u}, std::pair{4u, 7u}})
            for (int off = -9; off <= 9; ++off) {
                DocFixture f;
                std::array<std::uint32_t, 3> oldSizes{4, 3, 5}, newSizes{4, 3, 5};
                oldSizes[axis] = from;
                newSizes[axis] = to;
                ASSERT_EQ(f.doc.ResizeVolume(oldSizes, {0, 0, 0}), 0);
                ASSERT_EQ(f.doc.InsertChannel(1, 1, "ct"), 0);
                ZunChan& c = *f.doc.GetSample().GetChan(1);
                for (std::uint64_t v = 0; v < c.GetNumVoxels(); ++v) c.Data()[v] = static_cast<imtype>(v + 1);
                std::array<std::int32_t, 3> offsets{0, 0, 0};
                offsets[axis] = off;
                ASSERT_EQ(f.doc.ResizeVolume(newSizes, offsets), 0);
                const ZunChan& r = *f.doc.GetSample().GetChan(1);
                bool anyKept = false;
                for (std::uint32_t z = 0; z < newSizes[2]; ++z)
                    for (std::uint32_t y = 0; y < newSizes[1]; ++y)
                        for (std::uint32_t x = 0; x < newSizes[0]; ++x) {
                            const std::array<std::int64_t, 3> p{std::int64_t(x) - offsets[0],
                                                                std::int64_t(y) - offsets[1],
                                                                std::int64_t(z) - offsets[2]};
                            bool inside = true;
                            for (std::size_t k = 0; k < 3; ++k)
                                inside = inside && p[k] >= 0 && p[k] < oldSizes[k];
                            const imtype want =
                                inside ? static_cast<imtype>((p[2] * oldSizes[1] + p[1]) * oldSizes[0] +
                                                             p[0] + 1)
                                       : 0;
                            anyKept = anyKept || inside;
                            ASSERT_EQ(r.Data()[(std::uint64_t(z) * newSizes[1] + y) * newSizes[0] + x], want)
                                << "axis " << axis << " " << from << "->" << to << " offset " << off;
                        }
                EXPECT_EQ(GridsShareVoxels(oldSizes, newSizes, offsets), anyKept)
                    << "axis " << axis << " " << from << "->" << to << " offset " << off;
                EXPECT_EQ(f.doc.GetSample().GetSliceCount(), static_cast<int>(newSizes[2]));
            }
}

// Offsets far past the grids keep nothing, and the slice hints stay within the new grid: a view
// following them must never allocate by the number typed. INT_MIN must not be negated.
TEST(ZunDoc, OffsetsPastTheGridsAreClampedBeforeAnyHint) {
    struct Case {
        std::array<std::int32_t, 3> offsets;
        Lines hints;
    } cases[] = {
        {{0, 0, 100000}, {"18 InsertSlice 0+4", "18 DeleteSlice 4+4", "2 Stats 0 all"}},
        {{0, 0, INT_MAX}, {"18 InsertSlice 0+4", "18 DeleteSlice 4+4", "2 Stats 0 all"}},
        {{0, 0, INT_MIN}, {"18 DeleteSlice 0+4", "18 InsertSlice 0+4", "2 Stats 0 all"}},
        {{INT_MIN, INT_MAX, -100000}, {"18 DeleteSlice 0+4", "18 InsertSlice 0+4", "2 Stats 0 all"}},
    };
    for (const Case& c : cases) {
        DocFixture f;
        ASSERT_EQ(f.doc.ResizeVolume({5, 4, 4}, {0, 0, 0}), 0);
        ASSERT_EQ(f.doc.InsertChannel(1, 1, "ct"), 0);
        ZunChan& ct = *f.doc.GetSample().GetChan(1);
        std::fill_n(ct.Data(), ct.GetNumVoxels(), imtype(77));
        f.hints.Take();
        ASSERT_EQ(f.doc.ResizeVolume({5, 4, 4}, c.offsets), 0);
        EXPECT_EQ(f.hints.Take(), c.hints) << c.offsets[2];
        const ZunChan& r = *f.doc.GetSample().GetChan(1);
        EXPECT_EQ(std::count(r.Data(), r.Data() + r.GetNumVoxels(), imtype(0)), 80);
        EXPECT_EQ(ClampGridOffsets({5, 4, 4}, {5, 4, 4}, c.offsets)[2], c.offsets[2] > 0 ? 4 : -4);
    }
    // Bounds of the widest grids stay negatable.
    EXPECT_EQ(ClampGridOffsets({UINT32_MAX, 0, 3}, {UINT32_MAX, 2, 3}, {INT_MIN, INT_MIN, INT_MAX}),
              (std::array<std::int32_t, 3>{INT_MIN + 1, 0, 3}));
}

TEST(ZunDoc, SliceAndGridOperationsSendTheirHints) {
    DocFixture f;
    Populate(f.doc);
    f.hints.Take();
    ZunImage& s = f.doc.GetSample();
    const imtype before = s.GetChan(1)->Data()[4 * 3 * 2];  // plane 2

    ASSERT_EQ(f.doc.InsertSlices(1, 2), 0);
    EXPECT_EQ(s.GetSliceCount(), 7);
    EXPECT_EQ(s.GetChan(1)->Data()[4 * 3 * 4], before);
    EXPECT_EQ(f.doc.InsertSlices(9, 1), -1);
    EXPECT_EQ(f.doc.DeleteSlices({2, 1, 2, 40}), (std::vector<std::uint32_t>{2, 1}));
    EXPECT_EQ(s.GetChan(1)->Data()[4 * 3 * 2], before);
    EXPECT_EQ(f.hints.Take(), (Lines{"18 InsertSlice 1+2", "18 DeleteSlice 1+2 2 1"}));

    f.prompt.QueueAnswer(kPromptCancel);
    EXPECT_FALSE(f.doc.ClearSlices({{"Water", 2}}));
    EXPECT_TRUE(f.doc.ClearSlices({{"Water", 2}, {"ghost", 1}, {"ct 1", 4}}));
    EXPECT_EQ(s.GetChan(1)->Data()[4 * 3 * 2], 0);
    EXPECT_EQ(f.hints.Take(), (Lines{"2 ClearSlice Water:2 ct 1:4"}));

    const imtype first = s.GetChan(2)->Data()[0];
    EXPECT_TRUE(f.doc.ReverseSlices({"Bone", "prop"}));
    EXPECT_EQ(s.GetChan(2)->Data()[4 * 3 * 4], first);
    EXPECT_EQ(f.hints.Take(), (Lines{"2 ReverseSlice Bone 5", "2 ReverseSlice prop 5"}));

    // Grow by one plane in front and two at the end, old data one plane in.
    const imtype corner = s.GetChan(3)->Data()[0];
    const imtype plane2 = s.GetChan(3)->Data()[4 * 3 * 2];
    ASSERT_EQ(f.doc.ResizeVolume({4, 3, 8}, {0, 0, 1}), 0);
    EXPECT_EQ(s.GetSliceCount(), 8);
    EXPECT_EQ(s.GetChan(3)->Data()[4 * 3], corner);
    EXPECT_EQ(s.GetChan(3)->GetSliceCount(), 8);
    EXPECT_EQ(f.hints.Take(), (Lines{"18 InsertSlice 0+1", "18 InsertSlice 6+2", "2 Stats 0 all"}));
    // Shrink: drop three planes in front and two at the end.
    ASSERT_EQ(f.doc.ResizeVolume({4, 3, 3}, {0, 0, -3}), 0);
    EXPECT_EQ(s.GetChan(3)->Data()[0], plane2);
    EXPECT_EQ(f.hints.Take(), (Lines{"18 DeleteSlice 0+3", "18 DeleteSlice 3+2", "2 Stats 0 all"}));
    EXPECT_EQ(s.GetSliceCount(), 3);
}

std::vector<std::uint8_t> StoredBytes(const Serializable& object) {
    MemoryStream mem;
    {
        Archive ar(mem, Archive::Mode::Store);
        const_cast<Serializable&>(object).Serialize(ar);
    }
    return mem.Bytes();
}

// Every field a save must keep, compared through the document's data record and settings.
void ExpectSameDocument(CZunDoc& a, CZunDoc& b) {
    EXPECT_EQ(a.ToDataDocument(), b.ToDataDocument());
    const DocSettings& x = a.Settings();
    const DocSettings& y = b.Settings();
    EXPECT_EQ(x.notes, y.notes);
    EXPECT_EQ(x.loggingEnabled, y.loggingEnabled);
    EXPECT_EQ(x.saveAfterComputation, y.saveAfterComputation);
    EXPECT_EQ(x.exitAfterComputation, y.exitAfterComputation);
    EXPECT_EQ(x.attenuationMethod, y.attenuationMethod);
    EXPECT_EQ(x.coefficientKind, y.coefficientKind);
    EXPECT_TRUE(SameDevices(x.devices, y.devices));
    EXPECT_EQ(x.compoundText, y.compoundText);
    EXPECT_EQ(a.Logger().Text(), b.Logger().Text());
    const ZunImage& s = a.GetSample();
    const ZunImage& t = b.GetSample();
    ASSERT_EQ(s.GetChanCount(), t.GetChanCount());
    // Each channel and the parameter set stored again give the same bytes: words, names, ranges,
    // compounds, filters, slices and every parameter.
    for (int i = 0; i < s.GetChanCount(); ++i)
        EXPECT_EQ(StoredBytes(*s.GetChan(i)), StoredBytes(*t.GetChan(i))) << s.GetChan(i)->name;
    EXPECT_EQ(StoredBytes(a.GetModel().GetParams()), StoredBytes(b.GetModel().GetParams()));
    EXPECT_EQ(s.activeBoundaryName, t.activeBoundaryName);
    EXPECT_EQ(s.boundaryMaskOn, t.boundaryMaskOn);
}

void Decorate(CZunDoc& doc) {
    Populate(doc);
    ZunChan& ct2 = *doc.GetSample().FindChan("ct 2");
    ct2.polychromatic = true;
    ct2.filters.Clear();
    ct2.filters.AddDeviceFilter("Source", true);
    ct2.filters.AddDeviceFilter("Detector", false);
    Params& p = doc.GetModel().GetParams();
    p.ctBeamEnergy[1] = 61.5f;
    p.randomSeed = 1234;
    p.nonlinearIterations = 7.5f;
    EXPECT_EQ(doc.GetChannelDisplayName("ct 2"), "LAC_poly_s");
    EXPECT_EQ(doc.GetChannelDisplayName("ct 1"), "LAC_mono_61.5keV");
    doc.SetBoundaryActive(true, "bound");
    doc.SetNotes("notes\r\nwith CR LF\rand CR");
    DocSettings& st = doc.Settings();
    st.saveAfterComputation = st.exitAfterComputation = true;
    st.attenuationMethod = 2;
    st.coefficientKind = 1;
    st.devices = {{"CPU", 6}};
    st.compoundText.energies = {20, 60, 2};
    st.compoundText.tableFormat = "12.4e";
    doc.Logger().Append("first log line\n");
    doc.Logger().Append("second log line\n");
    WindowRecord w;
    w.tree.items.resize(1 + 7 * 6);
    w.tree.items[3].shown.colourKind = 2;
    w.tree.viewOption = 1;
    w.view.background = 0x112233;
    doc.WindowRecords() = {w, WindowRecord{}};
    doc.WindowRecords()[1].tree.items.resize(1 + 7 * 6);
}

// A window whose tree has not filled its record (a save by the remote control, a channel added
// since) must still give a file that reads back; the windows' hook runs before every write.
TEST(ZunDoc, WindowRecordsNoTreeFilledReadBack) {
    TempDir dir;
    DocFixture f;
    Populate(f.doc);
    f.doc.WindowRecords() = {WindowRecord{}};
    f.doc.WindowRecords()[0].view.background = 0x445566;
    int stores = 0;
    f.doc.SetBeforeStore([&] { ++stores; });
    const std::string path = dir.File("window.zun");
    ASSERT_TRUE(f.doc.OnSaveDocument(path));
    EXPECT_EQ(stores, 1);
    DocFixture g;
    ASSERT_TRUE(g.doc.OnOpenDocument(path)) << (g.Messages().empty() ? "" : g.Messages()[0]);
    ASSERT_EQ(g.doc.WindowRecords().size(), 1u);
    EXPECT_EQ(g.doc.WindowRecords()[0].view.background, 0x445566);
    std::size_t items = 1;
    for (int c = 0; c < g.doc.GetSample().GetChanCount(); ++c)
        items += 1 + static_cast<std::size_t>(g.doc.GetSample().GetChan(c)->GetSliceCount());
    EXPECT_EQ(g.doc.WindowRecords()[0].tree.items.size(), items);
}

TEST(ZunDoc, SaveAndReopenKeepEverything) {
    // Several processors, whatever the machine: each is then a device of its own.
    TestProcessorCount processors(4);
    TempDir dir;
    DocFixture f;
    Decorate(f.doc);
    // Imported slices, one image kept in memory.
    RunPython(
        "import sys, numpy as np, tifffile\n"
        "tifffile.imwrite(sys.argv[1] + '/a.tif', np.arange(12, dtype=np.uint16).reshape(3, 4) * 5000)\n",
        {dir.Path()});
    ImageImportSettings keep;
    keep.retain = true;
    ASSERT_EQ(f.doc.ImportImageStack("Water", {1, 3}, dir.Path(), {"a.tif", "a.tif"}, keep), 2);
    ASSERT_TRUE(f.doc.GetSample().FindChan("Water")->GetSlice(3)->imported);
    EXPECT_EQ(f.doc.GetNotes(), "notes\nwith CR LF\nand CR");
    std::string path = dir.File("sample.zun");
    ASSERT_TRUE(f.doc.OnSaveDocument(path)) << (f.Messages().empty() ? "" : f.Messages()[0]);
    EXPECT_FALSE(f.doc.IsModified());
    EXPECT_EQ(f.doc.GetTitle(), "sample.zun");
    EXPECT_EQ(f.doc.GetNameText(), dir.File("sample"));

    auto bytes = ReadFileBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "ZSTD");
    std::string plain = dir.File("plain");
    ASSERT_EQ(std::system(("tail -c +9 '" + path + "' | zstd -q -d -c > '" + plain + "'").c_str()), 0);
    auto archive = ReadFileBytes(plain);
    ASSERT_GE(archive.size(), 4u);
    EXPECT_EQ(archive[0] | archive[1] << 8, 2648);

    DocFixture g;
    g.Messages();
    ASSERT_TRUE(g.doc.OnOpenDocument(path));
    ExpectSameDocument(f.doc, g.doc);
    // The saved selection names one "CPU" device; the reopened document lists the processors.
    EXPECT_EQ(g.Messages(), (Lines{docmsg::kDevicesChanged}));
    EXPECT_FALSE(g.doc.ReadFromOlderFormat());
    EXPECT_EQ(GetArchiveSchema(), 2648);
    ASSERT_EQ(g.doc.WindowRecords().size(), 1u);  // the second window's record was read and dropped
    EXPECT_EQ(g.doc.WindowRecords()[0].tree.items[3].shown.colourKind, 2);
    EXPECT_EQ(g.doc.WindowRecords()[0].tree.viewOption, 1);
    EXPECT_EQ(g.doc.WindowRecords()[0].view.background, 0x112233);

    // Save writes to the same place and tells the views the name.
    g.hints.Take();
    g.doc.SetNotes("changed");
    ASSERT_TRUE(g.doc.OnFileSave());
    EXPECT_EQ(g.hints.Take(), (Lines{"0 RenameDoc sample.zun"}));
    DocFixture h;
    ASSERT_TRUE(h.doc.OnOpenDocument(path));
    EXPECT_EQ(h.doc.GetNotes(), "changed");

    // A new document keeps the devices present, so it reopens without the device message.
    DocFixture n;
    ASSERT_TRUE(n.doc.OnSaveDocument(dir.File("new.zun")));
    n.Messages();
    ASSERT_TRUE(n.doc.OnOpenDocument(dir.File("new.zun")));
    EXPECT_TRUE(n.Messages().empty());
}

TEST(ZunDoc, DiscardingImagesKeepsRecordsAndTellsTheTree) {
    DocFixture f;
    Populate(f.doc);
    ZunImage& s = f.doc.GetSample();
    for (auto [ch, z] : {std::pair{1, 0}, {1, 3}, {3, 2}})
        s.GetChan(ch)->GetSlice(z)->image = std::make_unique<Image2d<imtype>>(Dims{4, 3});
    f.hints.Take();
    f.doc.DiscardSliceImportedImages({{"Water", 3}, {"Water", 1}});
    EXPECT_EQ(f.hints.Take(), (Lines{"0 ImportSlice Water:3 imported 0"}));
    EXPECT_FALSE(s.GetChan(1)->GetSlice(3)->image);
    f.prompt.QueueAnswer(kPromptCancel);
    EXPECT_FALSE(f.doc.DiscardAllImportedImages());
    EXPECT_TRUE(f.doc.DiscardAllImportedImages());
    EXPECT_EQ(f.hints.Take(), (Lines{"0 ImportSlice Water:0 ct 1:2 imported 0"}));
    EXPECT_EQ(f.Messages(), (Lines{"Discard all imported images?", "Discard all imported images?"}));
}

TEST(ZunDoc, PropertyMethodsSurviveAReopen) {
    TempDir dir;
    DocFixture f;
    Populate(f.doc);
    f.doc.GetModel().PropertyMethods().resize(2);
    f.doc.GetModel().PropertyMethods()[1].outputChannel = "prop";
    ASSERT_TRUE(f.doc.OnSaveDocument(dir.File("p.zun")));
    DocFixture g;
    ASSERT_TRUE(g.doc.OnOpenDocument(dir.File("p.zun"))) << g.Messages().back();
    ASSERT_EQ(g.doc.GetModel().PropertyMethods().size(), 2u);
    EXPECT_EQ(g.doc.GetModel().PropertyMethods()[1].outputChannel, "prop");
}

TEST(ZunDoc, DamagedFilesAreRefusedAndTheDocumentStays) {
    TempDir dir;
    DocFixture f;
    Decorate(f.doc);
    std::string path = dir.File("good.zun");
    ASSERT_TRUE(f.doc.OnSaveDocument(path));
    auto good = ReadFileBytes(path);

    DocFixture g;
    Populate(g.doc);
    g.doc.SetNotes("keep me");
    g.Messages();
    const DataDocument before = g.doc.ToDataDocument();
    std::string bad = dir.File("bad.zun");
    auto refused = [&](const std::vector<std::uint8_t>& bytes) {
        WriteFileBytes(bad, bytes);
        bool opened = g.doc.OnOpenDocument(bad);
        Lines m = g.Messages();
        return !opened && m == Lines{bad + ": Unexpected file format."} && g.doc.GetNotes() == "keep me" &&
               g.doc.ToDataDocument() == before;
    };
    EXPECT_TRUE(refused(std::vector<std::uint8_t>(good.begin(), good.begin() + good.size() / 2)));
    EXPECT_TRUE(refused(std::vector<std::uint8_t>(good.begin(), good.end() - 3)));
    auto damaged = good;
    damaged[good.size() / 2] ^= 0x10;
    EXPECT_TRUE(refused(damaged));
    std::string text = "TEXT 1\nGRID 1 1 1\n";
    EXPECT_TRUE(refused(std::vector<std::uint8_t>(text.begin(), text.end())));
    EXPECT_TRUE(refused({}));

    // A valid compressed file whose archive is not a document.
    {
        CCompFile c;
        c.Open(bad, CCompFile::Mode::Write);
        std::uint32_t words[3] = {2648, 7, 7};
        c.Write(words, sizeof words);
        c.Close();
    }
    EXPECT_TRUE(g.doc.OnOpenDocument(bad) == false &&
                g.Messages() == Lines{bad + ": Unexpected file format."});
    // An older top level than ours is refused; a newer one opens and asks for the update check.
    std::string plain = dir.File("plain");
    ASSERT_EQ(std::system(("tail -c +9 '" + path + "' | zstd -q -d -c > '" + plain + "'").c_str()), 0);
    auto archive = ReadFileBytes(plain);
    for (std::uint32_t stamp : {2647u, 2700u}) {
        std::memcpy(archive.data(), &stamp, 4);
        CCompFile c;
        c.Open(bad, CCompFile::Mode::Write);
        c.Write(archive.data(), archive.size());
        c.Close();
        bool opened = g.doc.OnOpenDocument(bad);
        EXPECT_EQ(opened, stamp > 2648);
        EXPECT_EQ(g.doc.OpenedNewerFile(), stamp > 2648);
        g.Messages();
    }
    EXPECT_EQ(GetArchiveSchema(), 2700);
}

TEST(ZunDoc, OlderZlibFileOpensAndAsksBeforeSaving) {
    TempDir dir;
    DocFixture f;
    Decorate(f.doc);
    std::string path = dir.File("doc.zun");
    ASSERT_TRUE(f.doc.OnSaveDocument(path));
    std::string plain = dir.File("plain");
    ASSERT_EQ(std::system(("tail -c +9 '" + path + "' | zstd -q -d -c > '" + plain + "'").c_str()), 0);
    std::string old = dir.File("old.zun");
    RunPython(
        "import sys, zlib; open(sys.argv[2], 'wb').write(zlib.compress(open(sys.argv[1], 'rb').read()))",
        {plain, old});
    DocFixture g;
    ASSERT_TRUE(g.doc.OnOpenDocument(old));
    EXPECT_TRUE(g.doc.ReadFromOlderFormat());
    ExpectSameDocument(f.doc, g.doc);
    auto oldBytes = ReadFileBytes(old);
    g.Messages();
    g.prompt.QueueAnswer(kPromptNo);
    EXPECT_FALSE(g.doc.OnFileSave());
    EXPECT_EQ(ReadFileBytes(old), oldBytes);
    EXPECT_EQ(g.Messages(), (Lines{docmsg::kOlderFormatQuestion}));
    EXPECT_TRUE(g.doc.OnFileSave());  // Yes
    EXPECT_FALSE(g.doc.ReadFromOlderFormat());
    EXPECT_EQ(ReadFileBytes(old)[0], 'Z');
}

TEST(ZunDoc, FailedSaveKeepsTheOldFileAndSaysWhy) {
    TempDir dir;
    DocFixture f;
    Decorate(f.doc);
    std::string path = dir.File("doc.zun");
    ASSERT_TRUE(f.doc.OnSaveDocument(path));
    auto oldBytes = ReadFileBytes(path);
    f.doc.SetNotes("new notes");
    ASSERT_EQ(chmod(dir.Path().c_str(), 0555), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0) {
            passwd* nobody = getpwnam("nobody");
            if (!nobody || setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(3);
        }
        bool saved = f.doc.OnSaveDocument(path);
        auto m = f.prompt.Requests();
        _exit(!saved && !m.empty() && m.back().text.find(path) != std::string::npos && f.doc.IsModified()
                  ? 0
                  : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    chmod(dir.Path().c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFileBytes(path), oldBytes);

    // Full disk: the file-size limit makes the writes fail part-way.
    ASSERT_EQ(f.doc.ResizeVolume({256, 128, 5}, {0, 0, 0}), 0);
    for (int i = 0; i < f.doc.GetSample().GetChanCount(); ++i) {
        ZunChan& c = *f.doc.GetSample().GetChan(i);
        std::uint32_t x = 12345u + i;
        for (std::uint64_t v = 0; v < c.GetNumVoxels(); ++v)
            c.Data()[v] = static_cast<imtype>((x = x * 1664525u + 1013904223u) >> 16);
    }
    pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &lim);
        bool saved = f.doc.OnSaveDocument(path);
        auto m = f.prompt.Requests();
        _exit(!saved && !m.empty() && m.back().text.find(path) != std::string::npos ? 0 : 1);
    }
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFileBytes(path), oldBytes);
}

// Stands in for the energy-optimisation record of the layer above the document.
class DialogVars : public Serializable {
    ZUN_DECLARE_SERIAL(DialogVars)
public:
    std::int32_t value = 0;
    void Serialize(Archive& ar) override {
        if (ar.IsStoring())
            ar << value;
        else
            ar >> value;
    }
};
ZUN_IMPLEMENT_SERIAL(DialogVars, ::zun::Serializable, 0)

TEST(ZunDoc, EnergyOptimisationRecordTravelsWithTheDocument) {
    ClassRegistry::Instance().Register(&DialogVars::classInfo);
    TempDir dir;
    DocFixture f;
    f.doc.OnNewDocument();  // now that the class is known
    auto* vars = dynamic_cast<DialogVars*>(f.doc.EnergyOptVars());
    ASSERT_NE(vars, nullptr);
    vars->value = 4242;
    ASSERT_TRUE(f.doc.OnSaveDocument(dir.File("e.zun")));
    DocFixture g;
    ASSERT_TRUE(g.doc.OnOpenDocument(dir.File("e.zun")));
    auto* back = dynamic_cast<DialogVars*>(g.doc.EnergyOptVars());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->value, 4242);
}

}  // namespace
}  // namespace zun
