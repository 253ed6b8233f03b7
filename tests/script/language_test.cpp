#include <gtest/gtest.h>

#include "foundation/memoryguard.h"
#include "memorydocument.h"
#include "script/scalar.h"

namespace zun::script {
namespace {

class LanguageTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        auto& a = doc.Add("a", {4, 3, 2}, 10.0f, 20.0f);
        for (size_t i = 0; i < a.words.size(); ++i) a.words[i] = static_cast<uint16_t>(i * 100);
        a.words[0] = 0x4064;
        doc.Add("ch", {2, 1, 1}, 0.0f, 1.0f);
        doc.Add("big", {8, 8, 8}, 0.0f, 1.0f);
    }
    std::string Run(const std::string& line) { return doc.Run(line, GetParam()); }
    uint16_t Word(const std::string& ch, size_t i) { return doc.Get(ch).words[i]; }
    test::MemoryDocument doc;
};

TEST_P(LanguageTest, ScalarExpressions) {
    EXPECT_EQ(Run("2 + 3"), "5");
    EXPECT_EQ(Run("7 / 2"), "3");
    EXPECT_EQ(Run("7 / 2.0"), "3.5");
    EXPECT_EQ(Run("1 .. 4"), "{1,2,3,4}");
    EXPECT_EQ(Run("4 .. 1"), "{4,3,2,1}");
    EXPECT_EQ(Run("1.0 .. 2"), "range limits must be integral and scalar");
    EXPECT_EQ(Run("sizeof(int), sizeof 'a', sizeof \"abc\", sizeof(double)"), "{4,1,5,8}");
    EXPECT_EQ(Run("(uint)-1, (char)65, (bool)2, (short)70000"), "{4294967295,A,true,4464}");
    EXPECT_EQ(Run("!0, !5, ~0, -(3), +2.5"), "{true,false,-1,-3,2.5}");
    EXPECT_EQ(Run("1 < 2, 2 <= 1, \"abc\" < \"abd\", true == false, 1 != 1.0"),
              "{true,false,true,false,false}");
    EXPECT_EQ(Run("5 % 3, -7 % 2, 1 << 33, -8 >> 1, 6 & 3, 6 ^ 3, 6 | 3"), "{2,-1,2,-4,2,5,7}");
    EXPECT_EQ(Run("1 ? 2 : 3.5, true && false, 0 || 2"), "{2,false,true}");
    EXPECT_EQ(Run("5 % 0"), "division by zero");
    EXPECT_EQ(Run("2147483647 + 1"), "-2147483648");
    EXPECT_EQ(Run("(ushort)0 - 1"), "-1");
    EXPECT_EQ(Run("(ushort)(0 - 1)"), "65535");
    std::string sum = "1";
    for (int i = 1; i < 300; ++i) sum += "+1";
    EXPECT_EQ(Run(sum), "300");
}

