#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <thread>

#include "compute/pluginhost.h"
#include "compute/pluginparams.h"
#include "plugintestdoc.h"

namespace zun {
namespace {

std::vector<std::string> Tokens(const std::string& params) {
    return TokenizePluginParameters("base", params).Args();
}

TEST(TokenizePluginParameters, SplitsOnBlanksAndGroupsQuotes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Tokens(""), V{"base"});
    EXPECT_EQ(Tokens(" \t \n"), V{"base"});
    EXPECT_EQ(Tokens("a  b\tc\r\nd"), (V{"base", "a", "b", "c", "d"}));
    EXPECT_EQ(Tokens("--in \"two words\" x"), (V{"base", "--in", "two words", "x"}));
    // Quotes inside a token group without splitting it.
    EXPECT_EQ(Tokens("ab\"c d\"e f"), (V{"base", "abc de", "f"}));
    // An empty quoted string is an argument of its own.
    EXPECT_EQ(Tokens("a \"\" b"), (V{"base", "a", "", "b"}));
    // An unterminated quote runs to the end of the string.
    EXPECT_EQ(Tokens("x \"abc def"), (V{"base", "x", "abc def"}));
    EXPECT_EQ(Tokens("\"µm  Å\""), (V{"base", "µm  Å"}));
}

TEST(TokenizePluginParameters, BackslashEscapesOnlyInsideQuotes) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Tokens(R"("say \"hi\"" next)"), (V{"base", "say \"hi\"", "next"}));
    EXPECT_EQ(Tokens(R"("a\\b" "c\ d")"), (V{"base", "a\\b", "c d"}));
    // Outside quotes a backslash is an ordinary character (paths pass unchanged).
    EXPECT_EQ(Tokens(R"(C:\data\x.tif \"q)"), (V{"base", "C:\\data\\x.tif", "\\q"}));
    // A backslash that ends the string inside quotes has nothing to escape and stays.
    EXPECT_EQ(Tokens(R"("a\)"), (V{"base", "a\\"}));
}

TEST(TokenizePluginParameters, ArgvIsTerminatedAndOwnsSeparateCopies) {
    PluginArgs args = TokenizePluginParameters("libfilter", "one \"two three\"");
    ASSERT_EQ(args.argc(), 3);
    char** argv = args.argv();
    EXPECT_STREQ(argv[0], "libfilter");
    EXPECT_STREQ(argv[1], "one");
    EXPECT_STREQ(argv[2], "two three");
    EXPECT_EQ(argv[3], nullptr);
    // A plug-in may write into its arguments without touching its neighbours.
    std::strcpy(argv[1], "ONE");
    EXPECT_STREQ(argv[2], "two three");
    PluginArgs moved = std::move(args);
    EXPECT_STREQ(moved.argv()[1], "ONE");
}

class HostTest : public ::testing::Test {
protected:
    HostTest() : doc(4, 3, 2) {
        doc.AddChannel("Air", 0, 100);
        doc.AddChannel("CT1", 1, 200);
        doc.AddChannel("Density", 2, 16383);
        doc.AddChannel("Sample", 3, 0);
    }
    test::TestPluginDocument doc;
};

TEST_F(HostTest, DescribesDocumentAndRefusesBadIndices) {
    PluginObjHost host(doc, "libfoo");
    EXPECT_EQ(host.InterfaceVersion(), zunplugin::kHostInterfaceVersion);
    EXPECT_STREQ(host.PluginBaseName(), "libfoo");
    EXPECT_STREQ(host.DocumentTitle(), "phantom.zun");
    std::uint32_t d[3];
    host.GridSize(d);
    EXPECT_EQ(d[0], 4u);
    EXPECT_EQ(d[1], 3u);
    EXPECT_EQ(d[2], 2u);
    double m[3];
    host.VoxelSize(m);
    EXPECT_DOUBLE_EQ(m[2], 3e-6);
    EXPECT_EQ(host.ChannelCount(), 4);
    EXPECT_EQ(host.FindChannel("Density"), 2);
    EXPECT_EQ(host.FindChannel("density"), -1);  // names are case-sensitive
    EXPECT_EQ(host.FindChannel(nullptr), -1);
    EXPECT_STREQ(host.ChannelName(3), "Sample");
    EXPECT_EQ(host.ChannelKind(1), 1);

    for (int bad : {-1, 4, 1000}) {
        float lo = 0, hi = 0;
        EXPECT_EQ(host.ChannelName(bad), nullptr);
        EXPECT_EQ(host.ChannelKind(bad), -1);
        EXPECT_EQ(host.GetRange(bad, &lo, &hi), 1);
        EXPECT_EQ(host.SetRange(bad, 0, 1), 1);
        EXPECT_EQ(host.Words(bad), nullptr);
        EXPECT_EQ(host.WordsForWrite(bad), nullptr);
    }
    std::vector<std::uint8_t> slice(12);
    EXPECT_EQ(host.ReadSlice8(0, 2, slice.data()), 1);  // z == nz
    EXPECT_EQ(host.WriteSlice8(0, 2, slice.data()), 1);
    EXPECT_EQ(host.ReadSlice8(0, 0, nullptr), 1);
    EXPECT_FALSE(host.DocumentChanged());
}

