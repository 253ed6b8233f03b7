// Elements, the formula parser and compound arithmetic and archives.

#include "model/compound.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "materials_support.h"
#include "model/element.h"
#include "platform/prompt.h"

namespace zun {
namespace {

// Element -> total atom count, sub-compounds multiplied out.
std::map<std::string, double> Atoms(const Compound& c) {
    Compound flat;
    c.FlattenInto(flat, 1.0f);
    std::map<std::string, double> m;
    for (const Entry& e : flat.entries) m[e.key.symbol] = e.abundance;
    return m;
}

TEST(Elements, TableRowsAndSymbolOrder) {
    EXPECT_STREQ(ElementSymbol(1), "H");
    EXPECT_STREQ(ElementSymbol(43), "Tc");
    EXPECT_STREQ(ElementSymbol(94), "Pu");
    EXPECT_STREQ(ElementSymbol(95), "");
    const std::map<int, std::pair<double, double>> rows = {
        {1, {1.008, 8.9e-05}}, {8, {16.0, 0.001429}}, {6, {12.01, 2.26}},  {26, {55.85, 7.86}},
        {82, {207.21, 11.34}}, {92, {238.07, 19.05}}, {94, {239.1, 19.7}},
    };
    for (auto [z, wd] : rows) {
        EXPECT_EQ(AtomicWeight(z), wd.first) << z;
        EXPECT_EQ(ElementDensity(z), wd.second) << z;
    }
    EXPECT_EQ(ElementDensity(13), 2.72);
    EXPECT_EQ(ElementNumber("Fe"), 26);
    EXPECT_EQ(ElementNumber("fe"), 0);
    EXPECT_EQ(ElementNumber("Am"), 0);
    const auto& list = ElementSymbolList();
    ASSERT_EQ(list.size(), 94u);
    const std::vector<std::string> head = {"Ac", "Ag", "Al", "Ar", "As", "At", "Au", "B", "Ba"};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), list.begin()));
    for (int z = 1; z <= 94; ++z) {
        EXPECT_GT(AtomicWeight(z), 0.0);
        EXPECT_GT(ElementDensity(z), 0.0);
    }
}

struct ParseCase {
    const char* text;
    const char* formula;  // GetFormula after the parse
    std::map<std::string, double> atoms;
};

TEST(FormulaParser, AcceptsEveryForm) {
    const std::vector<ParseCase> cases = {
        {"H", "H", {{"H", 1}}},
        {"H2O", "H2O", {{"H", 2}, {"O", 1}}},
        {"H2 O", "H2O", {{"H", 2}, {"O", 1}}},
        {"\tH2\nO ", "H2O", {{"H", 2}, {"O", 1}}},
        {"Ca(OH)2", "Ca(OH)2", {{"Ca", 1}, {"O", 2}, {"H", 2}}},
        {"CO", "CO", {{"C", 1}, {"O", 1}}},
        {"Co", "Co", {{"Co", 1}}},
        {"(H2O)0.9(NaCl)0.1", "(H2O)0.9(NaCl)0.1", {{"H", 1.8f}, {"O", 0.9f}, {"Na", 0.1f}, {"Cl", 0.1f}}},
        {"(H2O)Na", "H2ONa", {{"H", 2}, {"O", 1}, {"Na", 1}}},
        {"Na(H2O)", "NaH2O", {{"H", 2}, {"O", 1}, {"Na", 1}}},
        {"(H)2", "H2", {{"H", 2}}},
        {"((H2O)3)2", "((H2O)3)2", {{"H", 12}, {"O", 6}}},
        {"NaCl1e-30", "NaCl1e-30", {{"Na", 1}, {"Cl", 1e-30f}}},
        {"H2e3", "H2000", {{"H", 2000}}},
        {"H.5", "H0.5", {{"H", 0.5}}},
        {"H2.", "H2", {{"H", 2}}},
        {"Fe2.5E+1", "Fe25", {{"Fe", 25}}},
        {"C6H12O6", "C6H12O6", {{"C", 6}, {"H", 12}, {"O", 6}}},
    };
    for (const auto& c : cases) {
        Compound k;
        ASSERT_EQ(k.SetFormula(c.text, true), 0) << c.text;
        EXPECT_EQ(k.GetFormula(), c.formula) << c.text;
        EXPECT_EQ(k.formula, c.text);
        const auto atoms = Atoms(k);
        ASSERT_EQ(atoms.size(), c.atoms.size()) << c.text;
        for (auto [s, n] : c.atoms) EXPECT_FLOAT_EQ(atoms.at(s), n) << c.text << " " << s;
    }
}

