#include "model/TernaryList.h"

void TTernaryList::Clear() {
  fTree.Clear(fRoot);
  fRoot = 0;
  fCount = 0;
}

bool TTernaryList::Add(QByteArrayView key, void* object, void* tag) {
  bool ok = true;
  fRoot = fTree.Insert(fRoot, key, object, tag, false, &ok);
  if (ok) ++fCount;
  return ok;
}

bool TTernaryList::ForEach(std::uintptr_t value, const std::function<void(const TTernaryWalkRecord&)>& callback) const {
  if (!callback) return false;
  std::vector<char> buffer(8192);
  TTernaryWalkRecord record;
  record.value = value;
  fTree.Walk(fRoot, buffer, [&](std::string_view key, std::uint32_t terminal) {
    record.key = key.data();
    record.keyLength = static_cast<int>(key.size());
    record.terminal = terminal;
    record.items = fTree.Items(terminal);
    callback(record);
    ++record.index;
  });
  return true;
}
