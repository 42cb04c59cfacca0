#include "binaries/DownloadWorker.h"
#include "binaries/EventList.h"
#include "binaries/MemStream.h"
#include "binaries/MyBits.h"
#include "binaries/ObjectPool.h"

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

TEST(EventList, HandsItemsAcrossThreadsInOrderAndWakesOnStop) {
  TEventList<int> queue;
  std::atomic<bool> stop{false};
  std::vector<int> received;
  std::thread consumer([&] {
    for (;;) {
      if (!queue.Wait([&] { return stop.load(); }, 5000ms)) {
        if (stop) return;
        continue;
      }
      while (auto item = queue.Take()) received.push_back(*item);
    }
  });
  for (int i = 0; i < 1000; ++i) queue.Add(i);
  while (!queue.IsEmpty()) std::this_thread::sleep_for(1ms);
  stop = true;
  queue.Wake();
  consumer.join();  // a missed wake would hold this for seconds, not forever
  ASSERT_EQ(received.size(), 1000u);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(received[static_cast<std::size_t>(i)], i);
}

TEST(EventList, LockedWalkMayUseTheListsOwnOperations) {
  TEventList<int> queue;
  int added = 0;
  queue.OnAdded = [&] { ++added; };
  for (int i : {1, 2, 3, 4}) queue.Add(i);
  const int taken = queue.Locked([&](std::deque<int>& items) {
    // The lock is re-entrant for its holder.
    EXPECT_EQ(queue.Count(), 4u);
    const int second = items[1];
    items.erase(items.begin() + 1);
    EXPECT_TRUE(queue.Remove(4));
    return second;
  });
  EXPECT_EQ(taken, 2);
  EXPECT_EQ(added, 4);
  EXPECT_EQ(*queue.Take(), 1);
  EXPECT_EQ(*queue.Take(), 3);
  EXPECT_FALSE(queue.Take().has_value());
}

TEST(ObjectPool, ReusesTheLastReturnedAndKeepsAtMostTheMaximumFree) {
  int made = 0;
  TObjectPool<int> pool([&made] { return std::make_unique<int>(made++); }, 2);
  int* a = pool.Take();
  int* b = pool.Take();
  int* c = pool.Take();
  EXPECT_EQ(pool.Made(), 3);
  EXPECT_EQ(pool.InUse(), 3);
  pool.Return(a);
  pool.Return(b);
  pool.Return(c);  // three free, the oldest (a) goes
  EXPECT_EQ(pool.FreeCount(), 2);
  EXPECT_EQ(pool.Made(), 2);
  EXPECT_EQ(pool.Take(), c);
  EXPECT_EQ(pool.Take(), b);
  EXPECT_EQ(*pool.Take(), 3);  // a new one
  pool.SetMaxFree(-1);
  pool.Clear();
  EXPECT_EQ(pool.Made(), 0);
}

TEST(MyBits, FirstClearAcrossWords) {
  const struct {
    int size;
    std::vector<int> set;
    int firstClear;
  } cases[] = {
      {0, {}, 0}, {3, {0, 1, 2}, 3}, {3, {0, 2}, 1}, {64, {}, 0}, {65, {}, 0}, {130, {}, 0},
  };
  for (const auto& c : cases) {
    TMyBits bits;
    bits.SetSize(c.size);
    for (int i : c.set) bits.Set(i);
    EXPECT_EQ(bits.FirstClear(), c.firstClear) << c.size;
  }
  TMyBits bits;
  bits.SetSize(130);
  for (int i = 0; i < 129; ++i) bits.Set(i);
  EXPECT_EQ(bits.FirstClear(), 129);
  bits.Set(129);
  EXPECT_EQ(bits.FirstClear(), 130);
  bits.Set(64, false);
  EXPECT_FALSE(bits.Test(64));
  EXPECT_EQ(bits.FirstClear(), 64);
  bits.Set(500);  // out of range: ignored
  EXPECT_FALSE(bits.Test(500));
  bits.ClearAll();
  EXPECT_EQ(bits.FirstClear(), 0);
}

TEST(MemStream, ResetKeepsCapacityAndReadsFromTheStart) {
  TMemStream stream;
  stream.write("hello ", 6);
  stream.write("world", 5);
  EXPECT_EQ(stream.Data(), "hello world");
  stream.seek(0);
  EXPECT_EQ(stream.readAll(), "hello world");
  const qsizetype capacity = stream.Data().capacity();
  stream.Reset();
  EXPECT_EQ(stream.size(), 0);
  EXPECT_EQ(stream.Data().capacity(), capacity);
  stream.write("x", 1);
  EXPECT_EQ(stream.Data(), "x");
}

// The manager ends the session when every worker looks idle, so a worker
// must never look idle while a record is queued for it or in its hands, not
// even at the moment it takes the record from its queue.
TEST(DownloadWorker, NeverLooksIdleWhileARecordIsQueuedOrInHand) {
  class TBlockingWorker : public TDownloadWorker {
   public:
    using TDownloadWorker::TDownloadWorker;
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    std::atomic<int> done{0};

   protected:
    void Process(TNewsMessage*) override {
      entered = true;
      while (!release) std::this_thread::yield();
      ++done;
    }
  };
  TDownloadList list;
  TDownloadContext context(list, TDownloadOptions{}, nullptr, nullptr);
  TBlockingWorker worker(context, context.checkQueue, context.checkBusy);
  worker.start();
  TNewsMessage message;
  int seenIdle = 0;
  constexpr int kRounds = 2000;
  for (int i = 0; i < kRounds; ++i) {
    worker.entered = false;
    worker.release = false;
    context.checkQueue.Add(&message);
    while (!worker.entered)
      if (worker.Idle()) ++seenIdle;
    if (worker.Idle()) ++seenIdle;
    worker.release = true;
    while (worker.done < i + 1) std::this_thread::yield();
  }
  worker.Stop();
  worker.wait();
  EXPECT_EQ(seenIdle, 0);
}
