// Raw block transfer through the archive against a plain memcpy of the same size.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/archive.h"

namespace {

constexpr std::size_t kBlock = 64ull << 20;  // 64 MiB, the size of a 4096x4096x2-byte slab pair

void BM_Memcpy(benchmark::State& state) {
    std::vector<std::uint8_t> src(kBlock, 1), dst(kBlock);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kBlock);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(state.iterations() * kBlock);
}

// A stream that writes into a preallocated buffer, so that only the archive's own cost is measured.
class FixedStream : public zun::ByteStream {
public:
    explicit FixedStream(std::size_t n) : buf_(n) {}
    std::size_t Read(void* d, std::size_t n) override {
        n = std::min(n, buf_.size() - pos_);
        std::memcpy(d, buf_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    void Write(const void* d, std::size_t n) override {
        std::memcpy(buf_.data() + pos_, d, n);
        pos_ += n;
    }
    void Rewind() { pos_ = 0; }

private:
    std::vector<std::uint8_t> buf_;
    std::size_t pos_ = 0;
};

void BM_ArchiveWrite(benchmark::State& state) {
    std::vector<std::uint8_t> src(kBlock, 1);
    FixedStream stream(kBlock + 16);
    for (auto _ : state) {
        stream.Rewind();
        zun::Archive ar(stream, zun::Archive::Mode::Store);
        ar << std::uint64_t{kBlock};
        ar.Write(src.data(), kBlock - 8);
        ar.Flush();
    }
    state.SetBytesProcessed(state.iterations() * kBlock);
}

void BM_ArchiveRead(benchmark::State& state) {
    std::vector<std::uint8_t> dst(kBlock);
    FixedStream stream(kBlock + 16);
    for (auto _ : state) {
        stream.Rewind();
        zun::Archive ar(stream, zun::Archive::Mode::Load);
        std::uint64_t n = 0;
        ar >> n;
        ar.Read(dst.data(), kBlock - 8);
        benchmark::DoNotOptimize(dst.data());
    }
    state.SetBytesProcessed(state.iterations() * kBlock);
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArchiveWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArchiveRead)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
