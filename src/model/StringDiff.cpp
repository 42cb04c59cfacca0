#include "model/StringDiff.h"

#include <cstdint>
#include <cstring>

namespace {

inline bool IsMarker(char c) { return c == '!' || c == '"' || c == '#' || c == '$'; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

inline bool Same4(const char* a, const char* b) {
  std::uint32_t x;
  std::uint32_t y;
  std::memcpy(&x, a, 4);
  std::memcpy(&y, b, 4);
  return x == y;
}

class TDiffWriter {
 public:
  explicit TDiffWriter(char* out) : fOut(out) {}
  bool Raw(char c) {
    if (fLength >= kMaxStringDiff) return fOk = false;
    fOut[fLength++] = c;
    return true;
  }
  bool Literal(char c) { return IsMarker(c) ? Raw(c) && Raw(c) : Raw(c); }
  void Copy(std::size_t run) {
    while (run > 99) {
      Raw('!'), Raw('9'), Raw('9');
      run -= 99;
    }
    if (run >= 10) {
      Raw('!'), Raw(char('0' + run / 10)), Raw(char('0' + run % 10));
    } else if (run >= 1) {
      Raw('#'), Raw(char('0' + run));
    }
  }
  bool Ok() const { return fOk; }
  int Length() const { return fLength; }

 private:
  char* fOut;
  int fLength = 0;
  bool fOk = true;
};

}  // namespace

int EncodeStringDiff(std::string_view base, std::string_view text, char* out) {
  TDiffWriter w(out);
  const std::size_t n = text.size();
  const std::size_t m = base.size();
  std::size_t i = 0;  // cursor in text
  std::size_t j = 0;  // cursor in base
  while (i < n && w.Ok()) {
    if (j >= m) {
      while (i < n && w.Literal(text[i])) ++i;
      break;
    }
    if (text[i] == base[j]) {
      std::size_t run = 1;
      while (i + run < n && j + run < m && text[i + run] == base[j + run]) ++run;
      if (run < 4) {
        for (std::size_t k = 0; k < run; ++k) w.Literal(text[i + k]);
      } else {
        w.Copy(run);
      }
      i += run;
      j += run;
      continue;
    }
    if (n - i >= 8 && m - j >= 8) {
      // Extra bytes in text: base[j+1..j+4] reappears k bytes later in text.
      bool done = false;
      for (std::size_t k = 1; k <= 4 && !done; ++k) {
        if (i + k + 4 < n && Same4(base.data() + j + 1, text.data() + i + k + 1)) {
          w.Literal(text[i]);
          w.Raw('"');
          w.Raw(char('0' + k));
          for (std::size_t t = 1; t <= k; ++t) w.Raw(text[i + t]);  // read back by count: never doubled
          i += k + 1;
          j += 1;
          done = true;
        }
      }
      // Extra bytes in base: text[i+1..i+4] reappears k bytes later in base.
      for (std::size_t k = 1; k <= 4 && !done; ++k) {
        if (j + k + 4 < m && Same4(base.data() + j + k + 1, text.data() + i + 1)) {
          w.Literal(text[i]);
          w.Raw('$');
          w.Raw(char('0' + k));
          i += 1;
          j += k + 1;
          done = true;
        }
      }
      if (done) continue;
    }
    std::size_t run = 0;
    while (run < 6 && i + run < n && j + run < m && text[i + run] != base[j + run]) w.Literal(text[i + run++]);
    i += run;
    j += run;
  }
  return w.Ok() ? w.Length() : -1;
}

namespace {

// Walks diff against base and hands every produced stretch to sink, which
// answers false to stop. False for a malformed difference.
template <typename TSink>
bool ApplyStringDiff(std::string_view base, std::string_view diff, TSink&& sink) {
  const std::size_t d = diff.size();
  const std::size_t m = base.size();
  std::size_t j = 0;
  std::size_t p = 0;
  while (p < d) {
    const char c = diff[p];
    if (!IsMarker(c)) {
      if (!sink(diff.data() + p, 1)) return false;
      ++j;
      ++p;
      continue;
    }
    if (p + 1 < d && diff[p + 1] == c) {
      if (!sink(diff.data() + p, 1)) return false;
      ++j;
      p += 2;
      continue;
    }
    if (p + 1 >= d || !IsDigit(diff[p + 1])) return false;
    std::size_t count = static_cast<std::size_t>(diff[p + 1] - '0');
    std::size_t width = 2;
    if (c == '!') {
      if (p + 2 >= d || !IsDigit(diff[p + 2])) return false;
      count = count * 10 + static_cast<std::size_t>(diff[p + 2] - '0');
      width = 3;
    }
    if (count == 0) return false;
    switch (c) {
      case '!':
      case '#':
        if (j > m || count > m - j || !sink(base.data() + j, count)) return false;
        j += count;
        break;
      case '"':
        if (p + width + count > d || !sink(diff.data() + p + width, count)) return false;
        width += count;
        break;
      default:  // '$'
        if (j > m || count > m - j) return false;
        j += count;
        break;
    }
    p += width;
  }
  return true;
}

}  // namespace

bool DecodeStringDiff(std::string_view base, std::string_view diff, std::string& out) {
  out.clear();
  return ApplyStringDiff(base, diff, [&out](const char* bytes, std::size_t n) {
    out.append(bytes, n);
    return true;
  });
}

bool StringDiffReproduces(std::string_view base, std::string_view diff, std::string_view text) {
  std::size_t at = 0;
  const bool ok = ApplyStringDiff(base, diff, [&](const char* bytes, std::size_t n) {
    if (n > text.size() - at || std::memcmp(bytes, text.data() + at, n) != 0) return false;
    at += n;
    return true;
  });
  return ok && at == text.size();
}

int MakeStringDiff(std::string_view base, std::string_view text, char* out) {
  if (base.empty() || text.empty()) return -1;
  const int length = EncodeStringDiff(base, text, out);
  if (length < 0 || static_cast<std::size_t>(length) >= text.size()) return -1;
  if (!StringDiffReproduces(base, std::string_view(out, static_cast<std::size_t>(length)), text)) return -1;
  return length;
}
