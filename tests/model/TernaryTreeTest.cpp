#include "app/Logger.h"
#include "model/FixedKeyTree.h"
#include "model/TernaryList.h"
#include "model/TernaryTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Keys(const TTernaryList& list) {
  std::vector<std::string> keys;
  list.ForEach(0, [&](const TTernaryWalkRecord& r) {
    EXPECT_EQ(r.index, static_cast<int>(keys.size()));
    EXPECT_EQ(r.key[r.keyLength], '\0');
    keys.emplace_back(r.key, static_cast<std::size_t>(r.keyLength));
  });
  return keys;
}

}  // namespace

TEST(TernaryTree, DuplicateKeysAddNoNodesAndChainTheirObjects) {
  TTernaryTree tree;
  int first = 1;
  int second = 2;
  ASSERT_TRUE(tree.Insert("sender@example.com", &first));
  const std::uint64_t nodes = tree.NodeCount();
  EXPECT_EQ(nodes, 19u);  // one node per byte and the terminal
  ASSERT_TRUE(tree.Insert("sender@example.com", &second));
  ASSERT_TRUE(tree.Insert("sender@example.com"));
  EXPECT_EQ(tree.NodeCount(), nodes);
  EXPECT_EQ(tree.KeyCount(), 1u);
  std::vector<void*> objects;
  tree.ForEachKey([&](std::string_view key, const TTernaryItem* item) {
    EXPECT_EQ(key, "sender@example.com");
    for (; item; item = tree.Tree().Item(item->next)) objects.push_back(item->object);
  });
  EXPECT_EQ(objects, (std::vector<void*>{&second, &first}));
  tree.Clear();
  EXPECT_EQ(tree.NodeCount(), 0u);
  EXPECT_FALSE(tree.Contains("sender@example.com"));
}

TEST(TernaryList, OrderPrefixesAndLookup) {
  TTernaryList list;
  for (const char* key : {"abc", "ab", "b", "\xC3\xA9t\xC3\xA9", "Zed", "", "abd"})
    ASSERT_TRUE(list.Add(key, reinterpret_cast<void*>(1)));
  EXPECT_EQ(list.Count(), 7);
  // Unsigned byte order: a key before the keys it prefixes, bytes of 128 and up last.
  EXPECT_EQ(Keys(list), (std::vector<std::string>{"", "Zed", "ab", "abc", "abd", "b", "\xC3\xA9t\xC3\xA9"}));
  EXPECT_NE(list.Find("ab"), 0u);
  EXPECT_EQ(list.Find("a"), 0u);  // only a prefix of stored keys
  EXPECT_EQ(list.Find("abcd"), 0u);
  EXPECT_NE(list.Find(""), 0u);  // the empty key is a terminal node at the root
  ASSERT_NE(list.Items("abc"), nullptr);
  EXPECT_EQ(list.Items("abc")->object, reinterpret_cast<void*>(1));
  int tag = 0;
  list.Add("abc", nullptr, &tag);
  EXPECT_EQ(list.Items("abc")->tag, &tag);  // the newest item is the head
}

TEST(TernaryList, ForEachAndClear) {
  TTernaryList list;
  EXPECT_FALSE(list.ForEach(0, nullptr));
  int calls = 0;
  EXPECT_TRUE(list.ForEach(0, [&](const TTernaryWalkRecord&) { ++calls; }));
  EXPECT_EQ(calls, 0);
  list.Add("key");
  std::uintptr_t seen = 0;
  EXPECT_TRUE(list.ForEach(42, [&](const TTernaryWalkRecord& r) { seen = r.value; }));
  EXPECT_EQ(seen, 42u);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Tree().BlockCount(), 0);  // no block until the next insertion
  EXPECT_EQ(list.Find("key"), 0u);
  list.Add("again");
  EXPECT_EQ(list.Tree().BlockCount(), 1);
  EXPECT_EQ(Keys(list), (std::vector<std::string>{"again"}));
}

TEST(TernaryList, ManyAndLongKeysWalkInOrderWithoutRecursion) {
  TTernaryList list;
  std::vector<std::string> keys;
  std::mt19937 random(9);
  for (int i = 0; i < 20000; ++i) {
    std::string key = "msg" + std::to_string(random() % 1000000) + "@host";
    keys.push_back(key);
    ASSERT_TRUE(list.Add(key));
  }
  // Sorted insertion makes the deepest trees; and keys longer than the usual buffer.
  for (int i = 0; i < 3000; ++i) {
    char key[8];
    std::snprintf(key, sizeof key, "%06d", i);
    keys.emplace_back(key);
    list.Add(keys.back());
  }
  keys.push_back(std::string(20000, 'x'));
  list.Add(keys.back());
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  EXPECT_EQ(Keys(list), keys);
  for (const std::string& key : keys) ASSERT_NE(list.Find(key), 0u);
}

TEST(TernaryNodePool, BlockSizeRules) {
  TTernaryNodePool pool;
  const int errors = TLogger::Instance().ErrorCount();
  EXPECT_EQ(pool.GetNode(), 0u);  // block size never set
  EXPECT_FALSE(pool.SetBlockSize(0));
  EXPECT_EQ(TLogger::Instance().ErrorCount(), errors + 2);
  ASSERT_TRUE(pool.SetBlockSize(3));
  EXPECT_EQ(pool.BlockCount(), 1);
  std::vector<std::uint32_t> nodes;
  for (int i = 0; i < 7; ++i) nodes.push_back(pool.GetNode());
  EXPECT_EQ(pool.BlockCount(), 3);
  EXPECT_EQ(pool.TotalSlots(), 7u);
  for (std::uint32_t n : nodes) {
    EXPECT_EQ(pool.Node(n).split, 0);  // handed out zeroed
    pool.Node(n).split = static_cast<std::uint8_t>(n);
  }
  for (std::uint32_t n : nodes) EXPECT_EQ(pool.Node(n).split, n);  // slots are distinct
  pool.Clear();
  EXPECT_EQ(pool.BlockCount(), 0);
  EXPECT_EQ(pool.TotalSlots(), 0u);
}

TEST(FixedKeyTree, FourByteKeysWithAnyBytes) {
  TFixedKeyTree set(4);
  const std::uint32_t values[] = {0, 0xDEDED4F, 0xFFFFFFFF, 0x00FF00FF, 0x4c995999};
  for (std::uint32_t v : values) ASSERT_TRUE(set.Insert(&v));
  ASSERT_TRUE(set.Insert(&values[1]));
  EXPECT_EQ(set.Count(), 5u);
  for (std::uint32_t v : values) EXPECT_TRUE(set.Contains(&v));
  for (std::uint32_t v : {1u, 0xDEDED4Eu, 0xFF00FF00u}) EXPECT_FALSE(set.Contains(&v));
  set.Clear();
  EXPECT_FALSE(set.Contains(&values[0]));
}
