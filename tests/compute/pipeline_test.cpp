// The composition pipeline end to end: a phantom sample in a real `ZunImage`, CT values from the
// attenuation sources, the controller's worker running the real steps and kernels.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <thread>

#include "compute/computeclasses.h"
#include "compute/exitrequested.h"
#include "compute/model.h"
#include "compute/zunimagesample.h"
#include "computetestdoc.h"
#include "foundation/foundationclasses.h"
#include "foundation/threadcount.h"
#include "model/compound.h"
#include "model/sample.h"
#include "model/sampleclasses.h"

namespace zun {
namespace {

struct Material {
    const char* name;
    const char* formula;
    double density;
};

class ImageDocument : public test::TestComputeDocument {
public:
    ZunImage image;
    ZunImageSample adapter{&image};
    ComputeSample* Sample() override { return &adapter; }
};

// Linear attenuation (1/cm) of a material at a monochromatic energy, from the attenuation
// source the documents use by default.
double Lac(const Material& m, double keV) {
    if (!m.formula) return 0.0;
    Compound c;
    EXPECT_EQ(c.SetFormula(m.formula, true), 0);
    c.density = m.density;
    return c.LinearAttenuation(kAttenTlacTrc, kLinearAttenuation, kAttenTotal, keV);
}

const Material kVoid{"Void", nullptr, 0.0};
const Material kWater{"Water", "H2O", 1.0};
const Material kCalcite{"Calcite", "CaCO3", 2.71};
const Material kQuartz{"Quartz", "SiO2", 2.2};

struct Phantom {
    int n = 0;
    std::vector<std::vector<double>> truth;  // [composition][voxel]
};

// Sets up compositions, CT channels and the attenuation matrix, and fills the CT words of a
// phantom of random fractions (`pure`: one composition per voxel).
Phantom Build(ImageDocument& doc, int size, const std::vector<Material>& mats,
              const std::vector<double>& energies, double noise, bool pure, unsigned seed) {
    RegisterFoundationClasses();
    RegisterModelClasses();
    RegisterComputeClasses();
    doc.image.Resize(Dims{size, size, size});
    Model& m = doc.MakeModel();
    m.SetDimensions({std::uint32_t(size), std::uint32_t(size), std::uint32_t(size)});
    const int n = static_cast<int>(mats.size());
    for (int i = 0; i < n; ++i) {
        doc.image.InsertChan(kChanComposition, i, mats[i].name, i + 1);
        if (i > 0) {
            EXPECT_EQ(m.InsertChannel(i, mats[i].name), 0);
        }
    }
    Params& p = m.GetParams();
    std::vector<std::array<float, 2>> ranges;
    for (std::size_t j = 0; j < energies.size(); ++j) {
        const std::string name = "CT " + std::to_string(int(energies[j])) + " keV";
        doc.image.InsertChan(kChanCt, n + int(j), name, 20 + int(j));
        EXPECT_EQ(m.InsertChannel(n + int(j), name.c_str()), 0);
        float hi = 0.0f;
        for (int i = 0; i < n; ++i) {
            const float lac = static_cast<float>(Lac(mats[i], energies[j]));
            p.lacMatrix[p.MatrixIndex(int(j) + 1, i)] = lac;
            hi = std::max(hi, lac);
        }
        p.ctBeamEnergy[j + 1] = static_cast<float>(energies[j]);
        m.SetChannelMeasuredAttenuation(n + int(j), 0.0f, 0);
        m.SetChannelMeasuredAttenuation(n + int(j), hi * 1.2f, 1);
        ranges.push_back({0.0f, hi * 1.2f});
    }
    Phantom ph;
    ph.n = n;
    const std::size_t voxels = std::size_t(size) * size * size;
    ph.truth.assign(n, std::vector<double>(voxels, 0.0));
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> U(0.0, 1.0);
    std::normal_distribution<double> G(0.0, 1.0);
    for (std::size_t v = 0; v < voxels; ++v) {
        std::vector<double> f(n);
        if (pure) {
            f[rng() % n] = 1.0;
        } else {
            double s = 0;
            for (auto& x : f) s += (x = -std::log(U(rng) + 1e-12));
            for (auto& x : f) x /= s;
        }
        for (int i = 0; i < n; ++i) ph.truth[i][v] = f[i];
        for (std::size_t j = 0; j < energies.size(); ++j) {
            double mu = 0;
            for (int i = 0; i < n; ++i) mu += f[i] * p.lacMatrix[p.MatrixIndex(int(j) + 1, i)];
            if (noise > 0) mu *= 1.0 + noise * G(rng);
            const double w = std::clamp(mu / ranges[j][1] * 16383.0, 0.0, 16383.0);
            doc.image.GetChan(n + int(j))->Data()[v] = static_cast<std::uint16_t>(0x4000 | std::lround(w));
        }
    }
    m.Jobs() = {true, false, false};
    return ph;
}

void SelectThreads(ImageDocument& doc, Model& m, int threads) {
    std::vector<ComputeDeviceEntry> list;
    m.Devices().GetDeviceList(list);
    for (std::size_t k = 0; k < list.size(); ++k) list[k].threadCount = static_cast<int>(k) < threads ? 1 : 0;
    if (threads > static_cast<int>(list.size()))
        list[0].threadCount = threads - static_cast<int>(list.size()) + 1;
    m.Devices().ApplyDeviceSelection(list);
    doc.devices = list;
}

int RunToEnd(ImageDocument& doc) {
    Model& m = *doc.model;
    EXPECT_EQ(m.StartComputation(), 0);
    doc.WaitForEnd(600000);
    return m.GetState();
}

struct Errors {
    double max = 0, mean = 0;
};
Errors Compare(ImageDocument& doc, const Phantom& ph) {
    Errors e;
    const std::size_t voxels = ph.truth[0].size();
    for (int i = 0; i < ph.n; ++i)
        for (std::size_t v = 0; v < voxels; ++v) {
            const double got = (doc.image.GetChan(i)->Data()[v] & 0x3FFF) / 16383.0;
            const double d = std::fabs(got - ph.truth[i][v]);
            e.max = std::max(e.max, d);
            e.mean += d;
        }
    e.mean /= double(voxels) * ph.n;
    return e;
}

std::vector<std::uint16_t> Words(ImageDocument& doc, int channels) {
    std::vector<std::uint16_t> all;
    for (int i = 0; i < channels; ++i) {
        const auto* d = doc.image.GetChan(i)->Data();
        all.insert(all.end(), d, d + doc.image.GetNumVoxels());
    }
    return all;
}

// The tests choose the threads of their runs, up to 8, and some read the count back from the log;
// the processors of the machine they run on are not theirs to depend on: the whole program counts
// four.
class FourProcessors : public ::testing::Environment {
public:
    void SetUp() override { count_.emplace(4); }
    void TearDown() override { count_.reset(); }

private:
    std::optional<TestProcessorCount> count_;
};
// The test framework owns its environments.
const ::testing::Environment* const kFourProcessors = ::testing::AddGlobalTestEnvironment(new FourProcessors);

TEST(Pipeline, NonlinearRecoversThreeCompositions) {
    ImageDocument doc;
    Phantom ph = Build(doc, 64, {kVoid, kWater, kCalcite}, {20.0, 30.0}, 0.0, false, 1);
    SelectThreads(doc, *doc.model, 8);
    ASSERT_EQ(RunToEnd(doc), kCompleted);
    Errors e = Compare(doc, ph);
    EXPECT_LE(e.max, 1.0 / 15);
    EXPECT_TRUE(doc.logger.Text().find(
                    "Data Constrained non-linear optimisation computation with 0 non-exact matches "
                    "completed successfully") != std::string::npos);
    std::printf("nonlinear, 3 compositions, noise-free: max error %.4f, mean %.5f\n", e.max, e.mean);
}

TEST(Pipeline, NonlinearWithNoiseAndAFourthComposition) {
    ImageDocument doc;
    Phantom ph = Build(doc, 64, {kVoid, kWater, kCalcite, kQuartz}, {20.0, 30.0, 50.0}, 0.0, false, 2);
    SelectThreads(doc, *doc.model, 8);
    ASSERT_EQ(RunToEnd(doc), kCompleted);
    Errors e = Compare(doc, ph);
    std::printf("nonlinear, 4 compositions, noise-free: max error %.4f, mean %.5f\n", e.max, e.mean);
    EXPECT_LE(e.max, 1.0 / 15);

    ImageDocument noisy;
    Phantom pn = Build(noisy, 64, {kVoid, kWater, kCalcite}, {20.0, 60.0}, 0.01, false, 3);
    SelectThreads(noisy, *noisy.model, 8);
    ASSERT_EQ(RunToEnd(noisy), kCompleted);
    Errors en = Compare(noisy, pn);
    std::printf("nonlinear, 3 compositions, 1%% noise: max error %.4f, mean %.5f\n", en.max, en.mean);
    EXPECT_LE(en.mean, 0.03);
    EXPECT_LE(en.max, 0.3);
    EXPECT_TRUE(noisy.logger.Text().find("Out of boundary cordinate values occured") != std::string::npos);
}

TEST(Pipeline, NonlinearRefusesAnUnusableQ) {
    // Q comes from the document file too, where the set-up sheet's check never ran.
    for (double q : {0.0, -5.0, std::nan("")}) {
        ImageDocument doc;
        Build(doc, 8, {kVoid, kWater, kCalcite}, {20.0, 30.0}, 0.0, false, 1);
        doc.model->GetParams().nonlinearQ = q;
        const std::vector<std::uint16_t> before = Words(doc, 3);
        RunToEnd(doc);
        EXPECT_EQ(Words(doc, 3), before) << q;
        const std::string log = doc.logger.Text();
        EXPECT_NE(log.find("the parameter Q must be a positive number"), std::string::npos) << q;
        EXPECT_NE(log.find("completed with data error (3)"), std::string::npos) << q;
    }
}

TEST(Pipeline, LinearAndSegmentation) {
    ImageDocument doc;
    Phantom ph = Build(doc, 64, {kVoid, kWater, kCalcite}, {20.0, 30.0}, 0.0, false, 4);
    Params& p = doc.model->GetParams();
    p.stepFlags = {0, 0, 0, 0, 3, 0};
    SelectThreads(doc, *doc.model, 8);
    ASSERT_EQ(RunToEnd(doc), kCompleted);
    Errors e = Compare(doc, ph);
    std::printf("linear, 3 compositions, noise-free: max error %.4f, mean %.5f\n", e.max, e.mean);
    EXPECT_LE(e.max, 0.02);

    ImageDocument seg;
    Phantom ps = Build(seg, 32, {kVoid, kWater, kCalcite}, {20.0, 30.0}, 0.01, true, 5);
    seg.model->GetParams().stepFlags = {0, 0, 3, 0, 0, 0};
    SelectThreads(seg, *seg.model, 4);
    ASSERT_EQ(RunToEnd(seg), kCompleted);
    EXPECT_EQ(Compare(seg, ps).max, 0.0);
}

TEST(Pipeline, ReadOnlyVoxelsAndTheBoundaryMask) {
    ImageDocument doc;
    Phantom ph = Build(doc, 16, {kVoid, kWater, kCalcite}, {20.0, 30.0}, 0.0, false, 6);
    const std::size_t plane = 16 * 16;
    // Slice 0 is known (fixed words); a boundary masks out the upper half of the sample.
    for (int i = 0; i < 3; ++i)
        for (std::size_t v = 0; v < plane; ++v) doc.image.GetChan(i)->Data()[v] = 0x4000 | 1234;
    doc.image.InsertChan(kChanBoundary, 5, "Boundary", 40);
    const int b = doc.image.FindChanIndex("Boundary");
    ASSERT_GE(b, 0);
    auto* mask = doc.image.GetChan(b)->Data();
    for (std::size_t v = 0; v < doc.image.GetNumVoxels(); ++v)
        mask[v] = v < doc.image.GetNumVoxels() / 2 ? 16383 : 0;
    doc.image.SetActiveBoundary("Boundary", true);
    for (int i = 0; i < 3; ++i)
        for (std::size_t v = doc.image.GetNumVoxels() / 2; v < doc.image.GetNumVoxels(); ++v)
            doc.image.GetChan(i)->Data()[v] = 777;
    SelectThreads(doc, *doc.model, 3);
    ASSERT_EQ(RunToEnd(doc), kCompleted);
    for (int i = 0; i < 3; ++i) {
        const auto* d = doc.image.GetChan(i)->Data();
        for (std::size_t v = 0; v < plane; ++v) ASSERT_EQ(d[v], 0x4000 | 1234);
        for (std::size_t v = doc.image.GetNumVoxels() / 2; v < doc.image.GetNumVoxels(); ++v)
            ASSERT_EQ(d[v], 777);
        for (std::size_t v = plane; v < doc.image.GetNumVoxels() / 2; ++v)
            ASSERT_NEAR((d[v] & 0x3FFF) / 16383.0, ph.truth[i][v], 1.0 / 15);
    }
}

TEST(Pipeline, ThreadCountDoesNotChangeTheResult) {
    for (int range : {0, 1}) {
        std::vector<std::uint16_t> results[2];
        for (int k = 0; k < 2; ++k) {
            ImageDocument doc;
            Build(doc, 24, {kVoid, kWater, kCalcite}, {20.0, 30.0}, 0.01, false, 7);
            Params& p = doc.model->GetParams();
            p.nonlinearNeighbourRange = range;
            p.nonlinearIterations = 2.0f;
            p.randomSeed = 5;
            p.stepFlags = {3, 0, 0, 0, 0, 3};
            SelectThreads(doc, *doc.model, k == 0 ? 1 : 8);
            ASSERT_EQ(RunToEnd(doc), kCompleted);
            results[k] = Words(doc, 5);
        }
        EXPECT_EQ(results[0], results[1]) << "range " << range;
    }
}

TEST(Pipeline, DataCheckPathsGiveTheSameWords) {
    std::vector<std::uint16_t> results[2];
    for (int k = 0; k < 2; ++k) {
        ImageDocument doc;
        Build(doc, 20, {kVoid, kWater, kCalcite}, {20.0, 30.0}, 0.02, false, 8);
        std::mt19937 rng(9);
        for (int i = 0; i < 3; ++i) {
            auto* d = doc.image.GetChan(i)->Data();
            for (std::size_t v = 0; v < doc.image.GetNumVoxels(); ++v)
                d[v] = static_cast<std::uint16_t>((rng() % 3 == 0 ? 0x4000 : 0) | (rng() % 9000));
        }
        doc.model->GetParams().stepFlags = {3, 0, 0, 0, 0, 0};
        SelectThreads(doc, *doc.model, k == 0 ? 1 : 8);
        ASSERT_EQ(RunToEnd(doc), kCompleted);
        results[k] = Words(doc, 5);
        const std::string log = doc.logger.Text();
        EXPECT_NE(log.find(k == 0 ? ", slice " : ", (cpu) chunk "), std::string::npos);
        EXPECT_NE(log.find(k == 0 ? "Maximum number of error report reached in DataCheckingCorrection"
                                  : "Maximum error report count reached in DataCheckingCorrection"),
                  std::string::npos);
    }
    EXPECT_EQ(results[0], results[1]);
}

TEST(Pipeline, StopDuringEachKernelEndsWithUserInterrupt) {
    const std::pair<int, const char*> steps[] = {
        {kStepDataCheck, "Data Checking and Correction completed with user interrupt"},
        {kStepExtrapolation, "Intersectional Extrapolation completed with user interrupt"},
        {kStepSegmentation, "Discrete least-square segmentation computation completed with user interrupt"},
        {kStepLinear, "with 0 non-exact matches completed with user interrupt"},
        {kStepNonlinear, "with 0 non-exact matches completed with user interrupt"},
    };
    for (auto [step, text] : steps) {
        ImageDocument doc;
        Build(doc, 32, {kVoid, kWater, kCalcite}, {20.0, 30.0}, 0.01, false, 10);
        Params& p = doc.model->GetParams();
        p.stepFlags = {0, 0, 0, 0, 0, 0};
        p.stepFlags[step] = 3;
        doc.image.GetChan(1)->importCounts = {0, 0, 3};
        SelectThreads(doc, *doc.model, 2);
        Model& m = *doc.model;
        // The first progress refresh that reaches the UI thread asks for the stop; the worker's
        // clock holds the step's first progress report until then, so the stop always lands
        // inside the kernel however loaded the machine is.
        const auto ui = std::this_thread::get_id();
        std::atomic<int> calls{0};
        m.SetClock([&] {
            if (std::this_thread::get_id() != ui && calls.fetch_add(1) == 1)
                for (int k = 0; k < 10000 && m.GetState() != kStopping; ++k)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return std::int64_t{0};
        });
        doc.frame.SetHandler([&](const FrameMessage& msg) {
            if (msg.kind == FrameMsg::RefreshViews) m.StopComputation(false);
            m.HandleFrameMessage(msg);
        });
        ASSERT_EQ(RunToEnd(doc), kStopped) << step;
        EXPECT_NE(doc.logger.Text().find(text), std::string::npos) << step << "\n" << doc.logger.Text();
    }
}

}  // namespace
}  // namespace zun

