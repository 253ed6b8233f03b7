// The X-ray CT properties engine and dialog decisions against a document: loading, coefficients,
// validity of image intensities, reading the edits, applying into the channel and the controller,
// the filter list and its combo entries, and the filter-window registry.

#include "plot/tomographyprops.h"

#include <gtest/gtest.h>

#include <cmath>

#include "compute/model.h"
#include "document/docclasses.h"
#include "document/zundoc.h"
#include "model/channelrules.h"
#include "model/sample.h"
#include "platform/prompt.h"

using namespace zun;

namespace {

class FakeWindow : public CtFilterWindow {
public:
    explicit FakeWindow(std::vector<std::string>* log, std::string name)
        : log_(log), name_(std::move(name)) {}
    void Raise() override { log_->push_back("raise " + name_); }
    void Destroy() override {
        log_->push_back("destroy " + name_);
        delete this;
    }
    void Refresh() override { log_->push_back("refresh " + name_); }

private:
    std::vector<std::string>* log_;
    std::string name_;
};

class TomographyTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterDocumentClasses();
        Compound::SetPrompt(&parsePrompt);
        doc.OnNewDocument();
        ASSERT_EQ(doc.InsertChannel(0, 1, "Water"), 0);
        ASSERT_EQ(doc.InsertChannel(0, 2, "Quartz"), 0);
        ASSERT_EQ(doc.InsertChannel(1, 3, "ct"), 0);
        SetCompound("Water", "H2O", 1.0);
        SetCompound("Quartz", "SiO2", 2.65);
        ct = doc.GetSample().FindChanIndex("ct");
        ASSERT_GE(ct, 0);
        doc.GetSample().GetChan(ct)->autoRename = false;
        doc.GetModel().SetChannelMeasuredAttenuation(ct, 0.0f, 0);
        doc.GetModel().SetChannelMeasuredAttenuation(ct, 2.0f, 1);
        doc.GetModel().GetParams().ctBeamEnergy[1] = 30.0f;
        doc.SetModifiedFlag(false);
    }
    void TearDown() override { Compound::SetPrompt(nullptr); }

    void SetCompound(const std::string& channel, const std::string& formula, double density) {
        ZunChan* c = doc.GetSample().FindChan(channel);
        ASSERT_NE(c, nullptr);
        ASSERT_EQ(c->compound.SetFormula(formula, true), 0);
        c->compound.density = density;
    }
    float Mono(const std::string& channel, double keV) {
        const Compound& c = doc.GetSample().FindChan(channel)->compound;
        return static_cast<float>(c.MassAttenuation(doc.Settings().attenuationMethod, 0, 0, keV) * c.density);
    }
    std::unique_ptr<TomographyPropsModel> Open(bool fresh = false) {
        auto m = std::make_unique<TomographyPropsModel>(doc, ct, &prompt);
        m->newChannel = fresh;
        m->windowFactory = [this](TomographyPropsModel::WindowKind, const std::string& name,
                                  const std::string& title, int) -> CtFilterWindow* {
            titles.push_back(title);
            return new FakeWindow(&log, name);
        };
        EXPECT_TRUE(m->Open());
        return m;
    }
    std::vector<std::string> Texts() {
        std::vector<std::string> t;
        for (const auto& r : prompt.Requests()) t.push_back(r.text);
        return t;
    }

    HeadlessPrompt prompt, parsePrompt;
    CZunDoc doc{DocServices{&prompt}};
    int ct = -1;
    std::vector<std::string> log, titles;
};

