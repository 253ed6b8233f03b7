#pragma once
// "Map Channel Data to": one channel (the output) rewritten voxel by voxel from another (the
// input). Where the input value satisfies the rules the match row acts, elsewhere the else row,
// optionally only inside a boundary. MapChannelData is what the dialog shows and its run; the
// remote commands drive it without a window.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/voxeltypes.h"

namespace zun {

class CZunDoc;

// The settings of a mapping, kept by the caller (the tree keeps one per window) and written back
// after a successful run.
struct MapDataSpec {
    enum Unit { kRaw = 0, kNormalised = 1 };
    enum Kind { kRawConst = 0, kNormConst = 1, kInputTimes = 2, kInputPlus = 3 };
    enum Action { kReplace = 0, kOrExisting = 1, kAndExisting = 2, kAddToExisting = 3, kDoNothing = 4 };

    std::int32_t inputChannel = 0;
    std::int32_t outputChannel = 0;
    std::int32_t inputUnit = kRaw;
    std::int32_t matchKind = kRawConst;
    std::int32_t elseKind = kRawConst;
    std::int32_t anyOrAll = 0;  // 0 any rule, 1 all rules
    std::int32_t matchAction = kReplace;
    std::int32_t elseAction = kDoNothing;
    std::uint32_t boundary = 0;  // 0 none, k the k-th boundary channel
    std::array<std::string, 2> ruleText{"<2, 4, 5, 8-20, >=100",
                                        "<0.05, 0.1-0.3, 0.32, 0.35, 0.7-0.8, >=0.9"};
    std::array<std::string, 6> matchValue{"16383", "1.0", "1", "1.0", "0", "0.0"};
    std::array<std::string, 6> elseValue{"0", "0.0", "1", "1.0", "0", "0.0"};

    // The value slot of a kind in a unit: 0 raw constant, 1 normalised constant, 2 + unit the
    // factor, 4 + unit the addend. Slots 0, 2 and 4 hold integers.
    static int Slot(int kind, int unit) { return kind <= kNormConst ? kind : 2 * kind - 2 + unit; }
};

// What one row does to an output word: the row's action and kind with its constant read from the
// slot (an integer for the raw slots, else a real).
struct MapRow {
    int action = MapDataSpec::kDoNothing;
    int kind = MapDataSpec::kRawConst;
    std::int64_t intConst = 0;
    float realConst = 0.0f;
};

// The new output word of one voxel: in the raw unit r is the whole input word, in the normalised
// unit x its normalised value and r = truncate(x * 16383 + 0.49).
imtype MapWord(const MapRow& row, int unit, imtype input, imtype output);

class MapChannelData {
public:
    // Opens over a copy of the caller's settings; selections outside their lists become 0.
    MapChannelData(CZunDoc& doc, MapDataSpec& settings);

    MapDataSpec spec;
    // The texts of the rule edit and the two value edits as they stand.
    std::string ruleText, matchText, elseText;

    std::string Title() const;
    // "None" and the boundary channels' names.
    std::vector<std::string> BoundaryChoices() const;
    bool RowVisible(bool match) const {
        return (match ? spec.matchAction : spec.elseAction) != MapDataSpec::kDoNothing;
    }

    // The combos: the edits then show the stored texts of the new unit or slot.
    void SetUnit(int unit);
    void SetKind(bool match, int kind);
    void SetAction(bool match, int action);

    // The refusals of a value with no number (or no finite one) in a shown row.
    static constexpr int kBadMatchValue = 9;
    static constexpr int kBadElseValue = 10;

    // OK: 0 done (the settings are written back), else the code of the refusal or failure, with
    // its message shown. A refusal (a running computation, an action that cannot take the row's
    // kind, a value or rule with no number, a mapping where every row a voxel can take is "Do
    // nothing") changes nothing, not even the output channel's note. threads 0: one per processor.
    int Run(int threads = 0);
    // The message the last Run that failed showed; empty after one that succeeded.
    const std::string& Failure() const { return failure_; }

private:
    void ShowStoredTexts();
    void Tell(const std::string& text, bool exclamation) const;
    // Shows the message of a refusal or failure and keeps it; returns the code.
    int Fail(int code, const std::string& text, bool exclamation);
    // False, the text as it was, when a shown row's value holds no number.
    bool ReadRow(bool match, MapRow& row);
    // 0, or the code of a refusal of the rule text (shown), before anything changes.
    int CheckRules();
    int Map(const MapRow& match, const MapRow& other, int threads);

    CZunDoc& doc_;
    MapDataSpec& settings_;
    std::string failure_;
};

namespace mapmsg {
inline constexpr const char* kNoRules = "Input channel data undefined. Nothing to map.";
// "Error (<code>) in defining input channel data value."
std::string RuleError(int code);
// "Invalid output channel value "<text>"." (the match row) or "Invalid else value "<text>".".
std::string BadValue(bool match, const std::string& text);
}  // namespace mapmsg

}  // namespace zun
