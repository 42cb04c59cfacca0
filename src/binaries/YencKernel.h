#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The yEnc data path: decodes a run of body lines in one call. Its output is
// exactly what decoding the same lines one by one gives:
// - CR and LF each end a line (CR LF is one end); line ends are not data;
// - "=" takes the next byte minus 64; a "=" that ends its line yields nothing;
// - every data byte then has 42 subtracted (modulo 256);
// - a line longer than kMaxYencLine bytes is dropped whole.
// The call stops in front of any line the caller must look at itself (marker
// lines and possible bad strings, see TYencStops), so the caller keeps the
// line classifier's order of tests while the bulk of a body never leaves the
// vectorised loop.
namespace yenc {

inline constexpr std::size_t kMaxYencLine = 2048;
// Room the kernel needs beyond what it reports as produced, and the free
// space below which it stops at the next line start: one longest line that
// may later be dropped plus a vector of slack.
inline constexpr std::size_t kOutputSlack = 128;
inline constexpr std::size_t kOutputReserve = kMaxYencLine + 2 * kOutputSlack;

// Lines that make the kernel stop at their start, besides marker lines
// ("begin " and "=y" in any case): lines whose length and first byte could
// make them equal one of the caller's bad strings.
struct TYencStops {
  std::array<std::uint64_t, (kMaxYencLine + 64) / 64> lengths{};  // bit n: some entry is n bytes long
  std::array<std::uint64_t, 4> firstBytes{};                      // bit b: some entry starts with b (either case)
  bool any = false;

  void Add(const char* text, std::size_t size);
  bool Flagged(std::size_t lineLength, unsigned char firstByte) const {
    return any && lineLength >= 1 && lineLength <= kMaxYencLine &&
           ((lengths[lineLength >> 6] >> (lineLength & 63)) & 1) &&
           ((firstBytes[firstByte >> 6] >> (firstByte & 63)) & 1);
  }
};

struct TYencRun {
  std::size_t consumed = 0;  // input bytes used; always ends at a line start
  std::size_t produced = 0;  // output bytes written
  std::size_t lines = 0;     // line ends passed (for the caller's yield pacing)
  bool forCaller = false;    // stopped in front of a line the caller must classify
};

enum TYencKernel : std::uint8_t { YENC_KERNEL_SCALAR, YENC_KERNEL_AVX2, YENC_KERNEL_AVX512 };

// Decodes from in (which must be at a line start) up to the end of the input,
// the first line that needs the caller, or until fewer than kOutputReserve
// bytes of out would remain. out must hold outCapacity bytes, outCapacity
// >= kOutputReserve; the kernel may scribble up to kOutputSlack bytes past
// what it reports as produced. The end of the input ends the last line.
TYencRun DecodeLines(const char* in, std::size_t size, char* out, std::size_t outCapacity, const TYencStops* stops);
TYencRun DecodeLinesWith(TYencKernel kernel, const char* in, std::size_t size, char* out, std::size_t outCapacity,
                         const TYencStops* stops);

// The best kernel this processor runs, chosen once.
TYencKernel ActiveKernel();
bool KernelSupported(TYencKernel kernel);
const char* KernelName(TYencKernel kernel);

// True when the line at p (size bytes up to the end of input) is one the
// kernel leaves to the caller for its marker: "begin " or "=y", any case.
inline bool IsMarkerStart(const char* p, std::size_t size) {
  const unsigned char c0 = static_cast<unsigned char>(p[0]);
  if ((c0 | 0x20) == 'b') {
    if (size < 6) return false;
    return (p[1] | 0x20) == 'e' && (p[2] | 0x20) == 'g' && (p[3] | 0x20) == 'i' && (p[4] | 0x20) == 'n' && p[5] == ' ';
  }
  return c0 == '=' && size >= 2 && (p[1] | 0x20) == 'y';
}

// Decodes one line (no line end inside) as the line rules say, without the
// length limit; returns the bytes written to out (at most size).
std::size_t DecodeLine(const char* in, std::size_t size, char* out);

}  // namespace yenc
