#include "compute/params.h"

#include <algorithm>

#include "model/channelrules.h"
#include "platform/prompt.h"

namespace zun {

ZUN_IMPLEMENT_SERIAL(Params, Serializable, 0)

namespace {

// Index remapping for an insertion (old k -> new k') and a deletion (new k' <- old k).
inline int AfterInsert(int k, int index) {
    return k >= index ? k + 1 : k;
}

template <class T>
void InsertAt(std::vector<T>& v, int index, const T& value) {
    if (index > static_cast<int>(v.size())) index = static_cast<int>(v.size());
    v.insert(v.begin() + index, value);
}

template <class T>
void EraseAt(std::vector<T>& v, int index) {
    if (index >= 0 && index < static_cast<int>(v.size())) v.erase(v.begin() + index);
}

// A square plane of origin.size() entries a side: entry (i, j) comes from entry (origin[i],
// origin[j]) of the old plane of oldN a side, or is the shell's default where either origin is -1
// or the old plane is not of that size.
std::vector<float> BuildPlane(const std::vector<float>& old, int oldN, const std::vector<int>& origin,
                              int shell) {
    const int n = static_cast<int>(origin.size());
    std::vector<float> out = DefaultShellPlane(shell, n);
    if (static_cast<std::size_t>(old.size()) != static_cast<std::size_t>(oldN) * oldN) return out;
    for (int i = 0; i < n; ++i) {
        if (origin[i] < 0) continue;
        const std::size_t from = static_cast<std::size_t>(origin[i]) * oldN;
        float* row = out.data() + static_cast<std::size_t>(i) * n;
        for (int j = 0; j < n; ++j)
            if (origin[j] >= 0) row[j] = old[from + origin[j]];
    }
    return out;
}

std::vector<int> IdentityOrigin(int n) {
    std::vector<int> origin(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) origin[i] = i;
    return origin;
}

// Matrices of rows x cols stored flat.
std::vector<float> MatrixDeleteColumn(const std::vector<float>& m, int rows, int cols, int col) {
    std::vector<float> out;
    out.reserve(static_cast<std::size_t>(rows) * (cols - 1));
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            if (c != col) out.push_back(m[r * cols + c]);
    return out;
}

template <class T>
void Put(Archive& ar, const std::vector<T>& v) {
    ar << static_cast<std::uint32_t>(v.size());
    for (const T& x : v) {
        if constexpr (std::is_same_v<T, bool>)
            ar << static_cast<bool>(x);
        else
            ar << x;
    }
}

template <class T>
std::vector<T> Get(Archive& ar) {
    std::uint32_t n = 0;
    ar >> n;
    std::vector<T> v;
    // Elements are read one by one so that a damaged count meets the end of the archive before
    // it can ask for a huge block.
    for (std::uint32_t i = 0; i < n; ++i) {
        T x{};
        ar >> x;
        v.push_back(x);
    }
    return v;
}

std::vector<bool> GetBools(Archive& ar) {
    std::vector<std::uint8_t> raw = Get<std::uint8_t>(ar);
    return std::vector<bool>(raw.begin(), raw.end());
}

void PutStrings(Archive& ar, const std::vector<std::string>& v) {
    ar << static_cast<std::uint32_t>(v.size());
    for (const auto& s : v) ar << s;
}

std::vector<std::string> GetStrings(Archive& ar) {
    std::uint32_t n = 0;
    ar >> n;
    std::vector<std::string> v;
    for (std::uint32_t i = 0; i < n; ++i) v.push_back(ar.ReadString());
    return v;
}

template <class Row>
void PutGrid(Archive& ar, const std::vector<Row>& g) {
    ar << static_cast<std::uint32_t>(g.size());
    for (const Row& r : g) Put(ar, r);
}

std::vector<std::vector<float>> GetFloatGrid(Archive& ar) {
    std::uint32_t n = 0;
    ar >> n;
    std::vector<std::vector<float>> g;
    for (std::uint32_t i = 0; i < n; ++i) g.push_back(Get<float>(ar));
    return g;
}

std::vector<std::vector<bool>> GetBoolGrid(Archive& ar) {
    std::uint32_t n = 0;
    ar >> n;
    std::vector<std::vector<bool>> g;
    for (std::uint32_t i = 0; i < n; ++i) g.push_back(GetBools(ar));
    return g;
}

void SkipIntGrid(Archive& ar) {
    std::uint32_t n = 0;
    ar >> n;
    for (std::uint32_t i = 0; i < n; ++i) Get<std::int32_t>(ar);
}

void PutCube(Archive& ar, const Params::ShellTable& t, int n) {
    bool absent = std::any_of(t.begin(), t.end(), [](const auto& p) { return p.empty(); });
    if (absent) {
        ar << std::uint32_t{0};
        return;
    }
    // A plane sized for other channels would be read past its end: the save fails instead, and
    // the file on disk stays as it was.
    for (const auto& plane : t)
        if (plane.size() != static_cast<std::size_t>(n) * n)
            throw ArchiveException(ArchiveException::generic,
                                   "Computation parameters: an interaction table does not fit the channels");
    ar << static_cast<std::uint32_t>(kShellCount);
    for (const auto& plane : t) {
        ar << static_cast<std::uint32_t>(n);
        for (int r = 0; r < n; ++r) {
            ar << static_cast<std::uint32_t>(n);
            for (int c = 0; c < n; ++c) ar << plane[r * n + c];
        }
    }
}

// Reads a cube; a plane whose rows are not square comes back empty and fails validation.
Params::ShellTable GetCube(Archive& ar) {
    Params::ShellTable t;
    std::uint32_t planes = 0;
    ar >> planes;
    for (std::uint32_t p = 0; p < planes; ++p) {
        auto grid = GetFloatGrid(ar);
        if (p >= kShellCount) continue;
        std::vector<float> flat;
        bool square = true;
        for (const auto& row : grid) {
            square = square && row.size() == grid.size();
            flat.insert(flat.end(), row.begin(), row.end());
        }
        t[p] = square ? std::move(flat) : std::vector<float>{};
    }
    if (planes != kShellCount) t = {};
    return t;
}

Params::ShellTable DefaultShells(int n, bool olderLinear) {
    Params::ShellTable t;
    for (int s = 0; s < kShellCount; ++s) {
        if (olderLinear) {
            t[s].assign(static_cast<std::size_t>(n) * n, 0.0f);
            for (int i = 0; i < n; ++i) t[s][i * n + i] = -1.0f / (s + 1);
        } else {
            t[s] = DefaultShellPlane(s, n);
        }
    }
    return t;
}

template <class Row, class V>
void FillRows(std::vector<Row>& rows, std::size_t width, V value) {
    rows.resize(kRowTableRows);
    for (auto& r : rows)
        if (r.empty()) r.assign(width, value);
}

}  // namespace

std::vector<float> DefaultShellPlane(int shell, int n) {
    std::vector<float> plane(static_cast<std::size_t>(n) * n, 0.0f);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            if (shell == 0)
                plane[i * n + j] = i == j ? 0.0f : 0.01f;
            else
                plane[i * n + j] = i == j ? -0.01f : 0.0f;
        }
    return plane;
}

