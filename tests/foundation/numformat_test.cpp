#include "foundation/numformat.h"

#include <gtest/gtest.h>

#include <climits>

#include "platform/prompt.h"

namespace zun {
namespace {

TEST(NumberFormat, Formatting) {
    EXPECT_EQ(FormatReal(2.5f, 3, "%f"), "2.500");
    EXPECT_EQ(FormatReal(2.5f, 3, "%g"), "2.5");
    EXPECT_EQ(FormatReal(2.5f, -1, "%f"), "2.500000");
    EXPECT_EQ(FormatReal(3, 2.5, "%f"), "2.500");
    EXPECT_EQ(FormatReal(-1, 12.34, " (%.1f%%)"), " (12.3%)");
    EXPECT_EQ(FormatReal(0.1f, -1, "%.5g"), "0.1");  // the float is widened, then printed
    EXPECT_EQ(FormatInt(-42, "%d"), "-42");
    EXPECT_EQ(FormatInt(-1, "%u"), "4294967295");
    EXPECT_EQ(FormatUInt64(18446744073709551615ull), "18446744073709551615");
    const std::string longText = FormatReal(-1, 1e300, "%f");
    EXPECT_EQ(longText.size(), 308u);  // beyond any small buffer
}

TEST(NumberFormat, Rounding) {
    EXPECT_EQ(RoundToDecimals(0.0f, 3), 0.0f);
    EXPECT_EQ(RoundToDecimals(1.23456f, 2), 1.23f);
    EXPECT_EQ(RoundToDecimals(2.5f, 0), 3.0f);
    EXPECT_EQ(RoundToDecimals(-2.5f, 0), -2.0f);
    EXPECT_EQ(ClampPercentOffset(100), 0);
    EXPECT_EQ(ClampPercentOffset(-100), 0);
    EXPECT_EQ(ClampPercentOffset(105), 5);
    EXPECT_EQ(ClampPercentOffset(-250), -150);
}

TEST(NumberFormat, Reading) {
    int i = 7;
    EXPECT_EQ(ReadTextInt("  12abc", &i), 0);
    EXPECT_EQ(i, 12);
    EXPECT_EQ(ReadTextInt("abc", &i), -1);
    EXPECT_EQ(ReadTextInt("", &i), -1);
    EXPECT_EQ(i, 12);
    std::uint64_t u = 0;
    EXPECT_EQ(ReadTextUInt64("18446744073709551615", &u), 0);
    EXPECT_EQ(u, ~0ull);
    std::int64_t s = 0;
    EXPECT_EQ(ReadTextInt64("-9000000000", &s), 0);
    EXPECT_EQ(s, -9000000000ll);
    double d = 0;
    EXPECT_EQ(ReadTextDouble("1.5e3", &d), 0);
    EXPECT_EQ(d, 1500.0);
    EXPECT_EQ(ReadTextFloat("x"), 0.0f);
    EXPECT_EQ(ReadTextFloat("0.25"), 0.25f);
    float f = 1;
    EXPECT_EQ(ScanString("3,5", "%f", &f), 0);
    EXPECT_EQ(f, 3.0f);  // the decimal point is '.', whatever the locale
    EXPECT_TRUE(IsBlankString(""));
    EXPECT_TRUE(IsBlankString(" \t \n"));
    EXPECT_FALSE(IsBlankString("  a "));
    EXPECT_FALSE(IsBlankString("\xA0"));
}

TEST(NumberFormat, ParseNumberFormat) {
    struct Case {
        const char* text;
        int result, width, precision;
    };
    const Case cases[] = {
        {"%g", 0, -1, -1},     {"%12g", 0, 12, -1}, {"%-15.3e", 0, 15, 3}, {"%.4F", 0, -1, 4},
        {"%-10.4e", 0, 10, 4}, {"%e", 0, -1, -1},   {"%-g", 0, -1, -1},    {"%", -1, 0, 0},
        {"%.f", -1, 0, 0},     {"%5.2", -1, 0, 0},  {"%d", -1, 0, 0},      {"12g", -1, 0, 0},
        {"%g%", -1, 0, 0},     {"", -1, 0, 0},      {"%--5g", -1, 0, 0},   {"%5.2.1f", -1, 0, 0},
    };
    for (const Case& c : cases) {
        int w = 99, p = 99;
        EXPECT_EQ(ParseNumberFormat(c.text, &w, &p), c.result) << c.text;
        if (c.result == 0) {
            EXPECT_EQ(w, c.width) << c.text;
            EXPECT_EQ(p, c.precision) << c.text;
        } else {
            EXPECT_EQ(w, 99) << c.text;
        }
    }
    EXPECT_EQ(ParseNumberFormat("%8.2g", nullptr, nullptr), 0);
}

class FakeField : public TextField {
public:
    explicit FakeField(std::string t) : text(std::move(t)) {}
    std::string GetText() const override { return text; }
    void SetText(const std::string& t) override {
        text = t;
        ++sets;
    }
    std::string text;
    int sets = 0;
};

TEST(NumberFormat, EditChecks) {
    HeadlessPrompt prompt;
    FakeField ok("7abc");
    CheckEditInteger(3, ok, prompt);
    EXPECT_EQ(ok.text, "7abc");
    EXPECT_EQ(ok.sets, 0);
    for (const char* whole : {"12", "12.0", "1e3", "-2147483648"})
        EXPECT_TRUE(CheckIntegerText(0, whole, nullptr));
    for (const char* notWhole : {"12.5", "abc", "", "3e9", "-3e9", "1e40", "nan", "inf"}) {
        std::string back;
        EXPECT_FALSE(CheckIntegerText(-4, notWhole, &back)) << notWhole;
        EXPECT_EQ(back, "-4");
    }
    FakeField bad("abc");
    CheckEditInteger(5, bad, prompt);
    EXPECT_EQ(bad.text, "5");
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].text, "Value must be an integer");
    EXPECT_EQ(prompt.Requests()[0].icon, PromptIcon::Warning);

