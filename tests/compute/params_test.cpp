#include "compute/params.h"

#include <gtest/gtest.h>

#include <cstring>

#include "compute/computeclasses.h"
#include "platform/prompt.h"

namespace zun {
namespace {

Params NewSet() {
    Params p;
    p.Initialise();
    return p;
}

std::vector<std::uint8_t> Store(Params& p) {
    MemoryStream ms;
    {
        Archive ar(ms, Archive::Mode::Store);
        p.Serialize(ar);
        ar.Flush();
    }
    return ms.Bytes();
}

void Load(Params& p, std::vector<std::uint8_t> bytes) {
    MemoryStream ms(std::move(bytes));
    Archive ar(ms, Archive::Mode::Load);
    p.Serialize(ar);
}

// Checks that every table has the size the counts demand.
void ExpectConsistent(const Params& p) {
    EXPECT_NO_THROW(p.Validate());
}

TEST(ParamsTables, NewSetHasVoidAndTemplateSlot) {
    Params p = NewSet();
    EXPECT_EQ(p.compositionCount, 0);
    EXPECT_EQ(p.ctChannelCount, 0);
    ASSERT_EQ(p.compositionNames, std::vector<std::string>{"Void"});
    EXPECT_EQ(p.ctBeamEnergy, std::vector<float>{20.0f});
    EXPECT_EQ(p.ctAttenHigh, std::vector<float>{8.0f});
    EXPECT_EQ(p.voxelPhysicalSize, (std::vector<double>{1e-6, 1.0, 1.0, 1.0}));
    ExpectConsistent(p);
}

TEST(ParamsTables, FirstCtChannelCopiesTemplateSlot) {
    Params p = NewSet();
    ASSERT_EQ(p.InsertComposition(1, "Water"), 0);
    ASSERT_EQ(p.InsertComposition(2, "Calcite"), 0);
    ASSERT_EQ(p.InsertTomoChannel(1, "CT 30"), 0);
    EXPECT_EQ(p.ctBeamEnergy[1], 20.0f);
    EXPECT_EQ(p.ctAttenLow[1], 0.0f);
    EXPECT_EQ(p.ctAttenHigh[1], 8.0f);
    EXPECT_EQ(p.ctDataSetWeights[1], 10.0f);
    EXPECT_EQ(p.lacMatrix[p.MatrixIndex(1, 0)], 0.0f);
    EXPECT_EQ(p.lacMatrix[p.MatrixIndex(1, 1)], 6.0f);
    EXPECT_EQ(p.lacMatrix[p.MatrixIndex(1, 2)], 6.0f);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(p.lacMatrix[p.MatrixIndex(0, c)], 1.0f);
    EXPECT_TRUE(p.ctChannelUsed[1]);
    EXPECT_EQ(p.dlsMultiplier[2][1], 1.0f);
    ExpectConsistent(p);
}

// Held planes are built once at the release and equal those built insertion by insertion.
TEST(ParamsTables, HeldPlanesAreBuiltOnceAndMatchOneByOne) {
    Params a = NewSet();
    a.InsertComposition(1, "A");
    a.InsertComposition(2, "B");
    for (auto* t : {&a.linearInteractionEnergy, &a.nonlinearInteractionEnergy, &a.dlsInterfacialEnergy})
        for (int s = 0; s < kShellCount; ++s)
            for (std::size_t k = 0; k < (*t)[s].size(); ++k) (*t)[s][k] = static_cast<float>(100 * s + k);
    Params b = a;
    const std::int64_t before = b.PlaneBuilds();
    b.HoldPlanes();
    b.HoldPlanes();  // holds nest
    for (int i = 0; i < 30; ++i) {
        const int at = 1 + (i * 7) % (a.compositionCount + 1);
        ASSERT_EQ(a.InsertComposition(at, "N" + std::to_string(i)), 0);
        ASSERT_EQ(b.InsertComposition(at, "N" + std::to_string(i)), 0);
        if (i % 4 == 3) {
            ASSERT_EQ(a.DeleteComposition(2), 0);
            ASSERT_EQ(b.DeleteComposition(2), 0);
        }
    }
    b.ReleasePlanes();
    EXPECT_TRUE(b.PlanesHeld());
    EXPECT_EQ(b.PlaneBuilds(), before);
    b.ReleasePlanes();
    EXPECT_FALSE(b.PlanesHeld());
    EXPECT_EQ(b.PlaneBuilds() - before, 12);
    EXPECT_EQ(b.linearInteractionEnergy, a.linearInteractionEnergy);
    EXPECT_EQ(b.nonlinearInteractionEnergy, a.nonlinearInteractionEnergy);
    EXPECT_EQ(b.dlsInterfacialEnergy, a.dlsInterfacialEnergy);
    EXPECT_EQ(b.compositionNames, a.compositionNames);
    ExpectConsistent(b);

    // A thousand compositions under one hold: still one build per plane.
    Params c = NewSet();
    {
        Params::PlaneHold hold(c);
        for (int i = 1; i < 1000; ++i) ASSERT_EQ(c.InsertComposition(i, "c" + std::to_string(i)), 0);
    }
    EXPECT_EQ(c.PlaneBuilds(), 12 + 12);
    ExpectConsistent(c);
}

TEST(ParamsTables, AFileOfTooManyChannelsIsRefusedBeforeItsTables) {
    Params p = NewSet();
    std::vector<std::uint8_t> bytes = Store(p);
    // After the version and the dimension count: the composition count.
    const std::int32_t many = 1024;
    std::memcpy(bytes.data() + 8, &many, 4);
    Params q;
    try {
        Load(q, bytes);
        ADD_FAILURE();
    } catch (const ArchiveException& e) {
        EXPECT_NE(std::string(e.what()).find("Too many channels (1025)"), std::string::npos) << e.what();
    }
}

TEST(ParamsTables, InsertionShiftsEveryTableAndResetsDefaults) {
    Params p = NewSet();
    p.InsertComposition(1, "A");
    p.InsertComposition(2, "B");
    p.InsertTomoChannel(1, "C1");
    p.InsertTomoChannel(2, "C2");
    p.lacMatrix[p.MatrixIndex(1, 1)] = 0.5f;
    p.lacMatrix[p.MatrixIndex(2, 2)] = 0.25f;
    p.nonlinearSelfEnergy = {0.0f, 1.0f, 2.0f};
    p.nonlinearInteractionEnergy[1][1 * 3 + 2] = 7.0f;
    p.dlsZeroOffset[2][2] = 3.0f;
    p.defaultVolumeFractions = {0.1f, 0.2f, 0.7f};
    p.ctBeamEnergy[2] = 40.0f;

    ASSERT_EQ(p.InsertComposition(1, "New"), 0);  // A and B move up by one
    EXPECT_EQ(p.compositionNames, (std::vector<std::string>{"Void", "New", "A", "B"}));
    EXPECT_EQ(p.lacMatrix[p.MatrixIndex(1, 2)], 0.5f);
    EXPECT_EQ(p.lacMatrix[p.MatrixIndex(2, 3)], 0.25f);
    EXPECT_EQ(p.lacMatrix[p.MatrixIndex(1, 1)], 6.0f);
    EXPECT_EQ(p.nonlinearSelfEnergy, (std::vector<float>{0.0f, 0.0f, 1.0f, 2.0f}));
    EXPECT_EQ(p.nonlinearInteractionEnergy[1][2 * 4 + 3], 7.0f);
    EXPECT_EQ(p.nonlinearInteractionEnergy[1][1 * 4 + 1], -0.01f);  // new row gets the shell default
    EXPECT_EQ(p.nonlinearInteractionEnergy[0][1 * 4 + 2], 0.01f);
    EXPECT_EQ(p.dlsZeroOffset[3][2], 3.0f);
    EXPECT_EQ(p.defaultVolumeFractions, std::vector<float>(4, 0.25f));
    ExpectConsistent(p);

    // A CT channel inserted in front moves the others; the new one copies slot 0.
    ASSERT_EQ(p.InsertTomoChannel(1, "C0"), 0);
    EXPECT_EQ(p.ctChannelNames, (std::vector<std::string>{"", "C0", "C1", "C2"}));
    EXPECT_EQ(p.ctBeamEnergy[3], 40.0f);
    EXPECT_EQ(p.ctBeamEnergy[1], 20.0f);
    EXPECT_EQ(p.lacMatrix[p.MatrixIndex(2, 2)], 0.5f);
    EXPECT_EQ(p.dlsZeroOffset[3][3], 3.0f);
    ExpectConsistent(p);

    // Deletion is the mirror and keeps the user's fractions for the rest.
    p.defaultVolumeFractions = {0.1f, 0.2f, 0.3f, 0.4f};
    ASSERT_EQ(p.DeleteComposition(1), 0);
    EXPECT_EQ(p.compositionNames, (std::vector<std::string>{"Void", "A", "B"}));
    EXPECT_EQ(p.defaultVolumeFractions, (std::vector<float>{0.1f, 0.3f, 0.4f}));
    EXPECT_EQ(p.lacMatrix[p.MatrixIndex(2, 1)], 0.5f);
    EXPECT_EQ(p.nonlinearInteractionEnergy[1][1 * 3 + 2], 7.0f);
    ASSERT_EQ(p.DeleteTomoChannel(1), 0);
    EXPECT_EQ(p.ctBeamEnergy, (std::vector<float>{20.0f, 20.0f, 40.0f}));
    ExpectConsistent(p);
}

TEST(ParamsTables, BadIndicesAreRefusedAndChangeNothing) {
    Params p = NewSet();
    EXPECT_EQ(p.DeleteComposition(0), 2);
    EXPECT_EQ(p.lastError, 2);
    EXPECT_EQ(p.DeleteComposition(1), 2);  // nothing besides Void
    EXPECT_EQ(p.DeleteTomoChannel(1), 1);  // no CT channel
    EXPECT_EQ(p.InsertTomoChannel(0, "x"), 1);
    EXPECT_EQ(p.InsertTomoChannel(2, "x"), 1);
    EXPECT_EQ(p.InsertComposition(3, "x"), 2);
    EXPECT_EQ(p.compositionCount, 0);
    p.InsertTomoChannel(1, "C");
    EXPECT_EQ(p.SetTomoChannelName(0, "x"), 2);
    EXPECT_EQ(p.ctChannelNames, (std::vector<std::string>{"", "C"}));
    EXPECT_EQ(p.SetTomoChannelName(1, "D"), 0);
    EXPECT_EQ(p.ctChannelNames[1], "D");
    ExpectConsistent(p);
}

TEST(ParamsTables, DeletingTheLastCtChannelKeepsTablesInStep) {
    Params p = NewSet();
    p.InsertComposition(1, "A");
    p.InsertTomoChannel(1, "C1");
    p.stepFlags = {0, 0, 0, 0, 0, 1};
    p.structureChanged = false;
    ASSERT_EQ(p.DeleteTomoChannel(1), 0);
    EXPECT_EQ(p.ctChannelNames.size(), 1u);  // the name table follows the count
    EXPECT_EQ(p.stepFlags[5], 1);            // the last deletion leaves the step words alone
    EXPECT_FALSE(p.structureChanged);
    ExpectConsistent(p);
    // A saved set of that state loads again.
    Params q;
    Load(q, Store(p));
    EXPECT_EQ(q.ctChannelCount, 0);
}

TEST(ParamsTables, MissingTableOnDeletionIsReportedAndSkipped) {
    Params p = NewSet();
    p.InsertComposition(1, "A");
    p.InsertComposition(2, "B");
    p.defaultVolumeFractions.clear();
    HeadlessPrompt prompt;
    p.SetPrompt(&prompt);
    ASSERT_EQ(p.DeleteComposition(1), 0);
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].text,
              "Internal logic error - delete before insert user-defined default volume fractons");
    EXPECT_EQ(prompt.Requests()[0].icon, PromptIcon::Error);
    EXPECT_EQ(p.compositionNames, (std::vector<std::string>{"Void", "B"}));
}