TEST(FormulaParser, StructureOfGroups) {
    Compound k;
    ASSERT_EQ(k.SetFormula("Ca(OH)2", true), 0);
    ASSERT_EQ(k.entries.size(), 2u);
    EXPECT_EQ(k.entries[0].key.symbol, "Ca");
    ASSERT_TRUE(k.entries[1].IsCompound());
    EXPECT_EQ(k.entries[1].abundance, 2.0f);
    EXPECT_EQ(k.entries[1].key.compound->GetFormula(), "OH");
    // A group without a count adds its elements to the compound itself.
    ASSERT_EQ(k.SetFormula("(H2O)Na", true), 0);
    EXPECT_EQ(k.entries.size(), 3u);
    for (const Entry& e : k.entries) EXPECT_FALSE(e.IsCompound());
}

struct ErrorCase {
    const char* text;
    const char* firstMessage;
};

TEST(FormulaParser, RefusesBadTextWithItsMessageAndKeepsTheCompound) {
    const std::vector<ErrorCase> cases = {
        {"h2o", "Invalid character 'h' at position 1"},
        {"NaCl0", "Abundance values must be > 0"},
        {"NaCl0.0", "Abundance values must be > 0"},
        {"(NaCl)0", "Abundance values must be > 0"},
        {"H1e-50", "Abundance values must be > 0"},
        {"Xx", "Invalid character 'X' at position 1"},
        {"H2O\r", "Invalid character '\\x0D' at position 4"},
        {"Cm", "Invalid character 'm' at position 2"},
        {"Ha", "Invalid character 'a' at position 2"},
        {"H2.5E", "Invalid character 'E' at position 5"},
        {"H1.5.5", "syntax error: unexpected '.5' at position 5"},
        {"2H", "syntax error: unexpected '2' at position 1"},
        {"()", "syntax error: unexpected ')' at position 2"},
        {"(H2O", "syntax error: the formula ends too early (position 5)"},
        {"H2O)", "syntax error: unexpected ')' at position 4"},
        {"H2 3", "syntax error: unexpected '3' at position 4"},
        {"   ", "syntax error: the formula ends too early (position 4)"},
        {"H99999999999999999999", "syntax error in decimal constant '99999999999999999999' at position 2"},
        {"H1e999", "syntax error in floating point constant '1e999' at position 2"},
        // The character (a whole UTF-8 one, or the byte of a broken one) and its place counted
        // in characters: a tab is one, a multi-byte character one.
        {"Fe2O3 #", "Invalid character '#' at position 7"},
        {"H\t(O)%", "Invalid character '%' at position 6"},
        {"H\xE2\x82\x82O", "Invalid character '\xE2\x82\x82' at position 2"},
        {"\xC3\xA9\xC3\xA9", "Invalid character '\xC3\xA9' at position 1"},
        {"H\x80O", "Invalid character '\\x80' at position 2"},
        {"H\xC3O", "Invalid character '\\xC3' at position 2"},
        {"O2(N2))", "syntax error: unexpected ')' at position 7"},
        {"NaCl (", "syntax error: the formula ends too early (position 7)"},
        // Counts that overflow single precision, alone or multiplied out.
        {"O1e39", "Abundance value too large"},
        {"(O1e30)1e30", "Abundance value too large"},
        {"O3e38O3e38", "Abundance value too large"},
    };
    HeadlessPrompt prompt;
    Compound::SetPrompt(&prompt);
    for (const auto& c : cases) {
        Compound k;
        k.density = 1.5;
        ASSERT_EQ(k.SetFormula("Fe2O3", false), 0);
        prompt.Clear();
        EXPECT_NE(k.SetFormula(c.text, false), 0) << c.text;
        EXPECT_EQ(k.GetFormula(), "Fe2O3") << c.text;
        EXPECT_EQ(k.formula, "Fe2O3");
        EXPECT_EQ(k.density, 1.5);
        const auto req = prompt.Requests();
        ASSERT_EQ(req.size(), 1u) << c.text << ": one message per parse";
        EXPECT_EQ(req[0].text, c.firstMessage) << c.text;
        EXPECT_EQ(k.parseMessage, c.firstMessage) << c.text;
        EXPECT_EQ(req[0].icon, PromptIcon::Information);
        // Quiet parses show nothing.
        prompt.Clear();
        EXPECT_NE(k.SetFormula(c.text, true), 0);
        EXPECT_TRUE(prompt.Requests().empty()) << c.text;
    }
    Compound::SetPrompt(nullptr);
}