namespace zun {
namespace {

TEST(Pipeline, LinearWithNeighboursRepeatsAndMissingCtWarns) {
    ImageDocument doc;
    Phantom ph = Build(doc, 12, {kVoid, kWater, kCalcite}, {20.0, 60.0}, 0.0, false, 12);
    Params& p = doc.model->GetParams();
    p.stepFlags = {0, 0, 0, 0, 3, 0};
    p.linearNeighbourRange = 1;
    p.linearIterations = 3;
    p.randomSeed = 4;
    SelectThreads(doc, *doc.model, 4);
    ASSERT_EQ(RunToEnd(doc), kCompleted);
    const std::string log = doc.logger.Text();
    std::size_t count = 0;
    for (std::size_t at = 0; (at = log.find("cLibDatConLinearOpt - Neighbour interaction: nt=4, NumTot=1728",
                                            at)) != std::string::npos;
         ++at)
        ++count;
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(p.linearIterationsUsed, 3);
    // The data fix the fractions; the small interaction energies cannot move them far.
    EXPECT_LE(Compare(doc, ph).max, 0.05);

    test::TestComputeDocument bare;
    Model& m = test::MakeComputeSetup(bare, {2, 2, 2}, 3, 0);
    m.GetParams().stepFlags = {0, 0, 0, 0, 3, 3};
    ASSERT_EQ(m.StartComputation(), 0);
    bare.WaitForEnd();
    EXPECT_EQ(m.GetState(), kCompleted);
    const std::string text = bare.logger.Text();
    EXPECT_NE(text.find("Warning: No composition or CT data channel is defined in data-constrained linear "
                        "optimisation.\n"),
              std::string::npos);
    EXPECT_NE(
        text.find("Warning: No composition or CT data channel is defined in data-constrained non-linear "
                  "optimisation.\n"),
        std::string::npos);
    EXPECT_NE(text.find("with 0 non-exact matches completed with data warning (-1)"), std::string::npos);
}

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++n;
    return n;
}

// The cap on voxel reports holds for the step's whole run, across its repetitions.
TEST(Pipeline, LinearRepetitionsShareOneErrorReportCap) {
    std::size_t reports[2] = {0, 0}, capLines[2] = {0, 0};
    for (int k = 0; k < 2; ++k) {
        ImageDocument doc;
        Build(doc, 10, {kVoid, kWater, kCalcite}, {20.0, 60.0}, 0.3, false, 21);
        Params& p = doc.model->GetParams();
        p.stepFlags = {0, 0, 0, 0, 3, 0};
        p.linearNeighbourRange = 1;
        p.linearIterations = 10;
        p.randomSeed = 4;
        p.maxErrorReports = k == 0 ? 1000000 : 10;
        SelectThreads(doc, *doc.model, 2);
        ASSERT_EQ(RunToEnd(doc), kCompleted);
        const std::string log = doc.logger.Text();
        reports[k] = Occurrences(log, "DatConLinearOpt: voxel ");
        capLines[k] = Occurrences(log, "of error report reached in DatConLinearOpt");
        if (k == 1) {
            EXPECT_EQ(Occurrences(log, "Maximum number (10) of error report reached in DatConLinearOpt\n"),
                      1u);
        }
    }
    // Uncapped, the noisy data fail in many voxels over the ten passes.
    ASSERT_GT(reports[0], 10u);
    EXPECT_EQ(capLines[0], 0u);
    EXPECT_EQ(reports[1], 10u);
    EXPECT_EQ(capLines[1], 1u);
}

}  // namespace
}  // namespace zun
