#include "tools/mapchannel.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "document/zundoc.h"
#include "foundation/clocale.h"
#include "model/rulelist.h"
#include "model/voxelword.h"
#include "platform/prompt.h"
#include "tools/toolsupport.h"
#include "tools/valuetools.h"

namespace zun {

namespace {

imtype ClampWord(std::int64_t v) {
    return static_cast<imtype>(std::clamp<std::int64_t>(v, 0, 16383));
}

int ClampSelection(std::int32_t v, int count) {
    return v >= 0 && v < count ? v : 0;
}

}  // namespace

imtype MapWord(const MapRow& row, int unit, imtype input, imtype output) {
    const bool raw = unit == MapDataSpec::kRaw;
    const float x = NormalisedVoxelValue(input);
    const std::int64_t r = raw ? input : static_cast<std::int64_t>(x * 16383.0f + 0.49f);
    switch (row.action) {
        case MapDataSpec::kReplace:
            switch (row.kind) {
                // Out-of-range results are clamped, never wrapped into the 14 value bits.
                case MapDataSpec::kRawConst:
                    return ClampWord(row.intConst);
                case MapDataSpec::kNormConst: {
                    const double v = std::round(static_cast<double>(row.realConst) * 16383.0);
                    return static_cast<imtype>(
                        (output & kVoxelFlagMask) |
                        ClampWord(static_cast<std::int64_t>(std::clamp(v, -1.0, 16384.0))));
                }
                case MapDataSpec::kInputTimes:
                case MapDataSpec::kInputPlus: {
                    const bool times = row.kind == MapDataSpec::kInputTimes;
                    if (raw) return ClampWord(times ? row.intConst * r : row.intConst + r);
                    const float f = times ? row.realConst * x : row.realConst + x;
                    return WordWithNormalisedValue(output, std::clamp(f, 0.0f, 1.0f));
                }
                default:
                    return output;
            }
        case MapDataSpec::kOrExisting:
        case MapDataSpec::kAndExisting:
        case MapDataSpec::kAddToExisting: {
            std::int64_t o = output;
            if (!raw)
                o = std::max<std::int64_t>(
                    static_cast<std::int64_t>(NormalisedVoxelValue(output) * 16383.0f + 0.49f), 0);
            std::int64_t v = row.action == MapDataSpec::kOrExisting    ? (o | 0x3FFF)
                             : row.action == MapDataSpec::kAndExisting ? (o & 0x3FFF)
                                                                       : o + r;
            if (v > 16383 || v < 0) v = 16383;
            return static_cast<imtype>(v);
        }
        default:
            return output;
    }
}

MapChannelData::MapChannelData(CZunDoc& doc, MapDataSpec& settings)
    : spec(settings), doc_(doc), settings_(settings) {
    spec.inputUnit = ClampSelection(spec.inputUnit, 2);
    spec.matchKind = ClampSelection(spec.matchKind, 4);
    spec.elseKind = ClampSelection(spec.elseKind, 4);
    spec.anyOrAll = ClampSelection(spec.anyOrAll, 2);
    spec.matchAction = ClampSelection(spec.matchAction, 5);
    spec.elseAction = ClampSelection(spec.elseAction, 5);
    if (spec.boundary >= BoundaryChoices().size()) spec.boundary = 0;
    ShowStoredTexts();
}

std::string MapChannelData::Title() const {
    const ZunImage& s = doc_.GetSample();
    auto name = [&](int i) { return s.IsChanIndex(i) ? s.GetChan(i)->name : std::string(); };
    return "Map [" + name(spec.inputChannel) + "] channel data to channel [" + name(spec.outputChannel) +
           "]:";
}

std::vector<std::string> MapChannelData::BoundaryChoices() const {
    std::vector<std::string> names{"None"};
    const ZunImage& s = doc_.GetSample();
    for (int i = 0; i < s.GetChanCount(); ++i)
        if (s.GetChan(i)->kind == ZunChan::kBoundary) names.push_back(s.GetChan(i)->name);
    return names;
}

void MapChannelData::ShowStoredTexts() {
    const int u = spec.inputUnit;
    ruleText = spec.ruleText[static_cast<std::size_t>(u)];
    matchText = spec.matchValue[static_cast<std::size_t>(MapDataSpec::Slot(spec.matchKind, u))];
    elseText = spec.elseValue[static_cast<std::size_t>(MapDataSpec::Slot(spec.elseKind, u))];
}

void MapChannelData::SetUnit(int unit) {
    spec.inputUnit = ClampSelection(unit, 2);
    ShowStoredTexts();
}

void MapChannelData::SetKind(bool match, int kind) {
    int& k = match ? spec.matchKind : spec.elseKind;
    k = ClampSelection(kind, 4);
    const auto slot = static_cast<std::size_t>(MapDataSpec::Slot(k, spec.inputUnit));
    (match ? matchText : elseText) = (match ? spec.matchValue : spec.elseValue)[slot];
}

void MapChannelData::SetAction(bool match, int action) {
    (match ? spec.matchAction : spec.elseAction) = ClampSelection(action, 5);
}

bool MapChannelData::ReadRow(bool match, MapRow& row) {
    row.action = match ? spec.matchAction : spec.elseAction;
    row.kind = match ? spec.matchKind : spec.elseKind;
    if (!RowVisible(match)) return true;
    std::string& text = match ? matchText : elseText;
    if (text.size() > 255) text.resize(255);
    const int slot = MapDataSpec::Slot(row.kind, spec.inputUnit);
    // A value is read by its leading number; one without any is refused rather than taken for 0,
    // and the text stays as typed so that it can be put right.
    char* end = nullptr;
    if (slot % 2 == 0) {
        const long long v = std::strtoll(text.c_str(), &end, 10);
        if (end == text.c_str()) return false;
        row.intConst = std::clamp<long long>(v, INT32_MIN, INT32_MAX);
        text = FormatC("%d", static_cast<int>(row.intConst));
    } else {
        const auto v = static_cast<float>(StrToDoubleC(text.c_str(), &end));
        // A NaN or an infinity would reach the conversion of the value into a word.
        if (end == text.c_str() || !std::isfinite(v)) return false;
        row.realConst = v;
        text = FormatFloatTrimmed(row.realConst);
    }
    return true;
}

int MapChannelData::CheckRules() {
    int count = 0;
    const std::string clean = LinkedClusterRules::Normalize(ruleText, &count);
    // No rule never matches in the any mode and always matches in the all mode, so every voxel
    // takes one row; with rules it may take either. When every row a voxel can take does nothing,
    // the mapping would change nothing, yet a run would still mark the output's note as mapped.
    const bool matchTaken = count > 0 || spec.anyOrAll == 1;
    const bool elseTaken = count > 0 || spec.anyOrAll != 1;
    if ((!matchTaken || spec.matchAction == MapDataSpec::kDoNothing) &&
        (!elseTaken || spec.elseAction == MapDataSpec::kDoNothing))
        return Fail(kRuleEmpty, mapmsg::kNoRules, true);
    if (count == 0) return 0;
    const int kind = spec.inputUnit == MapDataSpec::kRaw ? kRuleRaw : kRuleNormalised;
    const int err = LinkedClusterRules::CheckNumbers(clean, kind);
    return err != 0 ? Fail(err, mapmsg::RuleError(err), true) : 0;
}

int MapChannelData::Run(int threads) {
    failure_.clear();
    if (ComputationBusy(doc_)) return Fail(-1, kComputationInProgress, false);
    MapRow match, other;
    if (!ReadRow(true, match)) return Fail(kBadMatchValue, mapmsg::BadValue(true, matchText), true);
    if (!ReadRow(false, other)) return Fail(kBadElseValue, mapmsg::BadValue(false, elseText), true);
    // A combining action takes no value, so an input-derived kind makes no sense with it.
    int code = 0;
    int action = 0, kind = 0;
    auto refuse = [&](const MapRow& row, int c) {
        if (row.action >= MapDataSpec::kOrExisting && row.action <= MapDataSpec::kAddToExisting &&
            row.kind >= MapDataSpec::kInputTimes) {
            code = c;
            action = row.action;
            kind = row.kind;
        }
    };
    refuse(match, 7);
    refuse(other, 8);
    if (code)
        return Fail(code, FormatC("Invalid output channel or other values (%d ,%d, %d).", code, action, kind),
                    true);
    if (const int refused = CheckRules()) return refused;

    const int result = Map(match, other, threads > 0 ? threads : ToolThreads());
    ZunImage& s = doc_.GetSample();
    if (s.IsChanIndex(spec.outputChannel)) {
        ZunChan& out = *s.GetChan(spec.outputChannel);
        const std::string in = s.IsChanIndex(spec.inputChannel) ? s.GetChan(spec.inputChannel)->name : "";
        const std::string head = "Map [" + in + "] channel data to channel [" + out.name + "]";
        ReplaceChannelNote(out,
                           (result == 0 ? head + " completed at: "
                                        : head + FormatC(" finished with return code (%d) at: ", result)) +
                               AscTimeNow());
        if (result == 0) doc_.NoteVoxelsEdited({&out});
        doc_.UpdateAllViews(nullptr, kHintStatsWithData);
        StatsMod stats;
        doc_.UpdateAllViews(nullptr, kHintData, &stats);
    }
    if (result != 0) return result;
    spec.ruleText[static_cast<std::size_t>(spec.inputUnit)] = ruleText;
    spec.matchValue[static_cast<std::size_t>(MapDataSpec::Slot(spec.matchKind, spec.inputUnit))] = matchText;
    spec.elseValue[static_cast<std::size_t>(MapDataSpec::Slot(spec.elseKind, spec.inputUnit))] = elseText;
    settings_ = spec;
    return 0;
}

int MapChannelData::Map(const MapRow& match, const MapRow& other, int threads) {
    const int unit = spec.inputUnit;
    const int kind = unit == MapDataSpec::kRaw ? kRuleRaw : kRuleNormalised;
    int count = 0;
    const std::string clean = LinkedClusterRules::Normalize(ruleText, &count);
    std::vector<RuleRecord> rules(static_cast<std::size_t>(std::max(count, 1)));
    if (count == 0) {
        Tell(mapmsg::kNoRules, false);
    } else {
        const int err = LinkedClusterRules::Parse(clean, kind, count, rules.data(), doc_.GetPromptSink());
        if (err != 0) return Fail(err, mapmsg::RuleError(err), true);
        ruleText = LinkedClusterRules::Format(rules.data(), count, kind);
    }
    if (match.kind < 0 || match.kind > 3) return 5;

    ZunImage& s = doc_.GetSample();
    if (!s.IsChanIndex(spec.outputChannel)) return 0;
    imtype* out = s.GetChan(spec.outputChannel)->Data();
    const imtype* in = s.IsChanIndex(spec.inputChannel) ? s.GetChan(spec.inputChannel)->Data() : nullptr;
    const imtype* mask = nullptr;
    if (spec.boundary > 0) {
        std::uint32_t k = 0;
        for (int i = 0; i < s.GetChanCount() && !mask; ++i)
            if (s.GetChan(i)->kind == ZunChan::kBoundary && ++k == spec.boundary) mask = s.GetChan(i)->Data();
    }
    // The test depends on the input word alone (its value bits in the normalised unit), so it is
    // made once per possible word.
    const bool all = spec.anyOrAll == 1;
    std::vector<std::uint8_t> matches(65536);
    for (int w = 0; w < 65536; ++w) {
        matches[static_cast<std::size_t>(w)] =
            unit == MapDataSpec::kRaw
                ? LinkedClusterRules::MatchInt(count, rules.data(), static_cast<std::uint64_t>(w), all)
                : LinkedClusterRules::MatchDouble(NormalisedVoxelValue(static_cast<imtype>(w)), rules.data(),
                                                  kind, all, count);
    }
    const auto n = static_cast<std::int64_t>(s.GetNumVoxels());
    omp_set_dynamic(0);
#pragma omp parallel for schedule(static) num_threads(threads)
    for (std::int64_t i = 0; i < n; ++i) {
        if (mask && mask[i] == 0) continue;
        const imtype w = in ? in[i] : 0;
        const MapRow& row = matches[w] ? match : other;
        if (row.action == MapDataSpec::kDoNothing) continue;
        out[i] = MapWord(row, unit, w, out[i]);
    }
    return 0;
}

std::string mapmsg::RuleError(int code) {
    return FormatC("Error (%d) in defining input channel data value.", code);
}

std::string mapmsg::BadValue(bool match, const std::string& text) {
    return std::string(match ? "Invalid output channel value \"" : "Invalid else value \"") + text + "\".";
}

int MapChannelData::Fail(int code, const std::string& text, bool exclamation) {
    failure_ = text;
    Tell(text, exclamation);
    return code;
}

void MapChannelData::Tell(const std::string& text, bool exclamation) const {
    if (Prompt* p = doc_.GetPromptSink())
        p->Tell(text, exclamation ? PromptIcon::Warning : PromptIcon::Information);
}

}  // namespace zun