TEST(FormulaParser, EmptyTextClearsAndDeepNestingIsRefused) {
    Compound k;
    ASSERT_EQ(k.SetFormula("H2O", true), 0);
    EXPECT_EQ(k.SetFormula("", true), 0);
    EXPECT_TRUE(k.entries.empty());
    EXPECT_TRUE(k.formula.empty());

    HeadlessPrompt prompt;
    Compound::SetPrompt(&prompt);
    const std::string deep = std::string(6000, '(') + "H" + std::string(6000, ')');
    EXPECT_NE(k.SetFormula(deep, false), 0);
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].text, "memory exhausted");
    Compound::SetPrompt(nullptr);
    const std::string nested = std::string(100, '(') + "H2O" + std::string(100, ')') + "2";
    EXPECT_EQ(k.SetFormula(nested, true), 0);
    EXPECT_FLOAT_EQ(Atoms(k).at("H"), 4.0f);
}

TEST(FormulaParser, LongFormulasParseInLinearTime) {
    // Before the list was built in one go, 9,000 elements took over a minute.
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "HO(CN)";
    Compound k;
    ASSERT_EQ(k.SetFormula(text, true), 0);
    EXPECT_EQ(k.entries.size(), 12000u);  // a group without a count adds its elements
    EXPECT_FLOAT_EQ(Atoms(k).at("H"), 3000.0f);
    EXPECT_FLOAT_EQ(Atoms(k).at("N"), 3000.0f);
    EXPECT_TRUE(k.parseMessage.empty());
    // The last item's group merges into the list like the others.
    ASSERT_EQ(k.SetFormula("Na(H2O)", true), 0);
    EXPECT_EQ(k.GetFormula(), "NaH2O");
    ASSERT_EQ(k.SetFormula("(H2O)2(NaCl)", true), 0);
    EXPECT_EQ(k.GetFormula(), "(H2O)2NaCl");
}