TEST_F(HostTest, WritesMarkTheDocumentChangedAndReadsDoNot) {
    {
        PluginObjHost host(doc, "p");
        float lo = 0, hi = 0;
        EXPECT_EQ(host.GetRange(2, &lo, &hi), 0);
        ASSERT_NE(host.Words(0), nullptr);
        std::vector<std::uint8_t> slice(12);
        EXPECT_EQ(host.ReadSlice8(0, 1, slice.data()), 0);
        EXPECT_FALSE(host.DocumentChanged());
        EXPECT_NE(host.WordsForWrite(0), nullptr);
        EXPECT_TRUE(host.DocumentChanged());
    }
    {
        PluginObjHost host(doc, "p");
        // Ranges are only the property channels' to set, and must be finite and increasing.
        EXPECT_EQ(host.SetRange(0, 0.0f, 2.0f), 1);
        EXPECT_EQ(host.SetRange(2, 2.0f, 2.0f), 1);
        EXPECT_EQ(host.SetRange(2, 3.0f, 2.0f), 1);
        EXPECT_EQ(host.SetRange(2, NAN, 2.0f), 1);
        EXPECT_EQ(host.SetRange(2, 0.0f, INFINITY), 1);
        EXPECT_FALSE(host.DocumentChanged());
        EXPECT_EQ(host.SetRange(2, -1.5f, 2.5f), 0);
        EXPECT_TRUE(host.DocumentChanged());
        EXPECT_EQ(doc.channels[2].min, -1.5f);
        EXPECT_EQ(doc.channels[2].max, 2.5f);
    }
    {
        PluginObjHost host(doc, "p");
        host.MarkChanged();
        EXPECT_TRUE(host.DocumentChanged());
    }
}

TEST_F(HostTest, EightBitSlicesScaleValuesAndKeepFlags) {
    auto& w = doc.channels[0].words;
    // Slice 1 (12 voxels from index 12): values across the range, some with flag bits.
    const std::uint16_t values[12] = {0,          16383, 8192, 32,   33,    0x4000 | 16383,
                                      0x8000 | 0, 64,    96,   1000, 15000, 16351};
    for (int i = 0; i < 12; ++i) w[12 + i] = values[i];
    PluginObjHost host(doc, "p");
    std::vector<std::uint8_t> out(12);
    ASSERT_EQ(host.ReadSlice8(0, 1, out.data()), 0);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(out[i], static_cast<int>(std::lround((values[i] & 0x3FFF) * 255.0 / 16383.0))) << i;
    EXPECT_EQ(w[0], 100);  // slice 0 is not touched

    std::vector<std::uint8_t> in(12);
    for (int i = 0; i < 12; ++i) in[i] = static_cast<std::uint8_t>(i * 23);
    ASSERT_EQ(host.WriteSlice8(0, 1, in.data()), 0);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(w[12 + i] & 0xC000, values[i] & 0xC000) << i;
        EXPECT_EQ(w[12 + i] & 0x3FFF, std::lround(in[i] * 16383.0 / 255.0)) << i;
    }
    EXPECT_EQ(w[11], 100);
    EXPECT_TRUE(host.DocumentChanged());
    // Bytes survive the round trip exactly.
    std::vector<std::uint8_t> back(12);
    host.ReadSlice8(0, 1, back.data());
    EXPECT_EQ(back, in);
}

TEST_F(HostTest, StopRequestBecomesAStickyCancelWithoutUnwinding) {
    doc.stopAtCall = 3;
    PluginObjHost host(doc, "p");
    EXPECT_FALSE(host.Progress(10.0f));
    EXPECT_FALSE(host.Progress(NAN));
    EXPECT_FALSE(host.Cancelled());
    EXPECT_TRUE(host.Progress(30.0f));  // the controller throws here
    EXPECT_TRUE(host.Cancelled());
    EXPECT_TRUE(host.Progress(40.0f));
    EXPECT_EQ(doc.progress.size(), 3u);  // no further calls reach the controller
    EXPECT_EQ(doc.progress[1], 0.0f);
}

