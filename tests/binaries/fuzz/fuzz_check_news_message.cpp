// CheckNewsMessage on arbitrary article text.
#include "binaries/CheckNewsMessage.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckNewsMessage(QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  return 0;
}
