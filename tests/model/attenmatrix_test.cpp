// The condition number of the attenuation matrix and the matrix window's logic.

#include "model/attenmatrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <sstream>

#include "materials_support.h"
#include "model/compound.h"
#include "platform/prompt.h"

namespace zun {
namespace {

TEST(Svd, ConditionNumbersAgreeWithNumpy) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> u(-1.0, 1.0), scale(-3.0, 3.0);
    std::vector<std::vector<double>> mats;
    for (int k = 0; k < 20; ++k) {
        const int n = 1 + k % 8;
        std::vector<double> m(n * n);
        const double s = std::pow(10.0, scale(rng));  // rows of very different size, as the matrix has
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) m[i * n + j] = u(rng) * (i == 0 ? 1.0 : s);
        mats.push_back(m);
    }
    const std::string input = test::TempPath("matrices.txt");
    {
        std::ofstream f(input);
        f.precision(17);
        for (const auto& m : mats) {
            const int n = static_cast<int>(std::lround(std::sqrt(m.size())));
            f << n << "\n";
            for (double v : m) f << v << " ";
            f << "\n";
        }
    }
    std::istringstream ref(test::RunPython("cond_reference.py", input));
    for (const auto& m : mats) {
        const int n = static_cast<int>(std::lround(std::sqrt(m.size())));
        Svd svd;
        svd.Resize(n);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) svd[i][j] = m[i * n + j];
        double expected = 0;
        ASSERT_TRUE(ref >> expected);
        const double c = svd.ConditionNumber();
        EXPECT_NEAR(c, expected, 1e-10 * expected) << "n = " << n;
    }
}

TEST(Svd, SingularAndFailedDecompositions) {
    Svd one;
    one.Resize(1);
    one[0][0] = 1.0;
    EXPECT_EQ(one.ConditionNumber(), 1.0);

    Svd dup;
    dup.Resize(3);
    const double rows[3][3] = {{1, 1, 1}, {0.5, 0.5, 2}, {3, 3, 7}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) dup[i][j] = rows[i][j];
    EXPECT_EQ(dup.ConditionNumber(), 0.0);

    Svd bad;
    bad.Resize(2);
    bad[0][0] = bad[0][1] = 1.0;
    bad[1][0] = std::numeric_limits<double>::quiet_NaN();
    bad[1][1] = 2.0;
    EXPECT_EQ(bad.ConditionNumber(), -1.0);
    double* r[2] = {bad[0], bad[1]};
    try {
        Svd::invert(2, r);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "runtime_error in svdcmp() (no convergence in 30 iterations)");
    }

    // U W V^T gives the matrix back.
    double a0[3] = {2, 1, 0}, a1[3] = {1, 3, 1}, a2[3] = {0, 1, 4};
    double* a[3] = {a0, a1, a2};
    const double orig[3][3] = {{2, 1, 0}, {1, 3, 1}, {0, 1, 4}};
    double w[3], v0[3], v1[3], v2[3];
    double* v[3] = {v0, v1, v2};
    svdcmp(a, 3, 3, w, v);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double s = 0;
            for (int k = 0; k < 3; ++k) s += a[i][k] * w[k] * v[j][k];
            EXPECT_NEAR(s, orig[i][j], 1e-12);
        }
}

struct Fixture {
    std::map<std::string, Compound> channels;
    HeadlessPrompt prompt;

    Fixture() {
        Add("comp_1", "H2O", 1.0);
        Add("comp_2", "CaCO3", 2.71);
        Add("comp_3", "Fe2O3", 5.24);
    }
    void Add(const std::string& name, const char* formula, double density) {
        Compound c;
        EXPECT_EQ(c.SetFormula(formula, true), 0);
        c.density = density;
        channels[name] = c;
    }
    AttenMatrixModel Model(std::vector<std::string> names) {
        return AttenMatrixModel(
            std::move(names),
            [this](const std::string& n) -> const Compound* {
                auto it = channels.find(n);
                return it == channels.end() ? nullptr : &it->second;
            },
            kAttenTlacTrc, &prompt);
    }
};