Params::Params() = default;

void Params::Missing(const char* what) const {
    if (prompt_) prompt_->Tell(what, PromptIcon::Error);
}

void Params::MarkAllStepsChanged() {
    for (auto& f : stepFlags) f |= kStepChanged;
}

void Params::Initialise() {
    libraryList.clear();
    voxelPhysicalSize.assign(dimensionCount + 1, 1.0);
    voxelPhysicalSize[0] = 1e-6;
    ctChannelCount = 0;
    compositionCount = 0;
    ctBeamEnergy = {20.0f};
    ctDataSetWeights = {10.0f};
    ctAttenLow = {0.0f};
    ctAttenLowMeasured = {0.0f};
    ctAttenLowOffset = {0.0f};
    ctAttenHigh = {8.0f};
    ctAttenHighMeasured = {8.0f};
    ctAttenHighOffset = {0.0f};
    ctRelativeAccuracy = {0.0f};
    ctChannelUsed = {true};
    lacMatrix.assign(1, 0.0f);
    lpcMatrix.assign(1, 0.0f);
    defaultVolumeFractions.clear();
    volumeFractionAccuracy.clear();
    libraryOption6 = 1;
    rowCtFlagsA.assign(kRowTableRows, std::vector<bool>(1, true));
    rowCtFlagsB.assign(kRowTableRows, std::vector<bool>(1, true));
    rowCtValuesA.assign(kRowTableRows, std::vector<float>(1, 0.0f));
    rowCtValuesB.assign(kRowTableRows, std::vector<float>(1, 1.0f));
    rowCompFlags.assign(kRowTableRows, std::vector<bool>(1, true));
    rowCompValues.assign(kRowTableRows, std::vector<float>(1, 0.5f));
    compositionNames.clear();
    InsertComposition(0, "Void");
    ctChannelNames = {std::string()};
}

