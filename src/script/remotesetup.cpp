// The remote commands of the computation set-up that act on the controller's parameter set
// directly: the job switches and the method parameters.
#include <string>
#include <vector>

#include "document/zundoc.h"
#include "script/remotecommands.h"
#include "script/remotehost.h"

namespace zun {

namespace {

constexpr std::int32_t kStepOn = kStepEnabled | kStepChanged;

std::int32_t StepFlag(const std::string& word) {
    return ParseBoolArg(word) ? kStepOn : kStepChanged;
}

CZunDoc* SetupDocument(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = in.CheckCommandDocument(call, call.words[1]);
    // The worker reads the parameter set for the whole run.
    if (!doc || !in.CheckNotComputing(call, *doc)) return nullptr;
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
bool ReadSelfEnergies(const std::string& word, std::vector<float>& table, int compositions) {
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
// shells count from `base`.
bool ReadInteractions(const std::string& word, Params::ShellTable& shells, int n, unsigned base) {
    std::vector<std::vector<std::string>> items;
    if (!ReadItems(word, 4, items)) return false;
    for (const auto& f : items) {
        const unsigned shell = ParseUIntArg(f[0]);
        const unsigned row = ParseUIntArg(f[1]), column = ParseUIntArg(f[2]);
        if (shell < base || shell - base >= shells.size() || row >= static_cast<unsigned>(n) ||
            column >= static_cast<unsigned>(n))
            return false;
        std::vector<float>& m = shells[shell - base];
        if (m.size() != static_cast<std::size_t>(n) * static_cast<std::size_t>(n))
            m = DefaultShellPlane(static_cast<int>(shell - base), n);
        m[row * static_cast<unsigned>(n) + column] = ParseFloatArg(f[3]);
    }
    return true;
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

void SetupNonlinear(RemoteInterpreter& in, const RemoteCall& call) {
    CZunDoc* doc = SetupDocument(in, call);
    if (!doc) return;
    const auto& w = call.words;
    Params& p = doc->GetModel().GetParams();
    const int n = doc->GetSample().CountChansOfKind(ZunChan::kComposition);
    p.gridSize = static_cast<std::int32_t>(ParseUIntArg(w[6]));
    p.libraryReal1 = static_cast<double>(ParseUIntArg(w[7]));
    p.libraryReal2 = ParseFloatArg(w[8]);
    p.nonlinearVoxelsPerThread = static_cast<std::int32_t>(ParseUIntArg(w[9]));
    p.nonlinearIterations = static_cast<float>(ParseUIntArg(w[12]));
    const bool matrix = ParseBoolArg(w[3]);
    p.nonlinearSearchMethods = matrix ? (ParseBoolArg(w[4]) ? 3 : 1) : 2;
    if (!ReadSelfEnergies(w[10], p.nonlinearSelfEnergy, n)) {
        in.Error(call, "Invalid Self energy data format (" + w[10] + ")");
        return;
    }
    p.nonlinearNeighbourRange = static_cast<std::int32_t>(ParseUIntArg(w[11]));
    if (!ReadInteractions(w[13], p.nonlinearInteractionEnergy, n, 0)) {
        in.Error(call, "Invalid interaction energy data format (" + w[13] + ")");
        return;
    }
    FinishMethod(in, call, *doc, kStepNonlinear);
}

}  // namespace

void InstallSetupCommands(RemoteInterpreter& in) {
    in.SetHandler("setupcomp", SetupComp);
    in.SetHandler("setupcomp-setup-dnlo", SetupNonlinear);
}

}  // namespace zun
