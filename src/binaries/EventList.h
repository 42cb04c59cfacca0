#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

// A work queue between threads: a list under its own lock, taken from the
// front. Adding wakes the threads waiting in Wait and calls the optional
// OnAdded hook (for a consumer that runs an event loop instead of waiting).
// The lock is re-entrant for its holder, so a walk under Lock() may call the
// list's own operations.
template <typename T>
class TEventList {
 public:
  explicit TEventList(std::size_t capacity = 0) { (void)capacity; }
  TEventList(const TEventList&) = delete;
  TEventList& operator=(const TEventList&) = delete;

  // Called after items were added, outside the lock, on the adding thread.
  std::function<void()> OnAdded;

  void Add(T item) {
    {
      std::lock_guard lock(fMutex);
      fItems.push_back(std::move(item));
    }
    fChanged.notify_all();
    if (OnAdded) OnAdded();
  }
  void AddFront(T item) {
    {
      std::lock_guard lock(fMutex);
      fItems.push_front(std::move(item));
    }
    fChanged.notify_all();
    if (OnAdded) OnAdded();
  }
  std::optional<T> Take() {
    std::lock_guard lock(fMutex);
    if (fItems.empty()) return std::nullopt;
    T item = std::move(fItems.front());
    fItems.pop_front();
    return item;
  }
  // Take, counting the item as in hand (busy + 1) in the same step, so a
  // watcher never sees it neither queued nor in hand.
  std::optional<T> TakeInHand(std::atomic<int>& busy) {
    std::lock_guard lock(fMutex);
    if (fItems.empty()) return std::nullopt;
    busy.fetch_add(1);
    T item = std::move(fItems.front());
    fItems.pop_front();
    return item;
  }
  // Removes the first item equal to item; false when there is none.
  bool Remove(const T& item) {
    std::lock_guard lock(fMutex);
    for (auto it = fItems.begin(); it != fItems.end(); ++it) {
      if (*it == item) {
        fItems.erase(it);
        return true;
      }
    }
    return false;
  }
  std::size_t Count() const {
    std::lock_guard lock(fMutex);
    return fItems.size();
  }
  bool IsEmpty() const { return Count() == 0; }
  void Clear() {
    std::lock_guard lock(fMutex);
    fItems.clear();
  }

  // Waits until an item is there, stop() is true or the time is up; stop is
  // tested under the lock, so Wake() after setting it is never missed.
  template <typename Stop>
  bool Wait(Stop stop, std::chrono::milliseconds timeout) {
    std::unique_lock lock(fMutex);
    return fChanged.wait_for(lock, timeout, [&] { return !fItems.empty() || stop(); }) && !fItems.empty();
  }
  // Wakes the waiting threads (after a stop condition was set).
  void Wake() {
    { std::lock_guard lock(fMutex); }
    fChanged.notify_all();
  }

  // Runs fn(items) under the lock: a walk that may take, skip and erase.
  template <typename Fn>
  auto Locked(Fn fn) {
    std::lock_guard lock(fMutex);
    return fn(fItems);
  }

 private:
  mutable std::recursive_mutex fMutex;
  std::condition_variable_any fChanged;
  std::deque<T> fItems;
};
