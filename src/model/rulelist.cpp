#include "model/rulelist.h"

#include <locale.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "foundation/clocale.h"
#include "foundation/numformat.h"
#include "platform/prompt.h"

namespace zun {
namespace {

constexpr double kNormLowLimit = -1e-6;
constexpr double kNormHighLimit = 1.00000001;
constexpr int kMaxWordValue = 16383;

// Reads a leading integer the way atoi does, but saturating instead of overflowing, so huge
// numbers fail the range checks instead of wrapping into them.
long long ReadInteger(const std::string& text) {
    // strtoll saturates at LLONG_MIN/LLONG_MAX on overflow; an empty text gives 0
    return std::strtoll(text.c_str(), nullptr, 10);
}

std::int32_t SaturateInt32(long long v) {
    return static_cast<std::int32_t>(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

double ReadReal(const std::string& text) {
    // A rule list reads the same whatever the user's locale ("0.5", never "0,5").
    return StrToDoubleC(text.c_str());
}

bool NormInRange(double v) {
    return v >= kNormLowLimit && v <= kNormHighLimit;
}

bool RecordMatches(std::int32_t op, double low, double high, double v) {
    switch (op) {
        case RuleRecord::LessEqual:
            return v <= low;
        case RuleRecord::Less:
            return v < low;
        case RuleRecord::Equal:
            return v == low;
        case RuleRecord::Greater:
            return v > low;
        case RuleRecord::GreaterEqual:
            return v >= low;
        case RuleRecord::Range:
            return low <= v && v <= high;
        default:
            return false;
    }
}

template <class Pred>
bool MatchList(int count, bool requireAll, Pred matches) {
    if (requireAll) {
        for (int i = 0; i < count; ++i)
            if (!matches(i)) return false;
        return true;
    }
    for (int i = 0; i < count; ++i)
        if (matches(i)) return true;
    return false;
}

int ParseSingleValue(const std::string& text, int kind, RuleRecord& r) {
    if (kind == kRuleRaw) {
        long long v = ReadInteger(text);
        if (v < 0 || v > kMaxWordValue) return kRuleIntOutOfRange;
        r.intLow = static_cast<std::int32_t>(v);
    } else if (kind == kRuleNormalised) {
        r.normLow = ReadReal(text);
        if (!NormInRange(r.normLow)) return kRuleNormOutOfRange;
    } else {
        r.realLow = ReadReal(text);
    }
    return kRuleOk;
}

int ParseRange(const std::string& text, int kind, RuleRecord& r, int code) {
    std::size_t d1 = text.find('-');
    std::size_t d2 = text.find('-', d1 + 1);
    std::string low = text.substr(0, d1);
    std::string high = text.substr(d1 + 1, d2 == std::string::npos ? std::string::npos : d2 - d1 - 1);
    r.op = RuleRecord::Range;
    if (kind == kRuleRaw) {
        r.intLow = SaturateInt32(ReadInteger(low));
        r.intHigh = SaturateInt32(ReadInteger(high));
        if (r.intHigh <= r.intLow) code = kRuleIntRangeOrder;
    } else if (kind == kRuleNormalised) {
        r.normLow = ReadReal(low);
        r.normHigh = ReadReal(high);
        if (!NormInRange(r.normLow) || !NormInRange(r.normHigh)) code = kRuleNormOutOfRange;
        if (!(r.normHigh > r.normLow)) code = kRuleRealRangeOrder;
    } else {
        r.realLow = ReadReal(low);
        r.realHigh = ReadReal(high);
        if (!(r.realHigh > r.realLow)) code = kRuleRealRangeOrder;
    }
    return code;
}

// Whether a value text starts with a number as the item's reader takes it (blanks and a sign
// first, as strtoll and strtod allow).
bool HoldsNumber(const std::string& text, int kind) {
    const char* begin = text.c_str();
    char* end = nullptr;
    if (kind == kRuleRaw)
        std::strtoll(begin, &end, 10);
    else
        StrToDoubleC(begin, &end);
    return end != begin;
}

// The value texts of an item as ParseItem splits it: one after the comparison, or both ends of
// a range.
std::vector<std::string> ItemValues(const std::string& item) {
    std::size_t p = item.find_first_not_of(" \t\r\n\v\f");
    std::string s = p == std::string::npos ? std::string() : item.substr(p);
    s.erase(0, s.find_first_not_of('='));
    if (!s.empty() && (s[0] == '<' || s[0] == '>')) {
        const std::size_t q = s.find_first_not_of("<>=");
        return {q == std::string::npos ? std::string() : s.substr(q)};
    }
    const std::size_t d1 = s.find('-');
    if (d1 == std::string::npos) return {s};
    const std::size_t d2 = s.find('-', d1 + 1);
    return {s.substr(0, d1), s.substr(d1 + 1, d2 == std::string::npos ? std::string::npos : d2 - d1 - 1)};
}

}  // namespace

int LinkedClusterRules::CheckNumbers(const std::string& text, int kind) {
    if (text.empty()) return kRuleOk;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        RuleRecord record;
        if (ParseItem(item, kind, record) == kRuleOk)
            for (const std::string& value : ItemValues(item))
                if (!HoldsNumber(value, kind)) return kRuleNoNumber;
        if (comma == std::string::npos) return kRuleOk;
        start = comma + 1;
    }
}

std::string LinkedClusterRules::Normalize(const std::string& text, int* count) {
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        if (c == ' ' || c == '\t') continue;
        s.push_back(c == ';' ? ',' : c);
    }
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (!(c == ',' && !out.empty() && out.back() == ',')) out.push_back(c);
    std::size_t b = out.find_first_not_of(',');
    if (b == std::string::npos) {
        out.clear();
    } else {
        std::size_t e = out.find_last_not_of(',');
        out = out.substr(b, e - b + 1);
    }
    if (count) *count = out.empty() ? 0 : 1 + static_cast<int>(std::count(out.begin(), out.end(), ','));
    return out;
}

int LinkedClusterRules::ParseItem(const std::string& item, int kind, RuleRecord& r) {
    std::size_t p = item.find_first_not_of(" \t\r\n\v\f");
    std::string s = p == std::string::npos ? std::string() : item.substr(p);
    s.erase(0, s.find_first_not_of('='));

    int op = 100;
    if (s.rfind("<=", 0) == 0)
        op = RuleRecord::LessEqual;
    else if (s.rfind("<", 0) == 0)
        op = RuleRecord::Less;
    else if (s.rfind(">=", 0) == 0)
        op = RuleRecord::GreaterEqual;
    else if (s.rfind(">", 0) == 0)
        op = RuleRecord::Greater;
    if (op != 100) {
        std::size_t q = s.find_first_not_of("<>=");
        s = q == std::string::npos ? std::string() : s.substr(q);
        r.op = op;
        return ParseSingleValue(s, kind, r);
    }
    if (s.find('-') == std::string::npos) {
        r.op = RuleRecord::Equal;
        return ParseSingleValue(s, kind, r);
    }
    int code = kRuleOk;
    if (s.find("--") != std::string::npos) code = kRuleDoubleDash;
    std::size_t first = s.find('-');
    if (s.find('-', first + 1) != std::string::npos && code == kRuleOk) code = kRuleManyDashes;
    return ParseRange(s, kind, r, code);
}

int LinkedClusterRules::Parse(const std::string& text, int kind, int capacity, RuleRecord* records,
                              Prompt* prompt) {
    auto report = [&](int code, const char* what) {
        if (prompt)
            prompt->Tell("Internal error (" + std::to_string(code) + "): " + what, PromptIcon::Warning);
        return code;
    };
    if (text.empty()) return report(kRuleEmpty, "lack of input data definition rule");
    std::size_t start = 0;
    int n = 0;
    while (true) {
        std::size_t comma = text.find(',', start);
        std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (n >= capacity) return report(kRuleOverrun, "buffer over-run input data definition");
        int code = ParseItem(item, kind, records[n]);
        if (code != kRuleOk) return code;
        ++n;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return kRuleOk;
}

std::string FormatFloatTrimmed(float value) {
    std::string s = FormatReal(value, -1, "%f");
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') s.pop_back();
        if (!s.empty() && s.back() == '.') s.push_back('0');
    }
    return s;
}

std::string LinkedClusterRules::Format(const RuleRecord* records, int count, int kind) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        const RuleRecord& r = records[i];
        if (i) out += ", ";
        auto value = [&](bool high) {
            if (kind == kRuleRaw) return std::to_string(high ? r.intHigh : r.intLow);
            double v =
                kind == kRuleNormalised ? (high ? r.normHigh : r.normLow) : (high ? r.realHigh : r.realLow);
            return FormatFloatTrimmed(static_cast<float>(v));
        };
        switch (r.op) {
            case RuleRecord::LessEqual:
                out += "<=" + value(false);
                break;
            case RuleRecord::Less:
                out += "<" + value(false);
                break;
            case RuleRecord::GreaterEqual:
                out += ">=" + value(false);
                break;
            case RuleRecord::Greater:
                out += ">" + value(false);
                break;
            case RuleRecord::Range:
                out += value(false) + "-" + value(true);
                break;
            default:
                out += value(false);
                break;
        }
    }
    return out;
}