int Params::InsertComposition(int index, const std::string& name) {
    lastError = 0;
    const bool first = compositionNames.empty() && index == 0;
    const int oldCount = compositionCount;
    if (!first) compositionCount += 1;
    if (index < 0 || index > compositionCount) {
        compositionCount = oldCount;
        return lastError = 2;
    }
    MarkAllStepsChanged();
    structureChanged = true;
    ++channelLayout_;

    const int n = compositionCount + 1;  // entries per composition table now
    const int oldN = first ? 0 : n - 1;  // entries before
    const int ct = ctChannelCount;

    if (first) compositionNames.clear();
    InsertAt(compositionNames, index, name);

    std::vector<float> lac(static_cast<std::size_t>(ct + 1) * n, 0.0f);
    std::vector<float> lpc(lac.size(), 0.0f);
    const bool oldMatrices =
        lacMatrix.size() == static_cast<std::size_t>(ct + 1) * oldN && lpcMatrix.size() == lacMatrix.size();
    for (int r = 0; r <= ct; ++r) {
        for (int c = 0; c < oldN && oldMatrices; ++c) {
            lac[r * n + AfterInsert(c, index)] = lacMatrix[r * oldN + c];
            lpc[r * n + AfterInsert(c, index)] = lpcMatrix[r * oldN + c];
        }
        lac[r * n + index] = (r == 0 || index == 0) ? (r == 0 ? 1.0f : 0.0f) : 6.0f;
        lpc[r * n + index] = 0.0f;
    }
    for (int c = 0; c < n; ++c) {
        lac[c] = 1.0f;
        lpc[c] = 0.0f;
    }
    lacMatrix = std::move(lac);
    lpcMatrix = std::move(lpc);

    for (auto* v : {&linearObjectiveWeights, &nonlinearSelfEnergy, &dlsSelfEnergy}) {
        if (static_cast<int>(v->size()) != oldN) v->assign(oldN, 0.0f);
        InsertAt(*v, index, 0.0f);
    }
    if (PlanesHeld()) {
        heldOrigin_.insert(heldOrigin_.begin() + std::min<std::size_t>(index, heldOrigin_.size()), -1);
    } else {
        std::vector<int> origin = IdentityOrigin(oldN);
        origin.insert(origin.begin() + index, -1);
        for (auto* t : {&linearInteractionEnergy, &nonlinearInteractionEnergy, &dlsInterfacialEnergy})
            for (int s = 0; s < kShellCount; ++s) {
                (*t)[s] = BuildPlane((*t)[s], oldN, origin, s);
                ++planeBuilds_;
            }
    }

    for (auto* g : {&dlsZeroOffset, &dlsMultiplier}) {
        const float fill = g == &dlsMultiplier ? 1.0f : 0.0f;
        FloatRows rows(n, std::vector<float>(ct + 1, fill));
        for (int r = 0; r < oldN && r < static_cast<int>(g->size()); ++r)
            if ((*g)[r].size() == static_cast<std::size_t>(ct + 1)) rows[AfterInsert(r, index)] = (*g)[r];
        *g = std::move(rows);
    }
    for (auto& row : rowCompFlags) {
        if (static_cast<int>(row.size()) != oldN) row.assign(oldN, true);
        row.insert(row.begin() + index, true);
    }
    for (auto& row : rowCompValues) {
        if (static_cast<int>(row.size()) != oldN) row.assign(oldN, 0.5f);
        InsertAt(row, index, 0.5f);
    }
    defaultVolumeFractions.assign(n, 1.0f / n);
    volumeFractionAccuracy.assign(n, 0.0f);
    return 0;
}