TEST_F(HostTest, LogAddsLineEndsAndKeepsPercentSigns) {
    PluginObjHost host(doc, "p");
    host.Log("100% done %s");
    host.Log("two\n");
    host.Log(nullptr);
    ASSERT_EQ(doc.log.size(), 2u);
    EXPECT_EQ(doc.log[0], "100% done %s\n");
    EXPECT_EQ(doc.log[1], "two\n");
}

TEST_F(HostTest, RandomIsSeededUniformAndThreadSafe) {
    doc.seed = 7;
    std::vector<double> a, b;
    {
        PluginObjHost h1(doc, "p");
        PluginObjHost h2(doc, "p");
        for (int i = 0; i < 1000; ++i) {
            a.push_back(h1.Random());
            b.push_back(h2.Random());
        }
    }
    EXPECT_EQ(a, b);
    double sum = 0;
    for (double v : a) {
        ASSERT_GE(v, 0.0);
        ASSERT_LT(v, 1.0);
        sum += v;
    }
    EXPECT_NEAR(sum / a.size(), 0.5, 0.05);
    // The seed is logged once per host.
    int seedLines = 0;
    for (const auto& line : doc.log) seedLines += line == "Plugin 'p' random seed 7\n";
    EXPECT_EQ(seedLines, 2);

    PluginObjHost host(doc, "p");
    std::vector<std::vector<double>> drawn(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 250; ++i) drawn[t].push_back(host.Random());
        });
    for (auto& t : threads) t.join();
    // Under the lock the four threads share one sequence: together they drew exactly its first
    // thousand numbers.
    std::multiset<double> got, want(a.begin(), a.end());
    for (auto& d : drawn) got.insert(d.begin(), d.end());
    EXPECT_EQ(got, want);
}

}  // namespace
}  // namespace zun

namespace zun {
namespace {

TEST(PluginHostSample, NormalizeVoxelRescalesFreeCompositionWordsOfOneVoxel) {
    test::TestPluginDocument doc(2, 2, 2);
    doc.AddChannel("A", 0, 1000);
    doc.AddChannel("CT", 1, 1000);
    doc.AddChannel("B", 0, 1000);
    doc.AddChannel("C", 0, 1000);
    doc.channels[3].words[7] = 0x4000 | 3000;  // fixed word of the last voxel
    PluginObjHost host(doc, "p");
    ASSERT_EQ(host.NormalizeVoxel(0, 0, 0), 0);
    EXPECT_EQ(doc.channels[0].words[0], 5461);
    EXPECT_EQ(doc.channels[2].words[0], 5461);
    EXPECT_EQ(doc.channels[3].words[0], 5461);
    EXPECT_EQ(doc.channels[1].words[0], 1000);  // CT words are not compositions
    EXPECT_EQ(doc.channels[0].words[1], 1000);  // other voxels untouched
    EXPECT_TRUE(host.DocumentChanged());

    ASSERT_EQ(host.NormalizeVoxel(1, 1, 1), 0);
    EXPECT_EQ(doc.channels[3].words[7], 0x4000 | 3000);
    EXPECT_EQ(doc.channels[0].words[7] + doc.channels[2].words[7], 16383 - 3000);

    EXPECT_EQ(host.NormalizeVoxel(2, 0, 0), 1);
    EXPECT_EQ(host.NormalizeVoxel(0, 0, 2), 1);
    test::TestPluginDocument noComp(2, 2, 2);
    noComp.AddChannel("CT", 1);
    PluginObjHost other(noComp, "p");
    EXPECT_EQ(other.NormalizeVoxel(0, 0, 0), 1);
    EXPECT_FALSE(other.DocumentChanged());
}

TEST(PluginHostSample, LabelClustersLabelsTheDocumentGrid) {
    test::TestPluginDocument doc(4, 3, 2);
    PluginObjHost host(doc, "p");
    // Two clusters: a single voxel at (0,0,0) and a bar of three along x at y = 2, z = 1.
    std::vector<std::uint8_t> mask(24, 0);
    mask[0] = 1;
    mask[12 + 8 + 1] = mask[12 + 8 + 2] = mask[12 + 8 + 3] = 1;
    std::vector<std::uint64_t> labels(24, 99);
    EXPECT_EQ(host.LabelClusters(mask.data(), labels.data(), 1), 2u);
    EXPECT_EQ(labels[0], 2u);  // largest first
    EXPECT_EQ(labels[21], 1u);
    EXPECT_EQ(labels[5], 0u);
    EXPECT_EQ(host.LabelClusters(mask.data(), labels.data(), 0), 2u);
    EXPECT_EQ(labels[0], 1u);
    EXPECT_EQ(host.LabelClusters(nullptr, labels.data(), 0), 0u);
    EXPECT_FALSE(host.DocumentChanged());
}

}  // namespace
}  // namespace zun