bool LinkedClusterRules::MatchInt(int count, const RuleRecord* records, std::uint64_t value,
                                  bool requireAll) {
    return MatchList(count, requireAll, [&](int i) {
        const RuleRecord& r = records[i];
        // Compare in 64 bits: a negative record value is below every unsigned value.
        auto lt = [](std::uint64_t v, std::int64_t b) { return b >= 0 && v < static_cast<std::uint64_t>(b); };
        auto eq = [](std::uint64_t v, std::int64_t b) {
            return b >= 0 && v == static_cast<std::uint64_t>(b);
        };
        std::int64_t lo = r.intLow, hi = r.intHigh;
        switch (r.op) {
            case RuleRecord::LessEqual:
                return lt(value, lo) || eq(value, lo);
            case RuleRecord::Less:
                return lt(value, lo);
            case RuleRecord::Equal:
                return eq(value, lo);
            case RuleRecord::Greater:
                return !lt(value, lo) && !eq(value, lo);
            case RuleRecord::GreaterEqual:
                return !lt(value, lo);
            case RuleRecord::Range:
                return !lt(value, lo) && (lt(value, hi) || eq(value, hi));
            default:
                return false;
        }
    });
}

bool LinkedClusterRules::MatchDouble(double value, const RuleRecord* records, int kind, bool requireAll,
                                     int count) {
    return MatchList(count, requireAll, [&](int i) {
        const RuleRecord& r = records[i];
        return kind == kRuleNormalised ? RecordMatches(r.op, r.normLow, r.normHigh, value)
                                       : RecordMatches(r.op, r.realLow, r.realHigh, value);
    });
}