TEST(AttenMatrix, InitialisesRowsAndFillsCoefficients) {
    Fixture fx;
    auto m = fx.Model({"comp_1", "comp_2", "comp_3"});
    m.SetRows({{0.0f, "x"}, {40.0f, "p"}, {60.0f, "u"}, {80.0f, "u"}});
    m.Initialize();
    ASSERT_EQ(m.Rows().size(), 2u);                        // cut to one row per composition after the first
    EXPECT_EQ(m.Rows()[0], (AttenEnergyRow{45.0f, "u"}));  // next default: last energy + 5
    EXPECT_EQ(m.Rows()[1], (AttenEnergyRow{40.0f, "p"}));
    EXPECT_EQ(m.ColumnHeaders(),
              (std::vector<std::string>{"Energy (keV)", "Type", "comp_1", "comp_2", "comp_3"}));
    ASSERT_EQ(m.RowCount(), 3);
    EXPECT_EQ(m.CellText(0, 0), "");
    EXPECT_EQ(m.CellText(0, 3), "1");
    EXPECT_EQ(m.CellText(1, 0), "45");
    EXPECT_EQ(m.CellText(2, 1), "p");
    const Compound& caco3 = fx.channels["comp_2"];
    const float photo = static_cast<float>(caco3.MassAttenuation(kAttenTlacTrc, 0, kAttenPhoto, 40.0) * 2.71);
    EXPECT_EQ(m.Matrix()[2 * 3 + 1], static_cast<double>(photo));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", photo);
    EXPECT_EQ(m.CellText(2, 3), buf);
    EXPECT_GT(m.Condition(), 1.0);
    std::snprintf(buf, sizeof buf, "%g", m.Condition());
    EXPECT_EQ(m.ConditionText(), buf);

    auto fresh = fx.Model({"comp_1", "comp_2", "comp_3"});
    fresh.Initialize();
    EXPECT_EQ(fresh.Rows(), (std::vector<AttenEnergyRow>{{10.0f, "u"}, {15.0f, "u"}}));
    auto single = fx.Model({"comp_1"});
    single.Initialize();
    EXPECT_EQ(single.RowCount(), 1);
    EXPECT_EQ(single.Condition(), 1.0);
    EXPECT_EQ(single.ConditionText(), "1");

    EXPECT_EQ(AttenMatrixModel::CellBackground(0, 0), 0xC0C0C0u);
    EXPECT_EQ(AttenMatrixModel::CellBackground(0, 2), 0xC0FFC0u);
    EXPECT_EQ(AttenMatrixModel::CellBackground(2, 4), 0xC0FFC0u);
    EXPECT_EQ(AttenMatrixModel::CellBackground(2, 1), 0u);
    EXPECT_FALSE(AttenMatrixModel::IsCellEditable(0, 0));
    EXPECT_TRUE(AttenMatrixModel::IsCellEditable(1, 1));
    EXPECT_FALSE(AttenMatrixModel::IsCellEditable(1, 2));
}

TEST(AttenMatrix, EditsAndTheirMessages) {
    Fixture fx;
    auto m = fx.Model({"comp_1", "comp_2", "comp_3"});
    m.Initialize();
    EXPECT_FALSE(m.EditEnergy(1, ""));  // cancelled
    EXPECT_FALSE(m.EditEnergy(1, "abc"));
    EXPECT_FALSE(m.EditEnergy(1, "-3"));
    EXPECT_FALSE(m.EditEnergy(1, "nan"));
    const auto req = fx.prompt.Requests();
    ASSERT_EQ(req.size(), 3u);
    EXPECT_EQ(req[0].text, "Invalid entry");
    EXPECT_EQ(req[1].text, "Beam energy must be >= zero");
    EXPECT_EQ(req[0].icon, PromptIcon::Information);
    EXPECT_EQ(m.Rows()[0].energy, 10.0f);
    EXPECT_TRUE(m.EditEnergy(1, "33.5keV"));
    EXPECT_EQ(m.CellText(1, 0), "33.5");
    m.EditType(2, "p");
    EXPECT_EQ(m.Rows()[1].type, "p");
    EXPECT_EQ(m.CellText(2, 1), "p");
    // An energy of 0 is accepted; the next initialisation gives that row the next default.
    EXPECT_TRUE(m.EditEnergy(2, "0"));
    EXPECT_EQ(m.CellText(2, 0), "0");
    m.Initialize();
    EXPECT_EQ(m.Rows()[1].energy, 5.0f);  // the default follows the last row's energy, here 0
    EXPECT_EQ(m.Rows()[0].energy, 33.5f);
}

TEST(AttenMatrix, SingularMissingChannelsAndFailures) {
    Fixture fx;
    fx.Add("comp_4", "H2O", 1.0);  // the same material twice: two equal columns
    auto same = fx.Model({"comp_1", "comp_4"});
    same.Initialize();
    EXPECT_EQ(same.ConditionText(), "Singular matrix");

    auto gone = fx.Model({"comp_1", "renamed", "comp_3"});
    gone.Initialize();
    EXPECT_EQ(gone.CellText(1, 3), "?");
    EXPECT_EQ(gone.ConditionText(), "Singular matrix");

    auto none = fx.Model({});
    none.Initialize();
    EXPECT_EQ(none.RowCount(), 0);
    EXPECT_TRUE(none.Rows().empty());
    EXPECT_EQ(none.ConditionText(), "");

    fx.channels["comp_2"].density = std::numeric_limits<double>::quiet_NaN();
    auto failed = fx.Model({"comp_1", "comp_2"});
    failed.Initialize();
    EXPECT_EQ(failed.ConditionText(), "Matrix SVD failed");
    EXPECT_LT(failed.Condition(), 0.0);
    const auto req = fx.prompt.Requests();
    ASSERT_EQ(req.size(), 1u);
    EXPECT_EQ(req[0].text,
              "Could not invert matrix: Singular Value Decomposition failure or allocation error");
    EXPECT_EQ(req[0].icon, PromptIcon::Warning);
}

}  // namespace
}  // namespace zun
