#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <type_traits>

// A growable array of plain records that grows with realloc: large arrays
// then move by remapping their pages instead of being copied, so growing to
// millions of records costs neither a copy nor twice the memory at once.
template <typename T>
class TPodArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  TPodArray() = default;
  ~TPodArray() { std::free(fData); }
  TPodArray(const TPodArray&) = delete;
  TPodArray& operator=(const TPodArray&) = delete;

  std::size_t size() const { return fSize; }
  std::size_t capacity() const { return fCapacity; }
  bool empty() const { return fSize == 0; }
  T* data() { return fData; }
  const T* data() const { return fData; }
  T& operator[](std::size_t i) { return fData[i]; }
  const T& operator[](std::size_t i) const { return fData[i]; }
  T& back() { return fData[fSize - 1]; }

  // False when memory ran out (the array is unchanged then).
  bool reserve(std::size_t count) {
    if (count <= fCapacity) return true;
    void* grown = std::realloc(fData, count * sizeof(T));
    if (!grown) return false;
    fData = static_cast<T*>(grown);
    fCapacity = count;
    return true;
  }
  // A value-initialised record at the end; null when memory ran out.
  T* append() {
    if (fSize == fCapacity && !reserve(fCapacity < 1024 ? 1024 : fCapacity * 2)) return nullptr;
    return new (fData + fSize++) T();
  }
  void pop_back() { --fSize; }
  void push_back(const T& value) {
    if (T* slot = append()) *slot = value;
  }
  // Gives all memory back.
  void release() {
    std::free(fData);
    fData = nullptr;
    fSize = fCapacity = 0;
  }

 private:
  T* fData = nullptr;
  std::size_t fSize = 0;
  std::size_t fCapacity = 0;
};
