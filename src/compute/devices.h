#pragma once
// Computation devices (one per processor) and the chunked parallel dispatch over the threads
// the user selected for them.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zun {

struct ComputeDeviceEntry {
    std::string name;
    std::int32_t threadCount = 0;  // 0 not used, -1 the device's default
};

// kernel(userData, userArg, pointers, pointerCount, itemsInChunk, chunkCount, chunkIndex) -> 0 on
// success. Pointer i is the i-th base pointer advanced to the chunk.
using ChunkKernel = int (*)(void* userData, void* userArg, void* const* pointers, int pointerCount,
                            std::int64_t itemsInChunk, std::int64_t chunkCount, std::int64_t chunkIndex);

struct ProcTimer {
    double mean = 0.0;
    double total = 0.0;
    std::int32_t count = 0;

    void Add(double seconds);
    void Merge(const ProcTimer& other);
};

class Proc {
public:
    Proc(std::string name, int ordinal, int threadCount)
        : name(std::move(name)), ordinal(ordinal), threadCount(threadCount) {}
    virtual ~Proc() = default;

    virtual std::unique_ptr<Proc> Clone() const { return std::make_unique<Proc>(*this); }
    virtual bool IsCpu() const { return false; }
    virtual bool IsGpu() const { return false; }
    virtual int SetThreadCount(int n);
    virtual bool IsDefaultThreadCount() const { return threadCount == 1; }
    virtual int ResetTimers();
    virtual int Prepare(const char* kernelName);
    virtual int RunKernel1(void* userData, void* userArg, void* const* pointers, int pointerCount,
                           std::int64_t items, std::int64_t chunkCount, std::int64_t chunkIndex);
    virtual int RunKernel2(void* userData, void* userArg, void* const* pointers, int pointerCount,
                           std::int64_t items, std::int64_t chunkCount, std::int64_t chunkIndex);
    virtual int Finish();

    std::string name;
    std::string description;
    std::int32_t ordinal = 0;
    std::int32_t threadCount = 1;
    ChunkKernel kernel1 = nullptr;
    ChunkKernel kernel2 = nullptr;
    ProcTimer prepareTimer, kernelTimer, threadTimer;
};

class CpuProc : public Proc {
public:
    explicit CpuProc(int ordinal) : Proc("CPU", ordinal, 1) {}
    std::unique_ptr<Proc> Clone() const override { return std::make_unique<CpuProc>(*this); }
    bool IsCpu() const override { return true; }
};

// The graphics-device variant. No graphics-device interface exists here, so none is ever
// enumerated and every operation reports failure.
class GpuProc : public Proc {
public:
    GpuProc(std::string name, int ordinal) : Proc(std::move(name), ordinal, 2) {}
    std::unique_ptr<Proc> Clone() const override { return std::make_unique<GpuProc>(*this); }
    bool IsGpu() const override { return true; }
    int SetThreadCount(int n) override;
    bool IsDefaultThreadCount() const override { return threadCount == 2; }
    int Prepare(const char*) override { return -1; }
    int RunKernel1(void*, void*, void* const*, int, std::int64_t, std::int64_t, std::int64_t) override {
        return -1;
    }
    int RunKernel2(void*, void*, void* const*, int, std::int64_t, std::int64_t, std::int64_t) override {
        return -1;
    }
    int Finish() override { return -1; }

    std::string deviceName;
    std::int32_t info[4] = {-1, 0, 0, 0};
    ChunkKernel gpuKernel = nullptr;
    std::int32_t extra = 0;
};

class ComputeDeviceSet {
public:
    // Enumerates the processors; throws the text "Compute() could not access GPU devices" when
    // the enumeration fails.
    ComputeDeviceSet();
    // For tests: a set of `processors` processors.
    explicit ComputeDeviceSet(int processors);
    ComputeDeviceSet(const ComputeDeviceSet&) = delete;
    ComputeDeviceSet& operator=(const ComputeDeviceSet&) = delete;

    int EnumerateDevices();
    int GetDeviceList(std::vector<ComputeDeviceEntry>& out) const;
    int SetDeviceThreads(const std::string& name, int n);
    int ApplyDeviceSelection(const std::vector<ComputeDeviceEntry>& entries);
    // Sum of the selected threads over all devices.
    int TotalThreads() const;

    // Runs `cpuKernel` over ceil(totalCount / chunkSize) chunks on every selected device thread.
    // 0 success; the first non-zero code of a Prepare or kernel call; -1 for zero counts or when
    // no thread is selected. An exception thrown by a kernel never leaves the parallel region: a
    // stop request becomes -100, anything else 1.
    int Compute(const char* kernelName, void* userData, void* reserved, void* userArg,
                void* const* basePointers, int pointerCount, std::size_t stride, std::int64_t totalCount,
                std::int64_t chunkSize, ChunkKernel cpuKernel, ChunkKernel gpuKernel);

    const std::vector<std::unique_ptr<Proc>>& Devices() const { return devices_; }
    Proc* Find(const std::string& name) const;

private:
    void Name();

    int processors_;
    std::vector<std::unique_ptr<Proc>> devices_;
    std::map<std::string, Proc*> byName_;
    std::vector<std::unique_ptr<Proc>> units_;
};

// Threads the computation library uses for a saved device selection: the entries whose name
// contains "CPU", a device-default entry (-1) counting as one thread.
int LibraryThreadCount(const std::vector<ComputeDeviceEntry>& entries);

}  // namespace zun
