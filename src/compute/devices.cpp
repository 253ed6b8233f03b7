#include "compute/devices.h"

#include <omp.h>

#include <atomic>
#include <cstdio>
#include <new>

#include "compute/exitrequested.h"
#include "compute/threadteam.h"
#include "foundation/threadcount.h"

namespace zun {

void ProcTimer::Add(double seconds) {
    total += seconds;
    count += 1;
    mean = total / count;
}

void ProcTimer::Merge(const ProcTimer& other) {
    if (other.count == 0) return;
    total += other.total;
    count += other.count;
    mean = total / count;
}

int Proc::SetThreadCount(int n) {
    if (n < -1) return -1;
    threadCount = n == -1 ? 1 : n;
    return 0;
}

int GpuProc::SetThreadCount(int n) {
    if (n < -1) return -1;
    threadCount = n == -1 ? 2 : n;
    return 0;
}

int Proc::ResetTimers() {
    prepareTimer = kernelTimer = threadTimer = ProcTimer{};
    return 0;
}

int Proc::Prepare(const char*) {
    return 0;
}
int Proc::Finish() {
    return 0;
}

int Proc::RunKernel1(void* userData, void* userArg, void* const* pointers, int pointerCount,
                     std::int64_t items, std::int64_t chunkCount, std::int64_t chunkIndex) {
    if (!kernel1) return -1;
    return kernel1(userData, userArg, pointers, pointerCount, items, chunkCount, chunkIndex);
}

int Proc::RunKernel2(void* userData, void* userArg, void* const* pointers, int pointerCount,
                     std::int64_t items, std::int64_t chunkCount, std::int64_t chunkIndex) {
    if (!kernel2) return -1;
    return kernel2(userData, userArg, pointers, pointerCount, items, chunkCount, chunkIndex);
}

ComputeDeviceSet::ComputeDeviceSet() : ComputeDeviceSet(UsableProcessors()) {}

ComputeDeviceSet::ComputeDeviceSet(int processors) : processors_(processors < 1 ? 1 : processors) {
    if (EnumerateDevices() != 0) throw "Compute() could not access GPU devices";
}

int ComputeDeviceSet::EnumerateDevices() {
    devices_.clear();
    byName_.clear();
    for (int k = 0; k < processors_; ++k) devices_.push_back(std::make_unique<CpuProc>(k));
    // No graphics-device descriptions exist on this platform.
    Name();
    return 0;
}

void ComputeDeviceSet::Name() {
    std::map<std::string, int> counts;
    for (auto& d : devices_) counts[d->name] += 1;
    for (auto& d : devices_) {
        if (counts[d->name] > 1) {
            char buf[256];
            std::snprintf(buf, sizeof buf, "%s #%d", d->name.c_str(), d->ordinal);
            d->name = buf;
        }
        byName_[d->name] = d.get();
    }
}

Proc* ComputeDeviceSet::Find(const std::string& name) const {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
}

int ComputeDeviceSet::GetDeviceList(std::vector<ComputeDeviceEntry>& out) const {
    out.clear();
    int sum = 0;
    for (auto& d : devices_) {
        out.push_back({d->name, d->threadCount});
        sum += d->threadCount;
    }
    return sum;
}

int ComputeDeviceSet::SetDeviceThreads(const std::string& name, int n) {
    Proc* d = Find(name);
    if (!d) return 1;
    return d->SetThreadCount(n);
}

int ComputeDeviceSet::ApplyDeviceSelection(const std::vector<ComputeDeviceEntry>& entries) {
    for (auto& e : entries)
        if (e.threadCount < -1) return -1;
    int failed = 0;
    for (auto& e : entries)
        if (SetDeviceThreads(e.name, e.threadCount) != 0) ++failed;
    if (entries.size() < devices_.size()) ++failed;
    return failed;
}

int ComputeDeviceSet::TotalThreads() const {
    int sum = 0;
    for (auto& d : devices_) sum += d->threadCount;
    return sum;
}

int ComputeDeviceSet::Compute(const char* kernelName, void* userData, void* /*reserved*/, void* userArg,
                              void* const* basePointers, int pointerCount, std::size_t stride,
                              std::int64_t totalCount, std::int64_t chunkSize, ChunkKernel cpuKernel,
                              ChunkKernel gpuKernel) {
    if (pointerCount <= 0 || totalCount <= 0 || chunkSize <= 0) return -1;
    units_.clear();
    for (auto& d : devices_) {
        if (d->threadCount <= 0) continue;
        bool acceptable =
            (!d->IsCpu() && !d->IsGpu()) || (d->IsCpu() && cpuKernel) || (d->IsGpu() && gpuKernel);
        if (!acceptable) continue;
        for (int t = 0; t < d->threadCount; ++t) {
            auto u = d->Clone();
            if (u->IsGpu())
                static_cast<GpuProc*>(u.get())->gpuKernel = gpuKernel;
            else
                u->kernel2 = cpuKernel;
            u->ResetTimers();
            units_.push_back(std::move(u));
        }
    }
    if (units_.empty()) return -1;

    const std::int64_t chunkCount = (totalCount + chunkSize - 1) / chunkSize;
    const int nthreads = static_cast<int>(units_.size());
    std::atomic<bool> failed{false};
    std::atomic<int> code{0};
    auto record = [&](int r) {
        bool expected = false;
        if (r != 0 && failed.compare_exchange_strong(expected, true)) code.store(r);
    };
    // Exceptions are turned into codes here: none may cross the parallel region.
    auto guarded = [&](auto&& f) -> int {
        try {
            return f();
        } catch (const ExitRequested&) {
            return kUserInterrupt;
        } catch (...) {
            return 1;
        }
    };

    // A team the system cannot give fails the run (as a kernel failure does), not the program.
    if (!StartThreadTeam(nthreads)) return 1;
    omp_set_dynamic(0);
#pragma omp parallel num_threads(nthreads)
    {
        const int t = omp_get_thread_num();
        Proc* unit = units_[t].get();
        const double start = omp_get_wtime();
        int r = guarded([&] { return unit->Prepare(kernelName); });
        unit->prepareTimer.Add(omp_get_wtime() - start);
        record(r);
        std::vector<void*> ptrs(pointerCount);
#pragma omp for schedule(dynamic, 1)
        for (std::int64_t c = 0; c < chunkCount; ++c) {
            if (failed.load(std::memory_order_relaxed)) continue;
            const std::int64_t items = std::min(chunkSize, totalCount - c * chunkSize);
            if (items <= 0) continue;
            const std::size_t offset = static_cast<std::size_t>(c) * chunkSize * stride;
            for (int i = 0; i < pointerCount; ++i)
                ptrs[i] = static_cast<unsigned char*>(basePointers[i]) + offset;
            const double k0 = omp_get_wtime();
            int kr = guarded([&] {
                return unit->RunKernel2(userData, userArg, ptrs.data(), pointerCount, items, chunkCount, c);
            });
            unit->kernelTimer.Add(omp_get_wtime() - k0);
            record(kr);
        }
        guarded([&] { return unit->Finish(); });
        unit->threadTimer.Add(omp_get_wtime() - start);
    }

    for (auto& d : devices_) d->ResetTimers();
    for (auto& u : units_) {
        // Working copies carry the device's name.
        for (auto& d : devices_)
            if (d->name == u->name) {
                d->prepareTimer.Merge(u->prepareTimer);
                d->kernelTimer.Merge(u->kernelTimer);
                d->threadTimer.Merge(u->threadTimer);
                break;
            }
    }
    return failed.load() ? code.load() : 0;
}

int LibraryThreadCount(const std::vector<ComputeDeviceEntry>& entries) {
    int sum = 0;
    bool any = false;
    for (auto& e : entries) {
        if (e.name.find("CPU") == std::string::npos || e.threadCount == 0) continue;
        sum += e.threadCount == -1 ? 1 : (e.threadCount > 0 ? e.threadCount : 0);
        any = any || e.threadCount != 0;
    }
    return any && sum < 1 ? 1 : sum;
}

}  // namespace zun
