// bench_decode: throughput of the binary decoders against memcpy of the same
// bytes in the same run.
//   1. yEnc kernel: whole article bodies (about 740 KB, random payload) decoded
//      from memory, every kernel this processor runs.
//   2. CRC-32 over a large buffer (ISA-L), with zlib's for reference.
//   3. TNewsDecoder from stored article files to the output file (a
//      multipart post), yield off and on.
//   4. uudecode: the line decoder from memory, and TNewsDecoder from a file.
// Usage: bench_decode [--articles N] [--repeat N] [--dir DIR]
#include "app/Crc32.h"
#include "binaries/NewsDecoder.h"
#include "binaries/UuDecode.h"
#include "binaries/YencKernel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using TClock = std::chrono::steady_clock;

// Best time of repeat runs of fn, in seconds.
double Best(int repeat, const std::function<void()>& fn) {
  double best = 1e30;
  for (int i = 0; i < repeat; ++i) {
    const auto start = TClock::now();
    fn();
    best = std::min(best, std::chrono::duration<double>(TClock::now() - start).count());
  }
  return best;
}

double Rate(double bytes, double seconds) { return bytes / seconds / 1e6; }

QByteArray RandomBytes(std::mt19937_64& rng, qsizetype size) {
  QByteArray out(size, Qt::Uninitialized);
  auto* p = reinterpret_cast<std::uint64_t*>(out.data());
  for (qsizetype i = 0; i < size / 8; ++i) p[i] = rng();
  for (qsizetype i = size / 8 * 8; i < size; ++i) out[i] = static_cast<char>(rng());
  return out;
}

// yEnc as posters write it: 128-character lines, CR LF.
QByteArray YencEncode(const QByteArray& data) {
  QByteArray out;
  out.reserve(data.size() * 104 / 100);
  int column = 0;
  for (qsizetype i = 0; i < data.size(); ++i) {
    const auto c = static_cast<unsigned char>(static_cast<unsigned char>(data[i]) + 42);
    const bool last = i + 1 == data.size() || column + 1 >= 128;
    if (c == 0 || c == '\n' || c == '\r' || c == '=' || ((c == '\t' || c == ' ') && (column == 0 || last)) ||
        (c == '.' && column == 0)) {
      out.append('=');
      out.append(static_cast<char>(c + 64));
      column += 2;
    } else {
      out.append(static_cast<char>(c));
      ++column;
    }
    if (column >= 128 && i + 1 < data.size()) {
      out.append("\r\n");
      column = 0;
    }
  }
  return out;
}

QByteArray UuEncode(const QByteArray& data) {
  QByteArray out;
  auto ch = [](unsigned v) { return static_cast<char>(v ? v + 32 : '`'); };
  for (qsizetype i = 0; i < data.size(); i += 45) {
    const qsizetype n = std::min<qsizetype>(45, data.size() - i);
    out.append(ch(static_cast<unsigned>(n)));
    for (qsizetype k = 0; k < n; k += 3) {
      unsigned char b[3] = {0, 0, 0};
      for (qsizetype j = 0; j < 3 && k + j < n; ++j) b[j] = static_cast<unsigned char>(data[i + k + j]);
      out.append(ch(b[0] >> 2));
      out.append(ch(((b[0] & 3) << 4) | (b[1] >> 4)));
      out.append(ch(((b[1] & 15) << 2) | (b[2] >> 6)));
      out.append(ch(b[2] & 63));
    }
    out.append("\r\n");
  }
  return out;
}

