// TMime on an arbitrary message file.
#include "FuzzDirs.h"

#include "binaries/Mime.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TFuzzDirs dirs;
  TMime mime;
  mime.SetWorkingDirectory(dirs.Work());
  mime.SetAttachmentDirectory(dirs.Out());
  mime.SetNamedPartsOnly(size > 0 && (data[0] & 1));
  mime.SetOverwriteFiles(size > 0 && (data[0] & 2));
  mime.Decode(dirs.WriteInput(0, reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  dirs.CheckAndClear();
  return 0;
}