TEST_P(LanguageTest, ErrorTexts) {
    EXPECT_EQ(Run("x = 1"), "variable does not exist: 'x'");
    EXPECT_EQ(Run("a + Missing_2 * 2"), "variable does not exist: 'Missing_2'");
    EXPECT_EQ(Run("3 = 4"), "cannot assign to this value");
    EXPECT_EQ(Run("a[1.5]"), "subscript values must be integral");
    EXPECT_EQ(Run("1 && 2.0"), "binary &&,|| operators must have either bool or integral args");
    EXPECT_EQ(Run("1 == \"a\""), "binary ==,!= operators must have compatible args");
    EXPECT_EQ(Run("1 && \"a\""), "incompatible types for &&,|| expression");
    EXPECT_EQ(Run("1 + \"a\""), "incompatible types for *,/,+,- expression");
    EXPECT_EQ(Run("\"a\" + \"b\""), "binary *,/,%,+,- expressions must have numeric arguments");
    EXPECT_EQ(Run("1.5 % 2"), "binary %,<<,>>,&,|,^ expressions must have integral arguments");
    EXPECT_EQ(Run("1 % \"a\""), "incompatible types for %,<<,>>,&,|,^ expression");
    EXPECT_EQ(Run("1 < \"a\""), "incompatible types for <,>,<=,>= expression");
    EXPECT_EQ(Run("true < false"), "binary <,>,<=,>= operators must have both numeric or both string args");
    EXPECT_EQ(Run("-\"a\""), "unary +,- expressions must have a numeric argument");
    EXPECT_EQ(Run("~1.5"), "unary~ expressions must have an integral argument");
    EXPECT_EQ(Run("!1.5"), "unary! expressions must have a bool or integral argument");
    EXPECT_EQ(Run("(int)\"a\""), "incompatible type for cast expression");
    EXPECT_EQ(Run("a.raw++ + \"x\""), "incompatible types for *,/,+,- expression");
    EXPECT_EQ(Run("a.ro++"), "unary ++,-- expressions must have a numeric argument");
    EXPECT_EQ(Run("a = \"x\""), "incompatible types for assignment");
    EXPECT_EQ(Run("a[0][0][0] = {1,2}"), "cannot assign a vector to a scalar");
    EXPECT_EQ(Run("a.ro *= true"), "binary *=,/=,-= operators must have numeric arguments");
    EXPECT_EQ(Run("a.raw %= 1.5"), "binary %=,&=,^=,|=,<<=,>>= operators must have integral arguments");
    EXPECT_EQ(Run("a.ro += true"), "binary += operator must have numeric or string arguments");
    EXPECT_EQ(Run("a.Phys"), "field does not exist");
    EXPECT_EQ(Run("a[0][0][0][0]"), "cannot apply a subscript to a scalar");
    EXPECT_EQ(Run("a[0][0][0].phys.raw"), "cannot apply a subscript or field to a scalar");
    EXPECT_EQ(Run("a.phys.raw"), "cannot apply a field to a scalar");
    EXPECT_EQ(Run("a[2]"), "invalid index");
    EXPECT_EQ(Run("x = 12u"), "syntax error in decimal constant\nvariable does not exist: 'x'");
}

TEST_P(LanguageTest, ChannelsAsArrays) {
    // Lengths (4, 3, 2): two slices of three rows of four voxels; a[k][j][i] is voxel (i, j, k).
    EXPECT_EQ(Run("a[1][2][3].raw"), std::to_string((3 + 4 * 2 + 12 * 1) * 100));
    EXPECT_EQ(Run("a[0][0][0].val, a[0][0][0].raw, a[0][0][0].ro, a[0][0][0].err"), "{16484,100,true,false}");
    EXPECT_EQ(Run("a[0][0][0].flags"), "{true,false}");
    EXPECT_EQ(Run("a[0][0][0].all"), "{{10.061,0.00610389,100},{true,false}}");
    EXPECT_EQ(Run("a[0][0]"), "{10.061,10.061,10.1221,10.1831}");
    EXPECT_EQ(Run("a[1]"),
              "{{10.7325,10.7935,10.8545,10.9156},{10.9766,11.0377,11.0987,11.1597},"
              "{11.2208,11.2818,11.3429,11.4039}}");
    EXPECT_EQ(Run("big"), "{{{0,...},...},...}");
    EXPECT_EQ(Run("big.data"), "{{{{0,...},...},...},...}");
    EXPECT_EQ(Run("ch"), "{{{0,0}}}");
    EXPECT_EQ(Run("ch.raw = 20000"), "{{{3616,3616}}}");
    EXPECT_TRUE(doc.modified);
    EXPECT_EQ(Run("ch.ro = true, ch.err"), "{{{{true,true}}},{{{false,false}}}}");
    EXPECT_EQ(Word("ch", 0), 0x4000 | 3616);
    EXPECT_EQ(Run("ch.ro = 1"), "incompatible types for assignment");
    EXPECT_EQ(Run("ch.log = {{{0.5, 2.0}}}"), "{{{0.500031,1}}}");
    EXPECT_EQ(Word("ch", 0) & 0x3FFF, 8192);
    EXPECT_EQ(Word("ch", 1) & 0x3FFF, 16383);
    EXPECT_EQ(Run("sumt(ch.raw), maxt(a.raw), mint(a)"), "{24575,2300,10.061}");
    EXPECT_EQ(Run("max(a[0][0], 10.1)"), "{10.1,10.1,10.1221,10.1831}");
    EXPECT_EQ(Run("sum(a[0][0].raw, 1, 0.5)"), "{101.5,101.5,201.5,301.5}");
}

// A condition over a channel choosing between texts gives a text a voxel (the fast path once
// stored the texts in a block of one byte an element).
TEST_P(LanguageTest, AConditionOverAChannelChoosesBetweenTexts) {
    EXPECT_EQ(Run("ch.raw == 0 ? \"yes\" : \"no\""), "{{{\"yes\",\"yes\"}}}");
    EXPECT_EQ(Run("a[0][0].raw == 200 ? \"yes\" : \"no\""), "{\"no\",\"no\",\"yes\",\"no\"}");
}