int Params::DeleteComposition(int index) {
    lastError = 0;
    if (index <= 0 || index > compositionCount || compositionCount == 0) return lastError = 2;
    const int oldN = compositionCount + 1;
    const int ct = ctChannelCount;
    compositionCount -= 1;
    MarkAllStepsChanged();
    structureChanged = true;
    ++channelLayout_;

    auto present = [&](std::size_t size, std::size_t want, const char* text) {
        if (size == want) return true;
        Missing(text);
        return false;
    };
    if (present(compositionNames.size(), oldN,
                "Internal logic error - delete before insert names of compositions"))
        EraseAt(compositionNames, index);
    const std::size_t matrixSize = static_cast<std::size_t>(ct + 1) * oldN;
    for (auto* m : {&lacMatrix, &lpcMatrix})
        if (present(m->size(), matrixSize,
                    "Internal logic error - delete before insert linear-attenuation coeffs"))
            *m = MatrixDeleteColumn(*m, ct + 1, oldN, index);
    if (present(linearObjectiveWeights.size(), oldN,
                "Internal logic error - delete before insert user-defined weight vector for linear "
                "optimisation objective function"))
        EraseAt(linearObjectiveWeights, index);
    if (present(nonlinearSelfEnergy.size(), oldN, "Internal logic error - delete before insert self-energy"))
        EraseAt(nonlinearSelfEnergy, index);
    if (PlanesHeld()) {
        EraseAt(heldOrigin_, index);
    } else {
        std::vector<int> origin = IdentityOrigin(oldN);
        origin.erase(origin.begin() + index);
        auto square = [&](const Params::ShellTable& t) {
            return std::all_of(t.begin(), t.end(),
                               [&](const auto& p) { return p.size() == std::size_t(oldN) * oldN; });
        };
        for (auto* t : {&linearInteractionEnergy, &nonlinearInteractionEnergy, &dlsInterfacialEnergy}) {
            if (!square(*t)) {
                Missing(t == &dlsInterfacialEnergy
                            ? "Internal logic error - delete before insert DLSF interfacial energy"
                            : "Internal logic error - delete before insert interaction energy");
                continue;
            }
            for (int s = 0; s < kShellCount; ++s) {
                (*t)[s] = BuildPlane((*t)[s], oldN, origin, s);
                ++planeBuilds_;
            }
        }
    }
    if (present(dlsSelfEnergy.size(), oldN, "Internal logic error - delete before insert DLSF self-energy"))
        EraseAt(dlsSelfEnergy, index);
    EraseAt(dlsZeroOffset, index);
    EraseAt(dlsMultiplier, index);
    for (auto& row : rowCompFlags) EraseAt(row, index);
    for (auto& row : rowCompValues) EraseAt(row, index);
    if (present(defaultVolumeFractions.size(), oldN,
                "Internal logic error - delete before insert user-defined default volume fractons"))
        EraseAt(defaultVolumeFractions, index);
    if (present(volumeFractionAccuracy.size(), oldN,
                "Internal logic error - delete before insert user-defined relative accuracy for volume "
                "fraction calculations"))
        EraseAt(volumeFractionAccuracy, index);
    return 0;
}

void Params::HoldPlanes() {
    if (planeHolds_++ > 0) return;
    heldSide_ = compositionNames.empty() ? 0 : compositionCount + 1;
    heldOrigin_ = IdentityOrigin(heldSide_);
}

void Params::ReleasePlanes() {
    if (planeHolds_ == 0) return;
    if (planeHolds_ > 1) {
        --planeHolds_;
        return;
    }
    // Every plane is built before any is replaced: a refusal of memory changes nothing.
    std::array<ShellTable, 3> built;
    Params::ShellTable* tables[3] = {&linearInteractionEnergy, &nonlinearInteractionEnergy,
                                     &dlsInterfacialEnergy};
    for (int t = 0; t < 3; ++t)
        for (int s = 0; s < kShellCount; ++s) {
            built[t][s] = BuildPlane((*tables[t])[s], heldSide_, heldOrigin_, s);
            ++planeBuilds_;
        }
    for (int t = 0; t < 3; ++t) *tables[t] = std::move(built[t]);
    planeHolds_ = 0;
    heldOrigin_.clear();
}

Params::PlaneHold::~PlaneHold() {
    if (!held_) return;
    try {
        p_.ReleasePlanes();
    } catch (...) {
        // Planes of no size are rebuilt with their defaults by the next insertion.
        for (auto* t :
             {&p_.linearInteractionEnergy, &p_.nonlinearInteractionEnergy, &p_.dlsInterfacialEnergy})
            for (auto& plane : *t) std::vector<float>().swap(plane);
        p_.planeHolds_ = 0;
        p_.heldOrigin_.clear();
    }
}

void Params::PlaneHold::Release() {
    if (!held_) return;
    p_.ReleasePlanes();
    held_ = false;
}

