// DecodeHeaderWords and the header parameter parser on arbitrary text.
#include "binaries/HeaderWords.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArrayView text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  DecodeHeaderWords(text);
  ParseHeaderValue(text);
  return 0;
}