TEST_P(LanguageTest, ModifiedFlagAndPendingSteps) {
    doc.Run("a + 1", GetParam());
    EXPECT_FALSE(doc.modified);
    EXPECT_EQ(doc.edits, 1);
    EXPECT_EQ(Run("a[0][0][1].raw++"), "100");
    EXPECT_EQ(Word("a", 1) & 0x3FFF, 101);
    EXPECT_TRUE(doc.modified) << "a pending increment of voxel data marks the document";
    doc.modified = false;
    EXPECT_EQ(Run("++a[0][0][1].raw"), "102");
    EXPECT_TRUE(doc.modified);
    EXPECT_EQ(Run("1 ? (ch.raw = 1) : (ch.raw = 2)"), "{{{2,2}}}");
    EXPECT_EQ(Word("ch", 0) & 0x3FFF, 2) << "both branches run, in order";
    EXPECT_EQ(Run("sumt(a.ro)"), "sumt() takes numeric args");
    EXPECT_EQ(Run("ch.raw = 5, ch.raw %= 0"), "division by zero");
    EXPECT_EQ(Word("ch", 0) & 0x3FFF, 5) << "the first assignment stays";
    EXPECT_EQ(doc.edits, 6);
}

// Ranges make no element until one is asked for, and lists of them neither; what is made (a
// dense block of numbers) is charged at what it costs, against the memory available now, before
// anything is made.
TEST_P(LanguageTest, RangesAndTheMemoryCheck) {
    SetMemoryStatusSource([](MemoryStatus& m) {
        m.totalPhysical = 32ull << 30;
        m.availablePhysical = 16ull << 30;
        return true;
    });
    EXPECT_EQ(
        Run("maxt(1 .. 200000000), mint(1 .. 200000000), sumt(1 .. 60000), maxt(5 .. -3), mint(5 .. -3), "
            "sumt(3 .. -2)"),
        "{200000000,1,1800030000,5,-3,3}");
    EXPECT_EQ(Run("sumt(1 .. 100) == 5050, maxt(1 .. 100, 7)"), "{true,100}");
    EXPECT_EQ(Run("(0 .. 9)[3], {1 .. 3, 7}, sumt({1 .. 1000})"), "{3,{1,2,3,7},500500}");
    EXPECT_EQ(Run("{1 .. 200000000}"), "{1,...}");
    EXPECT_EQ(Run("resamp({1,2,3}, {6})"), "{1,1,2,2,3,3}");
    SetMemoryStatusSource([](MemoryStatus& m) {
        m.totalPhysical = 32ull << 30;
        m.availablePhysical = 256ull << 20;
        return true;
    });
    EXPECT_EQ(Run("(1 .. 200000000) * 2"), "out of memory");
    EXPECT_EQ(Run("resamp({1,2,3}, {1000000000})"), "out of memory");
    EXPECT_EQ(Run("rand(1 .. 200000000)"), "out of memory");
    // With less memory available the same sizes that passed are refused.
    SetMemoryStatusSource([](MemoryStatus& m) {
        m.totalPhysical = 32ull << 30;
        m.availablePhysical = 1ull << 20;
        return true;
    });
    EXPECT_EQ(Run("(1 .. 1000000) * 2"), "out of memory");
    EXPECT_EQ(Run("sumt({1 .. 100000})"), "705082704");
    EXPECT_EQ(Run("sumt(1 .. 60000)"), "1800030000");
    SetMemoryStatusSource({});
}

// A row of values pasted from elsewhere and a long chain of operators evaluate.
TEST_P(LanguageTest, LongListsAndChains) {
    std::string row = "sumt({0", sum = "0";
    for (int i = 1; i < 1024; ++i) row += "," + std::to_string(i);
    row += "})";
    EXPECT_EQ(Run(row), "523776");
    for (int i = 0; i < 100000; ++i) sum += "+1";
    EXPECT_EQ(Run(sum), "100000");
    EXPECT_EQ(Run(std::string(1000, '(') + "2 * 3" + std::string(1000, ')')), "6");
    std::string negated;
    for (int i = 0; i < 1000; ++i) negated += "- ";
    EXPECT_EQ(Run(negated + "5"), "5");
}

