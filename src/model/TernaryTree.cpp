#include "model/TernaryTree.h"

bool TTernaryTree::Insert(QByteArrayView key, void* object) {
  bool ok = true;
  bool added = false;
  fRoot = fTree.Insert(fRoot, key, object, nullptr, false, &ok, &added);
  fKeys += added;
  return ok;
}

void TTernaryTree::SetBlockSize(int n) {
  fTree.Clear(fRoot);
  fRoot = 0;
  fKeys = 0;
  fTree.SetBlockSize(n);
}

void TTernaryTree::Clear() {
  fTree.Clear(fRoot);
  fRoot = 0;
  fKeys = 0;
}
