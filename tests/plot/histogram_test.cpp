// Histogram counting against numpy, and the histogram window's logic: defaults, units, closures,
// the bar outline, the bin-count edit, the settings kept in the channel, the export.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "model/sample.h"
#include "plot/histcount.h"
#include "plot/histogrammodel.h"

using namespace zun;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::filesystem::path TempDir() {
    auto dir = std::filesystem::path(ZUN_TEST_BINARY_DIR) / "histogram_tmp";
    std::filesystem::create_directories(dir);
    return dir;
}

TEST(HistogramCounting, EqualsNumpyForRandomWordsWithFlagBits) {
    // Every possible word once (all values with every combination of the two flag bits), then
    // random words; more than a million so that the counting runs on several threads.
    std::vector<imtype> words(65536);
    for (std::size_t i = 0; i < words.size(); ++i) words[i] = static_cast<imtype>(i);
    std::mt19937 rng(20261207);
    std::uniform_int_distribution<int> any(0, 65535);
    while (words.size() < (1u << 20) + 4321) words.push_back(static_cast<imtype>(any(rng)));

    const std::filesystem::path dir = TempDir();
    const std::string wordsPath = (dir / "words.bin").string(), outPath = (dir / "counts.txt").string();
    {
        std::ofstream out(wordsPath, std::ios::binary);
        out.write(reinterpret_cast<const char*>(words.data()),
                  static_cast<std::streamsize>(words.size() * 2));
    }
    const std::vector<std::uint32_t> binCounts = {1, 2, 3, 7, 100, 1000, 4096, 10000, 16384};
    std::string cmd =
        std::string(ZUN_PYTHON) + " " + ZUN_TEST_DIR + "/histogram_reference.py " + wordsPath + " " + outPath;
    for (std::uint32_t n : binCounts) cmd += " " + std::to_string(n);
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream ref(outPath);
    for (std::uint32_t n : binCounts) {
        std::vector<std::uint64_t> expected(n);
        for (auto& c : expected) ASSERT_TRUE(ref >> c);
        for (int threads : {1, 3, 8}) {
            std::vector<std::uint64_t> counts(n, 0);
            CountVoxelBins(words.data(), words.size(), n, counts.data(), threads);
            EXPECT_EQ(counts, expected) << n << " bins, " << threads << " threads";
        }
    }
}

TEST(HistogramCounting, BinEdges) {
    EXPECT_EQ(HistogramBinOf(5461, 3), 0u);
    EXPECT_EQ(HistogramBinOf(5462, 3), 1u);
    EXPECT_EQ(HistogramBinOf(16383, 3), 2u);
    for (std::uint32_t v : {0u, 1u, 8191u, 16383u}) {
        EXPECT_EQ(HistogramBinOf(v, 16384), v);
        EXPECT_EQ(HistogramBinOf(v, 1), 0u);
    }
    // Counts add to what is there; empty or null blocks change nothing.
    std::vector<std::uint64_t> counts = {5, 0};
    const imtype w[] = {0x8000, 0x7FFF};
    CountVoxelBins(w, 2, 2, counts.data(), 1);
    EXPECT_EQ(counts, (std::vector<std::uint64_t>{6, 1}));
    CountVoxelBins(nullptr, 10, 2, counts.data(), 1);
    CountVoxelBins(w, 0, 2, counts.data(), 1);
    EXPECT_EQ(counts, (std::vector<std::uint64_t>{6, 1}));
}

// A 8 x 4 x 5 sample with one composition channel: 100 voxels of bin 0, 50 of bin 1, 10 of
// bin 3 at four bins, in slice order; flag bits set on some.
class HistogramModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        sample.Resize(Dims{8, 4, 5});
        ASSERT_EQ(sample.InsertChan(ZunChan::kComposition, 0, "comp", 1), 1);
        ZunChan& ch = *sample.GetChan(0);
        ch.range = {0.5f, 2.0f};
        imtype* d = ch.Data();
        for (int i = 0; i < 160; ++i) d[i] = i < 10 ? (12288 | 0x8000) : i < 60 ? (4096 | 0x4000) : 5;
    }
    std::vector<HistogramSliceEntry> AllSlices() const {
        std::vector<HistogramSliceEntry> s;
        for (int z = 0; z < 5; ++z) s.push_back({"comp", z});
        return s;
    }
    ZunChan& Chan() { return *sample.GetChan(0); }

    ZunImage sample;
    PlotControl plot;
};

