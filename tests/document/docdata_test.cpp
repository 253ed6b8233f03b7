// The document's data-file commands: whole-document import and export, selections, refusals.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "dochelpers.h"
#include "document/binarydatafile.h"
#include "document/textdatafile.h"
#include "foundation/memoryguard.h"
#include "peakmemory.h"
#include "platform/progress.h"
#include "testfiles.h"

namespace zun {
namespace {

using Lines = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

void Fill(CZunDoc& doc) {
    ASSERT_EQ(doc.ResizeVolume({5, 4, 3}, {0, 0, 0}), 0);
    ASSERT_EQ(doc.InsertChannel(0, 1, "Water"), 0);
    ASSERT_EQ(doc.InsertChannel(1, 2, "ct \"A\""), 0);
    ASSERT_EQ(doc.InsertChannel(3, 3, "edge"), 0);
    ZunImage& s = doc.GetSample();
    for (int i = 0; i < s.GetChanCount(); ++i) {
        ZunChan& c = *s.GetChan(i);
        for (std::uint64_t v = 0; v < c.GetNumVoxels(); ++v)
            c.Data()[v] = static_cast<imtype>(i * 977 + v * 31337);
        c.range = {0.125f * i, 2.5f + i};
    }
    s.GetChan(1)->compound.SetFormula("H2O", true);
    s.GetChan(1)->compound.density = 0.997;
    doc.SetNotes("two\nlines");
    doc.Settings().attenuationMethod = 3;
    Params& p = doc.GetModel().GetParams();
    p.ctBeamEnergy[1] = 33.5f;
    p.ctRelativeAccuracy[1] = 0.01f;
    p.volumeFractionAccuracy = {0.0f, 0.002f};
    p.voxelPhysicalSize = {1e-3, 2, 3, 4.5};
}

// The words go straight between the file and the channels, so a Cancel must still leave what
// was there: a new document new and empty, chosen channels unchanged, an earlier file as it was.
TEST(DocData, CancelledTextTransfersLeaveEverythingAsItWas) {
    TempDir dir;
    HeadlessPrompt prompt;
    HeadlessProgress progress;
    RegisterAllClasses();
    CZunDoc f{DocServices{&prompt, &progress, nullptr}};
    f.OnNewDocument();
    Fill(f);
    const std::string path = dir.File("doc.txt");
    ASSERT_TRUE(f.ExportTextDocument(path));
    const std::string written = ReadFileText(path);
    const DataDocument before = f.ToDataDocument();
    const std::string water = dir.File("water.txt");
    ASSERT_TRUE(f.ExportChannelsToText({"Water"}, water));

    f.GetSample().GetChan(0)->Data()[0] ^= 1;
    progress.CancelAtCall(3);
    EXPECT_FALSE(f.ExportTextDocument(path));
    EXPECT_EQ(ReadFileText(path), written);
    f.GetSample().GetChan(0)->Data()[0] ^= 1;

    for (int at : {1, 3, 6}) {
        HeadlessProgress cancel;
        cancel.CancelAtCall(at);
        CZunDoc g{DocServices{&prompt, &cancel, nullptr}};
        g.OnNewDocument();
        EXPECT_FALSE(g.ImportTextDocument(path)) << at;
        EXPECT_EQ(g.GetSample().GetChanCount(), 1) << at;
        EXPECT_EQ(g.GetSample().GetNumVoxels(), 0u) << at;
        EXPECT_FALSE(g.IsModified()) << at;

        HeadlessProgress selection;
        selection.CancelAtCall(at);
        CZunDoc h{DocServices{&prompt, &selection, nullptr}};
        h.OnNewDocument();
        Fill(h);
        h.GetSample().GetChan(1)->Data()[2] ^= 1;
        const DataDocument mine = h.ToDataDocument();
        EXPECT_FALSE(h.ImportChannelsFromText({"Water"}, water)) << at;
        EXPECT_EQ(h.ToDataDocument(), mine) << at;
    }
    EXPECT_EQ(f.ToDataDocument(), before);
    EXPECT_TRUE(prompt.Requests().empty());
}

// The binary words go into the channels as they are read: a Cancel half way must still leave a
// new document new and empty, able to take the file afterwards.
TEST(DocData, CancelledBinaryImportLeavesTheDocumentNewAndEmpty) {
    TempDir dir;
    HeadlessPrompt prompt;
    RegisterAllClasses();
    CZunDoc f{DocServices{&prompt, nullptr, nullptr}};
    f.OnNewDocument();
    Fill(f);
    const std::string path = dir.File("doc.bin");
    ASSERT_TRUE(f.ExportBinaryDataFile(path));
    for (int at : {1, 2, 3}) {
        HeadlessProgress cancel;
        cancel.CancelAtCall(at);
        CZunDoc g{DocServices{&prompt, &cancel, nullptr}};
        g.OnNewDocument();
        EXPECT_FALSE(g.ImportBinaryDataFile(path)) << at;
        EXPECT_EQ(g.GetSample().GetChanCount(), 1) << at;
        EXPECT_EQ(g.GetSample().GetNumVoxels(), 0u) << at;
        EXPECT_FALSE(g.IsModified()) << at;
    }
    EXPECT_TRUE(prompt.Requests().empty());
    CZunDoc h{DocServices{&prompt, nullptr, nullptr}};
    h.OnNewDocument();
    ASSERT_TRUE(h.ImportBinaryDataFile(path));
    EXPECT_EQ(h.ToDataDocument().channels, f.ToDataDocument().channels);
}

// A 256x256x64 sample of three channels whose words follow a known pattern; the number of bytes
// its words take, or 0 when it could not be made.
std::int64_t FillPatternedSample(CZunDoc& doc) {
    if (doc.ResizeVolume({256, 256, 64}, {0, 0, 0}) != 0 || doc.InsertChannel(0, 1, "Water") != 0 ||
        doc.InsertChannel(0, 2, "Bone") != 0)
        return 0;
    std::int64_t raw = 0;
    ZunImage& s = doc.GetSample();
    for (int i = 0; i < s.GetChanCount(); ++i) {
        ZunChan& c = *s.GetChan(i);
        for (std::uint64_t v = 0; v < c.GetNumVoxels(); ++v)
            c.Data()[v] = static_cast<imtype>((v * 7 + i) % 100);
        raw += static_cast<std::int64_t>(c.GetNumVoxels() * sizeof(imtype));
    }
    return raw;
}

// Writes a patterned document to `path` with `write`, then reads it into `into` with `read`; the
// peak of either step must stay under an eighth of the words above what the document holds.
// Returns the size of the words.
std::int64_t ExpectWordsHeldOnceThrough(const std::string& path, bool (CZunDoc::*write)(const std::string&),
                                        bool (CZunDoc::*read)(const std::string&), CZunDoc& into) {
    using test::ResetPeakMemory;
    using test::StatusBytes;
    std::int64_t raw = 0;
    {
        DocFixture f;
        raw = FillPatternedSample(f.doc);
        EXPECT_GT(raw, 0);
        EXPECT_TRUE(ResetPeakMemory());
        const std::int64_t before = StatusBytes("VmRSS:");
        EXPECT_TRUE((f.doc.*write)(path)) << "export";
        EXPECT_LT(StatusBytes("VmHWM:") - before, raw / 8) << "export";
    }
    EXPECT_TRUE(ResetPeakMemory());
    if (!(into.*read)(path)) {
        ADD_FAILURE() << "import";
        return raw;
    }
    EXPECT_LT(StatusBytes("VmHWM:") - StatusBytes("VmRSS:"), raw / 8) << "import";
    EXPECT_EQ(into.GetSample().GetChan(2)->Data()[1000], (1000 * 7 + 2) % 100);
    return raw;
}

// Text import and export take the words from and to the document's channels as the file is read
// or written: the data are never held a second time, so a volume that fills most of the memory
// can still be exported and imported. (The document's own tables and buffers stay after the
// import; what must not show is a peak above them.)
TEST(DocData, TextImportAndExportHoldTheDataOnce) {
    using test::ResetPeakMemory;
    using test::StatusBytes;
    if (!ResetPeakMemory()) GTEST_SKIP() << "the peak resident memory cannot be reset here";
    TempDir dir;
    const std::string path = dir.File("big.txt");
    DocFixture g;
    const std::int64_t raw =
        ExpectWordsHeldOnceThrough(path, &CZunDoc::ExportTextDocument, &CZunDoc::ImportTextDocument, g.doc);
    ASSERT_FALSE(HasFailure());
    // A selection read back into the document: checked through first, then read in place.
    ASSERT_TRUE(ResetPeakMemory());
    const std::int64_t before = StatusBytes("VmRSS:");
    ASSERT_TRUE(g.doc.ImportChannelsFromText({"Void", "Water", "Bone"}, path));
    EXPECT_LT(StatusBytes("VmHWM:") - before, raw / 8) << "selection import";
    EXPECT_EQ(g.doc.GetSample().GetChan(1)->Data()[12345], (12345 * 7 + 1) % 100);
}

TEST(DocData, WholeDocumentRoundTripsThroughBothFormats) {
    TempDir dir;
    DocFixture f;
    Fill(f.doc);
    const DataDocument original = f.doc.ToDataDocument();
    for (bool binary : {true, false}) {
        std::string path = dir.File(binary ? "doc.bin" : "doc.txt");
        ASSERT_TRUE(binary ? f.doc.ExportBinaryDataFile(path) : f.doc.ExportTextDocument(path));
        DocFixture g;
        ASSERT_TRUE(binary ? g.doc.ImportBinaryDataFile(path) : g.doc.ImportTextDocument(path));
        DataDocument back = g.doc.ToDataDocument();
        if (!binary) back.notes = original.notes;  // text files carry no notes
        if (binary) {
            // Binary files carry no settings.
            back.method = original.method;
            back.compounds = original.compounds;
            back.beamEnergies = original.beamEnergies;
            back.accuracies = original.accuracies;
            back.multiplier = original.multiplier;
            back.sx = original.sx;
            back.sy = original.sy;
            back.sz = original.sz;
        } else {
            const Params& p = g.doc.GetModel().GetParams();
            EXPECT_EQ(p.ctBeamEnergy[1], 33.5f);
            EXPECT_EQ(p.ctRelativeAccuracy[1], 0.01f);
            EXPECT_EQ(p.voxelPhysicalSize, (std::vector<double>{1e-3, 2, 3, 4.5}));
            // The measured attenuation is the channel's range.
            EXPECT_EQ(p.ctAttenHighMeasured[1], 2.5f + 2);
        }
        EXPECT_EQ(back, original) << path;
        EXPECT_EQ(g.doc.GetNameText(), "doc");
        EXPECT_FALSE(g.doc.IsModified());
        Lines hints = g.hints.Take();
        ASSERT_FALSE(hints.empty());
        EXPECT_EQ(hints.back(), "0 RenameDoc doc");
    }
}

// What a text document says is what its export says again: the settings the document holds in
// single precision come back as they were typed, not widened.
TEST(DocData, TextExportWritesBackTheNumbersAsRead) {
    TempDir dir;
    const std::string header =
        "TEXT 1\nGRID 2 1 1\nCHANNELS 4\nSOURCE 1 0\nSCALES 1e-06 0.1 0.25 3\nNAMES \"Void\" \"Calcite\" "
        "\"ct 1\" \"ct 2\"\nTYPES 0 0 1 1\nRANGES 0 1 0.1 0.7 0.3 33.3 -0.05 2.71\nCOMPOUNDS 1 \"CaCO3\" "
        "2.71\nBEAM 2 40.1\nBEAM 3 33.17\nACCURACY 1 0.002\nACCURACY 2 0.01\nACCURACY 3 0.015\nDATA\n";
    const std::string in = dir.File("in.txt"), out = dir.File("out.txt");
    WriteFileText(in, header + "1 2\n3 4\n5 6\n7 8\nEND\n");
    DocFixture f;
    ASSERT_TRUE(f.doc.ImportTextDocument(in)) << ::testing::PrintToString(f.Messages());
    const Params& p = f.doc.GetModel().GetParams();
    EXPECT_EQ(p.ctBeamEnergy[1], 40.1f);
    EXPECT_EQ(p.ctRelativeAccuracy[1], 0.01f);
    ASSERT_TRUE(f.doc.ExportTextDocument(out));
    EXPECT_EQ(ReadFileText(out).substr(0, header.size()), header);
    // The composition dialog reads a density in single precision.
    f.doc.GetSample().GetChan(1)->compound.density = 2.71f;
    ASSERT_TRUE(f.doc.ExportTextDocument(out));
    const std::string written = ReadFileText(out);
    EXPECT_EQ(written.substr(0, header.size()), header);
}

TEST(DocData, RefusedFilesLeaveTheDocumentEmptyAndSayWhy) {
    TempDir dir;
    DocFixture f;
    std::string path = dir.File("x.bin");
    WriteFileText(path, "zun_file");
    EXPECT_FALSE(f.doc.ImportBinaryDataFile(path));
    EXPECT_EQ(f.Messages(),
              (Lines{"Not a valid binary data file: " + path + " (no binary data file header)"}));
    EXPECT_FALSE(f.doc.ImportTextDocument(dir.File("none.txt")));
    EXPECT_EQ(f.Messages(), (Lines{"Cannot open file: " + dir.File("none.txt")}));
    // A whole document must start with a composition channel and keep the kinds in order.
    std::string t = dir.File("order.txt");
    WriteFileText(
        t, "TEXT 1 GRID 1 1 1 CHANNELS 2 NAMES \"a\" \"b\" TYPES 1 0 RANGES 0 1 0 1 BEAM 0 30 DATA 1 2 END");
    EXPECT_FALSE(f.doc.ImportTextDocument(t));
    EXPECT_EQ(f.Messages(),
              (Lines{"Not a text data file: " + t + " (the first channel is not a composition channel)"}));
    EXPECT_EQ(f.doc.GetSample().GetChanCount(), 1);
    EXPECT_EQ(f.doc.GetSample().GetNumVoxels(), 0u);
}

// A binary file was read whole and then copied into the channels, and written from a copy of
// the channels: its words were held twice either way.
TEST(DocData, BinaryImportAndExportHoldTheWordsOnce) {
    if (!test::ResetPeakMemory()) GTEST_SKIP() << "the peak resident memory cannot be reset here";
    TempDir dir;
    DocFixture g;
    ExpectWordsHeldOnceThrough(dir.File("big.bin"), &CZunDoc::ExportBinaryDataFile, &CZunDoc::ImportBinaryDataFile,
                               g.doc);
}

TEST(DocData, AnImportRefusedForMemoryHalfWayLeavesTheDocumentNewAndEmpty) {
    TempDir dir;
    std::string path = dir.File("doc.bin");
    {
        DocFixture f;
        Fill(f.doc);
        ASSERT_TRUE(f.doc.ExportBinaryDataFile(path));
    }
    // The guard refuses every voxel block from the n-th request on, for each n in turn.
    int left = 0;
    SetMemoryPolicy({true, 50});
    SetMemoryStatusSource([&](MemoryStatus& m) {
        m.totalPhysical = 1ull << 34;
        m.availablePhysical = left-- > 0 ? 1ull << 34 : 1ull << 20;
        return true;
    });
    int refused = 0;
    for (int n = 0; n < 40; ++n) {
        left = 1 << 20;
        DocFixture g;
        left = n;
        if (g.doc.ImportBinaryDataFile(path)) break;
        ++refused;
        const ZunImage& s = g.doc.GetSample();
        EXPECT_EQ(s.GetChanCount(), 1) << n;
        EXPECT_EQ(s.GetNumVoxels(), 0u) << n;
        EXPECT_EQ(s.GetChan(0)->name, "Void") << n;
        EXPECT_EQ(g.doc.GetModel().GetParams().compositionCount, 0) << n;
        EXPECT_FALSE(g.doc.IsModified()) << n;
        // With the memory back, the same document takes the file.
        left = 1 << 20;
        g.prompt.Clear();
        EXPECT_TRUE(g.doc.ImportBinaryDataFile(path)) << n;
        EXPECT_EQ(g.doc.GetSample().GetChanCount(), 4) << n;
    }
    SetMemoryStatusSource({});
    SetMemoryPolicy({});
    EXPECT_GT(refused, 1);
}

TEST(DocData, AnEmptyDocumentRoundTripsAndDegenerateGridsAreRefusedWithAMessage) {
    TempDir dir;
    std::string path = dir.File("empty.bin");
    {
        DocFixture f;
        ASSERT_TRUE(f.doc.ExportBinaryDataFile(path));
    }
    DocFixture g;
    ASSERT_TRUE(g.doc.ImportBinaryDataFile(path));
    EXPECT_EQ(g.doc.GetSample().GetChanCount(), 1);
    EXPECT_EQ(g.doc.GetSample().GetNumVoxels(), 0u);
    EXPECT_TRUE(g.Messages().empty());

    // The same file claiming planes or rows of nothing: at once, with the reason.
    const Bytes empty = ReadFileBytes(path);
    const std::size_t grid = 9 + 4 + 4;  // magic, version, empty notes
    for (auto [nx, ny, nz] :
         {std::array<std::uint32_t, 3>{0, 1, 100000000}, {0, 1, 4294967295u}, {7, 0, 0}, {1, 1, 0}}) {
        Bytes b = empty;
        std::memcpy(b.data() + grid, &nx, 4);
        std::memcpy(b.data() + grid + 4, &ny, 4);
        std::memcpy(b.data() + grid + 8, &nz, 4);
        std::string bad = dir.File("degenerate.bin");
        WriteFileBytes(bad, b);
        DocFixture h;
        EXPECT_FALSE(h.doc.ImportBinaryDataFile(bad));
        EXPECT_EQ(h.Messages(),
                  (Lines{"Not a valid binary data file: " + bad + " (the grid has an empty direction)"}))
            << nx << " " << ny << " " << nz;
        EXPECT_EQ(h.doc.GetSample().GetNumVoxels(), 0u);
    }
}

TEST(DocData, AFormulaThatDoesNotParseRefusesTheImport) {
    TempDir dir;
    const std::string path = dir.File("f.txt");
    for (auto [formula, detail] :
         {std::pair{"Zz", "'Z' at position 1"}, std::pair{"H2Oo", "'o' at position 4"}}) {
        WriteFileText(path, std::string("TEXT 1\nGRID 1 1 1\nCHANNELS 2\nNAMES \"Void\" \"W\"\nTYPES 0 0\n"
                                        "RANGES 0 1 0 1\nCOMPOUNDS 1 \"") +
                                formula + "\" 1.0\nDATA 1 2 END\n");
        DocFixture f;
        EXPECT_FALSE(f.doc.ImportTextDocument(path));
        EXPECT_EQ(f.Messages(), (Lines{textfile::Message(textfile::kCannotRead, path,
                                                         std::string("line 7: formula \"") + formula +
                                                             "\": Invalid character " + detail)}));
        EXPECT_EQ(f.doc.GetSample().GetChanCount(), 1);
        EXPECT_EQ(f.doc.GetSample().GetNumVoxels(), 0u);
    }
}

TEST(DocData, CtWordsAboveFourteenBitsWarnAndAreKept) {
    TempDir dir;
    DocFixture f;
    Fill(f.doc);
    const ZunChan& ct = *f.doc.GetSample().GetChan(2);
    const std::size_t flagged = static_cast<std::size_t>(
        std::count_if(ct.Data(), ct.Data() + ct.GetNumVoxels(), [](imtype w) { return w > 16383; }));
    ASSERT_GT(flagged, 0u);
    const std::string path = dir.File("doc.txt");
    ASSERT_TRUE(f.doc.ExportTextDocument(path));
    DocFixture g;
    ASSERT_TRUE(g.doc.ImportTextDocument(path));
    const auto requests = g.prompt.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].icon, PromptIcon::Warning);
    EXPECT_NE(requests[0].text.find("X-ray CT channel \"ct \"A\"\": " + std::to_string(flagged) +
                                    " words above 16383"),
              std::string::npos)
        << requests[0].text;
    EXPECT_EQ(g.doc.ToDataDocument().channels[2].words, f.doc.ToDataDocument().channels[2].words);