TEST(ParamsArchive, RoundTripKeepsArchivedFields) {
    RegisterComputeClasses();
    Params p = NewSet();
    p.InsertComposition(1, "Water");
    p.InsertComposition(2, "Calcite");
    p.InsertTomoChannel(1, "CT 30 keV");
    p.InsertTomoChannel(2, "CT 60 keV");
    p.gridSize = 20;
    p.nonlinearSearchMethods = 3;
    p.voxelCount = 5'000'000'000LL;
    p.sampleSize = {2000, 2500, 1000};
    p.libraryList = {1, 2, 3};
    p.ctChannelUsed[2] = false;
    p.lacMatrix[p.MatrixIndex(2, 2)] = 1.25f;
    p.linearInteractionEnergy[3][4] = -2.0f;
    p.stepOrders[4] = 2;
    p.firstOrder = 2;
    p.rowCompValues[20][2] = 0.75f;
    p.libraryReal1 = 5.0;  // not archived
    p.setupChanged = true;
    p.structureChanged = true;
    Params q;
    Load(q, Store(p));
    p.libraryReal1 = 1.0;
    p.setupChanged = false;
    EXPECT_EQ(Store(p), Store(q));
    EXPECT_EQ(q.libraryReal1, 1.0);
    EXPECT_FALSE(q.setupChanged);
    EXPECT_EQ(q.voxelCount, 5'000'000'000LL);
    EXPECT_FALSE(q.ctChannelUsed[2]);
    EXPECT_EQ(q.compositionNames[2], "Calcite");
}

TEST(ParamsArchive, DamagedCountsAreRefused) {
    Params p = NewSet();
    p.InsertComposition(1, "A");
    p.InsertTomoChannel(1, "C");
    auto bytes = Store(p);
    // compositionCount sits after the stamp and dimensionCount.
    bytes[8] = 5;
    Params q;
    EXPECT_THROW(Load(q, bytes), ArchiveException);
    bytes[8] = 1;
    bytes.resize(bytes.size() - 7);
    EXPECT_THROW(Load(q, bytes), ArchiveException);
}

// A table left at another size (a window that stored after the channels changed) fails the
// store instead of writing what lies past the table's end.
TEST(ParamsTables, AnInteractionTableOfAnotherSizeFailsTheStore) {
    Params p = NewSet();
    ASSERT_EQ(p.InsertComposition(1, "Water"), 0);
    ASSERT_EQ(p.InsertComposition(2, "Calcite"), 0);
    EXPECT_NO_THROW(Store(p));
    p.linearInteractionEnergy[0].resize(4);
    EXPECT_THROW(Store(p), ArchiveException);
    p.linearInteractionEnergy[0].resize(16);
    EXPECT_THROW(Store(p), ArchiveException);
    p.linearInteractionEnergy[0].resize(9);
    EXPECT_NO_THROW(Store(p));
}

// Writes the layout an older program version wrote, for the gates of the loader.
std::vector<std::uint8_t> OldRecord(std::uint32_t v) {
    MemoryStream ms;
    Archive ar(ms, Archive::Mode::Store);
    auto arr = [&](std::vector<float> x) {
        ar << std::uint32_t(x.size());
        for (float f : x) ar << f;
    };
    auto grid = [&](int rows, std::vector<float> row) {
        ar << std::uint32_t(rows);
        for (int r = 0; r < rows; ++r) arr(row);
    };
    auto cube = [&](int n) {
        ar << std::uint32_t(4);
        for (int s = 0; s < 4; ++s) grid(n, std::vector<float>(n, 0.5f));
    };
    // One composition besides Void, one CT channel.
    ar << v << std::int32_t(3) << std::int32_t(1) << std::int32_t(1);
    ar << std::uint32_t(2) << std::string("Void") << std::string("A");
    ar << std::uint32_t(2) << std::string("") << std::string("C");
    ar << std::uint32_t(4) << std::uint32_t(5) << std::uint32_t(6);
    if (v < 349)
        ar << std::int32_t(120);
    else
        ar << std::int64_t(120);
    if (v >= 1967) {
        ar << std::uint32_t(4);
        for (double d : {1e-6, 2.0, 2.0, 2.0}) ar << d;
    }
    if (v >= 297) ar << 500.0;
    if (v >= 300) ar << 25.0 << std::int32_t(9) << std::int32_t(1);
    if (v >= 913) ar << 2.0f << 3.0f;
    if (v >= 1027 && v <= 1065) ar << std::uint32_t(0xDEAD);
    if (v >= 1217) ar << std::int32_t(4);
    ar << 7.0f;
    if (v >= 254) ar << std::int32_t(42);
    if (v >= 349) ar << std::int32_t(0) << std::int32_t(0) << std::uint32_t(0);
    if (v < 226) ar << std::uint32_t(0xBEEF);
    ar << std::int32_t(2000);
    if (v >= 1406) ar << std::int32_t(5000);
    ar << std::int32_t(10) << 1e-4f << false << std::int32_t(0);
    if (v >= 1158) {
        ar << true << false;
        arr({0, 0});
    }
    if (v >= 1217) ar << false << std::int32_t(0);
    arr({0, 0});
    if (v < 226) {
        arr({1});
        arr({1});
        for (int i = 0; i < 3; ++i) grid(1, {1});
        arr({1});
        for (int i = 0; i < 3; ++i) grid(1, {1});
        ar << std::uint32_t(1) << std::uint32_t(1) << std::int32_t(3);
    }
    if (v >= 226) cube(2);
    if (v >= 1217) cube(2);
    if (v >= 1048) {
        ar << std::int32_t(1);
        if (v < 1066) ar << std::uint32_t(0xCAFE);
        arr({1.5f, 2.5f});
        cube(2);
    }
    arr({20, 30});
    if (v >= 1217) arr({10, 12});
    arr({0, 0.1f});
    if (v >= 723) {
        arr({0, 0.1f});
        arr({0, 0});
    }
    arr({8, 3});
    if (v >= 723) {
        arr({8, 3});
        arr({0, 0});
    }
    arr({0, 0});
    arr({1, 1, 0, 2});
    arr({0, 0, 0, 0});
    if (v < 226) grid(1, {0});
    arr({0.5f, 0.5f});
    arr({0, 0});
    if (v >= 888) {
        grid(2, {0, 0});
        grid(2, {1, 1});
    }
    if (v >= 892) {
        ar << std::uint32_t(2) << true << true;
    }
    for (int i = 0; i < 6; ++i) ar << std::int32_t(i == 5 ? 3 : 2);
    for (int i = 0; i < 6; ++i) ar << std::int32_t(3);
    ar << std::int32_t(3) << std::int32_t(3) << std::int32_t(1);
    for (int t = 0; t < 6; ++t) {
        ar << std::uint32_t(21);
        for (int r = 0; r < 21; ++r) {
            if (t == 0 || t == 1 || t == 4)
                ar << std::uint32_t(2) << true << true;
            else
                arr({0, 1});
        }
    }
    ar.Flush();
    return ms.Bytes();
}

TEST(ParamsArchive, OlderVersionsLoadWithSubstitutes) {
    Params p;
    Load(p, OldRecord(1216));
    EXPECT_EQ(p.linearIterations, 10);
    EXPECT_EQ(p.ctDataSetWeights, (std::vector<float>{10.0f, 10.0f}));
    for (int s = 0; s < 4; ++s) EXPECT_FLOAT_EQ(p.linearInteractionEnergy[s][3], -1.0f / (s + 1));
    EXPECT_EQ(p.linearInteractionEnergy[0][1], 0.0f);
    EXPECT_EQ(p.nonlinearSearchMethods, 2);  // stored before 1256: one more
    EXPECT_EQ(p.voxelPhysicalSize, (std::vector<double>{1e-6, 1.0, 1.0, 1.0}));
    EXPECT_EQ(p.dlsSelfEnergy, (std::vector<float>{1.5f, 2.5f}));

    Params q;
    Load(q, OldRecord(1050));  // both obsolete words
    EXPECT_EQ(q.dlsNeighbourRange, 1);
    EXPECT_EQ(q.nonlinearIterations, 7.0f);
    EXPECT_EQ(q.attenuationErrorExponent, 2.0f);

    Params r;
    Load(r, OldRecord(1030));  // the first obsolete word only; no segmentation tables yet
    EXPECT_EQ(r.dlsSelfEnergy, (std::vector<float>{0.0f, 0.0f}));
    EXPECT_EQ(r.dlsNeighbourRange, 0);

    Params s;
    Load(s, OldRecord(1100));  // neither
    EXPECT_EQ(s.dlsSelfEnergy, (std::vector<float>{1.5f, 2.5f}));

    Params t;
    Load(t, OldRecord(722));  // measured tables copied from the working ones
    EXPECT_EQ(t.ctAttenHighMeasured, (std::vector<float>{8.0f, 3.0f}));
    EXPECT_EQ(t.ctAttenLowOffset, (std::vector<float>{0.0f, 0.0f}));
    EXPECT_EQ(t.ctChannelUsed, (std::vector<bool>{true, true}));
    EXPECT_EQ(t.dlsMultiplier, (Params::FloatRows{{1, 1}, {1, 1}}));

    Params u;
    Load(u, OldRecord(225));  // obsolete tables read and discarded, 32-bit voxel count
    EXPECT_EQ(u.voxelCount, 120);
    EXPECT_EQ(u.randomSeed, -1);
    EXPECT_EQ(u.lacMatrix, (std::vector<float>{1, 1, 0, 2}));
    EXPECT_EQ(u.nonlinearInteractionEnergy[0], DefaultShellPlane(0, 2));

    Params w;
    Load(w, OldRecord(2648));
    EXPECT_EQ(w.linearIterations, 4);
    EXPECT_EQ(w.voxelPhysicalSize[1], 2.0);
    EXPECT_EQ(w.ctDataSetWeights, (std::vector<float>{10.0f, 12.0f}));
}

TEST(ParamsSetup, ChangedStepsAndLaterOrdersAreMarked) {
    Params p = NewSet();
    p.stepFlags = {0, 0, 0, 0, 0, 1};
    p.setupChanged = false;
    SetupChoice c = CurrentSetupChoice(p);
    EXPECT_FALSE(ApplySetupChoice(p, c));  // nothing changed
    EXPECT_EQ(p.stepFlags[5], 1);
    EXPECT_FALSE(p.setupChanged);

    c.enabled[1] = true;  // linear on, at order 2
    c.order[1] = 2;
    EXPECT_TRUE(ApplySetupChoice(p, c));
    EXPECT_EQ(p.firstOrder, 2);
    EXPECT_EQ(p.lastOrder, 3);
    EXPECT_EQ(p.stepFlags[kStepLinear], 3);
    EXPECT_EQ(p.stepFlags[kStepNonlinear], 3);
    for (int s = 0; s < kStepCount; ++s) EXPECT_TRUE(p.stepFlags[s] & kStepChanged);
    EXPECT_TRUE(p.setupChanged);

    p.stepFlags = {0, 0, 0, 0, 1, 1};
    p.setupChanged = false;
    c = CurrentSetupChoice(p);
    c.randomSeed = 7;
    EXPECT_TRUE(ApplySetupChoice(p, c));
    EXPECT_EQ(p.stepFlags[4], 3);
    EXPECT_EQ(p.randomSeed, 7);
    c.order[2] = 5;
    ApplySetupChoice(p, c);
    EXPECT_EQ(p.lastOrder, 5);
}

}  // namespace
}  // namespace zun
