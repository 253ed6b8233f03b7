#pragma once
// The document's own settings and the per-window records it stores after them.

#include <cstdint>
#include <string>
#include <vector>

#include "compute/devices.h"
#include "document/dispspec.h"

namespace zun {

class Archive;

// Settings of the X-ray attenuation window; the document keeps one copy in its file.
struct CompoundTextSettings {
    std::vector<float> energies;
    std::int32_t normalisation = 0;  // 0 none, 1 to an energy, 2 to a series
    float normalisationEnergy = 10.0f;
    std::string normalisationSeries;
    bool penetrationDepth = false;
    float transmissionRatio = 50.0f;
    bool markEdges = false;
    bool showWavelength = false;
    std::int32_t attenuationKind = 0;  // 0 linear, 1 mass
    bool mu = true, beta = false, phi = false, delta = false;
    std::int32_t quantityMask = 1;
    std::string tableFormat = "10g";
    std::vector<double> matrixEnergies;

    bool operator==(const CompoundTextSettings&) const = default;
    void Serialize(Archive& ar);
};

// The options and settings stored between the log and the energy-optimisation record.
struct DocSettings {
    bool loggingEnabled = true;
    bool clearLogOnStart = false;
    bool viewLog = false;
    bool saveAfterComputation = false;
    bool exitAfterComputation = false;
    std::int32_t attenuationMethod = 1;  // 0 mucal, 1 TLAC/TRC, 2 NIST, 3 Extended
    std::int32_t coefficientKind = 0;    // 0 total, 1 photoelectric
    std::string notes;                   // LF line ends
    std::vector<ComputeDeviceEntry> devices;
    CompoundTextSettings compoundText;

    void Serialize(Archive& ar);
};

bool SameDevices(const std::vector<ComputeDeviceEntry>& a, const std::vector<ComputeDeviceEntry>& b);

// The most threads a device selection may ask for in all: kThreadsPerProcessor for each processor
// of this machine, and never fewer than kMinSelectionThreads. A computation starts every thread of
// the selection at once, and the document's own voxel loops take its total as well.
inline constexpr int kThreadsPerProcessor = 4;
inline constexpr int kMinSelectionThreads = 64;
int MaxSelectionThreads();
// Bounds a selection (from a document file, the device dialog or a remote command) to
// MaxSelectionThreads: the entries keep their counts in order while the total allows; the entry
// that reaches it gets what is left, the ones after it 0 (not used). Returns whether anything
// changed.
bool BoundDeviceThreads(std::vector<ComputeDeviceEntry>& devices);

// The 3-D view's record of one window.
struct ViewRecord {
    std::int32_t background = 0;
    bool axesShown = true;
    std::int32_t boundingBoxFlags = 4;
    double angle = 0, axisX = 0, axisY = 0, axisZ = 1;
    double distance = 0;
    double radius = 0;
    float eyeSeparation = 0.05f;
    bool eyeSwap = false;
    std::int32_t renderMode = 0;
    bool reserved = false;
    float isoValue = 0.5f;
    std::int32_t stereoMode = 2;
    float sampleDensity = 1.0f;
    float greyRed = 0.299f, greyGreen = 0.587f, greyBlue = 0.114f;
    std::int32_t splitHorizontal = 0;
    std::int32_t splitVertical = 0;
    float alphaFunction = 0.0f;
    float transparency = 1.0f;
    bool cameraRestored = false;  // not stored: set when a load read the camera
    // Not stored: the file version a load read the record at (0 for a record made in memory). A
    // file older than a group of fields does not carry them; whoever applies the record keeps its
    // own defaults for them.
    std::int32_t loadedVersion = 0;
    bool HasRenderFields() const { return Carries(939); }   // eye separation .. iso-surface value
    bool HasStereoFields() const { return Carries(1474); }  // stereo mode, sample density, grey weights
    bool HasSplitFields() const { return Carries(1665); }
    bool HasOpacityFields() const { return Carries(2198); }  // alpha function, transparency

    bool Carries(std::int32_t firstVersion) const {
        return loadedVersion == 0 || loadedVersion >= firstVersion;
    }
    bool operator==(const ViewRecord&) const = default;
    // fileVersion gates the fields older files lack.
    void Serialize(Archive& ar, std::int32_t fileVersion);
};

// One document window: its tree's record, then its 3-D view's record.
struct WindowRecord {
    TreeRecord tree;
    ViewRecord view;
};

}  // namespace zun
