#include "compute/libparams.h"

namespace zun {

void ComputeLibParams::SetThreadCount(int n) {
    threadCount = n;
    const std::size_t k = n > 0 ? n : 0;
    threadScratchA.resize(k);
    threadScratchB.resize(k);
}

namespace zunlib {

bool CLibBase::Report(std::int32_t code, std::int64_t voxel, std::string text) {
    std::lock_guard lock(mutex_);
    if (params.errorReportCount >= params.maxErrorReports) return false;
    reports_.push_back(LibReport{code, voxel, std::move(text)});
    params.errorReportCount += 1;
    return true;
}

void CLibBase::MergeStatus(std::int32_t code) {
    if (code == 0) return;
    std::lock_guard lock(mutex_);
    params.status = MergeCode(params.status, code);
}

std::vector<LibReport> CLibBase::Reports() const {
    std::lock_guard lock(mutex_);
    return reports_;
}

bool CLibBase::ReportsExhausted() const {
    std::lock_guard lock(mutex_);
    return params.errorReportCount >= params.maxErrorReports;
}

}  // namespace zunlib
}  // namespace zun
