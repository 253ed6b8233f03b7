// "Energy Properties" before the sheet: the compositions it works with, its caption, and the
// refusal of formulas whose elements the attenuation method has no data for (the sheet would give
// them a coefficient of 0 and every optimisation would run on it).

#include "energyopt/energyproperties.h"

#include <gtest/gtest.h>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "model/sample.h"
#include "platform/prompt.h"

using namespace EnergyOpt;

namespace {

struct Doc {
    zun::HeadlessPrompt prompt;
    zun::CZunDoc doc{zun::DocServices{&prompt}};
    Doc() {
        zun::RegisterDocumentClasses();
        doc.OnNewDocument();
    }
    void Composition(const std::string& name, const std::string& formula) {
        const int at = doc.GetSample().CountChansOfKind(zun::ZunChan::kComposition);
        ASSERT_EQ(doc.InsertChannel(0, at, name), 0);
        zun::Compound& c = doc.GetSample().FindChan(name)->compound;
        ASSERT_EQ(c.SetFormula(formula, true), 0);
        c.density = 1.0;
    }
};

TEST(EnergyProperties, CompositionsAndCaption) {
    Doc d;
    // A new document holds the void composition alone.
    EnergyPropertiesRequest r = PrepareEnergyProperties(d.doc.GetSample(), 1, "doc");
    ASSERT_EQ(r.compositions.size(), 1u);
    EXPECT_EQ(r.caption, "doc: Channel '" + r.compositions.front() + "' Energy Properties");
    EXPECT_EQ(r.refusal, "");
    d.Composition("Water", "H2O");
    ASSERT_EQ(d.doc.InsertChannel(1, 2, "ct"), 0);
    d.Composition("Bone", "Ca5(PO4)3OH");
    r = PrepareEnergyProperties(d.doc.GetSample(), 0, "doc");
    EXPECT_EQ(r.compositions,
              (std::vector<std::string>{d.doc.GetSample().GetChan(0)->name, "Water", "Bone"}));
    EXPECT_EQ(r.caption, "doc: Multiple Channel Energy Properties");
    EXPECT_EQ(r.refusal, "");
}

TEST(EnergyProperties, ElementsWithoutDataRefuseTheSheet) {
    Doc d;
    d.Composition("Water", "H2O");
    d.Composition("Source", "PoO2");
    d.Composition("Mix", "Fr2O(Ra)3");
    const zun::ZunImage& s = d.doc.GetSample();
    // The fitted routine holds no polonium, francium or radium; the tables hold them.
    EXPECT_EQ(PrepareEnergyProperties(s, 0, "doc").refusal,
              "A channel's composition formula contains the elements without data in the selected "
              "attenuation tables: Po,Fr,Ra");
    for (int method : {1, 3}) EXPECT_EQ(PrepareEnergyProperties(s, method, "doc").refusal, "") << method;
    // NIST ends at uranium.
    d.Composition("Fuel", "PuO2");
    EXPECT_EQ(PrepareEnergyProperties(s, 2, "doc").refusal, std::string(kMissingElementData) + "Pu");
}

}  // namespace
