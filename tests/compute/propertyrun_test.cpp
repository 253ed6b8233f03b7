// The property computation and the plug-ins as the controller runs them after the composition
// pipeline, against a document that offers its sample to both.
#include <gtest/gtest.h>

#include <filesystem>

#include "compute/propertycomputation.h"
#include "compute/propertydocument.h"
#include "computetestdoc.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// What a document gives the property computation and the plug-ins: its sample, its log and its
// controller's progress and state.
class SampleAccess : public PropertyDocument {
public:
    explicit SampleAccess(test::TestComputeDocument& doc) : doc_(doc) {}

    std::string Title() const override { return "sample.zun"; }
    std::array<std::uint32_t, 3> GridSize() const override { return doc_.sample.dims; }
    std::array<double, 3> VoxelSize() const override { return {1e-6, 1e-6, 1e-6}; }
    int ChannelCount() const override { return doc_.sample.ChannelCount(); }
    std::string ChannelName(int ch) const override { return doc_.sample.channels[ch].name; }
    int ChannelKind(int ch) const override { return doc_.sample.ChannelKind(ch); }
    void GetRange(int ch, float& min, float& max) const override {
        min = doc_.sample.ChannelRange(ch)[0];
        max = doc_.sample.ChannelRange(ch)[1];
    }
    void SetRange(int ch, float min, float max) override {
        doc_.sample.SetChannelRangeValue(ch, 0, min);
        doc_.sample.SetChannelRangeValue(ch, 1, max);
    }
    std::uint16_t* ChannelWords(int ch) override { return doc_.sample.ChannelWords(ch); }
    void Log(const std::string& text) override { doc_.logger.AppendTimestamped(text); }
    void SetProgress(float percent) override { doc_.model->SetProgress(percent, false); }
    std::int64_t RandomSeed() const override { return doc_.model->GetParams().randomSeed; }
    void SetModified() override { ++modified; }
    int ActiveBoundary() const override { return doc_.sample.MaskChannel(); }
    void SetStateText(const std::string& text) override {
        doc_.model->SetState(kRunning, true, text.c_str());
    }
    void MarkChannelModified(int) override {}
    int ThreadCount() const override { return 2; }
    int MaxReports() const override { return doc_.model->GetParams().maxErrorReports; }

    std::atomic<int> modified{0};

private:
    test::TestComputeDocument& doc_;
};

class RunDocument : public test::TestComputeDocument {
public:
    PluginDocument* Plugins() override { return &access; }
    bool PluginsEnabled() const override { return true; }
    std::vector<std::string> PluginFolders() const override { return folders; }

    SampleAccess access{*this};
    std::vector<std::string> folders;
};

TEST(PropertyAndPluginRun, ControllerRunsPropertyMethodsThenSelectedPlugins) {
    const fs::path folder = fs::path(ZUN_TEST_BINARY_DIR) / ("run_plugins_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    fs::copy_file(fs::path(ZUN_TEST_PLUGIN_DIR) / "zt_writer.so", folder / "zt_writer.so",
                  fs::copy_options::overwrite_existing);

    RunDocument doc;
    doc.folders = {folder.string()};
    Model& m = test::MakeComputeSetup(doc, {4, 3, 2}, 2, 1);
    doc.sample.Add("Density", kChanProperty);
    doc.sample.Add("Scratch", kChanProperty, 100);
    std::fill(doc.sample.channels[0].words.begin(), doc.sample.channels[0].words.end(), 4096);
    std::fill(doc.sample.channels[1].words.begin(), doc.sample.channels[1].words.end(), 12287);

    CPropertyComputation prop(&doc.access);
    PropertyMethodSettings rec;
    CPropertyComputation::ResetSettingsTables(doc.access, rec);
    rec.voxelStructure = 1;  // arithmetic mean
    rec.compositions[0].value = 0.0f;
    rec.compositions[1].value = 4.0f;
    rec.outputChannel = "Density";
    prop.Methods() = {rec};
    m.SetPropertyComputation(&prop);
    // Attaching merges the discovered plug-ins with the saved settings: the inverter is selected.
    m.SavedPluginSettings() = {{"Inverter", "zt_writer", "Scratch", true}};
    m.Attach(&doc);
    ASSERT_EQ(m.PluginRunList().size(), 1u);
    ASSERT_TRUE(m.PluginRunList()[0].selected);

    m.Jobs() = {false, true, true};
    ASSERT_EQ(m.StartComputation(), 0);
    doc.WaitForEnd();
    EXPECT_EQ(m.GetState(), kCompleted);

    const std::string log = doc.logger.Text();
    EXPECT_TRUE(Contains(log, "Property method Scalar analytic map on 'Density' completed (success)\n"))
        << log;
    EXPECT_TRUE(Contains(log, "Property computation completed successfully\n")) << log;
    EXPECT_TRUE(Contains(log, "Plugin 'Inverter' elapsed time = ")) << log;
    // Density: about 0.25 * 0 + 0.75 * 4 = 3 everywhere; one value gives a range of width 1.
    const auto& density = doc.sample.channels[3];
    EXPECT_NEAR(density.range[0], 3.0f, 1e-3);
    EXPECT_FLOAT_EQ(density.range[1] - density.range[0], 1.0f);
    EXPECT_EQ(density.words[5], 0);
    // The plug-in inverted "Scratch" and set its range.
    EXPECT_EQ(doc.sample.channels[4].words[0], 16383 - 100);
    EXPECT_FLOAT_EQ(doc.sample.channels[4].range[1], 1.0f);
    EXPECT_GE(doc.access.modified.load(), 2);

    // A failing property record makes the check ask; OK skips the property computation only.
    prop.Methods()[0].outputChannel = "Nowhere";
    doc.prompt.QueueAnswer(kPromptOk);
    ASSERT_EQ(m.StartComputation(), 0);
    doc.WaitForEnd();
    EXPECT_EQ(doc.prompt.Requests().back().detail,
              "Error: output channel 'Nowhere' is not a property channel of the document\n");
    EXPECT_EQ(doc.sample.channels[4].words[0], 100);  // inverted back by the second plug-in run
    fs::remove_all(folder);
}

}  // namespace
}  // namespace zun
