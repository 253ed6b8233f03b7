// The number fields of the dialogs over the example document, each dialog at the size it opens
// with: every field shows a whole value of its kind (a real such as "3.27675e-05", an integer of
// its range's length), so what a user typed reads back whole. Each dialog leaves a picture.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QLineEdit>

#include "guitest.h"
#include "model/sample.h"
#include "numberfields.h"
#include "plot/compoundprops.h"
#include "plot/histogrammodel.h"
#include "plot/imageimport.h"
#include "plot/statslisting.h"
#include "plot/tomographyprops.h"
#include "plot/ui/compoundpropsdialog.h"
#include "plot/ui/compoundtextdialog.h"
#include "plot/ui/histogramdialog.h"
#include "plot/ui/imageimportdialog.h"
#include "plot/ui/plotpropertiesdialog.h"
#include "plot/ui/statslistingdialog.h"
#include "plot/ui/tomographypropsdialog.h"
#include "tools/boundarytransform.h"
#include "tools/channelalign.h"
#include "tools/movingaveragemodel.h"
#include "tools/normalisemodel.h"
#include "tools/samplegrid.h"
#include "tools/setdatadialog.h"
#include "tools/thresholdseg.h"
#include "tools/ui/channelaligndialog.h"
#include "tools/ui/movingaveragedialog.h"
#include "tools/ui/normaliserangedialog.h"
#include "tools/ui/samplegriddialog.h"
#include "tools/ui/setdatadialogui.h"
#include "tools/ui/thresholddialog.h"
#include "tools/ui/transbounddialog.h"
#include "uilayout.h"
#include "view3d/animationrecorder.h"
#include "view3d/ui/animationrecording.h"
#include "view3d/ui/exportweb3ddialog.h"
#include "view3d/web3doptions.h"

using namespace zun;

namespace {

const std::string kExample = std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt";

struct Dialogs : test::AppFixture {
    void SetUp() override {
        MakeApp();
        ASSERT_TRUE(app->InitInstance(StartupOptions{}));
        app->MainFrame()->show();
        ASSERT_NE(app->OpenDocumentFile(kExample), nullptr);
    }
    QWidget* Main() { return app->MainFrame(); }
    CZunDoc& Doc() { return *app->ActiveDocument(); }
    int Chan(const char* name) { return Doc().GetSample().FindChanIndex(name); }

    // Shows the window at its opening size and checks each number field; `reals` of them at least
    // take reals, so a window whose fields were not made number fields fails.
    static void Check(QWidget* w, const std::string& name, int reals) {
        SCOPED_TRACE(name);
        w->show();
        test::SettleLayout();
        const std::vector<test::NumberFieldCheck> checks = test::CheckNumberFields(w);
        EXPECT_GE(test::RealFieldCount(checks), reals);
        for (const test::NumberFieldCheck& c : checks)
            EXPECT_TRUE(c.whole) << c.field << " cut in a field of " << c.width << " px";
        test::SaveScreenshot(w, "number-fields-" + name);
        w->hide();
    }
};

TEST_F(Dialogs, TheImportDialogOfACtChannelShowsEveryValueWhole) {
    ImageImportOptions options = ImageImportOptions::FromChannel(Doc(), Chan("CT 40 keV"), true);
    ASSERT_TRUE(options.ctChannel);
    options.autoGenerate = false;
    options.applyScale = options.applyZeroOffset = options.crop = true;
    options.Open();
    ImageImportDialog dialog(options, &prompt, Main());
    dialog.setDirectory(QString::fromStdString(tmp.Path().string()));
    // Scale, offset, energy and both coefficients; the crop offsets are integers.
    Check(&dialog, "image-import-ct", 5);
    for (QLineEdit* e : {dialog.lacZero, dialog.lacOne, dialog.energy}) {
        EXPECT_EQ(NumberFieldSample(e), kRealFieldSample);
        EXPECT_TRUE(test::detail::ShowsWhole(e, "3.27675")) << e->width();
    }
    EXPECT_EQ(NumberFieldSample(dialog.cropX), "99999");
}

TEST_F(Dialogs, ThePropertyAndAttenuationDialogsShowEveryValueWhole) {
    TomographyPropsModel tomography(Doc(), Chan("CT 40 keV"), &prompt);
    ASSERT_TRUE(tomography.Open());
    Check(std::make_unique<TomographyPropsDialog>(tomography, Main()).get(), "ct-properties", 4);
    Check(std::make_unique<AddFilterDialog>(tomography, Main()).get(), "add-filter", 0);
    CompoundPropsModel composition(Doc(), Chan("Water"), &prompt);
    Check(std::make_unique<CompoundPropsDialog>(composition, Main()).get(), "composition-properties", 2);
    std::unique_ptr<CompoundTextDialog> attenuation(
        ShowXrayAttenuationProperties(Doc(), {"Water", "Aluminium"}, "", Main()));
    ASSERT_NE(attenuation, nullptr);
    Check(attenuation.get(), "attenuation-properties", 4);
    StatsListingModel stats([](std::int32_t, int) { return std::string("Water 0.25\n"); }, &prompt);
    Check(std::make_unique<StatsListingDialog>(stats, Main()).get(), "statistics-listing", 0);
}

TEST_F(Dialogs, TheChannelToolsShowEveryValueWhole) {
    const int ct = Chan("CT 40 keV");
    ChannelAlignModel align(Doc(), ct, Chan("CT 80 keV"));
    Check(std::make_unique<ChannelAlignDialog>(align, prompt, Main()).get(), "channel-alignment", 3);
    MovingAverageModel average(Doc(), ct);
    Check(std::make_unique<MovingAverageDialog>(average, prompt, Main()).get(), "moving-average", 4);
    NormaliseModel normalise(Doc(), ct);
    Check(std::make_unique<NormaliseRangeDialog>(normalise, prompt, Main()).get(), "normalise-range", 2);
    CThresholdSegmentation threshold;
    ASSERT_EQ(threshold.Prepare(Doc(), "CT 40 keV", ct), 0);
    Check(std::make_unique<ThresholdSegmentationDialog>(threshold, Main()).get(), "threshold-segmentation",
          2);
    SetDataRequest request;
    ASSERT_TRUE(Doc().PrepareSetData({"CT 40 keV"}, request));
    CChanSetData setData(Doc(), request);
    Check(std::make_unique<ChanSetDataDialog>(setData, Main()).get(), "set-data", 2);
    BoundaryTransform transform(Doc(), {"edge"});
    Check(std::make_unique<TransBoundDialog>(transform, Doc(), Main()).get(), "boundary-transform", 6);
    SetupSampleGrid grid(std::array<std::uint32_t, 3>{24, 24, 24}, std::array<double, 4>{1, 1e-3, 1e-3, 1e-3},
                         true);
    Check(std::make_unique<SampleGridDialog>(grid, prompt, Main()).get(), "sample-grid", 4);
}

TEST_F(Dialogs, TheViewDialogsShowEveryValueWhole) {
    Check(std::make_unique<RecordOptionsDialog>(Main(), RecordOptions{}).get(), "record-animation", 2);
    Web3DOptions web;
    Check(std::make_unique<ExportWeb3DDialog>(Main(), web, [] { return Web3DDocumentFacts{}; }).get(),
          "web-export", 1);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
