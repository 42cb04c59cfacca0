#include "binaries/CheckNewsMessage.h"

#include "app/Crc32.h"
#include "app/Logger.h"
#include "binaries/LineDecoder.h"
#include "binaries/LineScan.h"
#include "binaries/YencKernel.h"

#include <QIODevice>

#include <string_view>
#include <vector>

using linescan::FindLineEnd;
using linescan::SkipLineEnd;
using linescan::StartsWithNoCase;

namespace {

using TLine = std::string_view;

std::vector<TLine> SplitLines(const char* p, const char* end) {
  std::vector<TLine> lines;
  while (p < end) {
    const char* e = FindLineEnd(p, end);
    lines.emplace_back(p, static_cast<std::size_t>(e - p));
    p = SkipLineEnd(e, end);
  }
  return lines;
}

bool StartsWith(TLine line, const char* keyword) { return StartsWithNoCase(line.data(), line.size(), keyword); }

// CRC-32 of the yEnc data lines from index first up to the "=yend " line;
// returns that line's index, or lines.size() when there is none.
std::size_t PartCrc(const std::vector<TLine>& lines, std::size_t first, std::uint32_t& crc) {
  std::vector<char> out(64 * 1024);
  crc = 0;
  for (std::size_t i = first; i < lines.size(); ++i) {
    const TLine line = lines[i];
    if (StartsWith(line, "=yend ")) return i;
    if (line.empty()) continue;
    if (out.size() < line.size() + yenc::kOutputReserve) out.resize(line.size() + yenc::kOutputReserve);
    std::size_t n;
    if (line.size() <= yenc::kMaxYencLine && !yenc::IsMarkerStart(line.data(), line.size())) {
      n = yenc::DecodeLines(line.data(), line.size(), out.data(), out.size(), nullptr).produced;
    } else {
      n = line.size() <= yenc::kMaxYencLine ? yenc::DecodeLine(line.data(), line.size(), out.data()) : 0;
    }
    crc = Crc32(out.data(), n, crc);
  }
  return lines.size();
}

bool CheckYenc(const std::vector<TLine>& lines, std::size_t start) {
  bool valid = false;
  for (std::size_t i = start; i < lines.size(); ++i) {
    if (!StartsWith(lines[i], "=ybegin ")) continue;
    if (!StartsWith(lines[i], "=ybegin part=")) return true;
    if (i + 1 >= lines.size() || !StartsWith(lines[i + 1], "=ypart begin=")) return false;
    std::uint32_t crc = 0;
    const std::size_t yend = PartCrc(lines, i + 2, crc);
    if (yend >= lines.size()) return false;
    const TLine line = lines[yend];
    const qsizetype found = QByteArray(line.data(), static_cast<qsizetype>(line.size())).toLower().indexOf("pcrc32=");
    if (found < 0) return false;
    const auto key = static_cast<std::size_t>(found);
    std::size_t stop = key + 7;
    while (stop < line.size() && line[stop] != ' ' && line[stop] != '\t') ++stop;
    const auto expected =
        TLineDecoder::ParseCrc(QByteArrayView(line.data() + key + 7, static_cast<qsizetype>(stop - key - 7)));
    if (!expected || *expected != crc) return false;
    valid = true;
    i = yend;
  }
  return valid;
}

bool CheckUuencode(const std::vector<TLine>& lines) {
  std::size_t j = 0;
  while (j < lines.size() && !lines[j].empty()) ++j;
  while (j < lines.size() && lines[j].empty()) ++j;
  auto startsWithM = [&](std::size_t k) { return k < lines.size() && !lines[k].empty() && lines[k][0] == 'M'; };
  for (; j + 1 < lines.size(); ++j) {
    const TLine line = lines[j];
    if (line.empty()) continue;
    if (line[0] == '`') return true;
    if (line[0] != 'M') continue;
    if (!((j > 0 && startsWithM(j - 1)) || startsWithM(j + 1))) continue;
    for (char c : line) {
      const auto u = static_cast<unsigned char>(c);
      if (u < 32 || u > 96) return false;
    }
  }
  return true;
}

}  // namespace

bool CheckNewsMessage(QByteArrayView article) {
  LOG_METHOD("CheckNewsMessage");
  const std::vector<TLine> lines = SplitLines(article.data(), article.data() + article.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (StartsWith(lines[i], "=ybegin ")) return CheckYenc(lines, i);
    if (StartsWith(lines[i], "mime-version:")) return true;
  }
  return CheckUuencode(lines);
}

bool CheckNewsMessage(QIODevice& stream) {
  if (!stream.isReadable()) return false;
  const QByteArray data = stream.readAll();
  return CheckNewsMessage(QByteArrayView(data));
}