int Params::InsertTomoChannel(int index, const std::string& name) {
    if (index <= 0 || index > ctChannelCount + 1) return 1;
    const int n = compositionCount + 1;
    const int oldCt = ctChannelCount;
    ctChannelCount += 1;
    structureChanged = true;
    ++channelLayout_;
    MarkAllStepsChanged();

    if (ctChannelNames.empty()) ctChannelNames.assign(1, std::string());
    InsertAt(ctChannelNames, index, name);
    for (auto* v : {&ctDataSetWeights, &ctAttenLow, &ctAttenLowMeasured, &ctAttenLowOffset, &ctAttenHigh,
                    &ctAttenHighMeasured, &ctAttenHighOffset, &ctBeamEnergy, &ctRelativeAccuracy}) {
        float slot0 = v->empty() ? 0.0f : (*v)[0];
        InsertAt(*v, index, slot0);
    }
    std::vector<float> lac(static_cast<std::size_t>(ctChannelCount + 1) * n, 0.0f);
    std::vector<float> lpc(lac.size(), 0.0f);
    const bool oldMatrices =
        lacMatrix.size() == static_cast<std::size_t>(oldCt + 1) * n && lpcMatrix.size() == lacMatrix.size();
    for (int r = 1; r <= oldCt && oldMatrices; ++r)
        for (int c = 0; c < n; ++c) {
            lac[AfterInsert(r, index) * n + c] = lacMatrix[r * n + c];
            lpc[AfterInsert(r, index) * n + c] = lpcMatrix[r * n + c];
        }
    for (int c = 0; c < n; ++c) {
        lac[c] = 1.0f;
        lac[index * n + c] = c == 0 ? 0.0f : 6.0f;
    }
    lacMatrix = std::move(lac);
    lpcMatrix = std::move(lpc);
    for (auto& row : dlsZeroOffset) InsertAt(row, index, 0.0f);
    for (auto& row : dlsMultiplier) InsertAt(row, index, 1.0f);
    ctChannelUsed.insert(ctChannelUsed.begin() + std::min<std::size_t>(index, ctChannelUsed.size()), true);
    for (auto& row : rowCtFlagsA) row.insert(row.begin() + std::min<std::size_t>(index, row.size()), true);
    for (auto& row : rowCtFlagsB) row.insert(row.begin() + std::min<std::size_t>(index, row.size()), true);
    for (auto& row : rowCtValuesA) InsertAt(row, index, 0.0f);
    for (auto& row : rowCtValuesB) InsertAt(row, index, 1.0f);
    return 0;
}

int Params::DeleteTomoChannel(int index) {
    if (ctChannelCount == 0 || index <= 0 || index > ctChannelCount) return 1;
    ++channelLayout_;
    const int n = compositionCount + 1;
    const int oldCt = ctChannelCount;
    ctChannelCount -= 1;
    for (auto* v : {&ctDataSetWeights, &ctAttenLow, &ctAttenLowMeasured, &ctAttenLowOffset, &ctAttenHigh,
                    &ctAttenHighMeasured, &ctAttenHighOffset, &ctBeamEnergy, &ctRelativeAccuracy})
        EraseAt(*v, index);
    for (auto* m : {&lacMatrix, &lpcMatrix})
        if (m->size() == static_cast<std::size_t>(oldCt + 1) * n)
            m->erase(m->begin() + static_cast<std::ptrdiff_t>(index) * n,
                     m->begin() + static_cast<std::ptrdiff_t>(index + 1) * n);
    for (auto& row : dlsZeroOffset) EraseAt(row, index);
    for (auto& row : dlsMultiplier) EraseAt(row, index);
    if (index < static_cast<int>(ctChannelUsed.size())) ctChannelUsed.erase(ctChannelUsed.begin() + index);
    for (auto* rows : {&rowCtFlagsA, &rowCtFlagsB})
        for (auto& row : *rows)
            if (index < static_cast<int>(row.size())) row.erase(row.begin() + index);
    for (auto* rows : {&rowCtValuesA, &rowCtValuesB})
        for (auto& row : *rows) EraseAt(row, index);
    // The name table always follows the count, so a saved set never holds a stale name.
    if (ctChannelNames.size() == static_cast<std::size_t>(oldCt + 1))
        EraseAt(ctChannelNames, index);
    else
        Missing("Internal logic error - delete before insert names of tomo channels");
    if (ctChannelCount > 0) {
        structureChanged = true;
        MarkAllStepsChanged();
    }
    return 0;
}

int Params::SetTomoChannelName(int index, const std::string& name) {
    if (index <= 0 || index > ctChannelCount || index >= static_cast<int>(ctChannelNames.size()))
        return lastError = 2;
    ctChannelNames[index] = name;
    return lastError = 0;
}

// ---------------------------------------------------------------------------------------------
// Archive

void Params::Serialize(Archive& ar) {
    if (ar.IsStoring())
        Store(ar);
    else
        Load(ar);
}