    // Words taken into a CT channel from a selection file are counted the same way.
    const std::string water = dir.File("water.txt");
    ASSERT_TRUE(g.doc.ExportChannelsToText({"Water"}, water));
    g.prompt.Clear();
    ASSERT_TRUE(g.doc.ImportChannelsFromText({"ct \"A\""}, water));
    ASSERT_EQ(g.prompt.Requests().size(), 1u);
    EXPECT_NE(g.prompt.Requests()[0].text.find("X-ray CT channel \"ct \"A\"\""), std::string::npos)
        << g.prompt.Requests()[0].text;
}

TEST(DocData, ResidualsNeverOverwriteAChannelOfAnotherKind) {
    DocFixture f;
    ASSERT_EQ(f.doc.ResizeVolume({4, 3, 2}, {0, 0, 0}), 0);
    ASSERT_EQ(f.doc.InsertChannel(0, 1, "Water"), 0);
    ASSERT_EQ(f.doc.InsertChannel(1, 2, "ct"), 0);
    ASSERT_EQ(f.doc.InsertChannel(1, 3, "ct_residual"), 0);  // measured data that happens to be named so
    ZunImage& s = f.doc.GetSample();
    ASSERT_TRUE(s.GetChan(1)->compound.SetFormula("H2O", true) == 0);
    for (int i = 0; i < s.GetChanCount(); ++i)
        for (std::uint64_t v = 0; v < s.GetNumVoxels(); ++v)
            s.GetChan(i)->Data()[v] = static_cast<imtype>(100 * i + v);
    const std::vector<imtype> measured(s.FindChan("ct_residual")->Data(),
                                       s.FindChan("ct_residual")->Data() + 24);

    EXPECT_EQ(f.doc.SubtractModelData(), 2);
    const ZunChan* kept = s.FindChan("ct_residual");
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->kind, ZunChan::kXrayCt);
    EXPECT_EQ(std::vector<imtype>(kept->Data(), kept->Data() + 24), measured);
    ASSERT_NE(s.FindChan("ct_residual_2"), nullptr);
    EXPECT_EQ(s.FindChan("ct_residual_2")->kind, ZunChan::kProperty);
    ASSERT_NE(s.FindChan("ct_residual_residual"), nullptr);
    // The second time the residual property channels are taken again; nothing new appears.
    const int count = s.GetChanCount();
    EXPECT_EQ(f.doc.SubtractModelData(), 2);
    EXPECT_EQ(s.GetChanCount(), count);
    kept = s.FindChan("ct_residual");
    EXPECT_EQ(std::vector<imtype>(kept->Data(), kept->Data() + 24), measured);
}

