// The remote boundary command: the words become the document's boundary definition, which the
// boundary wizard's first Apply then builds into one boundary channel.
#include <algorithm>
#include <atomic>
#include <cmath>

#include "document/zundoc.h"
#include "foundation/numformat.h"
#include "model/rulelist.h"
#include "platform/progress.h"
#include "script/remotecommands.h"
#include "script/remotehost.h"
#include "script/remoteserver.h"
#include "tools/boundarypages.h"
#include "tools/boundarywizard.h"

namespace zun {

namespace {

constexpr int kExtendBoundary = 300;
constexpr int kPauseMs = 500;

// The build's progress goes to the controller as WORK under the pending tag; nothing cancels it.
class WorkProgress : public ProgressSink {
public:
    explicit WorkProgress(RemoteControlServer& server) : server_(server) {}
    void SetText(const std::string&) override {}
    void SetPos(int percent) override { Report(percent); }
    bool SetProgress(int percent) override {
        Report(percent);
        return false;
    }

private:
    void Report(int percent) {
        percent = ClampPercent(percent);
        if (last_.exchange(percent) != percent) server_.ReplyWork(percent);
    }
    RemoteControlServer& server_;
    std::atomic<int> last_{-1};
};

int CombinationOf(int word) {
    return word == 0 ? BoundDef::kCombineOr : word == 1 ? BoundDef::kCombineAnd : BoundDef::kNotApplicable;
}

// One side's rules: normalised, parsed and stored formatted; the error detail, or empty.
std::string StoreRules(const char* op, const std::string& word, std::string& stored) {
    int count = 0;
    const std::string text = LinkedClusterRules::Normalize(word, &count);
    if (count < 1) return std::string("Missing mapping ") + op + " rules definition";
    std::vector<RuleRecord> records(static_cast<std::size_t>(count) + 1);
    if (LinkedClusterRules::Parse(text, kRuleRaw, count + 1, records.data()) != kRuleOk)
        return std::string("Invalid mapping ") + op + " rules definition";
    stored = LinkedClusterRules::Format(records.data(), count, kRuleRaw);
    return {};
}

// The words of the command into a copy of the document's definition; the error detail, or empty.
std::string ReadDefinition(const RemoteCall& call, const ZunImage& sample, BoundDef& def) {
    const auto& w = call.words;
    const unsigned count = static_cast<unsigned>(sample.GetChanCount());
    const unsigned kind = ParseUIntArg(w[3]);
    def.kind = kind <= 4 ? static_cast<std::int32_t>(kind) : BoundDef::kClusters;
    const unsigned mode = ParseUIntArg(w[4]);
    def.mode = mode <= 3 ? static_cast<std::int32_t>(mode) : BoundDef::kAssign;
    def.rotate = ParseBoolArg(w[5]);
    def.rotation = {ParseFloatArg(w[6]), ParseFloatArg(w[7]), ParseFloatArg(w[8])};
    def.translate = ParseBoolArg(w[9]);
    def.translation = {ParseIntArg(w[10]), ParseIntArg(w[11]), ParseIntArg(w[12])};

    const int unit = ParseIntArg(w[14]);
    def.valueType = unit == 0 ? BoundDef::kRaw : unit == 1 ? BoundDef::kNormalised : BoundDef::kPhysical;
    def.lowCombination = CombinationOf(ParseIntArg(w[16]));
    def.highCombination = CombinationOf(ParseIntArg(w[18]));
    if (def.kind == BoundDef::kClusters) {
        const unsigned ref = ParseUIntArg(w[13]);
        if (ref >= count) return "invalid reference channel index";
        def.referenceChannel = sample.GetChanNameCStr(static_cast<int>(ref));
        std::string& text = def.thresholdText[static_cast<std::size_t>(def.valueType)];
        if (def.valueType == BoundDef::kRaw) {
            const int value = ParseIntArg(w[15]);
            text = FormatInt(value, "%d");
            def.normThreshold = value / 16383.0;
        } else if (def.valueType == BoundDef::kNormalised) {
            def.normThreshold = ParseDoubleArg(w[15]);
            text = FormatReal(-1, def.normThreshold, "%g");
        } else {
            const std::vector<float>& range = sample.GetChan(static_cast<int>(ref))->range;
            // A channel of one value has no width to divide by.
            if (range.size() < 2 || !(range[1] > range[0])) return "invalid reference channel range";
            def.normThreshold =
                (static_cast<double>(ParseFloatArg(w[15])) - range[0]) / (range[1] - range[0]);
            text = w[15];
        }
        if (def.lowCombination < BoundDef::kNotApplicable) {
            std::string e =
                StoreRules("<=", w[17], def.lowRuleText[static_cast<std::size_t>(def.lowCombination)]);
            if (!e.empty()) return e;
        }
        if (def.highCombination < BoundDef::kNotApplicable) {
            std::string e =
                StoreRules(">=", w[19], def.highRuleText[static_cast<std::size_t>(def.highCombination)]);
            if (!e.empty()) return e;
        }
    }
    def.voidOutside = ParseBoolArg(w[20]);
    def.noisePresent = ParseBoolArg(w[21]);
    def.thresholdCheckOnly = ParseBoolArg(w[22]);
    def.smoothing = ParseBoolArg(w[23]);
    // The wizard's range for the smoothing strength.
    if (!ValueBoundaryPage::CheckStrength(w[24], 0.0f, nullptr))
        return "invalid smoothing strength (" + w[24] + "), which should lie between 0 and 1";
    def.strength = ParseFloatArg(w[24]);
    if (def.kind == BoundDef::kSample) {
        std::vector<std::string> names;
        for (const std::string& item : SplitArgumentList(w[25], '#')) {
            const unsigned t = ParseUIntArg(item);
            if (t >= count) return "invalid target channel index";
            names.push_back(sample.GetChanNameCStr(static_cast<int>(t)));
        }
        def.channels = names;
    }
    def.cuboidSize = {static_cast<std::int32_t>(ParseUIntArg(w[26])),
                      static_cast<std::int32_t>(ParseUIntArg(w[27])),
                      static_cast<std::int32_t>(ParseUIntArg(w[28]))};
    def.diameter = static_cast<std::int32_t>(ParseUIntArg(w[29]));
    def.xyDiameter = static_cast<std::int32_t>(ParseUIntArg(w[30]));
    def.zLength = static_cast<std::int32_t>(ParseUIntArg(w[31]));
    // The wizard's own check: angles and threshold that are not finite reach integer conversions.
    if (std::string e = CheckBoundaryNumbers(def); !e.empty()) return e;
    if (def.kind == BoundDef::kClusters)
        def.threshold =
            static_cast<std::uint16_t>(std::lround(std::clamp(def.normThreshold, 0.0, 1.0) * 16383));
    return {};
}

void BuildBoundary(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = in.CheckCommandDocument(call, call.words[1]);
    // The build writes the boundary the worker may be reading.
    if (!doc || !in.CheckDocumentIdle(call, *doc) || !in.CheckTreeView(call, *doc)) return;
    const ZunImage& sample = doc->GetSample();
    const unsigned target = ParseUIntArg(call.words[2]);
    // A channel of another kind has no boundary for the wizard to build.
    if (target >= static_cast<unsigned>(sample.GetChanCount()) ||
        sample.GetChan(static_cast<int>(target))->kind != ZunChan::kBoundary) {
        in.Error(call, "invalid boundary channel index");
        return;
    }
    BoundDef def = doc->boundDef;
    const std::string error = ReadDefinition(call, sample, def);
    if (!error.empty()) {
        in.Error(call, error);
        return;
    }
    doc->boundDef = def;
    const std::string name = sample.GetChanNameCStr(static_cast<int>(target));
    // The pauses and the build's progress let events through: the document stays open meanwhile.
    CZunDoc::LongWork work(*doc, "boundary build", true);
    // The wizard over the definition just stored, on the screen while it builds; its progress
    // window reports to the controller. Without a screen the build reports there itself.
    const std::unique_ptr<RemoteDocWindow> window = in.Host().DocumentWindow(*doc);
    std::unique_ptr<RemoteBoundaryBuild> sheet = window ? window->ShowBoundaryBuild({name}) : nullptr;
    in.Server().ReplyExtend(call.tag, kExtendBoundary);
    in.Host().Wait(kPauseMs);
    int r = 0;
    if (sheet) {
        r = sheet->Build();
    } else {
        WorkProgress progress(in.Server());
        r = BuildBoundaryFromDocument(*doc, {name}, &progress);
    }
    sheet.reset();
    in.Host().Wait(kPauseMs);
    if (r != 0)
        in.FinalError(call, "interrupted.");
    else
        in.FinalOk(call);
}

}  // namespace

void InstallBoundaryCommand(RemoteInterpreter& in) {
    in.SetHandler("buildboundary", BuildBoundary);
}

}  // namespace zun