void Params::Store(Archive& ar) const {
    const int n = compositionCount + 1;
    ar << kVersion << dimensionCount << compositionCount << ctChannelCount;
    PutStrings(ar, compositionNames);
    PutStrings(ar, ctChannelNames);
    ar << sampleSize[0] << sampleSize[1] << sampleSize[2] << voxelCount;
    Put(ar, voxelPhysicalSize);
    ar << nonlinearQ << nonlinearMaxExpValue << gridSize << nonlinearSearchMethods << attenuationErrorExponent
       << interactionExponent << linearIterations << nonlinearIterations << randomSeed << libraryOption4
       << libraryOption5;
    Put(ar, libraryList);
    ar << nonlinearVoxelsPerThread << linearVoxelsPerThread << maxErrorReports << libraryFloat4
       << structureChanged << nonlinearNeighbourRange << interactWithPreviousState << minimiseSelfEnergy;
    Put(ar, linearObjectiveWeights);
    ar << minimiseCtError << linearNeighbourRange;
    Put(ar, nonlinearSelfEnergy);
    PutCube(ar, nonlinearInteractionEnergy, n);
    PutCube(ar, linearInteractionEnergy, n);
    ar << dlsNeighbourRange;
    Put(ar, dlsSelfEnergy);
    PutCube(ar, dlsInterfacialEnergy, n);
    for (auto* v : {&ctBeamEnergy, &ctDataSetWeights, &ctAttenLow, &ctAttenLowMeasured, &ctAttenLowOffset,
                    &ctAttenHigh, &ctAttenHighMeasured, &ctAttenHighOffset, &ctRelativeAccuracy, &lacMatrix,
                    &lpcMatrix, &defaultVolumeFractions, &volumeFractionAccuracy})
        Put(ar, *v);
    PutGrid(ar, dlsZeroOffset);
    PutGrid(ar, dlsMultiplier);
    Put(ar, ctChannelUsed);
    for (auto f : stepFlags) ar << f;
    for (auto o : stepOrders) ar << o;
    ar << firstOrder << lastOrder << libraryOption6;
    PutGrid(ar, rowCtFlagsA);
    PutGrid(ar, rowCtFlagsB);
    PutGrid(ar, rowCtValuesA);
    PutGrid(ar, rowCtValuesB);
    PutGrid(ar, rowCompFlags);
    PutGrid(ar, rowCompValues);
}

void Params::Load(Archive& ar) {
    std::uint32_t v = 0;
    ar >> v >> dimensionCount >> compositionCount >> ctChannelCount;
    if (compositionCount < 0 || ctChannelCount < 0 || dimensionCount < 1 || dimensionCount > 3)
        throw ArchiveException(ArchiveException::generic, "Computation parameters: invalid channel counts");
    // Checked before a table is read: the planes grow with the square of the compositions.
    if (std::string why = CheckChannelCount(static_cast<std::size_t>(compositionCount) + 1 + ctChannelCount);
        !why.empty())
        throw ArchiveException(ArchiveException::generic, "Computation parameters: " + why);
    const int n = compositionCount + 1;
    const int ct1 = ctChannelCount + 1;
    compositionNames = GetStrings(ar);
    ctChannelNames = GetStrings(ar);
    ar >> sampleSize[0] >> sampleSize[1] >> sampleSize[2];
    if (v < 349) {
        std::int32_t c = 0;
        ar >> c;
        voxelCount = c;
    } else {
        ar >> voxelCount;
    }
    if (v >= 1967) {
        voxelPhysicalSize = Get<double>(ar);
    } else {
        voxelPhysicalSize.assign(dimensionCount + 1, 1.0);
        voxelPhysicalSize[0] = 1e-6;
    }
    if (v >= 297) ar >> nonlinearQ;
    if (v >= 300) {
        ar >> nonlinearMaxExpValue >> gridSize >> nonlinearSearchMethods;
        if (v < 1256) nonlinearSearchMethods += 1;
    }
    if (v >= 913) ar >> attenuationErrorExponent >> interactionExponent;
    if (v >= 1027 && v <= 1065) {
        std::uint32_t obsolete;
        ar >> obsolete;
    }
    if (v >= 1217)
        ar >> linearIterations;
    else
        linearIterations = 10;
    ar >> nonlinearIterations;
    if (v >= 254) ar >> randomSeed;
    if (v >= 349) {
        ar >> libraryOption4 >> libraryOption5;
        libraryList = Get<std::uint32_t>(ar);
    }
    if (v < 226) {
        std::uint32_t obsolete;
        ar >> obsolete;
    }
    ar >> nonlinearVoxelsPerThread;
    if (v >= 1406) ar >> linearVoxelsPerThread;
    ar >> maxErrorReports >> libraryFloat4 >> structureChanged >> nonlinearNeighbourRange;
    if (v >= 1158) {
        ar >> interactWithPreviousState >> minimiseSelfEnergy;
        linearObjectiveWeights = Get<float>(ar);
    } else {
        interactWithPreviousState = true;
        minimiseSelfEnergy = false;
        linearObjectiveWeights.assign(n, 0.0f);
    }
    if (v >= 1217)
        ar >> minimiseCtError >> linearNeighbourRange;
    else {
        minimiseCtError = false;
        linearNeighbourRange = 0;
    }
    LoadEnergies(ar, v);
    LoadCtTables(ar, v);
    for (auto& f : stepFlags) ar >> f;
    for (auto& o : stepOrders) ar >> o;
    ar >> firstOrder >> lastOrder >> libraryOption6;
    rowCtFlagsA = GetBoolGrid(ar);
    rowCtFlagsB = GetBoolGrid(ar);
    rowCtValuesA = GetFloatGrid(ar);
    rowCtValuesB = GetFloatGrid(ar);
    rowCompFlags = GetBoolGrid(ar);
    rowCompValues = GetFloatGrid(ar);

    // Absent energy vectors mean no energy; missing rows of the row tables (which nothing reads)
    // get their defaults. Everything else must match the counts.
    for (auto* e : {&linearObjectiveWeights, &nonlinearSelfEnergy, &dlsSelfEnergy})
        if (e->empty()) e->assign(n, 0.0f);
    FillRows(rowCtFlagsA, ct1, true);
    FillRows(rowCtFlagsB, ct1, true);
    FillRows(rowCtValuesA, ct1, 0.0f);
    FillRows(rowCtValuesB, ct1, 1.0f);
    FillRows(rowCompFlags, n, true);
    FillRows(rowCompValues, n, 0.5f);
    libraryReal1 = 1.0;
    libraryReal2 = 1.0;
    libraryReal3 = 100.0;
    linearIterationsUsed = 1;
    lastError = 0;
    setupChanged = false;
    Validate();
}