bool WriteFile(const QString& path, const QByteArray& data) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  int articles = 40;
  int repeat = 5;
  QString base = QDir::tempPath();
  const QStringList args = app.arguments();
  for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
    if (args[i] == u"--articles"_s) articles = std::max(1, args[i + 1].toInt());
    if (args[i] == u"--repeat"_s) repeat = std::max(1, args[i + 1].toInt());
    if (args[i] == u"--dir"_s) base = args[i + 1];
  }
  std::mt19937_64 rng(2024);
  constexpr qsizetype kPartBytes = 716800;  // a typical article's payload (about 740 KB encoded)

  std::printf("bench_decode: %d articles of %lld payload bytes, best of %d runs\n", articles,
              static_cast<long long>(kPartBytes), repeat);

  // ---- 1. yEnc kernel from memory ----
  const QByteArray payload = RandomBytes(rng, kPartBytes * articles);
  std::vector<QByteArray> bodies;
  double encodedBytes = 0;
  for (int i = 0; i < articles; ++i) {
    bodies.push_back(YencEncode(payload.mid(kPartBytes * i, kPartBytes)));
    encodedBytes += static_cast<double>(bodies.back().size());
  }
  const double overhead = encodedBytes / static_cast<double>(kPartBytes * articles) - 1.0;
  std::printf("\n1. yEnc kernel, whole bodies from memory (%.0f KB each, %.2f%% encoding overhead)\n",
              encodedBytes / articles / 1024, overhead * 100);
  std::vector<char> out(static_cast<std::size_t>(kPartBytes) + yenc::kOutputReserve + 4096);
  std::size_t largest = 0;
  for (const QByteArray& body : bodies) largest = std::max(largest, static_cast<std::size_t>(body.size()));
  std::vector<char> copy(largest);
  const double memcpySeconds = Best(repeat, [&] {
    for (const QByteArray& body : bodies) {
      std::memcpy(copy.data(), body.constData(), static_cast<std::size_t>(body.size()));
      asm volatile("" ::"r"(copy.data()) : "memory");
    }
  });
  const double memcpyRate = Rate(encodedBytes, memcpySeconds);
  std::printf("   %-8s %9.0f MB/s\n", "memcpy", memcpyRate);
  // The bad strings the program ships make the kernels check every line
  // end for them: measured both ways.
  yenc::TYencStops stops;
  for (const char* bad : {"-----= posted via newsfeeds.com, uncensored usenet news =-----",
                          "http://www.newsfeeds.com - the #1 newsgroup service in the world!"})
    stops.Add(bad, std::strlen(bad));
  const yenc::TYencStops* const stopChoices[] = {nullptr, &stops};
  for (const yenc::TYencStops* lineStops : stopChoices) {
    for (yenc::TYencKernel kernel : {yenc::YENC_KERNEL_SCALAR, yenc::YENC_KERNEL_AVX2, yenc::YENC_KERNEL_AVX512}) {
      if (!yenc::KernelSupported(kernel)) continue;
      bool exact = true;
      const double seconds = Best(repeat, [&] {
        for (int i = 0; i < articles; ++i) {
          const QByteArray& body = bodies[static_cast<std::size_t>(i)];
          const yenc::TYencRun run = yenc::DecodeLinesWith(
              kernel, body.constData(), static_cast<std::size_t>(body.size()), out.data(), out.size(), lineStops);
          if (run.produced != static_cast<std::size_t>(kPartBytes) || run.forCaller) exact = false;
        }
      });
      const bool same = std::memcmp(out.data(), payload.constData() + kPartBytes * (articles - 1), kPartBytes) == 0;
      const double rate = Rate(encodedBytes, seconds);
      std::printf("   %-8s %9.0f MB/s  %.2f x memcpy%s%s%s\n", yenc::KernelName(kernel), rate, rate / memcpyRate,
                  lineStops ? "  with bad strings" : "", kernel == yenc::ActiveKernel() ? "  (active)" : "",
                  exact && same ? "" : "  OUTPUT WRONG");
    }
  }

  // ---- 2. CRC-32 ----
  const QByteArray crcData = payload.left(std::min<qsizetype>(payload.size(), qsizetype{64} << 20));
  std::printf("\n2. CRC-32 over %.0f MB\n", crcData.size() / 1e6);
  std::vector<char> crcCopy(static_cast<std::size_t>(crcData.size()));
  const double crcMemcpy = Best(repeat, [&] {
    std::memcpy(crcCopy.data(), crcData.constData(), crcCopy.size());
    asm volatile("" ::"r"(crcCopy.data()) : "memory");
  });
  std::uint32_t sink = 0;
  const double crcSeconds = Best(repeat, [&] { sink ^= Crc32(crcData); });
  const double zlibSeconds = Best(repeat, [&] {
    sink ^= static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(crcData.constData()), static_cast<uInt>(crcData.size())));
  });
  std::printf("   %-8s %9.0f MB/s\n", "memcpy", Rate(crcData.size(), crcMemcpy));
  std::printf("   %-8s %9.0f MB/s  %.2f x memcpy\n", "Crc32", Rate(crcData.size(), crcSeconds), crcMemcpy / crcSeconds);
  std::printf("   %-8s %9.0f MB/s  (zlib, for reference)\n", "zlib", Rate(crcData.size(), zlibSeconds));

  // ---- 3. From article files to the output file ----
  QTemporaryDir dir(base + u"/bench_decode-XXXXXX"_s);
  if (!dir.isValid()) {
    std::fprintf(stderr, "cannot create a temporary directory in %s\n", qPrintable(base));
    return 1;
  }
  const QString inDir = dir.path() + u"/in/"_s;
  const QString outDir = dir.path() + u"/out/"_s;
  QDir().mkpath(inDir);
  QDir().mkpath(outDir);
  const qsizetype fileSize = kPartBytes * articles;
  QStringList paths;
  double articleBytes = 0;
  for (int i = 0; i < articles; ++i) {
    const qsizetype begin = kPartBytes * i + 1;
    const QByteArray part = payload.mid(kPartBytes * i, kPartBytes);
    const QByteArray article =
        "From: bench@example.com\r\nNewsgroups: alt.binaries.test\r\nSubject: bench [" + QByteArray::number(i + 1) +
        "/" + QByteArray::number(articles) + "] - \"bench.bin\" yEnc\r\nMessage-ID: <" + QByteArray::number(i) +
        "@bench>\r\n\r\n=ybegin part=" + QByteArray::number(i + 1) + " total=" + QByteArray::number(articles) +
        " line=128 size=" + QByteArray::number(fileSize) +
        " name=bench.bin\r\n=ypart begin=" + QByteArray::number(begin) +
        " end=" + QByteArray::number(begin + kPartBytes - 1) + "\r\n" + bodies[i] +
        "\r\n=yend size=" + QByteArray::number(kPartBytes) + " part=" + QByteArray::number(i + 1) +
        " pcrc32=" + QByteArray::number(Crc32(part), 16) + "\r\n";
    const QString path = inDir + u"Msg_"_s + QString::number(i) + u".txt"_s;
    if (!WriteFile(path, article)) return 1;
    paths.append(path);
    articleBytes += static_cast<double>(article.size());
  }
  std::printf("\n3. TNewsDecoder, %d stored articles (%.1f MB) to one %.1f MB file\n", articles, articleBytes / 1e6,
              fileSize / 1e6);
  const double fileMemcpy = Best(repeat, [&] {
    for (const QByteArray& body : bodies) {
      std::memcpy(copy.data(), body.constData(), static_cast<std::size_t>(body.size()));
      asm volatile("" ::"r"(copy.data()) : "memory");
    }
  });
  for (bool yield : {false, true}) {
    // With the bad strings the program ships, as the download manager runs it.
    TNewsDecoder decoder(QCoreApplication::applicationDirPath() + u"/SystemData/_BadStrings/"_s);
    decoder.SetDestination(outDir);
    decoder.OverwriteFiles = true;
    decoder.SetYield(yield);
    for (const QString& path : paths) decoder.AddInput(path);
    bool good = true;
    const double seconds = Best(yield ? 1 : repeat, [&] {
      good = decoder.Execute() && decoder.ProducedFiles().size() == 1 &&
             decoder.ProducedFiles().first().check == DECODE_CHECK_GOOD;
    });
    std::printf("   %-12s %7.0f MB/s of article files  %.2f x memcpy%s\n", yield ? "yield on" : "yield off",
                Rate(articleBytes, seconds), fileMemcpy / seconds * (articleBytes / encodedBytes),
                good ? "" : "  DECODE FAILED");
  }

  // ---- 4. uudecode ----
  const QByteArray uuData = payload.left(std::min<qsizetype>(payload.size(), qsizetype{24} << 20));
  const QByteArray uuText = UuEncode(uuData);
  std::printf("\n4. uudecode, %.1f MB encoded\n", uuText.size() / 1e6);
  std::vector<std::pair<const char*, std::size_t>> lines;
  for (qsizetype p = 0; p < uuText.size();) {
    const qsizetype e = uuText.indexOf('\r', p);
    lines.emplace_back(uuText.constData() + p, static_cast<std::size_t>(e - p));
    p = e + 2;
  }
  std::vector<char> uuOut(static_cast<std::size_t>(uuData.size()) + 64);
  const double uuSeconds = Best(repeat, [&] {
    char* o = uuOut.data();
    for (const auto& [line, size] : lines)
      if (uu::IsDataLine(line, size)) o += uu::DecodeLine(line, size, o);
  });
  const bool uuSame = std::memcmp(uuOut.data(), uuData.constData(), static_cast<std::size_t>(uuData.size())) == 0;
  std::vector<char> uuCopy(static_cast<std::size_t>(uuText.size()));
  const double uuMemcpy = Best(repeat, [&] {
    std::memcpy(uuCopy.data(), uuText.constData(), uuCopy.size());
    asm volatile("" ::"r"(uuCopy.data()) : "memory");
  });
  std::printf("   %-12s %7.0f MB/s\n", "memcpy", Rate(uuText.size(), uuMemcpy));
  std::printf("   %-12s %7.0f MB/s  %.2f x memcpy%s\n", "lines", Rate(uuText.size(), uuSeconds), uuMemcpy / uuSeconds,
              uuSame ? "" : "  OUTPUT WRONG");
  // The same text as a post of article files of about 740 KB each.
  TNewsDecoder uuDecoder{QString()};
  uuDecoder.SetDestination(outDir);
  uuDecoder.OverwriteFiles = true;
  double uuArticleBytes = 0;
  const qsizetype perArticle = 740 * 1024 / 63 * 63;  // whole lines
  for (qsizetype p = 0, n = 0; p < uuText.size(); p += perArticle, ++n) {
    QByteArray article = "From: bench@example.com\r\nSubject: uu (" + QByteArray::number(n + 1) + ")\r\n\r\n";
    if (p == 0) article += "begin 644 bench.uu\r\n";
    article += uuText.mid(p, perArticle);
    if (p + perArticle >= uuText.size()) article += "`\r\nend\r\n";
    const QString uuPath = inDir + u"uu"_s + QString::number(n) + u".txt"_s;
    if (!WriteFile(uuPath, article)) return 1;
    uuDecoder.AddInput(uuPath);
    uuArticleBytes += static_cast<double>(article.size());
  }
  bool uuGood = true;
  const double uuFileSeconds = Best(repeat, [&] {
    uuGood = uuDecoder.Execute() && uuDecoder.ProducedFiles().size() == 1 &&
             uuDecoder.ProducedFiles().first().size == uuData.size();
  });
  std::printf("   %-12s %7.0f MB/s of %lld article files to the output file%s\n", "TNewsDecoder",
              Rate(uuArticleBytes, uuFileSeconds), static_cast<long long>(uuDecoder.Inputs().size()),
              uuGood ? "" : "  DECODE FAILED");
  return static_cast<int>(sink & 0);
}
