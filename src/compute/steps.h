#pragma once
// The composition steps of the pipeline. Each copies the controller's parameter block into a
// library object of its own, hands the kernels the channels' voxel words, reports progress to
// the controller, copies the kernels' report texts into the log and maps the library status to
// a step result code.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "compute/libparams.h"
#include "compute/log.h"
#include "platform/archive.h"

namespace zun {

class ComputeSample;
class Model;
class Params;

// Step result of a library status: positive data error + 100, negative data warning - 100.
int MapLibraryStatus(int status);
// A value returned by a library run brought back into the status range (used by the linear
// optimisation and the extrapolation before mapping).
int StatusFromRunValue(int value);

class ComputeCommonFuncs : public Serializable, public Loggable {
    ZUN_DECLARE_SERIAL(ComputeCommonFuncs)
public:
    ComputeCommonFuncs() = default;
    void Attach(LogHost* document, Params* params, ComputeSample* sample, Model* model) {
        SetLogDocument(document);
        params_ = params;
        sample_ = sample;
        model_ = model;
    }
    void Serialize(Archive& ar) override;
    std::uint32_t ErrorReportCount() const { return errorReportCount_; }

protected:
    // Appends the library's report texts to the log (verbatim).
    void LogReports(const zunlib::CLibBase& lib);
    // One pointer per channel (compositions, then CT channels), each advanced by `offset` voxels.
    std::vector<std::uint16_t*> Pointers(std::int64_t offset) const;
    template <class Lib>
    using VolumeKernel = void (*)(Lib&, std::uint16_t* const*, int, int, const std::function<void(int)>&);
    // Runs a kernel over all slices with progress, then logs the reports. 0, -100 when
    // interrupted, 1 when the channels do not match the parameter set.
    template <class Lib>
    int RunVolume(Lib& lib, const ComputeLibParams& block, VolumeKernel<Lib> kernel);

    Params* params_ = nullptr;
    ComputeSample* sample_ = nullptr;
    std::atomic<std::uint32_t> errorReportCount_{0};
    Model* model_ = nullptr;
};

class CDataCheckingCorrection : public ComputeCommonFuncs {
    ZUN_DECLARE_SERIAL(CDataCheckingCorrection)
public:
    int Run(const ComputeLibParams& block);
    int RunParallel(const ComputeLibParams& block, const std::vector<std::uint16_t>& compTolerance,
                    const std::vector<float>& ctTolerance);
    void Serialize(Archive& ar) override;

    // The chunk kernel of the parallel path.
    static int ComputeChunk(void* userData, void* userArg, void* const* pointers, int pointerCount,
                            std::int64_t items, std::int64_t chunkCount, std::int64_t chunkIndex);

private:
    std::mutex resultMutex_;
    int sharedResult_ = 0;
};

class InterSectionalExtrapolation : public ComputeCommonFuncs {
    ZUN_DECLARE_SERIAL(InterSectionalExtrapolation)
public:
    int Run(const ComputeLibParams& block);
    int RunLibrary(const ComputeLibParams& block);
    void Serialize(Archive& ar) override;
};

class CDiscreteLeastSquareSegmentation : public ComputeCommonFuncs {
    ZUN_DECLARE_SERIAL(CDiscreteLeastSquareSegmentation)
public:
    int Run(const ComputeLibParams& block);
    void Serialize(Archive& ar) override;
};

class DatConLinearOpt : public ComputeCommonFuncs {
    ZUN_DECLARE_SERIAL(DatConLinearOpt)
public:
    int Run(const ComputeLibParams& block, int* nonExactCount);
    int RunLibrary(const ComputeLibParams& block, int* nonExactCount, int iteration);
    void Serialize(Archive& ar) override;
};

class DatConNonlinearOpt : public ComputeCommonFuncs {
    ZUN_DECLARE_SERIAL(DatConNonlinearOpt)
public:
    int Run(const ComputeLibParams& block, int* nonExactCount);
    void Serialize(Archive& ar) override;
};

}  // namespace zun
