// Atom counts of our parser against xraylib's formula parser.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "materials_support.h"
#include "model/compound.h"
#include "model/element.h"

namespace zun {
namespace {

// Random formulas with groups, nesting and real counts (forms both parsers accept).
std::string RandomFormula(std::mt19937& rng, int depth) {
    std::uniform_int_distribution<int> z(1, 94), items(1, 4), kind(0, 9);
    std::string s;
    const int n = items(rng);
    for (int i = 0; i < n; ++i) {
        const int k = kind(rng);
        if (k == 0 && depth < 2) {
            s += "(" + RandomFormula(rng, depth + 1) + ")";
        } else {
            s += ElementSymbol(z(rng));
        }
        const int c = kind(rng);
        if (c < 4)
            s += std::to_string(1 + c * 3);
        else if (c < 6)
            s += std::to_string(c - 3) + "." + std::to_string(c * 7 % 10) + "5";
    }
    return s;
}

TEST(FormulaCrossCheck, AtomCountsAgreeWithXraylib) {
    std::vector<std::string> formulas = {
        "H2O",           "CaCO3",      "Fe2O3",     "C6H12O6",   "Ca(OH)2",        "(H2O)0.9(NaCl)0.1",
        "Ca5(PO4)3(OH)", "SiO2",       "Al2(SO4)3", "K4Fe(CN)6", "Mg3Si4O10(OH)2", "C2H5OH",
        "NaHCO3",        "Pb3O4",      "UO2",       "PuO2",      "Co(NH3)6Cl3",    "CH3(CH2)16COOH",
        "Cu2.5Zn0.5",    "((CH2)2O)3",
    };
    std::mt19937 rng(20261207);
    while (formulas.size() < 50) formulas.push_back(RandomFormula(rng, 0));
    const std::string input = test::TempPath("formulas.txt");
    {
        std::ofstream f(input);
        for (const auto& s : formulas) f << s << "\n";
    }
    std::istringstream out(test::RunPython("xraylib_formulas.py", input));
    std::string line;
    for (const auto& text : formulas) {
        ASSERT_TRUE(std::getline(out, line)) << text;
        std::map<std::string, double> ref;
        std::istringstream ls(line);
        for (std::string tok; ls >> tok;) {
            auto colon = tok.find(':');
            ref[tok.substr(0, colon)] = std::stod(tok.substr(colon + 1));
        }
        Compound c;
        ASSERT_EQ(c.SetFormula(text, true), 0) << text;
        Compound flat;
        c.FlattenInto(flat, 1.0f);
        ASSERT_EQ(flat.entries.size(), ref.size()) << text;
        for (const Entry& e : flat.entries)
            EXPECT_NEAR(e.abundance, ref.at(e.key.symbol), 1e-6 * ref.at(e.key.symbol))
                << text << " " << e.key.symbol;
    }
}

}  // namespace
}  // namespace zun
