// A computation of the example phantom set up through the dialogs gives the same composition as
// the same settings written into the parameter set in code, for each composition method.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <memory>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "foundation/ui/listcontrols.h"
#include "platform/mainframe.h"
#include "platform/prompt.h"
#include "setup/ui/methodsheetdialog.h"
#include "setup/ui/setupdialog.h"
#include "uitest.h"

namespace zun {
namespace {

struct PhantomDoc {
    HeadlessPrompt prompt;
    QueuedMainFrameChannel frame;
    CZunDoc doc{DocServices{&prompt, nullptr, &frame}};
    PhantomDoc() {
        RegisterDocumentClasses();
        frame.SetHandler([this](const FrameMessage& m) { doc.HandleFrameMessage(m); });
        doc.OnNewDocument();
        EXPECT_TRUE(doc.ImportTextDocument(std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt"));
        doc.GetModel().Jobs() = {true, false, false};
    }
    Params& P() { return doc.GetModel().GetParams(); }
    void Compute() {
        ASSERT_EQ(doc.OnStartComputation(), 0);
        for (int i = 0; i < 6000 && (doc.GetModel().IsBusy() || frame.Pending()); ++i) frame.WaitAndPump(50);
        frame.Pump();
        ASSERT_EQ(doc.GetModel().GetState(), kCompleted) << doc.Logger().Text();
    }
    std::vector<imtype> Compositions() const {
        std::vector<imtype> words;
        const ZunImage& s = doc.GetSample();
        for (int c = 0; c < 3; ++c)
            words.insert(words.end(), s.GetChan(c)->Data(),
                         s.GetChan(c)->Data() + s.GetChan(c)->GetNumVoxels());
        return words;
    }
};

using SheetEdit = std::function<void(MethodSheetDialog&)>;
using DialogSteps = std::function<void(SetupComputationDialog&)>;

// Runs the set-up dialog on the document as a user would: `steps` clicks in it, each sheet that
// opens gets `edit` and then OK.
void SetUpThroughDialogs(PhantomDoc& d, const DialogSteps& steps, const SheetEdit& edit) {
    SetupComputationState state(d.doc);
    state.SetJobs(d.doc.GetModel().Jobs());
    SetupComputationDialog dialog(state, d.prompt, nullptr, {}, [&](QDialog& opened) {
        auto* sheet = qobject_cast<MethodSheetDialog*>(&opened);
        if (!sheet) return int(QDialog::Rejected);
        edit(*sheet);
        sheet->accept();
        return sheet->result();
    });
    steps(dialog);
    dialog.accept();
    d.doc.GetModel().Jobs() = state.jobs;
}

void ExpectSameResult(PhantomDoc& dialogs, PhantomDoc& code) {
    EXPECT_EQ(dialogs.P().stepFlags, code.P().stepFlags);
    dialogs.Compute();
    code.Compute();
    const std::vector<imtype> a = dialogs.Compositions(), b = code.Compositions();
    ASSERT_EQ(a.size(), b.size());
    EXPECT_TRUE(a == b);
}

TEST(SetupCompute, LinearOptimisation) {
    test::UiApp();
    PhantomDoc dialogs, code;
    SetUpThroughDialogs(
        dialogs,
        [](SetupComputationDialog& d) {
            d.MethodBox(kSetupLinear)->click();     // opens the sheet
            d.MethodBox(kSetupNonlinear)->click();  // off
        },
        [](MethodSheetDialog& s) {
            s.Edit("Number of Uninterruptible Voxel Computations Per Core:")->setText("300");
            s.Check("Minimise Self Energy")->click();
            Q_EMIT s.Grid("Composition Self Energies")->cellEdited(0, 1, "0.02");
        });
    Params& p = code.P();
    p.linearVoxelsPerThread = 300;
    p.minimiseSelfEnergy = true;
    p.linearObjectiveWeights[1] = 0.02f;
    p.stepFlags[kStepLinear] = 3;
    p.stepFlags[kStepNonlinear] = 2;
    p.MarkAllStepsChanged();
    EXPECT_EQ(dialogs.P().linearVoxelsPerThread, 300);
    EXPECT_TRUE(dialogs.P().minimiseSelfEnergy);
    EXPECT_EQ(dialogs.P().linearObjectiveWeights, p.linearObjectiveWeights);
    ExpectSameResult(dialogs, code);
}

TEST(SetupCompute, NonlinearOptimisation) {
    test::UiApp();
    PhantomDoc dialogs, code;
    SetUpThroughDialogs(
        dialogs, [](SetupComputationDialog& d) { d.ParametersButton(kSetupNonlinear)->click(); },
        [](MethodSheetDialog& s) {
            s.Edit("Vol frac sub-divisions")->setText("10");
            s.Edit("Exponent for CT Attenuation Coefficient Error:")->setText("2");
        });
    Params& p = code.P();
    p.gridSize = 10;
    p.attenuationErrorExponent = 2.0f;
    p.stepFlags[kStepNonlinear] = 3;
    EXPECT_EQ(dialogs.P().gridSize, 10);
    EXPECT_EQ(dialogs.P().attenuationErrorExponent, 2.0f);
    ExpectSameResult(dialogs, code);
}

TEST(SetupCompute, Segmentation) {
    test::UiApp();
    PhantomDoc dialogs, code;
    SetUpThroughDialogs(
        dialogs,
        [](SetupComputationDialog& d) {
            d.MethodBox(kSetupSegmentation)->click();
            d.MethodBox(kSetupNonlinear)->click();
        },
        [](MethodSheetDialog& s) {
            Q_EMIT s.Grid("Self Energy")->cellEdited(0, 2, "0.001");
            Q_EMIT s.Grid("Coefficients")->cellEdited(1, 1, "1.05");
        });
    Params& p = code.P();
    p.dlsSelfEnergy[2] = 0.001f;
    p.dlsMultiplier[1][1] = 1.05f;
    p.stepFlags[kStepSegmentation] = 3;
    p.stepFlags[kStepNonlinear] = 2;
    p.MarkAllStepsChanged();
    EXPECT_EQ(dialogs.P().dlsSelfEnergy, p.dlsSelfEnergy);
    EXPECT_EQ(dialogs.P().dlsMultiplier, p.dlsMultiplier);
    ExpectSameResult(dialogs, code);
}

}  // namespace
}  // namespace zun
