// TNewsDecoder on arbitrary article files: the input is split into up to
// eight articles at "\n\x01\n", decoded as one post; the first byte chooses
// OverwriteFiles.
#include "FuzzDirs.h"

#include "binaries/NewsDecoder.h"

#include <cstdint>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TFuzzDirs dirs;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  TNewsDecoder decoder{QString()};
  decoder.OverwriteFiles = size > 0 && (data[0] & 1);
  decoder.SetDestination(dirs.Out());
  std::size_t start = 0;
  for (int n = 0; n < 8 && start <= input.size(); ++n) {
    std::size_t end = input.find("\n\x01\n", start);
    if (end == std::string_view::npos || n == 7) end = input.size();
    decoder.AddInput(dirs.WriteInput(n, input.data() + start, static_cast<qsizetype>(end - start)));
    start = end + 3;
  }
  decoder.Execute();
  for (const QString& path : decoder.Produced())
    if (!path.startsWith(dirs.Out()) || path.indexOf(QLatin1Char('/'), dirs.Out().size()) >= 0) std::abort();
  dirs.CheckAndClear();
  return 0;
}
