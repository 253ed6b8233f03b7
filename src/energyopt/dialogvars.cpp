#include "energyopt/dialogvars.h"

#include <algorithm>

#include "platform/runtimeclass.h"

namespace EnergyOpt {

const zun::ClassInfo DialogVars::classInfo{"DialogVars", 0, true, &zun::MakeSerializable<DialogVars>,
                                           &zun::Serializable::classSerializable};

namespace {

using zun::Archive;
using zun::ArchiveException;

int32_t ReadCount(Archive& ar) {
    int32_t n = 0;
    ar >> n;
    if (n < 0) throw ArchiveException(ArchiveException::generic, "Unexpected file format.");
    return n;
}

// Entries are appended one by one (never reserved from the stored count), so a damaged count
// meets the end of the data before it takes memory.
template <class T, class ReadOne>
void ReadList(Archive& ar, std::vector<T>& list, ReadOne readOne) {
    const int32_t n = ReadCount(ar);
    list.clear();
    for (int32_t i = 0; i < n; ++i) list.push_back(readOne());
}

void StoreNames(Archive& ar, const std::vector<std::string>& names) {
    ar << static_cast<int32_t>(names.size());
    for (const std::string& s : names) ar << s;
}

void LoadNames(Archive& ar, std::vector<std::string>& names) {
    ReadList(ar, names, [&] { return ar.ReadString(); });
}

void StoreEnergies(Archive& ar, const std::vector<TypedEnergy>& energies) {
    ar << static_cast<int32_t>(energies.size());
    for (const TypedEnergy& e : energies) ar << e.energy << e.type;
}

void LoadEnergies(Archive& ar, std::vector<TypedEnergy>& energies) {
    ReadList(ar, energies, [&] {
        TypedEnergy e;
        ar >> e.energy >> e.type;
        return e;
    });
}

void LoadMatrix(Archive& ar, zun::Matrix<float>& into) {
    std::unique_ptr<zun::Matrix<float>> m = ar.ReadOwnedObject<zun::Matrix<float>>();
    into = m ? *m : zun::Matrix<float>();
}

}  // namespace

DialogVars::DialogVars() : pages(kPageCount), beamDomains(kBeamDomainCount) {}

DialogVars& DialogVars::operator=(const DialogVars& other) {
    if (&other == this) return *this;
    compositionNames = other.compositionNames;
    pages.resize(other.pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        pages[i].noiseModel = other.pages[i].noiseModel;
        pages[i].targetMixtures = other.pages[i].targetMixtures;
    }
    maxIterations = other.maxIterations;
    beamDomains = other.beamDomains;
    optimisedEnergies = other.optimisedEnergies;
    evaluationEnergies = other.evaluationEnergies;
    metricCompositionNames = other.metricCompositionNames;
    metricMixtures = other.metricMixtures;
    metrics = other.metrics;
    return *this;
}

void DialogVars::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        ar << kVersionStamp << static_cast<int32_t>(pages.size());
        for (const PageSetting& p : pages) {
            ar << p.noiseModel;
            ar.WriteObject(&p.targetMixtures);
        }
        ar << maxIterations;
        ar.WriteObject(&metricMixtures);
        StoreNames(ar, compositionNames);
        ar << static_cast<int32_t>(beamDomains.size());
        for (const BeamDomainSetting& d : beamDomains) ar << d.energyCount << d.minEnergy << d.maxEnergy;
        StoreEnergies(ar, optimisedEnergies);
        StoreEnergies(ar, evaluationEnergies);
        StoreNames(ar, metricCompositionNames);
        ar << static_cast<int32_t>(metrics.size());
        for (const Metric& m : metrics) ar << m.sensitivity << m.bias;
        return;
    }

    uint32_t stamp = 0;
    ar >> stamp;  // no layout depends on it
    const int32_t pageCount = ReadCount(ar);
    // A record loaded over an older one must not keep the older pages the file lacks.
    std::vector<PageSetting> loaded(kPageCount);
    for (int32_t i = 0; i < pageCount; ++i) {
        PageSetting p;
        ar >> p.noiseModel;
        LoadMatrix(ar, p.targetMixtures);
        if (i < kPageCount) loaded[static_cast<std::size_t>(i)] = p;
    }
    pages = loaded;
    ar >> maxIterations;
    LoadMatrix(ar, metricMixtures);
    LoadNames(ar, compositionNames);
    std::vector<BeamDomainSetting> domains;
    ReadList(ar, domains, [&] {
        BeamDomainSetting d;
        ar >> d.energyCount >> d.minEnergy >> d.maxEnergy;
        return d;
    });
    domains.resize(kBeamDomainCount);
    beamDomains = domains;
    LoadEnergies(ar, optimisedEnergies);
    LoadEnergies(ar, evaluationEnergies);
    LoadNames(ar, metricCompositionNames);
    ReadList(ar, metrics, [&] {
        Metric m;
        ar >> m.sensitivity >> m.bias;
        return m;
    });
}

void RegisterEnergyOptClasses() {
    zun::ClassRegistry::Instance().Register(&DialogVars::classInfo);
}

}  // namespace EnergyOpt