// The energies of the optimisations and the segmentation, with their substitutes for older files.
void Params::LoadEnergies(Archive& ar, std::uint32_t v) {
    const int n = compositionCount + 1;
    nonlinearSelfEnergy = Get<float>(ar);
    if (v < 226) {
        Get<float>(ar);
        Get<float>(ar);
        for (int i = 0; i < 3; ++i) GetFloatGrid(ar);
        Get<float>(ar);
        for (int i = 0; i < 3; ++i) GetFloatGrid(ar);
        SkipIntGrid(ar);
    }
    nonlinearInteractionEnergy = v >= 226 ? GetCube(ar) : DefaultShells(n, false);
    linearInteractionEnergy = v >= 1217 ? GetCube(ar) : DefaultShells(n, true);
    if (v >= 1048) {
        ar >> dlsNeighbourRange;
        if (v < 1066) {
            std::uint32_t obsolete;
            ar >> obsolete;
        }
        dlsSelfEnergy = Get<float>(ar);
        dlsInterfacialEnergy = GetCube(ar);
    } else {
        dlsSelfEnergy.assign(n, 0.0f);
        dlsInterfacialEnergy = DefaultShells(n, false);
    }
}

// The per-CT tables, the matrices and the segmentation tables.
void Params::LoadCtTables(Archive& ar, std::uint32_t v) {
    const int n = compositionCount + 1;
    const int ct1 = ctChannelCount + 1;
    ctBeamEnergy = Get<float>(ar);
    ctDataSetWeights = v >= 1217 ? Get<float>(ar) : std::vector<float>(ct1, 10.0f);
    ctAttenLow = Get<float>(ar);
    if (v >= 723) {
        ctAttenLowMeasured = Get<float>(ar);
        ctAttenLowOffset = Get<float>(ar);
    } else {
        ctAttenLowMeasured = ctAttenLow;
        ctAttenLowOffset.assign(ctAttenLow.size(), 0.0f);
    }
    ctAttenHigh = Get<float>(ar);
    if (v >= 723) {
        ctAttenHighMeasured = Get<float>(ar);
        ctAttenHighOffset = Get<float>(ar);
    } else {
        ctAttenHighMeasured = ctAttenHigh;
        ctAttenHighOffset.assign(ctAttenHigh.size(), 0.0f);
    }
    ctRelativeAccuracy = Get<float>(ar);
    lacMatrix = Get<float>(ar);
    lpcMatrix = Get<float>(ar);
    if (v < 226) GetFloatGrid(ar);
    defaultVolumeFractions = Get<float>(ar);
    volumeFractionAccuracy = Get<float>(ar);
    if (v >= 888) {
        dlsZeroOffset = GetFloatGrid(ar);
        dlsMultiplier = GetFloatGrid(ar);
    } else {
        dlsZeroOffset.assign(n, std::vector<float>(ct1, 0.0f));
        dlsMultiplier.assign(n, std::vector<float>(ct1, 1.0f));
    }
    ctChannelUsed = v >= 892 ? GetBools(ar) : std::vector<bool>(ct1, true);
}