TEST_F(HistogramModelTest, FirstOpeningTakesTheDefaults) {
    HistogramModel m(sample, AllSlices(), "comp histogram");
    ASSERT_TRUE(m.Open(plot));
    EXPECT_EQ(m.BinCount(), 16384u);
    EXPECT_EQ(m.BinCountText(), "16384");
    EXPECT_EQ(m.Settings().style, HistVars::kBar);
    EXPECT_EQ(m.TotalCount(), 160u);
    EXPECT_EQ(m.Counts()[5], 100u);
    EXPECT_EQ(m.Counts()[4096], 50u);
    EXPECT_EQ(m.Counts()[12288], 10u);
    EXPECT_EQ(m.Settings().plot.title, "comp histogram");
    EXPECT_FALSE(m.Settings().plot.showTitle);
    EXPECT_EQ(plot.GetXLabel(), "Norm Bin Index");
    EXPECT_EQ(plot.GetYLabel(), "Norm Frequency");
    ASSERT_EQ(plot.GetGraph().plot.series.size(), 1u);
    EXPECT_EQ(plot.GetGraph().plot.series[0].colour, 0xFF0000u);
    EXPECT_EQ(plot.GetYDataName(0), "Norm Frequency");
    // Autoscaled x follows the bins that hold voxels.
    EXPECT_NEAR(plot.GetGraph().xAxis.offset, 5.0 / 16384, 1e-12);
    EXPECT_EQ(m.PhysicalRadioText(), "Physical (0.5 to 2)");

    ASSERT_EQ(sample.InsertChan(ZunChan::kBoundary, 1, "bound", 2), 2);
    HistogramModel b(sample, {{"bound", 0}}, "bound");
    ASSERT_TRUE(b.Open(plot));
    EXPECT_EQ(b.BinCount(), 2u);

    HistogramModel none(sample, {{"nothing", 0}}, "x");
    EXPECT_FALSE(none.Open(plot));
    HistogramModel empty(sample, {}, "x");
    EXPECT_FALSE(empty.Open(plot));
}

TEST_F(HistogramModelTest, ListedSlicesAreCountedAlone) {
    Chan().histVars.binCount = 4;
    HistogramModel m(sample, {{"comp", 0}, {"comp", 1}, {"comp", 99}}, "two slices");
    ASSERT_TRUE(m.Open(plot));
    EXPECT_EQ(m.TotalCount(), 64u);  // the slice that does not exist counts nothing
    EXPECT_EQ(m.Counts(), (std::vector<std::uint64_t>{4, 50, 0, 10}));
}