TEST(FormulaParser, ParsesOnSeveralThreadsAtOnce) {
    const std::vector<std::pair<std::string, std::map<std::string, double>>> work = {
        {"Ca(OH)2", {{"Ca", 1}, {"O", 2}, {"H", 2}}},
        {"(H2O)0.5(NaCl)0.5", {{"H", 1}, {"O", 0.5}, {"Na", 0.5}, {"Cl", 0.5}}},
        {"Fe2O3", {{"Fe", 2}, {"O", 3}}},
        {"((CH2)2O)3Pb", {{"C", 6}, {"H", 12}, {"O", 3}, {"Pb", 1}}},
    };
    std::vector<int> failures(8, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 3000; ++i) {
                const auto& [text, atoms] = work[(i + t) % work.size()];
                Compound k;
                if (k.SetFormula(text, true) != 0 || Atoms(k).size() != atoms.size()) {
                    ++failures[t];
                    continue;
                }
                for (auto [s, n] : Atoms(k))
                    if (std::abs(n - atoms.at(s)) > 1e-6) ++failures[t];
                if (k.SetFormula("h" + text, true) == 0) ++failures[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 8; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

TEST(Compound, Arithmetic) {
    Compound water;
    ASSERT_EQ(water.SetFormula("H2O", true), 0);
    EXPECT_DOUBLE_EQ(water.GetDefaultDensity(), 2 * 8.9e-05 + 0.001429);
    EXPECT_DOUBLE_EQ(water.GetTotalAbundance(), 3.0);
    EXPECT_DOUBLE_EQ(water.GetMolarMass(), 2 * 1.008 + 16.0);
    EXPECT_DOUBLE_EQ(water.GetMassFraction("O"), 16.0 / 18.016);
    EXPECT_DOUBLE_EQ(water.GetMassFraction("Fe"), 0.0);

    Compound lime;
    ASSERT_EQ(lime.SetFormula("Ca(OH)2", true), 0);
    EXPECT_DOUBLE_EQ(lime.GetTotalAbundance(), 5.0);
    EXPECT_DOUBLE_EQ(lime.GetElementAmount("H"), 2.0);

    Compound a, b, fa, fb;
    ASSERT_EQ(a.SetFormula("C6H12O6", true), 0);
    ASSERT_EQ(b.SetFormula("(CH2O)6", true), 0);
    a.FlattenInto(fa, 1.0f);
    b.FlattenInto(fb, 1.0f);
    EXPECT_EQ(fa.entries, fb.entries);
    EXPECT_EQ(fa.GetFormula(), "C6H12O6");

    // A new formula brings its own molar mass, not the cached one of the old.
    ASSERT_EQ(water.SetFormula("Fe", true), 0);
    EXPECT_DOUBLE_EQ(water.GetMolarMass(), 55.85);
    EXPECT_DOUBLE_EQ(water.GetMassFraction("Fe"), 1.0);

    Compound empty;
    EXPECT_EQ(empty.GetMolarMass(), 0.0);
    EXPECT_EQ(empty.GetMassFraction("H"), 0.0);  // no NaN from 0/0
}

TEST(Compound, CopyComparisonAndArchive) {
    Compound c;
    ASSERT_EQ(c.SetFormula("(H2O)0.9(NaCl)0.1Fe", true), 0);
    c.density = 1.07;
    Compound d(c);
    EXPECT_TRUE(d == c);
    d.entries[0].key.compound->entries[0].abundance = 3.0f;  // the copy is deep
    EXPECT_FALSE(d == c);
    d = c;
    EXPECT_TRUE(d == c);
    d.density = 1.08;
    EXPECT_FALSE(d == c);

    auto loaded = test::RoundTrip(c);
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(*loaded == c);
    EXPECT_EQ(loaded->GetFormula(), "(H2O)0.9(NaCl)0.1Fe");
}

// A compound record written by hand: stamp, density, optional legacy byte, formula, entries.
std::vector<std::uint8_t> CompoundBytes(std::uint32_t version, const std::string& symbol) {
    RegisterMaterialClasses();
    MemoryStream ms;
    Archive ar(ms, Archive::Mode::Store);
    // The element entry is written through the real classes, the compound body by hand.
    Entry e(symbol, 2.0f);
    MemoryStream body;
    (void)body;
    ar.Write("\xFF\xFF", 2);
    std::uint16_t schema = 0, len = 8;
    ar << schema << len;
    ar.Write("Compound", 8);
    ar << version << 2.5;
    if (version < 93) ar << true;
    ar << std::string("H2") << std::uint32_t{1};
    ar.WriteObject(&e);
    ar.Flush();
    return ms.Bytes();
}

TEST(Compound, LoadsOlderLayoutAndRefusesUnknownElements) {
    for (std::uint32_t version : {92u, 2648u}) {
        MemoryStream ms(CompoundBytes(version, "H"));
        Archive in(ms, Archive::Mode::Load);
        auto c = in.ReadOwnedObject<Compound>();
        ASSERT_TRUE(c) << version;
        EXPECT_EQ(c->density, 2.5);
        EXPECT_EQ(c->formula, "H2");
        EXPECT_EQ(c->GetFormula(), "H2");
    }
    MemoryStream ms(CompoundBytes(2648, "Qq"));
    Archive in(ms, Archive::Mode::Load);
    EXPECT_THROW(in.ReadOwnedObject<Compound>(), ArchiveException);
}

}  // namespace
}  // namespace zun

namespace zun {
namespace {

// Compound records nested deeper than any formula needs, as a damaged file might hold them.
TEST(Compound, RefusesAbsurdNestingOnLoad) {
    RegisterMaterialClasses();
    const int depth = 5000;
    MemoryStream ms;
    {
        Archive ar(ms, Archive::Mode::Store);
        // Compound -> Entry -> Key -> Compound ... written by hand: class records first, then tags.
        for (int i = 0; i < depth; ++i) {
            if (i == 0) {
                ar << std::uint16_t{0xFFFF} << std::uint16_t{0} << std::uint16_t{8};
                ar.Write("Compound", 8);
            } else {
                ar << std::uint16_t{0x8001};  // class 1: Compound
            }
            ar << std::uint32_t{2648} << 1.0 << std::string() << std::uint32_t{1};
            if (i == 0) {
                ar << std::uint16_t{0xFFFF} << std::uint16_t{0} << std::uint16_t{5};
                ar.Write("Entry", 5);
            } else {
                ar << std::uint16_t{0x8003};  // class 3: Entry
            }
            ar << std::uint32_t{2648};
            if (i == 0) {
                ar << std::uint16_t{0xFFFF} << std::uint16_t{0} << std::uint16_t{3};
                ar.Write("Key", 3);
            } else {
                ar << std::uint16_t{0x8005};  // class 5: Key
            }
            ar << std::uint32_t{2648};
        }
        ar.Flush();
    }
    ms.Rewind();
    Archive in(ms, Archive::Mode::Load);
    try {
        in.ReadOwnedObject<Compound>();
        FAIL() << "loaded";
    } catch (const ArchiveException& e) {
        EXPECT_STREQ(e.what(), "Compound nesting too deep");
    }
}

}  // namespace
}  // namespace zun