TEST_P(LanguageTest, BuiltIns) {
    EXPECT_EQ(Run("sizeof(rand()), sizeof(rand(10)), sizeof(rand(10, 2.5))"), "{8,4,8}");
    EXPECT_EQ(Run("rand(1,2,3)"), "usage: rand([range [,offset]])");
    EXPECT_EQ(Run("rand(\"a\")"), "rand() takes numeric args");
    EXPECT_EQ(Run("rand({1,2},{1,2,3})"), "rand() args must have compatible size");
    EXPECT_EQ(Run("max()"), "usage: max(a,b,...)");
    EXPECT_EQ(Run("max(1, \"a\")"), "max() takes numeric args");
    EXPECT_EQ(Run("min()"), "usage: min(a,b,...)");
    EXPECT_EQ(Run("sumt()"), "usage: sumt(a,b,...)");
    EXPECT_EQ(Run("mint(\"a\")"), "mint() takes numeric args");
    EXPECT_EQ(Run("maxt()"), "usage: maxt(a,b,...)");
    EXPECT_EQ(Run("shake(1)"), "shake() arg must have array structure");
    EXPECT_EQ(Run("shake(a, a)"), "usage: shake(array)");
    EXPECT_EQ(Run("grav(a)"), "usage: grav(a, b)");
    EXPECT_EQ(Run("grav(1, 2)"), "grav() args must have array structure");
    EXPECT_EQ(Run("resamp(a, {0})"), "resamp() resampled dimension lengths must be >= 1");
    EXPECT_EQ(Run("resamp(a, {1.5})"),
              "resamp() second arg array must be one dimensional integral type with compatible length");
    EXPECT_EQ(Run("resamp(1)"), "resamp() args must have array structure");
    EXPECT_EQ(Run("foo(1)"), "unknown function name");
    EXPECT_EQ(Run("resamp(a.raw, {2, 1})"), "{{{100,200}},{{1200,1400}}}");
    EXPECT_EQ(Run("resamp({1,2,3,4}, {2})"), "{1,3}");
    EXPECT_EQ(Run("resamp({1,2})"), "{1,2}");
    // Sizes beyond the machine fail cleanly instead of exhausting it.
    EXPECT_EQ(Run("resamp(a, {2000000000, 2000000000, 2000000000})"), "out of memory");
    EXPECT_EQ(Run("sumt(-2147483647 .. 2147483647)"), "0");
    EXPECT_EQ(Run("resamp(a.raw, {2, 1}) = 7"), "{{{7,7}},{{7,7}}}");
    SeedScriptRand(1);
    const std::string shaken = Run("shake({1,2,3,4,5,6})");
    EXPECT_EQ(shaken.size(), std::string("{1,2,3,4,5,6}").size());
    EXPECT_NE(shaken, "{1,2,3,4,5,6}");
    EXPECT_EQ(Run("grav({0,0,0,0,1}, {1,0,0,0,0})"), "{1,0,0,0,0}");
    EXPECT_EQ(Run("grav({{0,0,0},{0,1,0},{0,0,0}}, {{5,0,0},{0,0,0},{0,0,0}})"), "{{1,0,0},{0,0,0},{0,0,0}}");
}