TEST(DocData, ChannelAndSliceSelectionsExportAndImport) {
    TempDir dir;
    DocFixture f;
    Fill(f.doc);
    ZunImage& s = f.doc.GetSample();
    std::string chans = dir.File("chans.txt");
    ASSERT_TRUE(f.doc.ExportChannelsToText({"edge", "Water"}, chans));
    std::string slices = dir.File("slices.txt");
    ASSERT_TRUE(f.doc.ExportSlicesToText({{"Water", 2}, {"Water", 0}}, slices));
    const std::vector<imtype> water(s.GetChan(1)->Data(), s.GetChan(1)->Data() + 60);
    const std::vector<imtype> edge(s.GetChan(3)->Data(), s.GetChan(3)->Data() + 60);
    f.hints.Take();

    // Swapped into the other channels: edge's words go to Void, Water's to edge.
    ASSERT_TRUE(f.doc.ImportChannelsFromText({"Void", "edge"}, chans));
    EXPECT_EQ(std::vector<imtype>(s.GetChan(0)->Data(), s.GetChan(0)->Data() + 60), edge);
    EXPECT_EQ(std::vector<imtype>(s.GetChan(3)->Data(), s.GetChan(3)->Data() + 60), water);
    EXPECT_EQ(f.hints.Take(), (Lines{"2 Stats 0 all"}));
    EXPECT_TRUE(f.doc.IsModified());

    // Slice files go to the selected slices in order: file plane 2 -> slice 1, plane 0 -> slice 0.
    ASSERT_TRUE(f.doc.ImportSlicesFromText({{"ct \"A\"", 1}, {"ct \"A\"", 0}}, slices));
    const imtype* ct = s.GetChan(2)->Data();
    EXPECT_EQ(std::vector<imtype>(ct + 20, ct + 40),
              std::vector<imtype>(water.begin() + 40, water.begin() + 60));
    EXPECT_EQ(std::vector<imtype>(ct, ct + 20), std::vector<imtype>(water.begin(), water.begin() + 20));

    // A slice file holding every plane, in another order, goes into a whole channel by its
    // slice numbers.
    std::string every = dir.File("every.txt");
    ASSERT_TRUE(f.doc.ExportSlicesToText({{"Water", 2}, {"Water", 0}, {"Water", 1}}, every));
    ASSERT_TRUE(f.doc.ImportChannelsFromText({"edge"}, every));
    EXPECT_EQ(std::vector<imtype>(s.GetChan(3)->Data(), s.GetChan(3)->Data() + 60), water);

    f.Messages();
    EXPECT_FALSE(f.doc.ImportChannelsFromText({"Void"}, chans));
    EXPECT_FALSE(f.doc.ImportChannelsFromText({"Void", "edge"}, slices));
    EXPECT_FALSE(f.doc.ImportSlicesFromText({{"Void", 0}}, slices));
    EXPECT_EQ(f.Messages(), (Lines{textfile::Message(textfile::kCountMismatch, chans),
                                   textfile::Message(textfile::kGridMismatch, slices),
                                   textfile::Message(textfile::kGridMismatch, slices)}));
    // A file broken in its last channel is refused before any channel changes.
    std::string text = ReadFileText(chans);
    const std::size_t end = text.rfind("END");
    ASSERT_NE(end, std::string::npos);
    const std::size_t last = text.rfind(' ', end);
    ASSERT_NE(last, std::string::npos);
    std::string broken = dir.File("broken.txt");
    WriteFileText(broken, text.substr(0, last + 1) + "70000\nEND\n");
    const std::vector<imtype> before0(s.GetChan(0)->Data(), s.GetChan(0)->Data() + 60);
    const std::vector<imtype> before3(s.GetChan(3)->Data(), s.GetChan(3)->Data() + 60);
    EXPECT_FALSE(f.doc.ImportChannelsFromText({"edge", "Void"}, broken));
    EXPECT_EQ(std::vector<imtype>(s.GetChan(0)->Data(), s.GetChan(0)->Data() + 60), before0);
    EXPECT_EQ(std::vector<imtype>(s.GetChan(3)->Data(), s.GetChan(3)->Data() + 60), before3);
    ASSERT_EQ(f.Messages().size(), 1u);

    f.doc.ResizeVolume({5, 3, 3}, {0, 0, 0});
    f.Messages();
    EXPECT_FALSE(f.doc.ImportChannelsFromText({"Void", "edge"}, chans));
    EXPECT_EQ(f.Messages(), (Lines{textfile::Message(textfile::kGridMismatch, chans)}));
}

}  // namespace
}  // namespace zun
