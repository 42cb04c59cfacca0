// Every yEnc kernel this processor runs must give the byte loop's result,
// including where it stops and why, on any input and output room.
#include "binaries/YencKernel.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  yenc::TYencStops stops;
  const bool withStops = data[0] & 1;
  if (withStops) stops.Add(reinterpret_cast<const char*>(data) + 2, std::min<std::size_t>(data[1] % 8 + 1, size - 2));
  const std::size_t capacity = yenc::kOutputReserve + (data[0] >> 1) * 97;
  const char* in = reinterpret_cast<const char*>(data) + 2;
  const std::size_t n = size - 2;
  // Exact-size allocations: the sanitizer catches any write past the slack.
  std::vector<char> expected(capacity + yenc::kOutputSlack), got(capacity + yenc::kOutputSlack);
  const yenc::TYencRun reference =
      yenc::DecodeLinesWith(yenc::YENC_KERNEL_SCALAR, in, n, expected.data(), capacity, withStops ? &stops : nullptr);
  for (yenc::TYencKernel kernel : {yenc::YENC_KERNEL_AVX2, yenc::YENC_KERNEL_AVX512}) {
    if (!yenc::KernelSupported(kernel)) continue;
    const yenc::TYencRun run = yenc::DecodeLinesWith(kernel, in, n, got.data(), capacity, withStops ? &stops : nullptr);
    if (run.consumed != reference.consumed || run.produced != reference.produced || run.lines != reference.lines ||
        run.forCaller != reference.forCaller || std::memcmp(got.data(), expected.data(), run.produced) != 0)
      std::abort();
  }
  return 0;
}
