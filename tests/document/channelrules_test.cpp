// Channel counts and names on every road into a document: the data files, the document file and
// the document's own insert and rename.

#include <gtest/gtest.h>

#include "dochelpers.h"
#include "document/binarydatafile.h"
#include "document/textdatafile.h"
#include "model/channelrules.h"
#include "testfiles.h"

namespace zun {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A 3 x 3 x 1 document of `count` composition channels.
DataDocument ManyCompositions(int count) {
    DataDocument d;
    d.nx = 3;
    d.ny = 3;
    d.nz = 1;
    for (int i = 0; i < count; ++i) {
        DataChannel c;
        c.name = i == 0 ? "Void" : "c" + std::to_string(i);
        c.words.assign(9, static_cast<std::uint16_t>(i));
        d.channels.push_back(std::move(c));
    }
    return d;
}

// Writes the file as it stands, past the writer's own checks.
void WriteUnchecked(const std::string& path, const DataDocument& d) {
    Bytes b(kBinaryDataMagic, kBinaryDataMagic + sizeof kBinaryDataMagic);
    auto u32 = [&](std::uint32_t v) {
        b.insert(b.end(), reinterpret_cast<std::uint8_t*>(&v), reinterpret_cast<std::uint8_t*>(&v) + 4);
    };
    auto text = [&](const std::string& s) {
        u32(static_cast<std::uint32_t>(s.size()));
        b.insert(b.end(), s.begin(), s.end());
    };
    u32(1);
    text(d.notes);
    u32(d.nx);
    u32(d.ny);
    u32(d.nz);
    u32(static_cast<std::uint32_t>(d.channels.size()));
    for (const DataChannel& c : d.channels) {
        text(c.name);
        u32(static_cast<std::uint32_t>(c.kind));
        float r[2] = {c.rangeMin, c.rangeMax};
        b.insert(b.end(), reinterpret_cast<std::uint8_t*>(r), reinterpret_cast<std::uint8_t*>(r) + 8);
    }
    for (const DataChannel& c : d.channels)
        b.insert(b.end(), reinterpret_cast<const std::uint8_t*>(c.words.data()),
                 reinterpret_cast<const std::uint8_t*>(c.words.data() + c.words.size()));
    WriteFileBytes(path, b);
}

TEST(ChannelCounts, AFileOfManyChannelsOpensWithEachPlaneBuiltOnce) {
    TempDir dir;
    const std::string path = dir.File("many.bin");
    WriteBinaryDataFile(path, ManyCompositions(1000));
    DocFixture f;
    const std::int64_t before = f.doc.GetModel().GetParams().PlaneBuilds();
    ASSERT_TRUE(f.doc.ImportBinaryDataFile(path));
    const Params& p = f.doc.GetModel().GetParams();
    EXPECT_EQ(f.doc.GetSample().GetChanCount(), 1000);
    EXPECT_EQ(p.compositionCount, 999);
    EXPECT_NO_THROW(p.Validate());
    // Three tables of four shells, each built once for the whole file.
    EXPECT_EQ(p.PlaneBuilds() - before, 12);
    EXPECT_FALSE(p.PlanesHeld());
    EXPECT_EQ(p.nonlinearInteractionEnergy[0][1 * 1000 + 2], 0.01f);
    EXPECT_EQ(p.nonlinearInteractionEnergy[1][999 * 1000 + 999], -0.01f);
}

TEST(ChannelCounts, OneChannelTooManyIsRefusedOnEveryRoadAndChangesNothing) {
    TempDir dir;
    const std::string bin = dir.File("over.bin"), txt = dir.File("over.txt");
    const DataDocument over = ManyCompositions(kMaxChannels + 1);
    WriteUnchecked(bin, over);
    const std::string why = CheckChannelCount(kMaxChannels + 1);
    EXPECT_EQ(why, "Too many channels (1025): a document holds at most 1024");
    {
        DocFixture f;
        EXPECT_FALSE(f.doc.ImportBinaryDataFile(bin));
        EXPECT_EQ(f.doc.GetSample().GetChanCount(), 1);
        EXPECT_EQ(f.doc.GetModel().GetParams().PlaneBuilds(), 12);  // only the new document's
        ASSERT_EQ(f.Messages().size(), 1u);
    }
    try {
        ReadBinaryDataFile(bin);
        ADD_FAILURE();
    } catch (const DataFileError& e) {
        EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
    WriteFileText(txt, "TEXT 1\nGRID 1 1 1\nCHANNELS 1025\n");
    try {
        ReadTextDataFile(txt);
        ADD_FAILURE();
    } catch (const DataFileError& e) {
        EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
    EXPECT_THROW(WriteBinaryDataFile(dir.File("w.bin"), over), std::runtime_error);

    // Insertion, one by one and as a list: the channel that would pass the limit is refused.
    TempDir d2;
    const std::string full = d2.File("full.bin");
    WriteBinaryDataFile(full, ManyCompositions(kMaxChannels - 1));
    DocFixture f;
    ASSERT_TRUE(f.doc.ImportBinaryDataFile(full));
    f.Messages();
    EXPECT_EQ(f.doc.InsertChannels({{"a", 0}, {"b", 1}}), CheckChannelCount(kMaxChannels + 1));
    EXPECT_EQ(f.doc.GetSample().GetChanCount(), kMaxChannels - 1);
    EXPECT_EQ(f.doc.InsertChannel(0, 1, "a"), 0);
    EXPECT_EQ(f.doc.InsertChannel(1, 1, "b"), -3);
    EXPECT_EQ(f.Messages(), std::vector<std::string>{CheckChannelCount(kMaxChannels + 1)});
    EXPECT_EQ(f.doc.GetSample().GetChanCount(), kMaxChannels);
    EXPECT_NO_THROW(f.doc.GetModel().GetParams().Validate());
}

TEST(ChannelCounts, AListOfChannelsBuildsThePlanesOnce) {
    DocFixture f;
    ASSERT_EQ(f.doc.ResizeVolume({3, 3, 1}, {0, 0, 0}), 0);
    std::vector<CZunDoc::NewChannel> list;
    for (int i = 0; i < 300; ++i) list.push_back({"", i % 3 == 2 ? 1 : 0});
    const Params& p = f.doc.GetModel().GetParams();
    const std::int64_t before = p.PlaneBuilds();
    EXPECT_EQ(f.doc.InsertChannels(list), "");
    EXPECT_EQ(f.doc.GetSample().GetChanCount(), 301);
    EXPECT_EQ(p.compositionCount, 200);
    EXPECT_EQ(p.PlaneBuilds() - before, 12);
    EXPECT_NO_THROW(p.Validate());
}

TEST(ChannelNames, ControlCharactersAndBlankNamesAreRefusedEverywhere) {
    using namespace std::string_literals;
    const std::string bad[] = {"Wa\0ter"s, " ", "   ", "\t", "two\nlines", "x\x7f"};
    for (const std::string& name : bad) EXPECT_NE(CheckChannelName(name), "") << name;
    for (const std::string& name : {"Water"s, " Water "s, "ct \"A\" {x}"s, "\xce\xbc-CT"s})
        EXPECT_EQ(CheckChannelName(name), "") << name;

    DocFixture f;
    ASSERT_EQ(f.doc.ResizeVolume({2, 1, 1}, {0, 0, 0}), 0);
    ASSERT_EQ(f.doc.InsertChannel(0, 1, "Water"), 0);
    f.Messages();
    f.hints.Take();
    for (const std::string& name : bad) {
        EXPECT_EQ(f.doc.RenameChannel("Water", name), -1);
        EXPECT_EQ(f.doc.InsertChannel(0, 2, name), -3);
        EXPECT_NE(f.doc.InsertChannels({{name, 0}}), "");
        EXPECT_EQ(f.Messages().size(), 2u) << name;
    }
    EXPECT_EQ(f.doc.GetSample().GetChanNames(), (std::vector<std::string>{"Void", "Water"}));
    EXPECT_EQ(f.doc.GetModel().GetParams().compositionNames, (std::vector<std::string>{"Void", "Water"}));
    EXPECT_TRUE(f.hints.Take().empty());

    // The readers refuse them too, and the writers will not write a file the readers refuse.
    TempDir dir;
    DataDocument d = ManyCompositions(2);
    std::string words;
    for (int k = 0; k < 18; ++k) words += "0 ";
    for (const std::string& name : bad) {
        d.channels[1].name = name;
        const std::string bin = dir.File("n.bin"), txt = dir.File("n.txt");
        WriteUnchecked(bin, d);
        EXPECT_THROW(ReadBinaryDataFile(bin), DataFileError) << name;
        WriteFileText(txt, "TEXT 1\nGRID 3 3 1\nCHANNELS 2\nNAMES \"Void\" \"" + name +
                               "\"\nTYPES 0 0\nRANGES 0 1 0 1\nDATA\n" + words + "\nEND\n");
        EXPECT_THROW(ReadTextDataFile(txt), DataFileError) << name;
        EXPECT_THROW(WriteBinaryDataFile(dir.File("w.bin"), d), std::runtime_error);
        EXPECT_THROW(WriteTextDataFile(dir.File("w.txt"), d), std::runtime_error);
    }
}

// A document saved before names were checked still opens, and its channel can be renamed to a
// name that can be named again.
TEST(ChannelNames, ADocumentSavedWithSuchANameStillOpens) {
    using namespace std::string_literals;
    TempDir dir;
    const std::string path = dir.File("old.zun");
    const std::string odd = "Wa\0ter"s;
    {
        DocFixture f;
        ASSERT_EQ(f.doc.ResizeVolume({2, 1, 1}, {0, 0, 0}), 0);
        ASSERT_EQ(f.doc.InsertChannel(0, 1, "Water"), 0);
        f.doc.GetSample().RenameChan(odd, 1);
        f.doc.GetModel().GetParams().compositionNames[1] = odd;
        ASSERT_TRUE(f.doc.OnSaveDocument(path));
    }
    DocFixture g;
    ASSERT_TRUE(g.doc.OnOpenDocument(path));
    EXPECT_EQ(g.doc.GetSample().GetChanNameCStr(1), odd);
    EXPECT_EQ(g.doc.GetSample().FindChanIndex(odd), 1);
    EXPECT_EQ(g.doc.RenameChannel(odd, "Water"), 0);
    EXPECT_EQ(g.doc.GetSample().GetChanNames(), (std::vector<std::string>{"Void", "Water"}));
}

}  // namespace
}  // namespace zun
