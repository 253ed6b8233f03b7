// The alignment, gradient, moving-volume average and normalisation dialogs driven by the
// keyboard and mouse, with their screenshots.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest/QTest>
#include <filesystem>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "platform/mainframe.h"
#include "platform/prompt.h"
#include "tools/ui/channelaligndialog.h"
#include "tools/ui/channelgradientdialog.h"
#include "tools/ui/movingaveragedialog.h"
#include "tools/ui/normaliserangedialog.h"
#include "uitest.h"

namespace zun {
namespace {

QApplication& App() {
    return test::UiApp();
}
using test::Retype;
using test::Screenshot;

// A document whose main-frame messages the Qt event loop delivers, as in the program.
struct GuiDoc {
    HeadlessPrompt prompt;
    std::unique_ptr<QueuedMainFrameChannel> frame;
    std::unique_ptr<CZunDoc> doc;
    QTimer pump;
    int ct = 0, prop = 0, bound = 0;
    GuiDoc() {
        App();
        RegisterDocumentClasses();
        frame = std::make_unique<QueuedMainFrameChannel>([this](const FrameMessage& m) {
            if (doc && m.document == doc.get()) doc->HandleFrameMessage(m);
        });
        doc = std::make_unique<CZunDoc>(DocServices{&prompt, nullptr, frame.get()});
        doc->OnNewDocument();
        doc->ResizeVolume({24, 20, 16}, {0, 0, 0});
        doc->InsertChannel(1, doc->InsertPositionLast(1), "ct_1");
        doc->InsertChannel(1, doc->InsertPositionLast(1), "ct_2");
        doc->InsertChannel(2, doc->InsertPositionLast(2), "prop_1");
        doc->InsertChannel(3, doc->InsertPositionLast(3), "bound_1");
        ZunImage& s = doc->GetSample();
        ct = s.FindChanIndex("ct_1");
        prop = s.FindChanIndex("prop_1");
        bound = s.FindChanIndex("bound_1");
        s.GetChan(ct)->range = {0, 10};
        for (std::size_t i = 0; i < s.GetNumVoxels(); ++i) {
            s.GetChan(ct)->Data()[i] = std::uint16_t(3000 + (i * 37) % 9000);
            s.GetChan(s.FindChanIndex("ct_2"))->Data()[i] = std::uint16_t(3000 + ((i + 1) * 37) % 9000);
            s.GetChan(bound)->Data()[i] = (i / 24) % 20 > 2 ? 16383 : 0;
        }
        QObject::connect(&pump, &QTimer::timeout, [this] { frame->Pump(); });
        pump.start(5);
    }
    std::vector<std::uint16_t> Copy(int i) {
        const ZunChan* c = doc->GetSample().GetChan(i);
        return {c->Data(), c->Data() + c->GetNumVoxels()};
    }
};

TEST(ChannelToolDialogs, AlignmentAppliesAndCancelRestores) {
    GuiDoc d;
    const int ref = d.doc->GetSample().FindChanIndex("ct_2");
    const auto before = d.Copy(d.ct);
    ChannelAlignModel model(*d.doc, d.ct, ref);
    ChannelAlignDialog dlg(model, d.prompt);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_FALSE(dlg.OkButton()->isEnabled());
    EXPECT_FALSE(dlg.ApplyButton()->isEnabled());
    Retype(dlg.Edit(0), "-1.0");
    EXPECT_TRUE(dlg.ApplyButton()->isEnabled());
    QTest::mouseClick(dlg.ApplyButton(), Qt::LeftButton);
    EXPECT_TRUE(dlg.OkButton()->isEnabled());
    EXPECT_EQ(dlg.CorrelationLabel()->text(), "Cross correlation = 1.0000");  // ct_2 is ct_1 moved by one
    EXPECT_NE(d.Copy(d.ct), before);
    Screenshot(&dlg, "channel-align");
    dlg.reject();
    EXPECT_EQ(d.Copy(d.ct), before);
}

TEST(ChannelToolDialogs, GradientParametersAndRun) {
    GuiDoc d;
    GradientSettingsStore store;
    ZunImage& s = d.doc->GetSample();
    std::vector<int> kinds;
    for (int i = 0; i < s.GetChanCount(); ++i) kinds.push_back(s.GetChan(i)->kind);
    GradientParsModel model(s.GetChanNames(), kinds, d.ct, store.Get("ct_1"));
    ChannelGradientDialog dlg(model, d.prompt);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.OutputCombo()->currentText(), "prop_1");
    QTest::mouseClick(dlg.OutsideBox(0), Qt::LeftButton);
    EXPECT_TRUE(dlg.ValueEdit(0)->isEnabled());
    QTest::mouseClick(dlg.PeriodicBox(1), Qt::LeftButton);
    EXPECT_FALSE(dlg.OutsideBox(1)->isEnabled());
    Retype(dlg.ValueEdit(1), "0.5x");
    Screenshot(&dlg, "channel-gradient");
    dlg.accept();
    EXPECT_EQ(d.prompt.Requests().back().text, "Syntax error in entered numeric value");
    EXPECT_TRUE(dlg.isVisible());
    Retype(dlg.ValueEdit(1), "0.5");
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(model.Settings().options, 1u * 2 | 4u);
    bool ended = false;
    ASSERT_EQ(StartGradientStep(*d.doc, d.ct, model.Settings(), [&](int r) { ended = r == 0; }), 0);
    QTRY_VERIFY_WITH_TIMEOUT(ended, 30000);
    EXPECT_EQ(s.GetChan(d.prop)->note.rfind("Channel gradient computation started at: ", 0), 0u);
}

TEST(ChannelToolDialogs, MovingAverageGeometriesAndExecute) {
    GuiDoc d;
    MovingAverageModel model(*d.doc, d.ct);
    MovingAverageDialog dlg(model, d.prompt);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.DimensionLabel()->text(), "Radius in x, y, z directions (voxels)");
    EXPECT_EQ(dlg.DimensionEdit(0)->text(), "5");
    Screenshot(&dlg, "moving-average");
    dlg.GeometryCombo()->setCurrentIndex(2);
    EXPECT_EQ(dlg.DimensionLabel()->text(), "Ref region (x0,y0, x1, y1; voxels)");
    EXPECT_EQ(dlg.RegionEdit(2)->text(), "24");
    EXPECT_TRUE(dlg.RegionEdit(0)->isVisible());
    EXPECT_FALSE(dlg.DimensionEdit(0)->isVisible());
    Screenshot(&dlg, "moving-average-slices");
    dlg.GeometryCombo()->setCurrentIndex(1);
    test::ClickBox(dlg.AutoBox());
    EXPECT_FALSE(dlg.ExpectedEdit()->isEnabled());
    Retype(dlg.IterationsEdit(), "0");
    QTest::mouseClick(dlg.ExecuteButton(), Qt::LeftButton);
    EXPECT_EQ(d.prompt.Requests().back().text, "Invalid parameters. Computation aborted");
    Retype(dlg.IterationsEdit(), "2");
    QTest::mouseClick(dlg.ExecuteButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!dlg.Running(), 60000);
    EXPECT_TRUE(dlg.ExecuteButton()->isEnabled());
    EXPECT_EQ(dlg.CloseButton()->text(), "Close");
    const std::string& note = d.doc->GetSample().GetChan(d.ct)->note;
    EXPECT_NE(note.find("Moving-volume-average computation iterations 2 finished at: "), std::string::npos)
        << note;
}