TEST_F(TomographyTest, LoadsOneRowPerCompositionWithDefaultsFromTheCompounds) {
    auto m = Open();
    const CtBeamSettings& s = m->Current();
    ASSERT_EQ(s.rows.size(), 3u);  // Void, Water, Quartz
    EXPECT_EQ(s.rows[1].name, "Water");
    EXPECT_EQ(s.rows[0].defaultCoefficient, 0.0f);
    EXPECT_FLOAT_EQ(s.rows[1].defaultCoefficient, Mono("Water", 30));
    EXPECT_FLOAT_EQ(s.rows[2].defaultCoefficient, Mono("Quartz", 30));
    EXPECT_GT(s.rows[2].defaultCoefficient, s.rows[1].defaultCoefficient);
    EXPECT_FLOAT_EQ(s.rows[2].imageIntensity, s.rows[2].actual / 2.0f);
    EXPECT_TRUE(s.rows[2].intensityValid);
    EXPECT_EQ(m->energyText, "30");
    EXPECT_EQ(m->totalOneText, "2");
    EXPECT_EQ(m->ColumnHeaders()[1], "LAC Default");
    EXPECT_EQ(m->ColumnHeaders()[4], " Image Intensity");
    EXPECT_FALSE(m->applyEnabled);
    EXPECT_EQ(m->comboEntries,
              (std::vector<std::string>{"<Select>", "Source*", "Detector", "Beam Hardening", "Display All"}));
}

TEST_F(TomographyTest, IntensityValidityRules) {
    auto m = Open();
    CtBeamSettings& s = m->Current();
    // Above 1 stays valid; below 0 is invalid.
    s.totalAtZero = 0.0f;
    s.totalAtOne = 0.01f;
    m->ComputeCompositionCoefficients(s);
    EXPECT_GT(s.rows[2].imageIntensity, 1.0f);
    EXPECT_TRUE(s.rows[2].intensityValid);
    s.totalAtZero = 100.0f;
    s.totalAtOne = 200.0f;
    m->ComputeCompositionCoefficients(s);
    EXPECT_LT(s.rows[2].imageIntensity, 0.0f);
    EXPECT_FALSE(s.rows[2].intensityValid);
    EXPECT_EQ(m->CellText(2, 4), "Invalid value");
    // Equal totals make every intensity invalid, whatever the coefficients.
    s.totalAtZero = s.totalAtOne = 1.0f;
    m->ComputeCompositionCoefficients(s);
    for (std::size_t i = 0; i < s.rows.size(); ++i) EXPECT_EQ(m->CellText(i, 4), "Invalid value");
    // NaN totals never give a valid intensity, and a NaN record is never equal to itself.
    s.totalAtZero = NAN;
    s.totalAtOne = 1.0f;
    m->ComputeCompositionCoefficients(s);
    EXPECT_FALSE(s.rows[2].intensityValid);
    const CtBeamSettings copy = s;
    EXPECT_FALSE(CtBeamSettings::IsEqual(copy, s));
    EXPECT_TRUE(CtBeamSettings::IsEqual(s, s));
}

TEST_F(TomographyTest, ReadFieldsOrderAndMessages) {
    auto m = Open();
    struct Case {
        TomographyPropsModel::Field field;
        const char* text;
        const char* message;  // null: accepted
    } cases[] = {
        {TomographyPropsModel::kEnergyField, "", nullptr},
        {TomographyPropsModel::kEnergyField, "0", nullptr},
        {TomographyPropsModel::kEnergyField, "-1", ctmsg::kInvalidEnergy},
        {TomographyPropsModel::kEnergyField, "nan", ctmsg::kInvalidEnergy},
        {TomographyPropsModel::kOffsetZeroField, "x", ctmsg::kInvalidOffsetZero},
        {TomographyPropsModel::kOffsetZeroField, "-3", nullptr},
        {TomographyPropsModel::kOffsetOneField, "?", ctmsg::kInvalidOffsetOne},
        {TomographyPropsModel::kAccuracyField, "0", nullptr},
        {TomographyPropsModel::kAccuracyField, "1", nullptr},
        {TomographyPropsModel::kAccuracyField, "1.01", ctmsg::kInvalidAccuracy},
        {TomographyPropsModel::kAccuracyField, "", nullptr},
        {TomographyPropsModel::kStepField, "", ctmsg::kInvalidStep},
        {TomographyPropsModel::kStepField, "0", ctmsg::kInvalidStep},
        {TomographyPropsModel::kStepField, "0.05", nullptr},
    };
    for (const Case& c : cases) {
        auto fresh = Open();
        fresh->OnEditChanged(c.field, c.text);
        prompt.Clear();
        CtBeamSettings t = fresh->Current();
        const bool ok = fresh->ReadFields(t);
        SCOPED_TRACE(std::string(c.text));
        EXPECT_EQ(ok, c.message == nullptr);
        if (c.message) {
            ASSERT_EQ(Texts(), std::vector<std::string>{c.message});
            EXPECT_EQ(prompt.Requests()[0].icon, PromptIcon::Information);
            EXPECT_EQ(fresh->failedField,
                      c.field == TomographyPropsModel::kStepField ? TomographyPropsModel::kNoField : c.field);
        }
    }
    // The first refused field stops the reading.
    m->OnEditChanged(TomographyPropsModel::kEnergyField, "-1");
    m->OnEditChanged(TomographyPropsModel::kAccuracyField, "5");
    prompt.Clear();
    CtBeamSettings t = m->Current();
    EXPECT_FALSE(m->ReadFields(t));
    EXPECT_EQ(Texts(), std::vector<std::string>{ctmsg::kInvalidEnergy});
}

