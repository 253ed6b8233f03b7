// The remote commands of the computation set-up that act on the controller's parameter set
// directly: the job switches and the method parameters.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "compute/pluginlibs.h"
#include "compute/propertycomputation.h"
#include "document/zundoc.h"
#include "foundation/pathutil.h"
#include "script/remotecommands.h"
#include "script/remotehost.h"
#include "script/remoteserver.h"
#include "setup/methodsettings.h"
#include "setup/methodsheet.h"
#include "setup/setupstate.h"

namespace zun {

namespace {

constexpr std::int32_t kStepOn = kStepEnabled | kStepChanged;

std::int32_t StepFlag(const std::string& word) {
    return ParseBoolArg(word) ? kStepOn : kStepChanged;
}

CZunDoc* SetupDocument(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = in.CheckCommandDocument(call, call.words[1]);
    // The worker reads the parameter set for the whole run.
    if (!doc || !in.CheckDocumentIdle(call, *doc)) return nullptr;
    return doc;
}

void SetupComp(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = SetupDocument(in, call);
    if (!doc) return;
    const auto& w = call.words;
    Model& model = doc->GetModel();
    Params& p = model.GetParams();
    model.Jobs().composition = ParseBoolArg(w[2]);
    p.stepFlags[kStepSegmentation] = StepFlag(w[3]);
    p.stepFlags[kStepLinear] = StepFlag(w[4]);
    p.stepFlags[kStepNonlinear] = StepFlag(w[5]);
    model.Jobs().property = ParseBoolArg(w[6]);
    model.Jobs().plugins = ParseBoolArg(w[7]);
    model.Jobs().cluster = ParseBoolArg(w[8]);
    doc->SetModifiedFlag(true);
    in.Ok(call);
}

// A '#' list of ';' items of `fields` fields each; false (nothing read) when any item has another
// count. An empty word is one empty item and so refused.
bool ReadItems(const std::string& word, std::size_t fields, std::vector<std::vector<std::string>>& items) {
    items.clear();
    for (const std::string& item : SplitArgumentList(word, '#')) {
        items.push_back(SplitArgumentList(item, ';'));
        if (items.back().size() != fields) return false;
    }
    return true;
}

// Self energies "composition;energy#...": every composition index within the table.
bool ParseSelfEnergies(const std::string& word, std::vector<float>& table, int compositions) {
    std::vector<std::vector<std::string>> items;
    if (!ReadItems(word, 2, items)) return false;
    if (static_cast<int>(table.size()) < compositions)
        table.resize(static_cast<std::size_t>(compositions), 0.0f);
    for (const auto& f : items) {
        const unsigned k = ParseUIntArg(f[0]);
        if (k >= static_cast<unsigned>(compositions)) return false;
        table[k] = ParseFloatArg(f[1]);
    }
    return true;
}

// Interaction energies "shell;row;column;energy#..." into the shell matrices of n x n entries;
// a shell number is its plane of the table, from `first` on.
bool ParseInteractions(const std::string& word, Params::ShellTable& shells, int n, unsigned first) {
    std::vector<std::vector<std::string>> items;
    if (!ReadItems(word, 4, items)) return false;
    for (const auto& f : items) {
        const unsigned shell = ParseUIntArg(f[0]);
        const unsigned row = ParseUIntArg(f[1]), column = ParseUIntArg(f[2]);
        if (shell < first || shell >= shells.size() || row >= static_cast<unsigned>(n) ||
            column >= static_cast<unsigned>(n))
            return false;
        std::vector<float>& m = shells[shell];
        if (m.size() != static_cast<std::size_t>(n) * static_cast<std::size_t>(n))
            m = DefaultShellPlane(static_cast<int>(shell), n);
        m[row * static_cast<unsigned>(n) + column] = ParseFloatArg(f[3]);
    }
    return true;
}

// The readers as the method commands use them: a word they refuse is answered with its error.
bool ReadSelfEnergies(RemoteInterpreter& in, const RemoteCall& call, const std::string& word,
                      std::vector<float>& table, int compositions) {
    if (ParseSelfEnergies(word, table, compositions)) return true;
    in.Error(call, "Invalid Self energy data format (" + word + ")");
    return false;
}

bool ReadInteractions(RemoteInterpreter& in, const RemoteCall& call, const std::string& word,
                      Params::ShellTable& shells, int n, unsigned first) {
    if (ParseInteractions(word, shells, n, first)) return true;
    in.Error(call, "Invalid interaction energy data format (" + word + ")");
    return false;
}

// The method's step flag, the composition job and the Ready state, as every method command
// finishes.
void FinishMethod(RemoteInterpreter& in, const RemoteCall& call, CZunDoc& doc, int step) {
    Model& model = doc.GetModel();
    model.Jobs().composition = true;
    model.GetParams().stepFlags[step] = StepFlag(call.words[2]);
    model.SetState(kReady, false, nullptr);
    doc.SetModifiedFlag(true);
    in.Ok(call);
}

// The words of a method command go into a copy of the parameter set, which replaces the
// document's only when the method's block passes the checks of its parameter sheet: a refused
// command leaves every setting as it was.
template <class Settings, class... Counts>
bool CommitChecked(RemoteInterpreter& in, const RemoteCall& call, CZunDoc& doc, const Params& candidate,
                   std::string (*check)(const Settings&), Counts... counts) {
    Settings block(counts...);
    block.LoadFromParams(candidate);
    if (const std::string refused = check(block); !refused.empty()) {
        in.Error(call, refused);
        return false;
    }
    doc.GetModel().GetParams() = candidate;
    return true;
}

void SetupNonlinear(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = SetupDocument(in, call);
    if (!doc) return;
    const auto& w = call.words;
    Params p = doc->GetModel().GetParams();
    const int n = doc->GetSample().CountChansOfKind(ZunChan::kComposition);
    p.gridSize = static_cast<std::int32_t>(ParseUIntArg(w[6]));
    // The General page's two exponents: of the CT error and of the interaction energies.
    p.attenuationErrorExponent = static_cast<float>(ParseUIntArg(w[7]));
    p.interactionExponent = ParseFloatArg(w[8]);
    p.nonlinearVoxelsPerThread = static_cast<std::int32_t>(ParseUIntArg(w[9]));
    p.nonlinearIterations = static_cast<float>(ParseUIntArg(w[12]));
    const bool matrix = ParseBoolArg(w[3]);
    p.nonlinearSearchMethods = matrix ? (ParseBoolArg(w[4]) ? 3 : 1) : 2;
    if (!ReadSelfEnergies(in, call, w[10], p.nonlinearSelfEnergy, n)) return;
    p.nonlinearNeighbourRange = static_cast<std::int32_t>(ParseUIntArg(w[11]));
    if (!ReadInteractions(in, call, w[13], p.nonlinearInteractionEnergy, n, 0)) return;
    if (!CommitChecked(in, call, *doc, p, CheckNonlinearSettings, CompositionsOf(p))) return;
    FinishMethod(in, call, *doc, kStepNonlinear);
}

void SetupSegmentation(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = SetupDocument(in, call);
    if (!doc) return;
    const auto& w = call.words;
    Params p = doc->GetModel().GetParams();
    const ZunImage& sample = doc->GetSample();
    const int nc = sample.CountChansOfKind(ZunChan::kComposition);
    const int nt = sample.CountChansOfKind(ZunChan::kXrayCt);
    if (static_cast<int>(p.ctChannelUsed.size()) < nt + 1)
        p.ctChannelUsed.resize(static_cast<std::size_t>(nt) + 1, true);
    for (int t = 1; t <= nt; ++t) p.ctChannelUsed[static_cast<std::size_t>(t)] = false;
    if (ParseBoolArg(w[3])) {
        std::vector<std::vector<std::string>> items;
        bool ok = ReadItems(w[4], 4, items);
        for (auto* table : {&p.dlsZeroOffset, &p.dlsMultiplier}) {
            if (static_cast<int>(table->size()) < nc) table->resize(static_cast<std::size_t>(nc));
            for (auto& row : *table)
                if (static_cast<int>(row.size()) < nt + 1)
                    row.resize(static_cast<std::size_t>(nt) + 1, table == &p.dlsMultiplier ? 1.0f : 0.0f);
        }
        for (std::size_t i = 0; ok && i < items.size(); ++i) {
            const auto& f = items[i];
            const unsigned channel = ParseUIntArg(f[0]), k = ParseUIntArg(f[1]);
            // The item must name a CT channel and a composition of the tables.
            ok = channel >= static_cast<unsigned>(nc) && channel < static_cast<unsigned>(nc + nt) &&
                 k < static_cast<unsigned>(nc);
            if (!ok) break;
            const std::size_t t = channel - static_cast<unsigned>(nc) + 1;
            p.dlsZeroOffset[k][t] = ParseFloatArg(f[2]);
            p.dlsMultiplier[k][t] = ParseFloatArg(f[3]);
            p.ctChannelUsed[t] = true;
        }
        if (!ok) {
            in.Error(call, "Invalid CT energy data format (" + w[4] + ")");
            return;
        }
    }
    if (!ReadSelfEnergies(in, call, w[5], p.dlsSelfEnergy, nc)) return;
    p.dlsNeighbourRange = static_cast<std::int32_t>(ParseUIntArg(w[6]));
    if (p.dlsNeighbourRange != 0 && !ReadInteractions(in, call, w[8], p.dlsInterfacialEnergy, nc, 1)) return;
    if (!CommitChecked(in, call, *doc, p, CheckSegmentationSettings, CompositionsOf(p), p.ctChannelCount))
        return;
    FinishMethod(in, call, *doc, kStepSegmentation);
}

void SetupLinear(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = SetupDocument(in, call);
    if (!doc) return;
    const auto& w = call.words;
    Params p = doc->GetModel().GetParams();
    const ZunImage& sample = doc->GetSample();
    const int nc = sample.CountChansOfKind(ZunChan::kComposition);
    const int nt = sample.CountChansOfKind(ZunChan::kXrayCt);
    p.linearVoxelsPerThread = static_cast<std::int32_t>(ParseUIntArg(w[3]));
    p.randomSeed = ParseIntArg(w[4]);
    p.minimiseCtError = ParseBoolArg(w[5]);
    p.minimiseSelfEnergy = ParseBoolArg(w[6]);
    p.interactWithPreviousState = ParseBoolArg(w[7]);
    if (p.minimiseCtError) {
        std::vector<std::vector<std::string>> items;
        bool ok = ReadItems(w[8], 2, items);
        // The weights count the CT channels from 1.
        if (static_cast<int>(p.ctDataSetWeights.size()) < nt + 1)
            p.ctDataSetWeights.resize(static_cast<std::size_t>(nt) + 1, 1.0f);
        for (std::size_t i = 0; ok && i < items.size(); ++i) {
            const unsigned channel = ParseUIntArg(items[i][0]);
            ok = channel >= static_cast<unsigned>(nc) && channel < static_cast<unsigned>(nc + nt);
            if (ok) p.ctDataSetWeights[channel - static_cast<unsigned>(nc) + 1] = ParseFloatArg(items[i][1]);
        }
        if (!ok) {
            in.Error(call, "Invalid CT energy data format (" + w[8] + ")");
            return;
        }
    }
    if (p.minimiseSelfEnergy && !ReadSelfEnergies(in, call, w[9], p.linearObjectiveWeights, nc)) return;
    p.linearNeighbourRange = static_cast<std::int32_t>(ParseUIntArg(w[10]));
    p.linearIterations = static_cast<std::int32_t>(ParseUIntArg(w[11]));
    if (p.interactWithPreviousState && !ReadInteractions(in, call, w[12], p.linearInteractionEnergy, nc, 0))
        return;
    if (!CommitChecked(in, call, *doc, p, CheckLinearSettings, CompositionsOf(p), p.ctChannelCount)) return;
    FinishMethod(in, call, *doc, kStepLinear);
}

// One crossing plane "enable;first;useSecond;second" of the analysis within 0..limit-1; the
// error detail, or empty.
std::string ReadPlane(const std::string& word, char axis, const char* side, std::int64_t limit,
                      LinkedClusterSettings& c, int a) {
    const std::vector<std::string> f = SplitArgumentList(word, ';');
    const std::string name(1, axis);
    if (f.size() != 4) return "Invalid plane " + name + " format.";
    c.planeAxis[a] = ParseBoolArg(f[0]) ? 1 : 0;
    if (!c.planeAxis[a]) return {};
    const std::int64_t first = ParseIntArg(f[1]);
    const std::string range =
        std::string(" value is out of ") + side + " range [0, " + std::to_string(limit) + "].";
    if (first < 0 || first >= limit) return "Plane " + name + "1" + range;
    std::int64_t second = limit - 1;
    if (ParseUIntArg(f[2]) == 1) {
        second = ParseIntArg(f[3]);
        if (second < 0 || second >= limit) return "Plane " + name + "2" + range;
        if (first >= second)
            return "Invalid plane " + name + " range - " + name + "1 must be less than " + name + "2.";
    }
    c.planes[a][0] = static_cast<std::uint32_t>(first);
    c.planes[a][1] = static_cast<std::uint32_t>(second);
    return {};
}

// The linked cluster analysis record from the words; the error detail, or empty.
std::string ReadClusterAnalysis(const RemoteCall& call, CZunDoc& doc, PropertyMethodSettings& rec) {
    const auto& w = call.words;
    const ZunImage& sample = doc.GetSample();
    const unsigned n = static_cast<unsigned>(sample.GetChanCount());
    const int firstB = sample.FirstChanOfKind(ZunChan::kBoundary);
    const unsigned countB = static_cast<unsigned>(sample.CountChansOfKind(ZunChan::kBoundary));
    const unsigned firstP = static_cast<unsigned>(sample.FirstChanOfKind(ZunChan::kProperty));
    const unsigned countP = static_cast<unsigned>(sample.CountChansOfKind(ZunChan::kProperty));
    const unsigned input = ParseUIntArg(w[2]);
    const unsigned bound = ParseUIntArg(w[3]);
    const unsigned output = ParseUIntArg(w[4]);
    const auto u = [](unsigned v) { return std::to_string(v); };
    if (input >= n) return "invalid input channel index, which should be >= 0 and < " + u(n) + ".";
    const bool noBound = bound == static_cast<unsigned>(-1);
    const unsigned fb = firstB < 0 ? 0 : static_cast<unsigned>(firstB);
    if (!noBound && (firstB < 0 || bound < fb || bound >= fb + countB))
        return "invalid input boundary channel index (" + w[3] + "), which should be >= " + u(fb) +
               " and < " + u(fb + countB) + ", or -1 for none.";
    if (output < firstP || output >= firstP + countP)
        return "invalid output property channel index (" + w[4] + "), which should be >= " + u(firstP) +
               " and < " + u(firstP + countP) + ".";
    const std::string inputName = sample.GetChanNameCStr(static_cast<int>(input));
    const std::string outputName = sample.GetChanNameCStr(static_cast<int>(output));
    if (inputName == outputName)
        return "Input channel (" + inputName + ") and output channel (" + outputName + ") must be different.";
    rec.inputChannel = inputName;
    rec.inputBound = noBound ? std::string() : sample.GetChanNameCStr(static_cast<int>(bound));
    rec.outputChannel = outputName;
    rec.inputIndices = {static_cast<std::int32_t>(input)};
    rec.boundIndices = {noBound ? -1 : static_cast<std::int32_t>(bound - fb)};
    rec.outputIndices = {static_cast<std::int32_t>(output - firstP)};

    LinkedClusterSettings& c = rec.cluster;
    const float threshold = ParseFloatArg(w[5]);
    // "nan" reads as a number: it must not pass as one inside the range.
    if (!(threshold >= 0.0f && threshold <= 1.0f)) return "Threshold must be a real number between [0, 1].";
    c.threshold = threshold;
    c.sortOrder = ParseUIntArg(w[6]) == 0 ? 1 : 0;
    const std::vector<std::string> filter = SplitArgumentList(w[7], ';');
    if (filter.size() != 3) return "Invalid filter format.";
    const unsigned kind = ParseUIntArg(filter[0]);
    c.sizeFilter = kind <= kLessEq ? static_cast<std::int32_t>(kind) : kNoFilter;
    const double low = std::trunc(ParseDoubleArg(filter[1])), high = std::trunc(ParseDoubleArg(filter[2]));
    if (c.sizeFilter == kBetween) {
        if (!(high > low)) return "Invalid values for filter range.";
        c.filterLow = low > 0 ? static_cast<std::uint64_t>(low) : 0;
        c.filterHigh = high > 0 ? static_cast<std::uint64_t>(high) : 0;
    } else if (c.sizeFilter == kGreatEq) {
        c.filterLow = low > 0 ? static_cast<std::uint64_t>(low) : 0;
    } else if (c.sizeFilter == kLessEq) {
        c.filterHigh = high > 0 ? static_cast<std::uint64_t>(high) : 0;
    }
    const auto& d = sample.GetDims();
    const char axes[3] = {'X', 'Y', 'Z'};
    const char* sides[3] = {"width", "height", "depth"};
    for (int a = 0; a < 3; ++a) {
        std::string e = ReadPlane(w[static_cast<std::size_t>(8 + a)], axes[a], sides[a],
                                  d[static_cast<std::size_t>(a)], c, a);
        if (!e.empty()) return e;
    }
    return {};
}

void SetupClusterAnalysis(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = SetupDocument(in, call);
    if (!doc) return;
    if (doc->GetSample().CountChansOfKind(ZunChan::kProperty) == 0) {
        in.Error(call, "no property channel found");
        return;
    }
    PropertyMethodSettings rec = SetupComputationState(*doc).NewRecord(kLinkedClusterAnalysis);
    const std::string error = ReadClusterAnalysis(call, *doc, rec);
    if (!error.empty()) {
        in.Error(call, error);
        return;
    }
    Model& model = doc->GetModel();
    model.PropertyMethods() = {rec};
    model.Jobs().property = true;
    model.SetState(kReady, false, nullptr);
    doc->SetModifiedFlag(true);
    in.Ok(call);
}

void SetupPlugin(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = SetupDocument(in, call);
    if (!doc) return;
    const auto& w = call.words;
    if (const std::string refused = CheckPathUse(w[2], PathUse::kReadFolder); !refused.empty()) {
        in.Error(call, refused);
        return;
    }
    bool enabled = false;
    std::vector<std::string> folders;
    in.Host().GetPluginPreferences(enabled, folders);
    std::vector<std::string> withFolder = folders;
    withFolder.push_back(w[2]);
    Model& model = doc->GetModel();
    std::vector<PluginRunEntry> list = model.PluginRunList();
    RefreshPluginRunList(list, withFolder);
    auto found =
        std::find_if(list.begin(), list.end(), [&](const PluginRunEntry& e) { return e.name == w[3]; });
    if (found == list.end()) {
        in.Error(call, "No plugin found (" + w[3] + " in " + w[2] + ")");
        return;
    }
    found->selected = true;
    found->parameters = w[4];
    model.SetPluginRunList(list);
    model.Jobs().plugins = true;
    in.Host().SetPluginPreferences(true, withFolder);
    doc->SetModifiedFlag(true);
    in.Ok(call);
}

// ---- the Setup Computation dialog and the method sheets

class SetupWindow : public RemoteCommandWindow {
public:
    explicit SetupWindow(CZunDoc& doc) : state(doc) {}
    int Kind() const override { return kRemoteSetupWindow; }
    void Refresh() override {
        if (shown) shown->Refresh();
    }
    SetupComputationState state;
    std::unique_ptr<RemoteShownWindow> shown;  // goes first: it shows the state
};

class SheetWindow : public RemoteCommandWindow {
public:
    explicit SheetWindow(std::unique_ptr<MethodSheet> s) : sheet(std::move(s)) {}
    int Kind() const override { return kRemoteSheetWindow; }
    void Refresh() override {
        if (shown) shown->Refresh();
    }
    std::unique_ptr<MethodSheet> sheet;
    std::unique_ptr<RemoteShownWindow> shown;  // goes first: it shows the sheet
};

// The Setup Computation dialog opened last, or null with the error replied.
SetupWindow* TopSetup(RemoteInterpreter& in, const RemoteCall& call) {
    if (!in.CheckCommandDocument(call, call.words[1])) return nullptr;
    RemoteCommandWindow* top = in.Server().TopCommandWindow();
    if (!top || top->Kind() != kRemoteSetupWindow) {
        in.Error(call, "No Setup Computation dialog found");
        return nullptr;
    }
    return static_cast<SetupWindow*>(top);
}

void SetupOpen(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = SetupDocument(in, call);
    if (!doc || !in.CheckCommandWindowRoom(call)) return;
    auto window = std::make_unique<SetupWindow>(*doc);
    window->state.SetJobs(doc->GetModel().Jobs());
    // Shown over the document's window.
    if (const std::unique_ptr<RemoteDocWindow> docWindow = in.Host().DocumentWindow(*doc))
        window->shown = docWindow->ShowSetupComputation(window->state);
    in.Server().PushCommandWindow(std::move(window));
    in.Ok(call);
}

void SetupClose(RemoteInterpreter& in, const RemoteCall& call) {
    SetupWindow* w = TopSetup(in, call);
    if (!w) return;
    CZunDoc& doc = w->state.Document();
    // The controller may have started since the dialog opened.
    if (!in.CheckDocumentIdle(call, doc)) return;
    JobFlags& jobs = doc.GetModel().Jobs();
    jobs.composition = w->state.jobs.composition;
    jobs.property = w->state.jobs.property;
    jobs.plugins = w->state.jobs.plugins;
    jobs.cluster = w->state.jobs.cluster;
    doc.GetModel().SetState(kReady, false, nullptr);
    in.Server().PopCommandWindow();
    in.Ok(call);
}

void SetupOpenComputation(RemoteInterpreter& in, const RemoteCall& call) {
    SetupWindow* w = TopSetup(in, call);
    if (!w) return;
    const bool on = ParseBoolArg(call.words[2]);
    w->state.SetCompositionJob(on);
    w->state.EnableCompositionControls(on);
    in.Ok(call);
}

void SetupOpenProperty(RemoteInterpreter& in, const RemoteCall& call) {
    SetupWindow* w = TopSetup(in, call);
    if (!w) return;
    const bool on = ParseBoolArg(call.words[2]);
    w->state.SetPropertyJob(on);
    w->state.EnablePropertyControls(on);
    in.Ok(call);
}

struct SheetNames {
    SheetKind kind;
    int step;
    int method;
    const char* name;
};

constexpr SheetNames kSheets[] = {
    {SheetKind::Segmentation, kStepSegmentation, kSetupSegmentation, "Discrete least-square segmentation"},
    {SheetKind::Nonlinear, kStepNonlinear, kSetupNonlinear, "Data-constrained non-linear optimization"},
    {SheetKind::Linear, kStepLinear, kSetupLinear, "Data-constrained linear optimization"},
};

void SheetOpen(RemoteInterpreter& in, const RemoteCall& call, const SheetNames& s) {
    SetupWindow* w = TopSetup(in, call);
    if (!w) return;
    CZunDoc& doc = w->state.Document();
    if (!in.CheckDocumentIdle(call, doc)) return;
    const std::int32_t flag = StepFlag(call.words[2]);
    Params& p = doc.GetModel().GetParams();
    p.stepFlags[s.step] = flag;
    w->state.methodChecked[s.method] = (flag & kStepEnabled) != 0;
    std::unique_ptr<MethodSheet> sheet = MakeMethodSheet(s.kind, p);
    if (!sheet) {
        in.Error(call, std::string("Could not create ") + s.name + " dialog");
        return;
    }
    // One sheet at a time: a sheet already open goes first.
    in.Server().SetSubWindow(nullptr);
    auto shown = std::make_unique<SheetWindow>(std::move(sheet));
    if (const std::unique_ptr<RemoteDocWindow> docWindow = in.Host().DocumentWindow(doc))
        shown->shown = docWindow->ShowMethodSheet(*shown->sheet);
    in.Server().SetSubWindow(std::move(shown));
    in.Ok(call);
}

void SheetClose(RemoteInterpreter& in, const RemoteCall& call, const SheetNames& s) {
    RemoteCommandWindow* sub = in.Server().SubWindow();
    RemoteCommandWindow* top = in.Server().TopCommandWindow();
    auto* sheet = sub && sub->Kind() == kRemoteSheetWindow ? static_cast<SheetWindow*>(sub) : nullptr;
    if (!in.CheckCommandDocument(call, call.words[1])) return;
    if (!top || top->Kind() != kRemoteSetupWindow || !sheet || sheet->sheet->Kind() != s.kind) {
        in.Error(call, std::string("No ") + s.name + " dialog found");
        return;
    }
    if (!in.CheckDocumentIdle(call, static_cast<SetupWindow*>(top)->state.Document())) return;
    // A sheet that stores nothing (its channels changed since it opened, or its General page
    // refuses what it holds) goes all the same, and the controller hears why.
    const bool stored = sheet->sheet->ApplyOrRevert() == 1;
    const std::string refused = stored ? std::string() : sheet->sheet->Message();
    in.Server().SetSubWindow(nullptr);
    if (!refused.empty()) {
        in.Error(call, refused);
        return;
    }
    in.Ok(call);
}

}  // namespace

void InstallSetupCommands(RemoteInterpreter& in) {
    in.SetHandler("setupcomp", SetupComp);
    in.SetHandler("setupcomp-open", SetupOpen);
    in.SetHandler("setupcomp-close", SetupClose);
    in.SetHandler("setupcomp-open-computation", SetupOpenComputation);
    in.SetHandler("setupcomp-open-property", SetupOpenProperty);
    in.SetHandler("setupcomp-setup-dlss", SetupSegmentation);
    in.SetHandler("setupcomp-setup-dnlo", SetupNonlinear);
    in.SetHandler("setupcomp-setup-dclo", SetupLinear);
    in.SetHandler("setupcomp-setup-lca", SetupClusterAnalysis);
    in.SetHandler("setupcomp-setup-plugin", SetupPlugin);
    const char* words[3][2] = {{"setupcomp-open-dlss-open", "setupcomp-open-dlss-close"},
                               {"setupcomp-open-dnlo-open", "setupcomp-open-dnlo-close"},
                               {"setupcomp-open-dclo-open", "setupcomp-open-dclo-close"}};
    for (int i = 0; i < 3; ++i) {
        const SheetNames& s = kSheets[i];
        in.SetHandler(words[i][0], [&s](RemoteInterpreter& r, const RemoteCall& c) { SheetOpen(r, c, s); });
        in.SetHandler(words[i][1], [&s](RemoteInterpreter& r, const RemoteCall& c) { SheetClose(r, c, s); });
    }
}

}  // namespace zun
