#pragma once
// Rule lists such as "<2, 4, 5, 8-20, >=100": a short text that selects values (cluster labels,
// voxel values, normalised values). The text is normalised, parsed into records, formatted back
// and matched against values.

#include <cstdint>
#include <string>

namespace zun {

class Prompt;

struct RuleRecord {
    enum Op : std::int32_t { LessEqual = -2, Less = -1, Equal = 0, Greater = 1, GreaterEqual = 2, Range = 3 };
    std::int32_t op = Equal;
    std::int32_t intLow = 0;
    std::int32_t intHigh = 0;
    double normLow = 0.0;
    double normHigh = 0.0;
    double realLow = 0.0;
    double realHigh = 0.0;
};

// The kind of value a rule list speaks about.
enum RuleValueKind : int { kRuleRaw = 0, kRuleNormalised = 1, kRulePhysical = 2 };

// Parse result codes.
enum RuleCode : int {
    kRuleOk = 0,
    kRuleEmpty = 1,
    kRuleOverrun = 2,
    kRuleDoubleDash = 3,
    kRuleManyDashes = 4,
    kRuleIntOutOfRange = 5,
    kRuleNormOutOfRange = 6,
    kRuleIntRangeOrder = 11,
    kRuleRealRangeOrder = 12,
    kRuleNoNumber = 13,
};

class LinkedClusterRules {
public:
    // Blanks and tabs removed, ';' read as ',', empty items dropped. *count gets the item count.
    static std::string Normalize(const std::string& text, int* count);
    // Parses a normalised text into at most `capacity` records. An empty text or too many items
    // are reported through `prompt` (when given); item errors are only returned.
    static int Parse(const std::string& text, int kind, int capacity, RuleRecord* records,
                     Prompt* prompt = nullptr);
    static int ParseItem(const std::string& item, int kind, RuleRecord& record);
    // kRuleNoNumber when an item of a normalised text that parses has a value with no number at
    // all ("x", "<<<garbage", "a-1"), which ParseItem reads as 0; else kRuleOk. A value is read
    // by its leading number, as ParseItem reads it, so "5abc" holds one. Items that do not parse
    // are left to Parse's own codes.
    static int CheckNumbers(const std::string& text, int kind);
    static std::string Format(const RuleRecord* records, int count, int kind);
    static bool MatchInt(int count, const RuleRecord* records, std::uint64_t value, bool requireAll);
    static bool MatchDouble(double value, const RuleRecord* records, int kind, bool requireAll, int count);
};

// "%f" with trailing zeros removed, keeping one digit after the point ("3.0", "0.25").
std::string FormatFloatTrimmed(float value);

// Composition words of one voxel: 14 value bits, bit 14 fixed (read-only), bit 15 error.
// Sums the fixed and the free words; `parallel` (may be null) is summed over the fixed words.
void SumVoxelFractions(std::uint16_t* const* words, int last, const std::uint16_t* parallel, int& fixedCount,
                       int& fixedSum, int& freeCount, int& freeSum, int& parallelSum);

// Rewrites the free words so that all words sum to `target`, leaving the fixed words alone.
// Values never wrap: they stay within 0..16383.
void NormalizeVoxelFractions(std::uint16_t* const* words, int last, std::uint16_t target, int& fixedSum,
                             int& freeSum, int& fixedCount, int& freeCount);

}  // namespace zun