// A monochromatic energy where the attenuation source has no data would make every coefficient 0
// and name the channel after it: refused as the data file readers and the remote command refuse
// it, and nothing is applied or renamed.
TEST_F(TomographyTest, EnergiesOutsideTheSourceAreRefusedAsOnTheRemoteRoad) {
    const int method = doc.Settings().attenuationMethod;
    ASSERT_FALSE(CheckBeamEnergy(method, 5000.0).empty());
    doc.GetSample().GetChan(ct)->autoRename = true;
    const std::string name = doc.GetSample().GetChan(ct)->name;
    const std::vector<float> matrix = doc.GetModel().GetParams().lacMatrix;
    for (const char* energy : {"5000", "1e30"}) {
        auto m = Open();
        m->OnAutoRenameChanged(true);
        m->OnEditChanged(TomographyPropsModel::kEnergyField, energy);
        prompt.Clear();
        EXPECT_FALSE(m->Ok()) << energy;
        ASSERT_EQ(Texts().size(), 1u);
        EXPECT_EQ(Texts()[0],
                  std::string(ctmsg::kInvalidEnergy) + ": " + CheckBeamEnergy(method, std::stof(energy)));
        EXPECT_EQ(m->failedField, TomographyPropsModel::kEnergyField);
        EXPECT_FALSE(m->Apply());
        EXPECT_EQ(doc.GetSample().GetChan(ct)->name, name);
        EXPECT_EQ(doc.GetModel().GetParams().lacMatrix, matrix);
        EXPECT_EQ(doc.GetModel().GetParams().ctBeamEnergy[1], 30.0f);
        EXPECT_FALSE(doc.IsModified());
    }
    // 0 keeps its meaning, an energy inside the range applies, and a polychromatic beam does not
    // read the edit.
    for (const char* energy : {"0", "25"}) {
        auto m = Open();
        m->OnEditChanged(TomographyPropsModel::kEnergyField, energy);
        EXPECT_TRUE(m->Apply()) << energy;
    }
    auto m = Open();
    m->OnEditChanged(TomographyPropsModel::kEnergyField, "5000");
    m->OnBeamType(true);
    CtBeamSettings t = m->Current();
    EXPECT_TRUE(m->ReadFields(t));
}

