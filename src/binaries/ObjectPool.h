#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// Objects every article needs (its receive stream, its bit sets) are reused
// instead of made per article. The pool owns every object it made; Take
// hands out the one returned last (still warm in the cache), or makes a new
// one; Return keeps at most MaxFree free objects (-1: no maximum) and
// destroys the oldest beyond that. Each pool has its own lock.
template <typename T>
class TObjectPool {
 public:
  using TMaker = std::function<std::unique_ptr<T>()>;

  explicit TObjectPool(TMaker maker = [] { return std::make_unique<T>(); }, int maxFree = 10)
      : fMaker(std::move(maker)), fMaxFree(maxFree) {}
  TObjectPool(const TObjectPool&) = delete;
  TObjectPool& operator=(const TObjectPool&) = delete;

  T* Take() {
    std::lock_guard lock(fLock);
    if (!fFree.empty()) {
      T* object = fFree.back();
      fFree.pop_back();
      ++fInUse;
      return object;
    }
    std::unique_ptr<T> made = fMaker();
    T* object = made.get();
    fAll.push_back(std::move(made));
    ++fInUse;
    return object;
  }

  void Return(T* object) {
    if (!object) return;
    std::lock_guard lock(fLock);
    fFree.push_back(object);
    --fInUse;
    while (fMaxFree >= 0 && static_cast<int>(fFree.size()) > fMaxFree) {
      T* oldest = fFree.front();
      fFree.erase(fFree.begin());
      fAll.erase(std::find_if(fAll.begin(), fAll.end(), [oldest](const auto& p) { return p.get() == oldest; }));
    }
  }

  void SetMaxFree(int maxFree) {
    std::lock_guard lock(fLock);
    fMaxFree = maxFree;
  }
  // Destroys every object the pool made (in use or not).
  void Clear() {
    std::lock_guard lock(fLock);
    fFree.clear();
    fAll.clear();
    fInUse = 0;
  }
  int Made() const {
    std::lock_guard lock(fLock);
    return static_cast<int>(fAll.size());
  }
  int FreeCount() const {
    std::lock_guard lock(fLock);
    return static_cast<int>(fFree.size());
  }
  int InUse() const {
    std::lock_guard lock(fLock);
    return fInUse;
  }

 private:
  mutable std::mutex fLock;
  TMaker fMaker;
  int fMaxFree;
  int fInUse = 0;
  std::vector<std::unique_ptr<T>> fAll;
  std::vector<T*> fFree;
};