// Ranges and lists of numbers and ranges read by operators, built-ins and long selections are read
// as numbers, not as a value object per element; what they give must be what their elements give
// one by one.
TEST_P(LanguageTest, RangesReadAsNumbers) {
    EXPECT_EQ(Run("sumt((1 .. 10000) * 2), sumt({0, 1 .. 9999} * 2), mint(-(1 .. 10000))"),
              "{100010000,99990000,-10000}");
    EXPECT_EQ(Run("sizeof(1 .. 3), (char)(65 .. 67), {1 .. 3, 7} / 2, !(0 .. 1)"),
              "{{4,4,4},{A,B,C},{0,1,1,3},{true,false}}");
    EXPECT_EQ(Run("sumt((1 .. 10000) % 2 == 0 ? 1 : 0), sumt((1 .. 10000) == (10000 .. 1) ? 1 : 0)"),
              "{5000,0}");
    EXPECT_EQ(Run("maxt(max(1 .. 10000, 5000 .. -4999)), sumt(sum(1 .. 10000, 10000 .. 1))"),
              "{10000,100010000}");
    EXPECT_EQ(Run("(1 .. 10000) + (1 .. 9999)"), "incompatible types for *,/,+,- expression");
    // Nothing is made for what reads no elements.
    EXPECT_EQ(Run("foo(1 .. 2000000000), maxt(-5 .. 2000000000)"), "unknown function name");
    EXPECT_EQ(Run("maxt(-5 .. 2000000000), sumt(-2000000000 .. 2000000000)"), "{2000000000,0}");
    // A list whose parts differ in type keeps its elements as they are.
    EXPECT_EQ(Run("maxt({0.5, 1 .. 10000} * 2), {0.5, 1 .. 2} * 2"), "{20000,{1,2,4}}");
    // Selections beyond the few elements a selection makes one by one.
    EXPECT_EQ(Run("sumt((1 .. 10000)[9999 .. 0]), sumt(((1 .. 10000) * 2)[0 .. 9999])"),
              "{50005000,100010000}");
    EXPECT_EQ(Run("sumt((1 .. 10000)[{0, 9999, 0 .. 5000}]), sumt({7, 1 .. 9999}[9999 .. 0])"),
              "{12517502,49995007}");
    EXPECT_EQ(Run("(10 .. 1)[0 .. 5000]"), "invalid index");
    EXPECT_EQ(Run("(1 .. 10000)[0 .. 10000]"), "invalid index");
    EXPECT_EQ(Run("(1 .. 10000)[-1, 0 .. 9999]"), "invalid index");
    EXPECT_EQ(Run("((1 .. 10000) * 2)[1 .. 10000]"), "invalid index");
    EXPECT_EQ(Run("(1 .. 10000)[(0 .. 9999) * 1.5]"), "subscript values must be integral");
    EXPECT_EQ(Run("(1 .. 10000)[0 .. 9999] = 5"), "cannot assign to this value");
    const std::string few = Run("((1 .. 10000) * 3)[{2, 4 .. 6}]");
    EXPECT_EQ(few, "{9,15,18,21}");
    EXPECT_EQ(Run("sumt(((1 .. 10000) * 3)[{2, 4 .. 6, 0 .. 9999}]) - sumt((1 .. 10000) * 3)"), "63");
}

// Operators and built-ins read ranges and lists of ranges and ints from their runs: across runs
// and chunks, as every type an operator reads, with checks answered from the shape.
TEST_P(LanguageTest, RangesReadFromTheirRuns) {
    EXPECT_EQ(Run("sumt({5, 1 .. 3000, -7, 3000 .. 1} * 3), sumt(({5, 1 .. 3000, -7, 3000 .. 1} % 7 == 0) ? "
                  "1 : 0)"),
              "{27008994,857}");
    EXPECT_EQ(Run("sumt(max({0, 1 .. 4999}, 4999 .. 0)), mint({2, 4999 .. 1, 3} - 1.5)"), "{18747500,-0.5}");
    EXPECT_EQ(Run("(-2 .. 2) && 1, {0, -1 .. 1} || 0, (-1 .. 1) ? 'a' : 'b'"),
              "{{true,true,false,true,true},{false,true,false,true},{a,b,a}}");
    EXPECT_EQ(Run("(1 .. 3) << {1, 2 .. 3}, max({2, 5 .. 1}, (1 .. 6) / 2.0), {1 .. 3, 7} == (1 .. 4)"),
              "{{2,8,24},{2,5,4,3,2.5,3},{true,true,true,false}}");
    EXPECT_EQ(Run("sumt({2147483647, 1 .. 3} + 1), {-2147483647 .. -2147483646, 0} * 2"),
              "{-2147483639,{2,4,0}}");
    EXPECT_EQ(Run("{0, 1 .. 4} + (1 .. 4)"), "incompatible types for *,/,+,- expression");
    EXPECT_EQ(Run("(1 .. 4) == \"a\""), "binary ==,!= operators must have compatible args");
    EXPECT_EQ(Run("max(1 .. 3, {1 .. 3, 4})"), "max() args must have compatible size");
    // Long selections from a list of ranges and by one.
    EXPECT_EQ(Run("sumt({0, 1 .. 9999}[{9999 .. 5000, 3, 0 .. 4998}])"), "49990004");
    EXPECT_EQ(Run("{7, 1 .. 9999}[{10000, 0 .. 5000}]"), "invalid index");
}

INSTANTIATE_TEST_SUITE_P(Paths, LanguageTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Fast" : "Reference"; });

}  // namespace
}  // namespace zun::script
