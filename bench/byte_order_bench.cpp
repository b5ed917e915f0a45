// Restoring the recorder's byte order against a plain memcpy of the same buffer, in one run:
// the restoration should cost no more than copying the bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "catalogue/byte_order.h"

namespace {

std::vector<uint8_t> Source(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 131 + 7);
  return v;
}

void BM_Memcpy(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const std::vector<uint8_t> in = Source(n);
  std::vector<uint8_t> out(n);
  for (auto _ : state) {
    std::memcpy(out.data(), in.data(), n);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_RestoreByteOrder(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const std::vector<uint8_t> in = Source(n);
  std::vector<uint8_t> out(n);
  state.SetLabel(skelbrook::RestoreByteOrderImplementation());
  for (auto _ : state) {
    skelbrook::RestoreByteOrder(in.data(), out.data(), n);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_RestoreByteOrderPortable(benchmark::State& state) {
  const auto n = static_cast<size_t>(state.range(0));
  const std::vector<uint8_t> in = Source(n);
  std::vector<uint8_t> out(n);
  for (auto _ : state) {
    skelbrook::RestoreByteOrderPortable(in.data(), out.data(), n);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// A copy block (64 KiB), a directory block (256 KiB) and a block far beyond the caches.
#define SIZES Arg(65536)->Arg(262144)->Arg(16 << 20)
BENCHMARK(BM_Memcpy)->SIZES;
BENCHMARK(BM_RestoreByteOrder)->SIZES;
BENCHMARK(BM_RestoreByteOrderPortable)->SIZES;

}  // namespace

BENCHMARK_MAIN();
