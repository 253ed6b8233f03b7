#include "model/rulelist.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "platform/prompt.h"

namespace zun {
namespace {

int ParseText(const std::string& text, int kind, std::vector<RuleRecord>& out, Prompt* prompt = nullptr) {
    int n = 0;
    std::string norm = LinkedClusterRules::Normalize(text, &n);
    out.assign(std::max(n, 1) + 1, RuleRecord{});
    return LinkedClusterRules::Parse(norm, kind, static_cast<int>(out.size()), out.data(), prompt);
}

TEST(RuleList, NormalizeDropsBlanksAndEmptyItems) {
    int n = -1;
    EXPECT_EQ(LinkedClusterRules::Normalize(" <2 ;;4, ,5 ,", &n), "<2,4,5");
    EXPECT_EQ(n, 3);
    EXPECT_EQ(LinkedClusterRules::Normalize(" , ;\t", &n), "");
    EXPECT_EQ(n, 0);
}

TEST(RuleList, ParsesEveryOperatorForm) {
    std::vector<RuleRecord> r;
    ASSERT_EQ(ParseText("<2,4,8-20,>=100, <=7, >3, ==5, =6", kRuleRaw, r), 0);
    const std::array<int, 8> ops{-1, 0, 3, 2, -2, 1, 0, 0};
    const std::array<int, 8> lows{2, 4, 8, 100, 7, 3, 5, 6};
    for (std::size_t i = 0; i < ops.size(); ++i) {
        EXPECT_EQ(r[i].op, ops[i]) << i;
        EXPECT_EQ(r[i].intLow, lows[i]) << i;
    }
    EXPECT_EQ(r[2].intHigh, 20);
    // An item that is only "-5" is the range 0-5.
    ASSERT_EQ(ParseText("-5", kRuleRaw, r), 0);
    EXPECT_EQ(r[0].op, 3);
    EXPECT_EQ(r[0].intLow, 0);
    EXPECT_EQ(r[0].intHigh, 5);
}

TEST(RuleList, ParseErrorCodes) {
    std::vector<RuleRecord> r;
    EXPECT_EQ(ParseText("20-8", kRuleRaw, r), 11);
    EXPECT_EQ(ParseText("8-8", kRuleRaw, r), 11);
    EXPECT_EQ(ParseText("5--8", kRuleRaw, r), 11);
    EXPECT_EQ(ParseText("1-5-9", kRuleRaw, r), 4);
    EXPECT_EQ(ParseText("16384", kRuleRaw, r), 5);
    EXPECT_EQ(ParseText("<-1", kRuleRaw, r), 5);
    // Numbers too big for an int are out of range, not wrapped into it.
    EXPECT_EQ(ParseText("99999999999", kRuleRaw, r), 5);
    EXPECT_EQ(ParseText("4294967297", kRuleRaw, r), 5);
    EXPECT_EQ(ParseText("0.5, >1.2", kRuleNormalised, r), 6);
    EXPECT_EQ(ParseText("0.5-0.2", kRuleNormalised, r), 12);
    EXPECT_EQ(ParseText("nan", kRuleNormalised, r), 6);
    EXPECT_EQ(ParseText("1.00000001, -0.000001", kRuleNormalised, r), 0);
    EXPECT_EQ(ParseText("3.5-2", kRulePhysical, r), 12);
    EXPECT_EQ(ParseText("<-300.5", kRulePhysical, r), 0);
    EXPECT_DOUBLE_EQ(r[0].realLow, -300.5);
}

// The parser reads "x" as the rule "0" and "<<<garbage" as "<0"; a caller that must not act on
// such a text finds the value with no number. A leading number is a number, as the parser reads it.
TEST(RuleList, CheckNumbersFindsValuesWithNoNumber) {
    for (int kind : {kRuleRaw, kRuleNormalised}) {
        SCOPED_TRACE(kind);
        std::vector<RuleRecord> r;
        EXPECT_EQ(ParseText("x", kind, r), kRuleOk);  // what makes the check needed
        for (const char* text : {"x", "<<<garbage", ">=abc", "a-1", "-1", "1,x", "<2,>=", "x>0"}) {
            int count = 0;
            const std::string clean = LinkedClusterRules::Normalize(text, &count);
            EXPECT_EQ(LinkedClusterRules::CheckNumbers(clean, kind), kRuleNoNumber) << text;
        }
        for (const char* text : {"", "5abc", "<2, 4, 5, 8-20, >=100", "= 3", ">+1", "1e0"})
            EXPECT_EQ(LinkedClusterRules::CheckNumbers(LinkedClusterRules::Normalize(text, nullptr), kind),
                      kRuleOk)
                << text;
    }
    EXPECT_EQ(LinkedClusterRules::CheckNumbers("0.05,0.1-0.3,>=0.9", kRuleNormalised), kRuleOk);
    EXPECT_EQ(LinkedClusterRules::CheckNumbers(".5-.75", kRuleNormalised), kRuleOk);
    // Items the parser refuses keep its own codes: the check leaves them alone.
    EXPECT_EQ(LinkedClusterRules::CheckNumbers("5--x", kRuleRaw), kRuleOk);
    EXPECT_EQ(LinkedClusterRules::CheckNumbers("x-y-z", kRuleRaw), kRuleOk);
}

TEST(RuleList, EmptyAndOverrunAreReported) {
    HeadlessPrompt prompt;
    RuleRecord rec[2];
    EXPECT_EQ(LinkedClusterRules::Parse("", kRuleRaw, 2, rec, &prompt), 1);
    EXPECT_EQ(LinkedClusterRules::Parse("1,2,3", kRuleRaw, 2, rec, &prompt), 2);
    auto req = prompt.Requests();
    ASSERT_EQ(req.size(), 2u);
    EXPECT_EQ(req[0].text, "Internal error (1): lack of input data definition rule");
    EXPECT_EQ(req[1].text, "Internal error (2): buffer over-run input data definition");
    // Item errors are for the caller to report.
    EXPECT_EQ(LinkedClusterRules::Parse("16384", kRuleRaw, 2, rec, &prompt), 5);
    EXPECT_EQ(prompt.Requests().size(), 2u);
}

TEST(RuleList, FormatRoundTrips) {
    std::vector<RuleRecord> r;
    ASSERT_EQ(ParseText("<=0.5,0.25-0.75", kRuleNormalised, r), 0);
    EXPECT_EQ(LinkedClusterRules::Format(r.data(), 2, kRuleNormalised), "<=0.5, 0.25-0.75");
    ASSERT_EQ(ParseText("<2,4,8-20,>=100,>1", kRuleRaw, r), 0);
    std::string text = LinkedClusterRules::Format(r.data(), 5, kRuleRaw);
    EXPECT_EQ(text, "<2, 4, 8-20, >=100, >1");
    ASSERT_EQ(ParseText("3", kRulePhysical, r), 0);
    EXPECT_EQ(LinkedClusterRules::Format(r.data(), 1, kRulePhysical), "3.0");
    EXPECT_EQ(FormatFloatTrimmed(0.25f), "0.25");
    EXPECT_EQ(FormatFloatTrimmed(-2.0f), "-2.0");
}

TEST(RuleList, Matching) {
    std::vector<RuleRecord> r;
    ASSERT_EQ(ParseText("<2, 8-20", kRuleRaw, r), 0);
    EXPECT_TRUE(LinkedClusterRules::MatchInt(2, r.data(), 20, false));
    EXPECT_FALSE(LinkedClusterRules::MatchInt(2, r.data(), 20, true));
    EXPECT_TRUE(LinkedClusterRules::MatchInt(2, r.data(), 1, false));
    EXPECT_FALSE(LinkedClusterRules::MatchInt(2, r.data(), 21, false));
    EXPECT_TRUE(LinkedClusterRules::MatchInt(0, r.data(), 5, true));
    EXPECT_FALSE(LinkedClusterRules::MatchInt(0, r.data(), 5, false));
    // Huge labels compare as unsigned 64-bit values.
    ASSERT_EQ(ParseText(">1", kRuleRaw, r), 0);
    EXPECT_TRUE(LinkedClusterRules::MatchInt(1, r.data(), 0x100000000ull, false));
    RuleRecord neg;
    neg.op = RuleRecord::Greater;
    neg.intLow = -3;
    EXPECT_TRUE(LinkedClusterRules::MatchInt(1, &neg, 0, false));
    ASSERT_EQ(ParseText(">=0.5, 0.1-0.2", kRuleNormalised, r), 0);
    EXPECT_TRUE(LinkedClusterRules::MatchDouble(0.5, r.data(), kRuleNormalised, false, 2));
    EXPECT_TRUE(LinkedClusterRules::MatchDouble(0.2, r.data(), kRuleNormalised, false, 2));
    EXPECT_FALSE(LinkedClusterRules::MatchDouble(0.3, r.data(), kRuleNormalised, false, 2));
    // The real kind reads the real fields only.
    EXPECT_FALSE(LinkedClusterRules::MatchDouble(-1.0, r.data(), kRulePhysical, false, 2));
}

struct Voxel {
    std::vector<std::uint16_t> w;
    std::vector<std::uint16_t*> p;
    explicit Voxel(std::vector<std::uint16_t> words) : w(std::move(words)) {
        for (auto& x : w) p.push_back(&x);
    }
    int Normalize(std::uint16_t target) {
        int fc, fs, nc, ns, ps;
        SumVoxelFractions(p.data(), static_cast<int>(w.size()) - 1, nullptr, fc, fs, nc, ns, ps);
        NormalizeVoxelFractions(p.data(), static_cast<int>(w.size()) - 1, target, fs, ns, fc, nc);
        int sum = 0;
        for (auto x : w) sum += x & 0x3FFF;
        return sum;
    }
};

TEST(VoxelFractions, SumsFixedAndFree) {
    std::vector<std::uint16_t> w{0x4000 | 100, 200, 0x4000 | 300, 0x8000 | 50};
    std::vector<std::uint16_t*> p;
    for (auto& x : w) p.push_back(&x);
    std::uint16_t par[4] = {1, 2, 3, 4};
    int fc, fs, nc, ns, ps;
    SumVoxelFractions(p.data(), 3, par, fc, fs, nc, ns, ps);
    EXPECT_EQ(fc, 2);
    EXPECT_EQ(fs, 400);
    EXPECT_EQ(nc, 2);
    EXPECT_EQ(ns, 250);
    EXPECT_EQ(ps, 4);
}

TEST(VoxelFractions, RescalesToTheTarget) {
    Voxel even({1000, 1000, 1000});
    EXPECT_EQ(even.Normalize(16383), 16383);
    EXPECT_EQ(even.w, (std::vector<std::uint16_t>{5461, 5461, 5461}));

    Voxel zeros({0, 0, 0x4000 | 3});
    EXPECT_EQ(zeros.Normalize(16383), 16383);
    EXPECT_EQ(zeros.w[0], 8190);
    EXPECT_EQ(zeros.w[1], 8190);

    Voxel one({0x8000 | 7, 0x4000 | 383});
    EXPECT_EQ(one.Normalize(16383), 16383);
    EXPECT_EQ(one.w[0], 0x8000 | 0x4000 | 16000);

    Voxel over({5, 0x4000 | 16383, 9});
    over.Normalize(16000);
    EXPECT_EQ(over.w[0], 0x4000);
    EXPECT_EQ(over.w[2], 0x4000);
}

TEST(VoxelFractions, ResidueNeverWraps) {
    // Rounding leaves a negative residue while the first free words are 0: those must not wrap to
    // 16383, the residue goes to words that can take it.
    Voxel v({0, 0, 3, 3, 3, 3, 3, 3});
    int sum = v.Normalize(4);
    EXPECT_EQ(sum, 4);
    for (auto x : v.w) EXPECT_LE(x & 0x3FFF, 4);

    std::mt19937 rng(7);
    for (int trial = 0; trial < 20000; ++trial) {
        int n = 2 + trial % 7;
        std::vector<std::uint16_t> w(n);
        for (auto& x : w) {
            int k = rng() % 4;
            x = k == 0 ? 0 : static_cast<std::uint16_t>(rng() % (k == 1 ? 3 : 16384));
            if (rng() % 5 == 0) x |= 0x4000;
            if (rng() % 7 == 0) x |= 0x8000;
        }
        Voxel vv(w);
        std::uint16_t target = static_cast<std::uint16_t>(rng() % 16384);
        int fixed = 0, free = 0;
        for (auto x : w) {
            if (x & 0x4000)
                fixed += x & 0x3FFF;
            else
                ++free;
        }
        int got = vv.Normalize(target);
        for (int i = 0; i < n; ++i) {
            if (w[i] & 0x4000) {
                EXPECT_EQ(vv.w[i], w[i]);
            }
            EXPECT_EQ(vv.w[i] & 0x8000, w[i] & 0x8000);
        }
        if (fixed < target && free > 0) {
            ASSERT_EQ(got, target) << "trial " << trial;
        }
    }
}

}  // namespace
}  // namespace zun