TEST_F(TomographyTest, ApplyWritesControllerMarksModifiedAndTheComputationKeepsIt) {
    auto m = Open();
    ASSERT_TRUE(m->EditOffset(1, "0.25"));
    m->OnEditChanged(TomographyPropsModel::kEnergyField, "40");
    m->OnEditChanged(TomographyPropsModel::kOffsetOneField, "0.5");
    EXPECT_TRUE(m->applyEnabled);
    ASSERT_TRUE(m->Apply());
    EXPECT_TRUE(doc.IsModified());
    EXPECT_FALSE(m->applyEnabled);
    const Params& p = doc.GetModel().GetParams();
    EXPECT_EQ(p.ctBeamEnergy[1], 40.0f);
    EXPECT_EQ(doc.GetModel().GetChannelAttenuation(ct, 1), 2.5f);
    const float water = Mono("Water", 40) + 0.25f;
    EXPECT_FLOAT_EQ(p.lacMatrix[p.MatrixIndex(1, 1)], water);
    EXPECT_FLOAT_EQ(m->Current().rows[1].imageIntensity, water / 2.5f);

    // What the document recomputes at the start of a computation keeps energy and offset.
    doc.GetModel().GetParams().lacMatrix[p.MatrixIndex(1, 1)] = 0.0f;
    doc.ComputeCompositionCoefficients(ct);
    EXPECT_FLOAT_EQ(p.lacMatrix[p.MatrixIndex(1, 1)], water);

    // A second dialog loads what was applied; Cancel after Apply keeps it.
    m->OnEditChanged(TomographyPropsModel::kEnergyField, "50");
    m->Cancel();
    EXPECT_EQ(p.ctBeamEnergy[1], 40.0f);
    auto again = Open();
    EXPECT_EQ(again->energyText, "40");
    EXPECT_FLOAT_EQ(again->Current().rows[1].offset, 0.25f);
    // OK with nothing changed since the Apply leaves the flag alone.
    doc.SetModifiedFlag(false);
    EXPECT_TRUE(again->Ok());
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(TomographyTest, NewChannelOkMarksModifiedAndCancelKeepsItLac) {
    auto m = Open(true);
    EXPECT_TRUE(m->applyEnabled);
    EXPECT_TRUE(m->Ok());
    EXPECT_TRUE(doc.IsModified());
    doc.SetModifiedFlag(false);
    auto c = Open(true);
    c->Cancel();
    EXPECT_EQ(doc.GetSample().GetChan(ct)->dataType, 0);
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(TomographyTest, OffsetCellChecks) {
    auto m = Open();
    const float water = m->Current().rows[1].defaultCoefficient;
    EXPECT_FALSE(m->EditOffset(1, "abc"));
    EXPECT_FALSE(m->EditOffset(1, std::to_string(-2.0 * water)));
    EXPECT_EQ(Texts(), (std::vector<std::string>{ctmsg::kInvalidEntry, ctmsg::kNegativeActual}));
    EXPECT_FALSE(m->applyEnabled);
    // An offset whose sum with the default is exactly 0 is accepted.
    char text[64];
    std::snprintf(text, sizeof text, "%.9g", -static_cast<double>(water));
    EXPECT_TRUE(m->EditOffset(1, text));
    EXPECT_EQ(m->Current().rows[1].actual, 0.0f);
    EXPECT_TRUE(m->applyEnabled);
}

TEST_F(TomographyTest, AutoRenameFollowsTheAppliedEnergy) {
    auto m = Open();
    m->OnAutoRenameChanged(true);
    m->OnEditChanged(TomographyPropsModel::kEnergyField, "25");
    ASSERT_TRUE(m->Ok());
    EXPECT_GE(doc.GetSample().FindChanIndex("LAC_mono_25keV"), 0);
    EXPECT_TRUE(doc.GetSample().GetChan(ct)->autoRename);
}

TEST_F(TomographyTest, CompositionRenameReachesTheRows) {
    auto m = Open();
    ASSERT_EQ(doc.RenameChannel("Water", "H2O_ch"), 0);
    m->RenameChannel("Water", "H2O_ch");
    EXPECT_EQ(m->CellText(1, 0), "H2O_ch");
    m->title = "doc: 'ct' X-ray CT Properties";
    m->RenameChannel("ct", "beam");
    EXPECT_EQ(m->title, "doc: 'beam' X-ray CT Properties");
}

TEST_F(TomographyTest, PolychromaticSingleLineSourceEqualsMonochromaticAndZeroGainAsks) {
    auto m = Open();
    DeviceFilter source;
    ASSERT_TRUE(m->GetDeviceFilter("Source", source));
    source.table = {{30.0f, 1.0f}};
    m->PutDeviceFilter("Source", source);
    m->OnBeamType(true);
    EXPECT_FLOAT_EQ(m->Current().rows[2].defaultCoefficient, Mono("Quartz", 30));

    // No enabled filter with points: every row fails and OK asks first.
    source.table.clear();
    m->PutDeviceFilter("Source", source);
    prompt.Clear();
    prompt.QueueAnswer(kPromptNo);
    EXPECT_FALSE(m->Ok());
    ASSERT_EQ(Texts(), std::vector<std::string>{ctmsg::kZeroGain});
    EXPECT_FALSE(doc.GetSample().GetChan(ct)->polychromatic);  // nothing applied
    prompt.QueueAnswer(kPromptYes);
    EXPECT_TRUE(m->Ok());
    EXPECT_TRUE(doc.GetSample().GetChan(ct)->polychromatic);
    EXPECT_EQ(m->Current().rows[2].defaultCoefficient, 0.0f);
}

TEST(TomographyRules, EnergyRangeWarningTexts) {
    PolyFilters f;
    f.AddDeviceFilter("Source", true)->table = {{10.0f, 1.0f}, {100.0f, 1.0f}};
    EXPECT_EQ(TomographyPropsModel::EnergyRangeWarning(f), "");
    f.AddDeviceFilter("Detector", true)->table = {{5.0f, 1.0f}, {90.0f, 1.0f}};
    f.AddDeviceFilter("Off", false)->table = {{50.0f, 1.0f}};
    EXPECT_EQ(TomographyPropsModel::EnergyRangeWarning(f),
              "Warning: The energy range of the Detector filter\n"
              "does not fully encompass that of the Source filter.\nContinue?");
    for (int i = 0; i < 20; ++i) f.AddDeviceFilter("f" + std::to_string(i), true)->table = {{20.0f, 1.0f}};
    const std::string text = TomographyPropsModel::EnergyRangeWarning(f);
    const std::string head =
        "Warning: The energy ranges of the following filters\n"
        "do not fully encompass that of the Source filter:\n";
    ASSERT_EQ(text.substr(0, head.size()), head);
    // The line breaks after the first name that brings it to 60 characters; the next starts ", ".
    const std::string first = text.substr(head.size(), text.find('\n', head.size()) - head.size());
    EXPECT_GE(first.size(), 60u);
    EXPECT_LT(first.size() - first.rfind(", "), 6u);
    EXPECT_EQ(text.substr(head.size() + first.size() + 1, 2), ", ");
    EXPECT_NE(text.find("f19. Continue?"), std::string::npos);
    // Without a usable source there is nothing to hold the others against.
    f.FindFilter("Source")->enabled = false;
    EXPECT_EQ(TomographyPropsModel::EnergyRangeWarning(f), "");
}

TEST(TomographyRules, DefaultMaterialGrid) {
    PolyFilters f;
    float lo = -1, hi = -1, step = -1;
    TomographyPropsModel::DefaultMaterialGrid(f, lo, hi, step);
    EXPECT_EQ(lo, 0.0f);
    EXPECT_EQ(hi, 100.0f);
    EXPECT_FLOAT_EQ(step, 0.1f);
    f.AddDeviceFilter("Source", true)->table = {{10.0f, 1.0f}, {10.5f, 1.0f}};
    TomographyPropsModel::DefaultMaterialGrid(f, lo, hi, step);
    EXPECT_EQ(lo, 10.0f);
    EXPECT_EQ(hi, 10.5f);
    EXPECT_FLOAT_EQ(step, 0.01f);  // 0.5 / 0.1 < 11: one refinement
}

TEST_F(TomographyTest, ComboMarksNamesAndDeletion) {
    auto m = Open();
    bool marked = false;
    EXPECT_EQ(TomographyPropsModel::ComboFind(m->comboEntries, "source", &marked), 1);
    EXPECT_TRUE(marked);
    EXPECT_EQ(TomographyPropsModel::ComboFind(m->comboEntries, "Detector*", &marked), 2);
    EXPECT_FALSE(marked);
    // Enabling toggles the mark in place, keeping the selection.
    m->comboSelection = 2;
    DeviceFilter d;
    ASSERT_TRUE(m->GetDeviceFilter("Detector", d));
    d.enabled = true;
    m->PutDeviceFilter("Detector", d);
    EXPECT_EQ(m->comboEntries[2], "Detector*");
    EXPECT_EQ(m->ComboSelectedName(), "Detector");

    EXPECT_EQ(m->CheckNewFilterName("Source"), ctmsg::kNameExists);
    EXPECT_EQ(m->CheckNewFilterName("SOURCE"), ctmsg::kNameExists);
    EXPECT_EQ(m->CheckNewFilterName("display all"), ctmsg::kNameExists);
    EXPECT_EQ(m->CheckNewFilterName("a*b"), ctmsg::kNameStar);
    EXPECT_EQ(m->CheckNewFilterName("Al"), "");

    m->AddMaterialFilter("Al");
    EXPECT_EQ(m->comboEntries.back(), "Al*");
    auto* al = dynamic_cast<MaterialFilter*>(m->Current().filters.FindFilter("Al"));
    ASSERT_NE(al, nullptr);
    EXPECT_TRUE(al->enabled);
    EXPECT_FLOAT_EQ(static_cast<float>(al->thickness), 0.1f);

    prompt.Clear();
    m->comboSelection = 1;
    EXPECT_FALSE(m->DeleteSelectedFilter());
    EXPECT_EQ(Texts(), std::vector<std::string>{"Cannot delete predefined filter 'Source'"});
    m->comboSelection = static_cast<int>(m->comboEntries.size()) - 1;
    prompt.QueueAnswer(kPromptCancel);
    EXPECT_FALSE(m->DeleteSelectedFilter());
    EXPECT_TRUE(m->HasFilter("Al"));
    EXPECT_TRUE(m->DeleteSelectedFilter());
    EXPECT_FALSE(m->HasFilter("Al"));
    EXPECT_EQ(m->comboEntries.back(), "Display All");
    EXPECT_EQ(m->comboSelection, 0);
}

TEST_F(TomographyTest, FilterWindowsOnePerNameAndTheTypeButtons) {
    auto m = Open();
    doc.SetTitle("doc");
    m->OnBeamType(true);
    m->OnComboSelection(1);
    ASSERT_EQ(titles, std::vector<std::string>{"doc: 'ct' Filter 'Source' Properties"});
    EXPECT_FALSE(m->deleteEnabled);
    m->OnComboSelection(1);  // raised, not opened again
    EXPECT_EQ(log, std::vector<std::string>{"raise Source"});
    m->ShowFilterProperties("Display All");
    m->ShowFilterProperties("Detector");
    EXPECT_EQ(m->OpenWindowCount(), 3u);
    EXPECT_FALSE(m->TypeButtonsEnabled());
    m->RefreshAllFiltersWindow();
    EXPECT_EQ(log.back(), "refresh Display All");
    m->CloseFilterWindow("Source");
    m->CloseFilterWindow("Detector");
    EXPECT_FALSE(m->TypeButtonsEnabled());
    m->CloseFilterWindow("Display All");
    EXPECT_TRUE(m->TypeButtonsEnabled());
    // OK closes whatever is still open.
    m->ShowFilterProperties("Source");
    EXPECT_TRUE(m->Ok());
    EXPECT_EQ(log.back(), "destroy Source");
    EXPECT_EQ(m->OpenWindowCount(), 0u);
}

TEST_F(TomographyTest, UnavailableElementsOfABeamHardeningFilterOpenNothing) {
    doc.Settings().attenuationMethod = 2;  // NIST has no data past uranium
    auto m = Open();
    MaterialFilter bh;
    ASSERT_TRUE(m->GetMaterialFilter("Beam Hardening", bh));
    bh.compositions = {{"Pu", 19.8, 1.0}};
    m->PutMaterialFilter("Beam Hardening", bh);
    m->ShowFilterProperties("Beam Hardening");
    EXPECT_EQ(m->OpenWindowCount(), 0u);
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(
        Texts()[0].rfind("This filter's composition material contains the element Pu.\nThis is not available "
                         "with the NIST attenuation method.\n",
                         0),
        0u);
    m->ShowFilterProperties("Display All");
    EXPECT_EQ(m->OpenWindowCount(), 0u);
    EXPECT_EQ(Texts()[1].rfind("At least one filter's composition material contains the element Pu.", 0), 0u);
}

}  // namespace