void Params::Validate() const {
    const std::size_t n = compositionCount + 1;
    const std::size_t ct1 = ctChannelCount + 1;
    auto fail = [](const char* what) {
        throw ArchiveException(ArchiveException::generic,
                               std::string("Computation parameters: table size does not match: ") + what);
    };
    if (compositionNames.size() != n) fail("compositionNames");
    if (ctChannelNames.size() != ct1) fail("ctChannelNames");
    if (voxelPhysicalSize.size() != static_cast<std::size_t>(dimensionCount) + 1) fail("voxelPhysicalSize");
    for (auto* e : {&linearObjectiveWeights, &nonlinearSelfEnergy, &dlsSelfEnergy})
        if (e->size() != n) fail("composition energies");
    for (auto* t : {&linearInteractionEnergy, &nonlinearInteractionEnergy, &dlsInterfacialEnergy})
        for (const auto& plane : *t)
            if (plane.size() != n * n) fail("interaction energies");
    for (auto* c : {&ctBeamEnergy, &ctDataSetWeights, &ctAttenLow, &ctAttenLowMeasured, &ctAttenLowOffset,
                    &ctAttenHigh, &ctAttenHighMeasured, &ctAttenHighOffset, &ctRelativeAccuracy})
        if (c->size() != ct1) fail("CT tables");
    if (ctChannelUsed.size() != ct1) fail("ctChannelUsed");
    if (lacMatrix.size() != n * ct1 || lpcMatrix.size() != n * ct1) fail("attenuation matrices");
    for (auto* f : {&defaultVolumeFractions, &volumeFractionAccuracy})
        if (!f->empty() && f->size() != n) fail("volume fraction tables");
    for (auto* g : {&dlsZeroOffset, &dlsMultiplier}) {
        if (g->size() != n) fail("segmentation tables");
        for (const auto& row : *g)
            if (row.size() != ct1) fail("segmentation tables");
    }
    auto rows = [&](const auto& table, std::size_t width) {
        if (table.size() != kRowTableRows) fail("row tables");
        for (const auto& row : table)
            if (row.size() != width) fail("row tables");
    };
    rows(rowCtFlagsA, ct1);
    rows(rowCtFlagsB, ct1);
    rows(rowCtValuesA, ct1);
    rows(rowCtValuesB, ct1);
    rows(rowCompFlags, n);
    rows(rowCompValues, n);
}

// ---------------------------------------------------------------------------------------------
// Computation set-up

SetupChoice CurrentSetupChoice(const Params& p) {
    SetupChoice c;
    for (int k = 0; k < 3; ++k) {
        c.enabled[k] = (p.stepFlags[kSetupSteps[k]] & kStepEnabled) != 0;
        c.order[k] = p.stepOrders[kSetupSteps[k]];
    }
    c.randomSeed = p.randomSeed;
    c.maxErrorReports = p.maxErrorReports;
    return c;
}

bool ApplySetupChoice(Params& p, const SetupChoice& choice) {
    bool any = false;
    bool changedStep[kStepCount] = {};
    std::int32_t smallestChanged = 0;
    bool haveChanged = false;
    for (int k = 0; k < 3; ++k) {
        const int s = kSetupSteps[k];
        const std::int32_t n = choice.order[k];
        p.firstOrder = std::min(p.firstOrder, n);
        p.lastOrder = std::max(p.lastOrder, n);
        const bool wasEnabled = (p.stepFlags[s] & kStepEnabled) != 0;
        if (wasEnabled != choice.enabled[k] || p.stepOrders[s] != n) {
            changedStep[s] = true;
            smallestChanged = haveChanged ? std::min(smallestChanged, n) : n;
            haveChanged = true;
        }
        p.stepOrders[s] = n;
        p.stepFlags[s] =
            choice.enabled[k] ? (p.stepFlags[s] | kStepEnabled) : (p.stepFlags[s] & ~kStepEnabled);
    }
    if (haveChanged) {
        any = true;
        for (int s = 0; s < kStepCount; ++s)
            if (changedStep[s] || p.stepOrders[s] > smallestChanged) p.stepFlags[s] |= kStepChanged;
    }
    if (p.randomSeed != choice.randomSeed || p.maxErrorReports != choice.maxErrorReports) any = true;
    p.randomSeed = choice.randomSeed;
    p.maxErrorReports = choice.maxErrorReports;
    if (any) {
        p.MarkAllStepsChanged();
        p.setupChanged = true;
    }
    return any;
}

}  // namespace zun
