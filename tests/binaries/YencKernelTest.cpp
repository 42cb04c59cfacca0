#include "binaries/YencKernel.h"

#include "YencTestUtil.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace yenc;

namespace {

// The line-by-line rules written the plain way, independent of the kernels.
TYencRun Reference(const QByteArray& in, char* out, std::size_t capacity, const TYencStops* stops) {
  const auto size = static_cast<std::size_t>(in.size());
  const char* p = in.constData();
  std::size_t pos = 0, o = 0, lines = 0;
  if (stops && !stops->any) stops = nullptr;
  if (size == 0 || capacity < kOutputReserve) return {0, 0, 0, false};
  while (true) {
    if (pos == size) return {pos, o, lines, false};
    if (pos > 0 && capacity - o < kOutputReserve) return {pos, o, lines, false};
    const bool lineEndHere = p[pos] == '\r' || p[pos] == '\n';
    if (!lineEndHere && IsMarkerStart(p + pos, size - pos)) return {pos, o, lines, true};
    std::size_t e = pos;
    while (e < size && p[e] != '\r' && p[e] != '\n') ++e;
    const std::size_t length = e - pos;
    if (length >= 1 && stops && stops->Flagged(length, static_cast<unsigned char>(p[pos])))
      return {pos, o, lines, true};
    if (length <= kMaxYencLine) {
      // Written out again here rather than calling DecodeLine.
      for (std::size_t i = pos; i < e; ++i) {
        if (p[i] == '=') {
          if (++i == e) break;
          out[o++] = static_cast<char>(p[i] - 64 - 42);
        } else {
          out[o++] = static_cast<char>(p[i] - 42);
        }
      }
    }
    if (e == size) return {size, o, lines, false};
    ++lines;
    pos = e + 1;
  }
}

std::vector<TYencKernel> Kernels() {
  std::vector<TYencKernel> kernels{YENC_KERNEL_SCALAR};
  if (KernelSupported(YENC_KERNEL_AVX2)) kernels.push_back(YENC_KERNEL_AVX2);
  if (KernelSupported(YENC_KERNEL_AVX512)) kernels.push_back(YENC_KERNEL_AVX512);
  return kernels;
}

// Decodes the whole input as the decoder does: kernel runs, and every line
// handed back to the caller skipped. Returns the output and the stop offsets.
struct TWhole {
  std::string out;
  std::vector<std::size_t> stops;
};

template <typename TDecode>
TWhole DecodeWhole(const QByteArray& in, std::size_t capacity, const TYencStops* stops, TDecode decode) {
  TWhole whole;
  std::vector<char> buffer(capacity + kOutputSlack);
  std::size_t pos = 0;
  const auto size = static_cast<std::size_t>(in.size());
  while (pos < size) {
    const TYencRun run = decode(in.constData() + pos, size - pos, buffer.data(), capacity, stops);
    whole.out.append(buffer.data(), run.produced);
    pos += run.consumed;
    if (run.forCaller) {
      whole.stops.push_back(pos);
      while (pos < size && in[pos] != '\r' && in[pos] != '\n') ++pos;
      if (pos < size) ++pos;
    } else if (run.consumed == 0) {
      ADD_FAILURE() << "no progress at " << pos;
      break;
    }
  }
  return whole;
}

void ExpectSameAsReference(const QByteArray& in, std::size_t capacity, const TYencStops* stops, const char* what) {
  const TWhole expected =
      DecodeWhole(in, capacity, stops, [&](const char* p, std::size_t n, char* o, std::size_t c, const TYencStops* s) {
        return Reference(QByteArray::fromRawData(p, static_cast<qsizetype>(n)), o, c, s);
      });
  for (TYencKernel kernel : Kernels()) {
    const TWhole got = DecodeWhole(in, capacity, stops,
                                   [&](const char* p, std::size_t n, char* o, std::size_t c, const TYencStops* s) {
                                     return DecodeLinesWith(kernel, p, n, o, c, s);
                                   });
    ASSERT_EQ(got.stops, expected.stops) << what << " kernel " << KernelName(kernel);
    ASSERT_EQ(got.out.size(), expected.out.size()) << what << " kernel " << KernelName(kernel);
    ASSERT_TRUE(got.out == expected.out) << what << " kernel " << KernelName(kernel);
  }
}

// Single calls must agree exactly too (offsets, counts, the stop reason).
void ExpectSameSingleCall(const QByteArray& in, std::size_t capacity, const TYencStops* stops) {
  std::vector<char> reference(capacity + kOutputSlack), got(capacity + kOutputSlack);
  const TYencRun expected = Reference(in, reference.data(), capacity, stops);
  for (TYencKernel kernel : Kernels()) {
    const TYencRun run =
        DecodeLinesWith(kernel, in.constData(), static_cast<std::size_t>(in.size()), got.data(), capacity, stops);
    ASSERT_EQ(run.consumed, expected.consumed) << KernelName(kernel);
    ASSERT_EQ(run.produced, expected.produced) << KernelName(kernel);
    ASSERT_EQ(run.lines, expected.lines) << KernelName(kernel);
    ASSERT_EQ(run.forCaller, expected.forCaller) << KernelName(kernel);
    ASSERT_EQ(0, std::memcmp(got.data(), reference.data(), run.produced)) << KernelName(kernel);
  }
}

// Bytes drawn from a small alphabet rich in what the kernels must get right.
QByteArray HostileBytes(std::mt19937_64& rng, qsizetype size, bool withLongLines) {
  static const char kAlphabet[] = "==========\r\n\r\n\r\n\n\rAbBy Yegin.\t\x00\xff";
  QByteArray out;
  out.reserve(size);
  while (out.size() < size) {
    const auto r = rng() % 100;
    if (r < 3) {
      out.append(rng() % 2 ? "begin " : "BeGiN 644 x");
    } else if (r < 6) {
      out.append(rng() % 2 ? "=ybegin " : "=Yend");
    } else if (r < 7 && withLongLines) {
      out.append(QByteArray(static_cast<qsizetype>(2040 + rng() % 20), 'q'));
    } else if (r < 40) {
      out.append(kAlphabet[rng() % (sizeof kAlphabet - 1)]);
    } else {
      out.append(static_cast<char>(rng() & 0xFF));
    }
  }
  out.truncate(size);
  return out;
}

TEST(YencKernel, EncodedPayloadsRoundTripOnEveryKernel) {
  std::mt19937_64 rng(7);
  for (int lineLength : {1, 2, 63, 64, 128, 997, 2048, 2049}) {
    for (const char* lineEnd : {"\r\n", "\n", "\r", "\r\r\n"}) {
      const QByteArray data = RandomBytes(rng, 20000 + static_cast<qsizetype>(rng() % 3000));
      const QByteArray encoded = YencEncode(data, lineLength, lineEnd);
      for (TYencKernel kernel : Kernels()) {
        // Markers in random payloads make the kernel stop: DecodeWhole
        // skips those lines, so compare against the reference, and check the
        // plain round trip whenever nothing stopped.
        std::vector<char> out(encoded.size() + kOutputReserve);
        const TYencRun run = DecodeLinesWith(kernel, encoded.constData(), static_cast<std::size_t>(encoded.size()),
                                             out.data(), out.size(), nullptr);
        if (!run.forCaller && lineLength + 2 <= static_cast<int>(kMaxYencLine)) {
          ASSERT_EQ(run.consumed, static_cast<std::size_t>(encoded.size()));
          ASSERT_EQ(QByteArray(out.data(), static_cast<qsizetype>(run.produced)), data)
              << KernelName(kernel) << " line " << lineLength;
        }
      }
      ExpectSameAsReference(encoded, 1 << 20, nullptr, "encoded");
    }
  }
}

TEST(YencKernel, HostileInputMatchesTheLineRules) {
  std::mt19937_64 rng(11);
  TYencStops stops;
  stops.Add("abby", 4);
  stops.Add("-- ", 3);
  for (int round = 0; round < 300; ++round) {
    const QByteArray in = HostileBytes(rng, static_cast<qsizetype>(rng() % 9000), round % 3 == 0);
    ExpectSameSingleCall(in, kOutputReserve + rng() % 5000, round % 2 ? &stops : nullptr);
    ExpectSameAsReference(in, kOutputReserve + rng() % 20000, round % 2 ? &stops : nullptr, "hostile");
  }
}

TEST(YencKernel, EdgeCases) {
  struct TCase {
    const char* name;
    QByteArray in;
    QByteArray expected;
  };
  const QByteArray longLine(static_cast<qsizetype>(kMaxYencLine) + 1, 'k');
  const QByteArray maxLine(static_cast<qsizetype>(kMaxYencLine), 'k');
  const TCase cases[] = {
      {"escape at line end yields nothing", QByteArray("ab=\r\ncd"), QByteArray("78") + "9:"},
      {"escape of escape", QByteArray("=="), QByteArray(1, static_cast<char>('=' - 106))},
      {"run of five escapes", QByteArray("=====\n"), QByteArray(2, static_cast<char>('=' - 106))},
      {"escape does not cross a line end", QByteArray("=\n=\nA"), QByteArray(1, 'A' - 42)},
      {"over-long line dropped", longLine + "\r\nA", QByteArray(1, 'A' - 42)},
      {"longest line kept", maxLine + "\r\n", QByteArray(maxLine.size(), static_cast<char>('k' - 42))},
      {"NUL bytes are data", QByteArray("\0\0", 2), QByteArray(2, static_cast<char>(-42))},
      {"empty input", QByteArray(), QByteArray()},
      {"only line ends", QByteArray("\r\n\r\r\n\n"), QByteArray()},
  };
  for (const TCase& c : cases) {
    for (TYencKernel kernel : Kernels()) {
      std::vector<char> out(c.in.size() + kOutputReserve);
      const TYencRun run = DecodeLinesWith(kernel, c.in.constData(), static_cast<std::size_t>(c.in.size()), out.data(),
                                           out.size(), nullptr);
      EXPECT_EQ(run.consumed, static_cast<std::size_t>(c.in.size())) << c.name << " " << KernelName(kernel);
      EXPECT_EQ(QByteArray(out.data(), static_cast<qsizetype>(run.produced)), c.expected)
          << c.name << " " << KernelName(kernel);
    }
  }
}

TEST(YencKernel, StopsInFrontOfMarkerLinesAndBadStrings) {
  TYencStops stops;
  stops.Add("Spam", 4);
  const QByteArray in = "AAAA\r\nspam\r\nBBBB\r\n=yend size=4\r\nbegin 644 x\r\n";
  for (TYencKernel kernel : Kernels()) {
    std::vector<char> out(kOutputReserve + 64);
    TYencRun run =
        DecodeLinesWith(kernel, in.constData(), static_cast<std::size_t>(in.size()), out.data(), out.size(), &stops);
    EXPECT_TRUE(run.forCaller);
    EXPECT_EQ(run.consumed, 6u) << KernelName(kernel);  // in front of "spam" (any case)
    EXPECT_EQ(run.produced, 4u);
    const std::size_t afterSpam = 12;
    run = DecodeLinesWith(kernel, in.constData() + afterSpam, static_cast<std::size_t>(in.size()) - afterSpam,
                          out.data(), out.size(), &stops);
    EXPECT_TRUE(run.forCaller);
    EXPECT_EQ(run.consumed, 6u);  // in front of "=yend"
  }
}

TEST(YencKernel, DecodeLineNeverReadsPastTheLine) {
  // The buffer ends right after the "=": a read past it would be caught by
  // the sanitizers in the fuzz build; here the result shows it.
  const std::string line = "ab=";
  char out[8] = {};
  EXPECT_EQ(DecodeLine(line.data(), line.size(), out), 2u);
}

}  // namespace
