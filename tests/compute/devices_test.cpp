#include "compute/devices.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>

#include "compute/exitrequested.h"

namespace zun {
namespace {

TEST(Devices, NamesFollowTheProcessorCount) {
    ComputeDeviceSet four(4);
    std::vector<ComputeDeviceEntry> list;
    EXPECT_EQ(four.GetDeviceList(list), 4);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].name, "CPU #0");
    EXPECT_EQ(list[3].name, "CPU #3");
    EXPECT_EQ(list[2].threadCount, 1);
    ComputeDeviceSet one(1);
    one.GetDeviceList(list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "CPU");
}

TEST(Devices, ThreadCountRules) {
    CpuProc cpu(0);
    GpuProc gpu("GPU", 0);
    EXPECT_EQ(cpu.SetThreadCount(-1), 0);
    EXPECT_EQ(cpu.threadCount, 1);
    EXPECT_EQ(gpu.SetThreadCount(-1), 0);
    EXPECT_EQ(gpu.threadCount, 2);
    EXPECT_TRUE(gpu.IsDefaultThreadCount());
    cpu.SetThreadCount(3);
    EXPECT_EQ(cpu.SetThreadCount(-2), -1);
    EXPECT_EQ(cpu.threadCount, 3);
    EXPECT_EQ(gpu.Prepare("k"), -1);
    auto clone = gpu.Clone();
    EXPECT_TRUE(clone->IsGpu());
}

TEST(Devices, SelectionIsAllOrNothingAndCountsFailures) {
    ComputeDeviceSet set(4);
    EXPECT_EQ(set.ApplyDeviceSelection({{"CPU #0", 2}, {"CPU #1", -5}}), -1);
    EXPECT_EQ(set.TotalThreads(), 4);
    EXPECT_EQ(set.ApplyDeviceSelection({{"CPU #0", 2}, {"GPU", 1}, {"CPU #2", 0}}), 2);
    EXPECT_EQ(set.Find("CPU #0")->threadCount, 2);
    EXPECT_EQ(set.Find("CPU #2")->threadCount, 0);
    EXPECT_EQ(set.SetDeviceThreads("nothing", 1), 1);
}

TEST(Devices, LibraryThreadCountResolvesDefaults) {
    EXPECT_EQ(LibraryThreadCount({}), 0);
    EXPECT_EQ(LibraryThreadCount({{"CPU #0", 2}, {"CPU #1", -1}, {"GPU", 4}}), 3);
    EXPECT_EQ(LibraryThreadCount({{"CPU", -1}}), 1);
    EXPECT_EQ(LibraryThreadCount({{"CPU #0", 0}}), 0);
}

struct Recorder {
    std::mutex m;
    std::vector<std::tuple<std::int64_t, std::int64_t, std::int64_t, std::ptrdiff_t>> calls;
    char* base = nullptr;
    std::atomic<int> failAt{-1};
    std::atomic<int> throwAt{-1};
    bool throwStop = false;
};

int RecordingKernel(void* user, void*, void* const* p, int n, std::int64_t items, std::int64_t chunks,
                    std::int64_t index) {
    auto* r = static_cast<Recorder*>(user);
    if (index == r->throwAt) {
        if (r->throwStop) throw ExitRequested{};
        throw std::runtime_error("kernel failure");
    }
    {
        std::lock_guard l(r->m);
        r->calls.emplace_back(index, items, chunks, static_cast<char*>(p[n - 1]) - r->base);
    }
    return index == r->failAt ? 7 : 0;
}

TEST(DeviceDispatch, ChunksCoverTheRangeWithOffsetPointers) {
    ComputeDeviceSet set(4);
    Recorder rec;
    std::vector<std::uint16_t> words(10);
    rec.base = reinterpret_cast<char*>(words.data());
    void* ptrs[2] = {words.data(), words.data()};
    ASSERT_EQ(set.Compute("k", &rec, nullptr, nullptr, ptrs, 2, sizeof(std::uint16_t), 10, 4, RecordingKernel,
                          nullptr),
              0);
    ASSERT_EQ(rec.calls.size(), 3u);
    std::sort(rec.calls.begin(), rec.calls.end());
    EXPECT_EQ(rec.calls[0], std::make_tuple(0, 4, 3, 0));
    EXPECT_EQ(rec.calls[1], std::make_tuple(1, 4, 3, 8));
    EXPECT_EQ(rec.calls[2], std::make_tuple(2, 2, 3, 16));
    EXPECT_EQ(set.Find("CPU #0")->threadTimer.count, 1);
}

TEST(DeviceDispatch, NothingSelectedOrNothingToDo) {
    ComputeDeviceSet set(2);
    Recorder rec;
    int x = 0;
    void* ptrs[1] = {&x};
    EXPECT_EQ(set.Compute("k", &rec, nullptr, nullptr, ptrs, 1, 1, 0, 4, RecordingKernel, nullptr), -1);
    EXPECT_EQ(set.Compute("k", &rec, nullptr, nullptr, ptrs, 0, 1, 5, 4, RecordingKernel, nullptr), -1);
    set.ApplyDeviceSelection({{"CPU #0", 0}, {"CPU #1", 0}});
    EXPECT_EQ(set.Compute("k", &rec, nullptr, nullptr, ptrs, 1, 1, 5, 4, RecordingKernel, nullptr), -1);
    EXPECT_TRUE(rec.calls.empty());
}

TEST(DeviceDispatch, FirstErrorWinsAndStopsLaterChunks) {
    ComputeDeviceSet set(1);  // one thread: chunks run in order
    Recorder rec;
    rec.failAt = 0;
    int x = 0;
    void* ptrs[1] = {&x};
    EXPECT_EQ(set.Compute("k", &rec, nullptr, nullptr, ptrs, 1, 0, 100, 10, RecordingKernel, nullptr), 7);
    EXPECT_EQ(rec.calls.size(), 1u);
}

TEST(DeviceDispatch, ExceptionsInsideChunksBecomeCodes) {
    ComputeDeviceSet set(4);
    int x = 0;
    void* ptrs[1] = {&x};
    Recorder stop;
    stop.throwAt = 5;
    stop.throwStop = true;
    EXPECT_EQ(set.Compute("k", &stop, nullptr, nullptr, ptrs, 1, 0, 1000, 10, RecordingKernel, nullptr),
              kUserInterrupt);
    Recorder fail;
    fail.throwAt = 0;
    EXPECT_EQ(set.Compute("k", &fail, nullptr, nullptr, ptrs, 1, 0, 1000, 10, RecordingKernel, nullptr), 1);
}

}  // namespace
}  // namespace zun
