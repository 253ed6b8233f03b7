#include "compute/steps.h"

#include <cmath>

#include <algorithm>

#include "compute/computedocument.h"
#include "compute/exitrequested.h"
#include "compute/kernels.h"
#include "compute/model.h"
#include "compute/params.h"

namespace zun {

ZUN_IMPLEMENT_SERIAL(ComputeCommonFuncs, Serializable, 0)
ZUN_IMPLEMENT_SERIAL(CDataCheckingCorrection, ComputeCommonFuncs, 0)
ZUN_IMPLEMENT_SERIAL(InterSectionalExtrapolation, ComputeCommonFuncs, 0)
ZUN_IMPLEMENT_SERIAL(CDiscreteLeastSquareSegmentation, ComputeCommonFuncs, 0)
ZUN_IMPLEMENT_SERIAL(DatConLinearOpt, ComputeCommonFuncs, 0)
ZUN_IMPLEMENT_SERIAL(DatConNonlinearOpt, ComputeCommonFuncs, 0)

namespace {

void StepStamp(Archive& ar) {
    std::uint32_t v = kRecordStamp;
    if (ar.IsStoring())
        ar << v;
    else
        ar >> v;
}
}  // namespace

int MapLibraryStatus(int s) {
    if (s > 0) return s + 100;
    if (s < 0) return s - 100;
    return 0;
}

int StatusFromRunValue(int v) {
    if (v > 100) return v - 100;
    if (v < -100) return v + 100;
    return 0;
}

void ComputeCommonFuncs::Serialize(Archive& ar) {
    StepStamp(ar);
}
void CDataCheckingCorrection::Serialize(Archive& ar) {
    ComputeCommonFuncs::Serialize(ar);
    StepStamp(ar);
}
void InterSectionalExtrapolation::Serialize(Archive& ar) {
    ComputeCommonFuncs::Serialize(ar);
    StepStamp(ar);
}
void CDiscreteLeastSquareSegmentation::Serialize(Archive& ar) {
    ComputeCommonFuncs::Serialize(ar);
    StepStamp(ar);
}
void DatConLinearOpt::Serialize(Archive& ar) {
    ComputeCommonFuncs::Serialize(ar);
    StepStamp(ar);
}
void DatConNonlinearOpt::Serialize(Archive& ar) {
    ComputeCommonFuncs::Serialize(ar);
    StepStamp(ar);
}

void ComputeCommonFuncs::LogReports(const zunlib::CLibBase& lib) {
    for (const LibReport& r : lib.Reports()) LogText(r.text);
}

std::vector<std::uint16_t*> ComputeCommonFuncs::Pointers(std::int64_t offset) const {
    std::vector<std::uint16_t*> p = model_->ChannelPointers();
    for (auto& q : p) q += offset;
    return p;
}

template <class Lib>
int ComputeCommonFuncs::RunVolume(Lib& lib, const ComputeLibParams& block, VolumeKernel<Lib> kernel) {
    try {
        std::vector<std::uint16_t*> ptrs = Pointers(0);
        if (ptrs.empty()) return 1;
        kernel(lib, ptrs.data(), 0, block.nz, [&](int z) {
            model_->SetProgress(static_cast<float>(std::int64_t(z) * 100 / block.nz), false);
        });
    } catch (const ExitRequested&) {
        LogReports(lib);
        return kUserInterrupt;
    }
    LogReports(lib);
    errorReportCount_ = lib.params.errorReportCount;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Data checking and correction

int CDataCheckingCorrection::Run(const ComputeLibParams& block) {
    zunlib::CLibDataCheckCorrect lib(block);
    const int r = RunVolume(lib, block, zunlib::DataCheckSlices);
    if (r != 0) return r;
    if (lib.ReportsExhausted()) LogText("Maximum number of error report reached in DataCheckingCorrection\n");
    return MapLibraryStatus(lib.params.status);
}

namespace {

struct DccConst {
    zunlib::DataCheckConstants k;
    CDataCheckingCorrection* step;
    Model* model;
    std::int64_t chunkSize;
    int maxReports;
    std::atomic<std::uint32_t>* reportCount;
    bool masked;
};

// The accelerator slot: no such device exists here.
int NoAcceleratorKernel(void*, void*, void* const*, int, std::int64_t, std::int64_t, std::int64_t) {
    return -1;
}

}  // namespace

int CDataCheckingCorrection::ComputeChunk(void* userData, void*, void* const* pointers, int pointerCount,
                                          std::int64_t items, std::int64_t chunkCount,
                                          std::int64_t chunkIndex) {
    auto* c = static_cast<DccConst*>(userData);
    const int channels = c->k.comp + 1 + c->k.ct;
    std::uint16_t* ptrs[zunlib::kMaxCompositions + zunlib::kMaxCtChannels + 2];
    for (int i = 0; i < pointerCount; ++i) ptrs[i] = static_cast<std::uint16_t*>(pointers[i]);
    zunlib::DataCheckConstants k = c->k;
    k.maskWords = c->masked ? ptrs[channels] : nullptr;
    std::vector<zunlib::VoxelCode> codes;
    const int merged = zunlib::CheckVoxelRange(k, ptrs, 0, items, &codes);
    const auto cap = static_cast<std::uint32_t>(std::max(c->maxReports, 0));
    for (const auto& vc : codes) {
        // Counting stops just past the cap: a huge volume of bad voxels must not wrap the 32-bit
        // counter round to "no report yet" and start logging again.
        if (c->reportCount->load(std::memory_order_relaxed) > cap) break;
        const std::uint32_t n = c->reportCount->fetch_add(1);
        if (n < cap)
            c->step->Log("DataCheckingCorrection error %d, (cpu) chunk %lld, voxel %lld of %lld\n", vc.code,
                         static_cast<long long>(chunkIndex), static_cast<long long>(vc.voxel),
                         static_cast<long long>(c->chunkSize));
        else if (n == cap)
            c->step->LogText("Maximum error report count reached in DataCheckingCorrection\n");
    }
    if (merged != 0) {
        std::lock_guard lock(c->step->resultMutex_);
        c->step->sharedResult_ = zunlib::MergeCode(c->step->sharedResult_, merged);
    }
    c->model->SetProgress(static_cast<float>((chunkIndex + 1) * 100 / chunkCount), false);
    return 0;
}

int CDataCheckingCorrection::RunParallel(const ComputeLibParams& block,
                                         const std::vector<std::uint16_t>& compTolerance,
                                         const std::vector<float>& ctTolerance) {
    DccConst c{
        zunlib::DataCheckConstants(block), this, model_, 0, block.maxErrorReports, &errorReportCount_, false};
    c.k.compTolerance = compTolerance;
    for (int j = 1; j <= block.ct; ++j) c.k.ctTolerance[j] = ctTolerance[j];
    const std::int64_t n = block.VoxelTotal();
    if (n == 0) return 0;  // nothing to check is not a missing processor
    c.chunkSize = n >= 1024 ? 1024 : n;
    std::vector<std::uint16_t*> ptrs = Pointers(0);
    if (ptrs.empty()) return 1;
    std::vector<void*> base(ptrs.begin(), ptrs.end());
    if (block.maskWords) {
        base.push_back(const_cast<std::uint16_t*>(block.maskWords));
        c.masked = true;
    }
    sharedResult_ = 0;
    errorReportCount_ = 0;
    zun::ChunkKernel accelerator = (block.comp + 1 < 9 && block.ct < 9) ? NoAcceleratorKernel : nullptr;
    const int r = model_->Devices().Compute("DataCheckingCorrection", &c, nullptr, nullptr, base.data(),
                                            static_cast<int>(base.size()), sizeof(std::uint16_t), n,
                                            c.chunkSize, &CDataCheckingCorrection::ComputeChunk, accelerator);
    if (r != 0) return r;
    return MapLibraryStatus(sharedResult_);
}

// ---------------------------------------------------------------------------------------------
// Inter-sectional extrapolation

int InterSectionalExtrapolation::Run(const ComputeLibParams& block) {
    LogText("Inter-sectional extrapolation ...\n");
    const int r = RunLibrary(block);
    if (r == kUserInterrupt) return r;
    if (static_cast<int>(errorReportCount_) >= block.maxErrorReports)
        Log("Maximum number (%d) of error report reached in InterSectionalExtrapolation\n",
            block.maxErrorReports);
    return MapLibraryStatus(StatusFromRunValue(r));
}

int InterSectionalExtrapolation::RunLibrary(const ComputeLibParams& block) {
    zunlib::CLibInterSectionExtrapolate lib(block);
    std::vector<std::uint16_t*> ptrs = Pointers(0);
    if (ptrs.empty()) return 101;
    int status = 0;
    try {
        for (int i = 0; i <= block.comp; ++i) {
            status = zunlib::MergeCode(status, zunlib::ExtrapolateChannel(lib, ptrs[i], i));
            model_->SetProgress(block.comp > 0 ? static_cast<float>(i * 100 / block.comp) : 100.0f, false);
        }
    } catch (const ExitRequested&) {
        LogReports(lib);
        return kUserInterrupt;
    }
    LogReports(lib);
    errorReportCount_ = lib.params.errorReportCount;
    // The run's value carries the status in the step's result range.
    return MapLibraryStatus(zunlib::MergeCode(status, lib.params.status));
}

// ---------------------------------------------------------------------------------------------
// Discrete least-square segmentation

int CDiscreteLeastSquareSegmentation::Run(const ComputeLibParams& block) {
    bool anyUsed = false;
    for (int j = 1; j <= block.ct && j < static_cast<int>(block.ctChannelUsed.size()); ++j)
        anyUsed = anyUsed || block.ctChannelUsed[j];
    if (!anyUsed || block.comp == 0 || block.ct == 0) {
        LogTimestamped(
            "Warning: No CT data set is selected or no compositional channel is defined in discrete "
            "least-square "
            "segmentation.\n");
        return -101;
    }
    zunlib::CLibDiscreteLeastSquareSegmentation lib(block);
    const int r = RunVolume(lib, block, zunlib::SegmentSlices);
    return r != 0 ? r : MapLibraryStatus(lib.params.status);
}

// ---------------------------------------------------------------------------------------------
// Optimisations

namespace {

std::int64_t UninterruptibleCount(std::int64_t perThread, int threads, std::int64_t total) {
    std::int64_t n = perThread * threads;
    if (n == 0) {
        n = total / 100;
        if (n == 0) n = total;
    }
    return std::min(n, total);
}

}  // namespace

int DatConLinearOpt::Run(const ComputeLibParams& block, int* nonExactCount) {
    errorReportCount_ = 0;
    if (params_->compositionCount == 0 || params_->ctChannelCount == 0) {
        LogTimestamped(
            "Warning: No composition or CT data channel is defined in data-constrained linear "
            "optimisation.\n");
        return -101;
    }
    LogText("Apply data constraints with linear optimisation ...\n");
    int result = 0;
    if (block.ct != 0) {
        for (int it = 0; it < block.linearRepetitions; ++it) {
            const int r = RunLibrary(block, nonExactCount, it);
            if (r == kUserInterrupt) return kUserInterrupt;
            result = zunlib::MergeCode(result, StatusFromRunValue(r));
        }
    }
    if (static_cast<int>(errorReportCount_) >= block.maxErrorReports)
        Log("Maximum number (%d) of error report reached in DatConLinearOpt\n", block.maxErrorReports);
    return MapLibraryStatus(result);
}

int DatConLinearOpt::RunLibrary(const ComputeLibParams& block, int* /*nonExactCount*/, int iteration) {
    zunlib::CLibDatConLinearOpt lib(block);
    // The cap holds for the step's whole run: each repetition goes on from the reports made so far.
    lib.params.errorReportCount = static_cast<std::int32_t>(errorReportCount_.load());
    std::vector<std::uint16_t*> ptrs = Pointers(0);
    if (ptrs.empty()) return 1;
    std::unique_ptr<zunlib::NeighbourInteraction> nb;
    std::int64_t numTot = block.VoxelTotal();
    if (block.linearNeighbourRange != 0) {
        nb =
            std::make_unique<zunlib::NeighbourInteraction>(lib, ptrs.data(), block.linearNeighbourRange, 1.0);
        numTot = nb->VoxelCount();
    }
    const int nt = block.threadCount;
    const std::int64_t numComput = UninterruptibleCount(params_->linearVoxelsPerThread, nt, numTot);
    Log(nb ? "cLibDatConLinearOpt - Neighbour interaction: nt=%d, NumTot=%ld, NumComput=%ld\n"
           : "cLibDatConLinearOpt - No neighbour interaction: nt=%d, NumTot=%ld, NumComput=%ld\n",
        nt, static_cast<long>(numTot), static_cast<long>(numComput));
    std::int64_t outside = 0;
    bool interrupted = false;
    {
        zunlib::CLinearSM solver(lib);
        solver.SetNeighbours(nb.get());
        const std::int64_t reps = std::max(1, block.linearRepetitions);
        try {
            outside += solver.RunAll(ptrs.data(), numTot, numComput, [&](std::int64_t done) {
                model_->SetProgress(static_cast<float>(100.0 * (iteration * numTot + done) / (reps * numTot)),
                                    false);
            });
        } catch (const ExitRequested&) {
            interrupted = true;
        }
    }
    LogReports(lib);
    errorReportCount_ = static_cast<std::uint32_t>(lib.params.errorReportCount);
    if (interrupted) return kUserInterrupt;
    if (outside > 0)
        Log("Out of boundary cordinate values occured (%d) time in DatConLinearOpt\n",
            static_cast<int>(outside));
    // That the cap was reached is said once, by Run, after the last repetition.
    return MapLibraryStatus(lib.params.status);
}

int DatConNonlinearOpt::Run(const ComputeLibParams& block, int* /*nonExactCount*/) {
    errorReportCount_ = 0;
    if (params_->compositionCount == 0 || params_->ctChannelCount == 0) {
        LogTimestamped(
            "Warning: No composition or CT data channel is defined in data-constrained non-linear "
            "optimisation.\n");
        return -101;
    }
    // The grid is enumerated, never stored, but its size still bounds the work per voxel.
    const double points = zunlib::CNonlinearGCM::GridPointCount(block.gridSize, block.comp + 1);
    if (points > 2.0e7) {
        LogTextTimestamped(
            Format("Data constrained non-linear optimisation: %.0f grid points per voxel are too many; "
                   "reduce the volume fraction sub-divisions.\n",
                   points));
        return 103;
    }
    // The set-up sheet accepts only Q > 0, but a document file can carry any value; a Q that is not
    // positive turns every grid weight into NaN or infinity.
    if (!(block.nonlinearQ > 0) || !std::isfinite(block.nonlinearQ)) {
        LogTextTimestamped(
            "Data constrained non-linear optimisation: the parameter Q must be a positive number.\n");
        return 103;
    }
    zunlib::CLibDatConNonlinearOpt lib(block);
    std::vector<std::uint16_t*> ptrs = Pointers(0);
    if (ptrs.empty()) return 1;
    std::unique_ptr<zunlib::NeighbourInteraction> nb;
    std::int64_t numTot = block.VoxelTotal();
    if (block.nonlinearNeighbourRange != 0) {
        nb = std::make_unique<zunlib::NeighbourInteraction>(lib, ptrs.data(), block.nonlinearNeighbourRange,
                                                            block.nonlinearIterations);
        numTot = nb->VoxelCount();
    }
    const int nt = block.threadCount;
    const std::int64_t numComput = UninterruptibleCount(params_->nonlinearVoxelsPerThread, nt, numTot);
    Log(nb ? "cLibDatConNonlinearOpt - Neighbour interaction: nt=%d, NumTot=%ld, NumComput=%ld\n"
           : "cLibDatConNonlinearOpt - No neighbour interaction: nt=%d, NumTot=%ld, NumComput=%ld\n",
        nt, static_cast<long>(numTot), static_cast<long>(numComput));
    std::int64_t outside = 0;
    bool interrupted = false;
    {
        zunlib::CNonlinearGCM solver(lib);
        solver.SetNeighbours(nb.get());
        try {
            outside += solver.RunAll(ptrs.data(), numTot, numComput, [&](std::int64_t done) {
                model_->SetProgress(static_cast<float>(done * 100.0 / numTot), false);
            });
        } catch (const ExitRequested&) {
            interrupted = true;
        }
    }
    LogReports(lib);
    errorReportCount_ += lib.params.errorReportCount;
    if (interrupted) return kUserInterrupt;
    if (outside > 0)
        Log("Out of boundary cordinate values occured (%d) time in DatConNonlinearOpt\n",
            static_cast<int>(outside));
    if (lib.ReportsExhausted())
        Log("Maximum number (%d) of error report reached in DatConNonlinearOpt\n", block.maxErrorReports);
    return MapLibraryStatus(lib.params.status);
}

}  // namespace zun