void SumVoxelFractions(std::uint16_t* const* words, int last, const std::uint16_t* parallel, int& fixedCount,
                       int& fixedSum, int& freeCount, int& freeSum, int& parallelSum) {
    fixedCount = fixedSum = freeCount = freeSum = parallelSum = 0;
    for (int i = 0; i <= last; ++i) {
        std::uint16_t w = *words[i];
        if (w & 0x4000) {
            ++fixedCount;
            fixedSum += w & 0x3FFF;
            if (parallel) parallelSum += parallel[i];
        } else {
            ++freeCount;
            freeSum += w & 0x3FFF;
        }
    }
}

void NormalizeVoxelFractions(std::uint16_t* const* words, int last, std::uint16_t target, int& fixedSum,
                             int& freeSum, int& fixedCount, int& freeCount) {
    const int t = std::min<int>(target, kMaxWordValue);
    auto setValue = [](std::uint16_t* w, int v) {
        *w = static_cast<std::uint16_t>((*w & 0xC000) | std::clamp(v, 0, kMaxWordValue));
    };
    auto isFree = [&](int i) { return (*words[i] & 0x4000) == 0; };
    if (t <= fixedSum) {
        for (int i = 0; i <= last; ++i)
            if (isFree(i)) *words[i] = static_cast<std::uint16_t>((*words[i] & 0x8000) | 0x4000);
        fixedCount = last + 1;
        freeCount = 0;
        fixedSum = t;
        freeSum = 0;
        return;
    }
    if (freeCount == 1) {
        for (int i = 0; i <= last; ++i)
            if (isFree(i)) {
                setValue(words[i], t - fixedSum);
                *words[i] |= 0x4000;
                break;
            }
        ++fixedCount;
        freeCount = 0;
        fixedSum = t;
        freeSum = 0;
        return;
    }
    if (freeCount <= 0) return;
    const int rest = t - fixedSum;
    if (freeSum == 0) {
        int q = rest / freeCount, r = rest % freeCount, k = 0;
        for (int i = 0; i <= last; ++i)
            if (isFree(i)) setValue(words[i], q + (k++ < r ? 1 : 0));
        freeSum = rest;
        return;
    }
    const double factor = static_cast<double>(rest) / freeSum;
    int sum = 0;
    for (int i = 0; i <= last; ++i)
        if (isFree(i)) {
            int v = static_cast<int>((*words[i] & 0x3FFF) * factor + 0.5);
            setValue(words[i], v);
            sum += *words[i] & 0x3FFF;
        }
    // Spread the rounding residue one unit at a time over the free words that can take it, so no
    // value wraps past 0 or 16383.
    int d = rest - sum;
    bool progress = true;
    while (d != 0 && progress) {
        progress = false;
        for (int i = 0; i <= last && d != 0; ++i) {
            if (!isFree(i)) continue;
            int v = *words[i] & 0x3FFF;
            if (d > 0 && v < kMaxWordValue) {
                setValue(words[i], v + 1);
                --d;
                progress = true;
            } else if (d < 0 && v > 0) {
                setValue(words[i], v - 1);
                ++d;
                progress = true;
            }
        }
    }
    freeSum = rest - d;
}

}  // namespace zun