TEST_F(HistogramModelTest, BarOutlineLinePointsAndClosures) {
    HistVars h;
    h.binCount = 4;
    h.xUnit = HistVars::kBinIndex;
    h.yUnit = HistVars::kFrequency;
    h.style = HistVars::kBar;
    Chan().histVars = h;
    HistogramModel m(sample, AllSlices(), "h");
    ASSERT_TRUE(m.Open(plot));
    EXPECT_EQ(m.XData(), (std::vector<double>{0, 1, 1, 2, 2, 3, 3, 4}));
    EXPECT_EQ(m.YData(), (std::vector<double>{100, 100, 50, 50, 0, 0, 10, 10}));

    m.SetClosure(plot, HistVars::kNoLastBin);  // "[ )": closing point at bin N-1
    EXPECT_EQ(m.XData(), (std::vector<double>{0, 1, 1, 2, 2, 3}));
    EXPECT_EQ(m.YData(), (std::vector<double>{100, 100, 50, 50, 0, 0}));
    m.SetClosure(plot, HistVars::kNoFirstBin);
    EXPECT_EQ(m.XData(), (std::vector<double>{1, 2, 2, 3, 3, 4}));

    m.SetStyle(plot, HistVars::kLine);
    EXPECT_EQ(m.XData(), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(m.YData(), (std::vector<double>{50, 0, 10}));

    // Two bins with both ends left out leave nothing: no series, in either style.
    ASSERT_TRUE(m.Refresh(plot, "2"));
    m.SetClosure(plot, HistVars::kNoEndBins);
    EXPECT_TRUE(m.XData().empty());
    EXPECT_TRUE(plot.GetGraph().plot.series.empty());
    m.SetStyle(plot, HistVars::kBar);
    EXPECT_TRUE(m.XData().empty());
    EXPECT_TRUE(plot.GetGraph().plot.series.empty());
}

TEST_F(HistogramModelTest, UnitChangesConvertAFixedAxis) {
    HistVars h;
    h.binCount = 16384;
    h.xUnit = HistVars::kBinIndex;
    h.plot.xAxis.autoscale = false;
    h.plot.xAxis.range = 1000;
    h.plot.xAxis.offset = 0;
    h.plot.yAxis.autoscale = false;
    h.plot.yAxis.range = 0.5;
    Chan().histVars = h;
    HistogramModel m(sample, AllSlices(), "h");
    ASSERT_TRUE(m.Open(plot));
    const Graph& g = plot.GetGraph();
    m.SetXUnit(plot, HistVars::kNormBinIndex);
    EXPECT_FALSE(g.xAxis.autoscale);
    EXPECT_DOUBLE_EQ(g.xAxis.offset, 0);
    EXPECT_NEAR(g.xAxis.range, 0.061, 0.0005);
    EXPECT_EQ(plot.GetXLabel(), "Norm Bin Index");
    m.SetXUnit(plot, HistVars::kPhysical);  // 0.5 + i * 1.5 / N
    EXPECT_NEAR(g.xAxis.offset, 0.5, 1e-12);
    EXPECT_NEAR(g.xAxis.range, 1000 * 1.5 / 16384, 1e-12);
    EXPECT_EQ(plot.GetXLabel(), "Volume fraction");
    m.SetXUnit(plot, HistVars::kBinIndex);
    EXPECT_NEAR(g.xAxis.range, 1000, 1e-9);

    m.SetYUnit(plot, HistVars::kFrequency);
    EXPECT_DOUBLE_EQ(g.yAxis.range, 80);
    EXPECT_EQ(m.YData()[10], 100);  // bin 5 of the bar outline
    m.SetYUnit(plot, HistVars::kNormFrequency);
    EXPECT_DOUBLE_EQ(g.yAxis.range, 0.5);
}

TEST_F(HistogramModelTest, AChannelWithAnEmptyRangeOrNoVoxelsGivesNoNaN) {
    Chan().range = {3.0f, 3.0f};
    Chan().histVars.binCount = 4;
    Chan().histVars.xUnit = HistVars::kBinIndex;
    Chan().histVars.plot.xAxis.autoscale = false;
    Chan().histVars.plot.xAxis.range = 2;
    HistogramModel m(sample, {{"comp", 42}}, "h");
    ASSERT_TRUE(m.Open(plot));
    EXPECT_EQ(m.TotalCount(), 0u);
    m.SetXUnit(plot, HistVars::kPhysical);
    m.SetYUnit(plot, HistVars::kFrequency);
    m.SetYUnit(plot, HistVars::kNormFrequency);
    const Graph& g = plot.GetGraph();
    EXPECT_TRUE(std::isfinite(g.xAxis.range) && std::isfinite(g.xAxis.offset));
    EXPECT_TRUE(std::isfinite(g.yAxis.range) && std::isfinite(g.yAxis.offset));
    for (double y : m.YData()) EXPECT_EQ(y, 0);
}

TEST_F(HistogramModelTest, BinCountEditAndSpin) {
    std::uint32_t n = 0;
    for (const char* bad : {"0", "20000", "abc", "", "-1"})
        EXPECT_FALSE(HistogramModel::ParseBinCount(bad, &n)) << bad;
    EXPECT_TRUE(HistogramModel::ParseBinCount("16384", &n));
    EXPECT_TRUE(HistogramModel::ParseBinCount(" 12", &n));
    EXPECT_EQ(n, 12u);
    EXPECT_STREQ(HistogramModel::kBinCountMessage, "Nbins must be an integer between 1 and 16384 inclusive.");

    HistogramModel m(sample, AllSlices(), "h");
    ASSERT_TRUE(m.Open(plot));
    EXPECT_FALSE(m.Refresh(plot, "20000"));
    EXPECT_EQ(m.BinCount(), 16384u);
    EXPECT_FALSE(m.Spin(plot, "16384", 1));
    ASSERT_TRUE(m.Refresh(plot, "4"));
    EXPECT_EQ(m.Counts().size(), 4u);
    EXPECT_TRUE(m.Spin(plot, "4", -1));
    EXPECT_EQ(m.BinCount(), 3u);
    EXPECT_EQ(m.Counts(), (std::vector<std::uint64_t>{150, 0, 10}));
    EXPECT_TRUE(m.Spin(plot, "junk", 1));  // from the current count
    EXPECT_EQ(m.BinCount(), 4u);
    EXPECT_TRUE(m.Spin(plot, "1", -5));
    EXPECT_EQ(m.BinCount(), 1u);
    EXPECT_EQ(m.Counts(), (std::vector<std::uint64_t>{160}));
    EXPECT_FALSE(m.Spin(plot, "1", -1));
}

TEST_F(HistogramModelTest, SettingsGoBackToTheChannelOnClose) {
    {
        HistogramModel m(sample, AllSlices(), "h");
        ASSERT_TRUE(m.Open(plot));
        EXPECT_FALSE(m.Close(plot));
    }
    EXPECT_EQ(Chan().histVars.binCount, 16384);
    {
        HistogramModel m(sample, AllSlices(), "h");
        ASSERT_TRUE(m.Open(plot));
        m.SetStyle(plot, HistVars::kLine);
        plot.GetGraph().title.text = "Edited in the plot properties";
        EXPECT_TRUE(m.Close(plot));
    }
    EXPECT_EQ(Chan().histVars.style, HistVars::kLine);
    EXPECT_EQ(Chan().histVars.plot.title, "Edited in the plot properties");
}

TEST_F(HistogramModelTest, DamagedStoredSettingsAreBroughtIntoRange) {
    HistVars h;
    h.binCount = 99999;
    h.xUnit = 7;
    h.closure = -2;
    h.yUnit = 5;
    h.style = 3;
    Chan().histVars = h;
    HistogramModel m(sample, AllSlices(), "h");
    ASSERT_TRUE(m.Open(plot));
    EXPECT_EQ(m.BinCount(), 16384u);
    EXPECT_EQ(m.Settings().xUnit, HistVars::kNormBinIndex);
    EXPECT_EQ(m.Settings().closure, HistVars::kAllBins);
    EXPECT_EQ(m.Settings().style, HistVars::kBar);
    Chan().histVars.binCount = -4;
    HistogramModel d(sample, AllSlices(), "h");
    ASSERT_TRUE(d.Open(plot));
    EXPECT_EQ(d.BinCount(), 16384u);  // taken as never set: the defaults
}

TEST_F(HistogramModelTest, ExportMatchesTheGoldenFileInEitherStyle) {
    Chan().histVars.binCount = 4;
    Chan().histVars.style = HistVars::kLine;
    HistogramModel m(sample, AllSlices(), "comp histogram");
    ASSERT_TRUE(m.Open(plot));
    const std::string golden = ReadFile(std::string(ZUN_TEST_DIR) + "/data/histogram_export.txt");
    ASSERT_FALSE(golden.empty());
    const std::string path = (TempDir() / "export.txt").string();
    std::string error;
    ASSERT_TRUE(m.Export(path, plot, &error)) << error;
    EXPECT_EQ(ReadFile(path), golden);
    m.SetStyle(plot, HistVars::kBar);
    ASSERT_TRUE(m.Export(path, plot, &error));
    EXPECT_EQ(ReadFile(path), golden);

    const std::string bad = (TempDir() / "no_such_folder" / "x.txt").string();
    EXPECT_FALSE(m.Export(bad, plot, &error));
    EXPECT_EQ(error, "Could not create " + bad);
    EXPECT_FALSE(std::filesystem::exists(bad));
}

}  // namespace