TEST(ChannelToolDialogs, NormalisationRunsStopsAndClosesSafely) {
    GuiDoc d;
    auto model = std::make_unique<NormaliseModel>(*d.doc, d.ct);
    auto dlg = std::make_unique<NormaliseRangeDialog>(*model, d.prompt);
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    EXPECT_EQ(dlg->BoundEdit(0)->text(), "Not applicable");
    EXPECT_FALSE(dlg->BoundEdit(0)->isEnabled());
    EXPECT_EQ(dlg->CloseButton()->text(), "Cancel");
    QTest::mouseClick(dlg->ModeRadio(0, 0), Qt::LeftButton);
    EXPECT_TRUE(dlg->RadiusEdit(0)->isEnabled());
    Retype(dlg->BoundEdit(0), "4");
    Retype(dlg->RadiusEdit(0), "3");
    QTest::mouseClick(dlg->ModeRadio(1, 1), Qt::LeftButton);
    EXPECT_EQ(dlg->RadiusEdit(1)->text(), "Not applicable");
    Retype(dlg->BoundEdit(1), "8");
    Screenshot(dlg.get(), "normalise-range");
    QTest::mouseClick(dlg->ExecuteButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!model->Running(), 60000);
    EXPECT_EQ(dlg->CloseButton()->text(), "Close");
    const ZunChan* c = d.doc->GetSample().GetChan(d.ct);
    for (std::size_t i = 0; i < c->GetNumVoxels(); ++i) {
        if (d.doc->GetSample().GetChan(d.bound)->Data()[i]) {
            ASSERT_LE(c->Data()[i] & 0x3FFF, 8 * 16383 / 10 + 1);
        }
    }

    // Closing during a run stops it; the dialog goes only once the run has ended.
    QTest::mouseClick(dlg->ExecuteButton(), Qt::LeftButton);
    dlg->reject();
    QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), 60000);
    EXPECT_FALSE(model->Running());
    dlg.reset();
    model.reset();
}

}  // namespace
}  // namespace zun
