#include "document/docsettings.h"

#include <algorithm>

#include "foundation/voxeltypes.h"
#include "platform/archive.h"

namespace zun {

void CompoundTextSettings::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        SerializeCountedVector(ar, energies);
        ar << normalisation << normalisationSeries << showWavelength << attenuationKind << beta << delta
           << quantityMask << normalisationEnergy << penetrationDepth << transmissionRatio << markEdges
           << tableFormat << mu << phi;
    } else {
        SerializeCountedVector(ar, energies);
        ar >> normalisation >> normalisationSeries >> showWavelength >> attenuationKind >> beta >> delta >>
            quantityMask >> normalisationEnergy >> penetrationDepth >> transmissionRatio >> markEdges >>
            tableFormat >> mu >> phi;
    }
    SerializeCountedVector(ar, matrixEnergies);
}

void DocSettings::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        ar << loggingEnabled << clearLogOnStart << viewLog << saveAfterComputation << exitAfterComputation;
        ar << attenuationMethod << coefficientKind << notes;
        ar << static_cast<std::int32_t>(devices.size());
        for (const ComputeDeviceEntry& d : devices) ar << d.name << d.threadCount;
    } else {
        ar >> loggingEnabled >> clearLogOnStart >> viewLog >> saveAfterComputation >> exitAfterComputation;
        ar >> attenuationMethod >> coefficientKind >> notes;
        std::int32_t n = 0;
        ar >> n;
        if (n < 0) throw ArchiveException(ArchiveException::generic, "negative device count");
        devices.clear();
        for (std::int32_t i = 0; i < n; ++i) {
            ComputeDeviceEntry d;
            ar >> d.name >> d.threadCount;  // a damaged count ends at the end of the file
            devices.push_back(std::move(d));
        }
        // A damaged count would make a computation start hundreds of thousands of threads.
        BoundDeviceThreads(devices);
        if (!saveAfterComputation) exitAfterComputation = false;
    }
    compoundText.Serialize(ar);
}

int MaxSelectionThreads() {
    return std::max(kThreadsPerProcessor * std::max(VoxelThreadCount(), 1), kMinSelectionThreads);
}

bool BoundDeviceThreads(std::vector<ComputeDeviceEntry>& devices) {
    int left = MaxSelectionThreads();
    bool changed = false;
    for (ComputeDeviceEntry& d : devices) {
        // -1 asks for the device's default, which is one or two threads.
        const int asked = d.threadCount == -1 ? 2 : std::max(d.threadCount, 0);
        if (asked > left) {
            d.threadCount = left;
            changed = true;
        }
        left -= std::min(asked, left);
    }
    return changed;
}

bool SameDevices(const std::vector<ComputeDeviceEntry>& a, const std::vector<ComputeDeviceEntry>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].threadCount != b[i].threadCount) return false;
    return true;
}

void ViewRecord::Serialize(Archive& ar, std::int32_t v) {
    if (ar.IsStoring()) {
        std::int32_t mode = renderMode >= 0 && renderMode <= 4 ? renderMode : 0;
        ar << background << axesShown << boundingBoxFlags << angle << axisX << axisY << axisZ << distance
           << radius;
        ar << eyeSeparation << eyeSwap << mode << reserved << isoValue << stereoMode << sampleDensity
           << (mode == 4) << greyRed << greyGreen << greyBlue << splitHorizontal << splitVertical
           << alphaFunction << transparency;
        return;
    }
    std::int32_t i32 = 0;
    bool flag = false;
    if (v < 2198) ar >> i32;
    ar >> background >> axesShown;
    if (v < 2198) {
        ar >> flag;
        boundingBoxFlags = flag ? 4 : 2;
    } else {
        ar >> boundingBoxFlags;
    }
    if (v < 926) ar >> flag;
    loadedVersion = std::max<std::int32_t>(v, 1);
    cameraRestored = false;
    if (v > 762) {
        ar >> angle >> axisX >> axisY >> axisZ;
        cameraRestored = true;
    }
    if (v > 1056) ar >> distance;
    if (v > 2175) ar >> radius;
    if (HasRenderFields()) {
        ar >> eyeSeparation >> eyeSwap >> renderMode >> reserved >> isoValue;
        if (renderMode < 0 || renderMode > 4) renderMode = 0;
    }
    if (HasStereoFields()) {
        ar >> stereoMode >> sampleDensity >> flag >> greyRed >> greyGreen >> greyBlue;
        if (stereoMode < 0 || stereoMode > 6) stereoMode = 2;
    }
    if (HasSplitFields()) ar >> splitHorizontal >> splitVertical;
    if (HasOpacityFields()) ar >> alphaFunction >> transparency;
}

}  // namespace zun
