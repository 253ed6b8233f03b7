#pragma once
// The flat parameter block every computation-library object copies for its run, and the library
// base object with its report list.

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace zun {

constexpr std::uint16_t kVoxelMax = 16383;
constexpr std::uint16_t kWordValue = 0x3FFF;
constexpr std::uint16_t kWordFixed = 0x4000;
constexpr std::uint16_t kWordError = 0x8000;

struct ComputeLibParams {
    ComputeLibParams() { SetThreadCount(1); }
    void SetThreadCount(int n);

    // Element (shell, row, column) of the shell matrices.
    std::size_t ShellIndex(int shell, int r, int c) const {
        const std::size_t n = comp + 1;
        return shell * n * n + r * n + c;
    }
    float Matrix(int ct, int c) const { return matrix[static_cast<std::size_t>(ct) * (comp + 1) + c]; }
    std::int64_t VoxelTotal() const { return std::int64_t(nx) * ny * nz; }

    std::uint8_t selDataCheck = 0;
    std::uint8_t selExtrapolation = 0;
    std::uint8_t selSegmentation = 0;
    std::uint8_t selReserved = 0;
    std::uint8_t selLinear = 0;
    std::uint8_t selNonlinear = 0;
    std::int32_t nx = 0, ny = 0, nz = 0;
    std::int32_t comp = 0;
    std::int32_t ct = 0;
    std::int32_t errorReportCount = 0;
    std::int32_t maxErrorReports = 10;
    std::int32_t status = 0;
    std::int32_t randomSeed = -1;
    std::int32_t threadCount = 1;
    std::uint16_t voxelMax = kVoxelMax;
    std::vector<std::uint16_t> compTolerance;        // per composition, in word units
    std::vector<float> ctAccuracy;                   // per CT channel, attenuation units
    std::vector<float> matrix;                       // (ct+1) x (comp+1), row 0 the sum row
    std::vector<float> matrixRowMax;                 // per CT channel
    std::vector<std::array<float, 2>> channelAtten;  // every channel: values of word 0 and 16383
    std::vector<float> zeros;
    std::int32_t dlsNeighbourRange = 0;
    std::vector<float> dlsSelfEnergy;
    std::vector<float> dlsInterfacialEnergy;        // 4 shells
    std::vector<std::vector<float>> dlsZeroOffset;  // [comp][ct]
    std::vector<std::vector<float>> dlsMultiplier;  // [comp][ct]
    std::vector<bool> ctChannelUsed;
    std::int32_t largestDimension = 0;
    std::int32_t dimensionCount = 3;
    std::int32_t importAxis = -1;
    float libraryFloat4 = 1e-4f;
    std::vector<std::vector<std::uint32_t>> importCounts;  // per composition channel, per axis
    std::int32_t reserved33 = 0;
    double libraryReal1 = 1.0;
    double libraryReal3 = 100.0;
    double libraryReal2 = 1.0;
    std::uint8_t interactWithPreviousState = 1;
    std::uint8_t minimiseSelfEnergy = 0;
    std::vector<float> linearObjectiveWeights;
    std::int32_t linearNeighbourRange = 0;
    std::int32_t linearRepetitions = 1;
    std::vector<float> linearInteractionEnergy;  // 4 shells
    std::uint8_t minimiseCtError = 0;
    std::vector<float> ctDataSetWeights;
    std::int32_t nonlinearNeighbourRange = 0;
    std::int32_t gridSize = 15;
    std::int32_t nonlinearSearchMethods = 1;
    std::int64_t gridCount = 0;  // gridSize^(comp+1), saturated
    double nonlinearQ = 1000.0;
    double nonlinearMaxExpValue = 30.0;
    std::int64_t voxelCount = 0;
    std::int32_t libraryOption4 = 0, libraryOption5 = 0;
    double attenuationErrorExponent = 1.0;
    double interactionExponent = 1.0;
    float nonlinearIterations = 1.0f;
    std::vector<std::uint32_t> libraryList;
    std::vector<float> nonlinearSelfEnergy;
    std::vector<float> nonlinearInteractionEnergy;   // 4 shells
    std::vector<std::vector<float>> threadScratchA;  // comp+2 per thread
    std::vector<std::vector<float>> threadScratchB;  // comp+1 per thread

    // The active boundary mask: voxels whose mask word differs from `maskWord` are left alone.
    const std::uint16_t* maskWords = nullptr;
    std::uint16_t maskWord = 0;
};

struct LibReport {
    std::int32_t code = 0;
    std::int64_t voxel = 0;
    std::string text;
};

struct LibDataInfo {
    std::int32_t values[4] = {10, 2, 2, 1};
    std::string texts[10];
    std::vector<float> data;
};

namespace zunlib {

class CLibBase {
public:
    CLibBase(const char* className, const ComputeLibParams& block) : params(block), className_(className) {}
    virtual ~CLibBase() = default;
    CLibBase(const CLibBase&) = delete;
    CLibBase& operator=(const CLibBase&) = delete;

    // Adds a report while the block's report count is below its maximum; counts it. Returns
    // false once the maximum was reached. Safe from several threads.
    bool Report(std::int32_t code, std::int64_t voxel, std::string text);
    // Merges a kernel status into the block's status: a positive code (error) beats zero and
    // negative codes and the larger positive wins; among the others the more negative wins.
    void MergeStatus(std::int32_t code);
    std::vector<LibReport> Reports() const;
    const std::string& ClassName() const { return className_; }
    bool ReportsExhausted() const;

    float scratch[32] = {};
    LibDataInfo info;
    ComputeLibParams params;

private:
    mutable std::mutex mutex_;
    std::vector<LibReport> reports_;
    std::string className_;
};

// The merge rule of voxel and status codes.
inline std::int32_t MergeCode(std::int32_t a, std::int32_t b) {
    if (a > 0 || b > 0) return a > b ? a : b;
    return a < b ? a : b;
}

class CLibDataCheckCorrect : public CLibBase {
public:
    explicit CLibDataCheckCorrect(const ComputeLibParams& b) : CLibBase("CLibDataCheckCorrect", b) {}
};
class CLibInterSectionExtrapolate : public CLibBase {
public:
    explicit CLibInterSectionExtrapolate(const ComputeLibParams& b)
        : CLibBase("CLibInterSectionExtrapolate", b) {}
};
class CLibDiscreteLeastSquareSegmentation : public CLibBase {
public:
    explicit CLibDiscreteLeastSquareSegmentation(const ComputeLibParams& b)
        : CLibBase("CLibDiscreteLeastSquareSegmentation", b) {}
};
class CLibDatConLinearOpt : public CLibBase {
public:
    explicit CLibDatConLinearOpt(const ComputeLibParams& b) : CLibBase("CLibDatConLinearOpt", b) {}
};
class CLibDatConNonlinearOpt : public CLibBase {
public:
    explicit CLibDatConNonlinearOpt(const ComputeLibParams& b) : CLibBase("CLibDatConNonlinearOpt", b) {}
};

}  // namespace zunlib
}  // namespace zun