    FakeField real("1.5 m");
    CheckEditReal(real, 2.0f, prompt);
    EXPECT_EQ(real.sets, 0);
    FakeField word("x1");
    CheckEditReal(word, 0.125f, prompt);
    EXPECT_EQ(word.text, "0.125");
    EXPECT_EQ(prompt.Requests().back().text, "Value must be a real number");
    EXPECT_EQ(ReadEditFloat(FakeField("2.75")), 2.75f);

    // A number that is none (or no float) is refused like a word: it would reach the integer
    // conversions behind the field.
    for (const char* nonFinite : {"nan", "-nan", "inf", "-Infinity", "1e39", "-1e39"}) {
        FakeField field(nonFinite);
        const std::size_t asked = prompt.Requests().size();
        CheckEditReal(field, 45.0f, prompt);
        EXPECT_EQ(field.text, "45") << nonFinite;
        ASSERT_EQ(prompt.Requests().size(), asked + 1) << nonFinite;
        EXPECT_EQ(prompt.Requests().back().text, "Value must be a real number");
        float v = 7.0f;
        EXPECT_EQ(ReadFiniteFloat(nonFinite, &v), -2) << nonFinite;
        EXPECT_EQ(v, 7.0f);
    }
    float v = 7.0f;
    EXPECT_EQ(ReadFiniteFloat("x", &v), -1);
    EXPECT_EQ(ReadFiniteFloat("", &v), -1);
    EXPECT_EQ(v, 7.0f);
    EXPECT_EQ(ReadFiniteFloat(" -2.5e3 deg", &v), 0);
    EXPECT_EQ(v, -2500.0f);
    EXPECT_TRUE(CheckRealText("3.4e38", 0.0f, nullptr));
}

}  // namespace
}  // namespace zun
