#include "model/MessageThreader.h"

#include "model/ArticleThreader.h"

#include <algorithm>
#include <string_view>

void TMessageThreader::SetCount(int count) {
  fEntries.assign(static_cast<std::size_t>(count < 0 ? 0 : count), TEntry());
  fRows.clear();
}

void TMessageThreader::SetEntry(int i, std::intptr_t item, double date, QByteArrayView references,
                                QByteArrayView messageId) {
  if (i < 0 || i >= static_cast<int>(fEntries.size())) return;
  TEntry& e = fEntries[static_cast<std::size_t>(i)];
  e.item = item;
  e.date = date;
  e.references = references.trimmed().toByteArray();
  e.messageId = messageId.toByteArray();
}

void TMessageThreader::AddChild(int parent, int child) {
  TEntry& c = fEntries[child];
  c.parent = parent;
  int* link = &fEntries[parent].firstChild;
  while (*link >= 0 && fEntries[*link].date <= c.date) link = &fEntries[*link].nextSibling;
  c.nextSibling = *link;
  *link = child;
}

void TMessageThreader::Detach(int child) {
  TEntry& c = fEntries[child];
  int* link = &fEntries[c.parent].firstChild;
  while (*link >= 0 && *link != child) link = &fEntries[*link].nextSibling;
  if (*link == child) *link = c.nextSibling;
  c.parent = -1;
  c.nextSibling = -1;
}

void TMessageThreader::Mark(int from, std::vector<unsigned char>& reached) const {
  std::vector<int> stack(1, from);
  while (!stack.empty()) {
    const int e = stack.back();
    stack.pop_back();
    if (reached[e]) continue;
    reached[e] = 1;
    for (int c = fEntries[e].firstChild; c >= 0; c = fEntries[c].nextSibling) stack.push_back(c);
  }
}

void TMessageThreader::Thread() {
  fRows.clear();
  const int n = static_cast<int>(fEntries.size());
  for (TEntry& e : fEntries) e.parent = e.nextSibling = e.firstChild = -1;
  fEntries.emplace_back();  // the top node
  const int top = n;

  std::vector<int> byId(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) byId[i] = i;
  const auto idOf = [this](int e) {
    return std::string_view(fEntries[e].messageId.data(), fEntries[e].messageId.size());
  };
  std::sort(byId.begin(), byId.end(), [&](int a, int b) {
    const int order = idOf(a).compare(idOf(b));
    return order != 0 ? order < 0 : a < b;
  });

  std::vector<std::string_view> references;
  for (int i = 0; i < n; ++i) {
    const QByteArray& text = fEntries[i].references;
    TArticleThreader::ParseReferences(std::string_view(text.data(), text.size()), references);
    int parent = -1;
    for (auto r = references.rbegin(); r != references.rend() && parent < 0; ++r) {
      auto it =
          std::lower_bound(byId.begin(), byId.end(), *r, [&](int e, std::string_view id) { return idOf(e) < id; });
      for (; it != byId.end() && idOf(*it) == *r; ++it) {
        if (*it != i) {
          parent = *it;
          break;
        }
      }
    }
    AddChild(parent >= 0 ? parent : top, i);
  }

  // Rows caught in a reference circle never reach the top: the first of each
  // circle goes to the top level instead.
  std::vector<unsigned char> reached(fEntries.size(), 0);
  Mark(top, reached);
  std::vector<int> seen(fEntries.size(), -1);
  for (int i = 0; i < n; ++i) {
    if (reached[i]) continue;
    int e = i;
    while (seen[e] != i) {
      seen[e] = i;
      e = fEntries[e].parent;
    }
    int first = e;
    for (int c = fEntries[e].parent; c != e; c = fEntries[c].parent) first = std::min(first, c);
    Detach(first);
    AddChild(top, first);
    Mark(first, reached);
  }

  // One tree: later top-level rows move under the first.
  const int head = fEntries[top].firstChild;
  if (head >= 0) {
    int e = fEntries[head].nextSibling;
    fEntries[head].nextSibling = -1;
    while (e >= 0) {
      const int next = fEntries[e].nextSibling;
      AddChild(head, e);
      e = next;
    }
    fEntries[top].firstChild = head;
  }

  // Depth first: a row, then its children in order.
  std::vector<TRow> stack;
  if (head >= 0) stack.push_back({head, 0});
  while (!stack.empty()) {
    const TRow row = stack.back();
    stack.pop_back();
    fRows.push_back(row);
    std::vector<int> children;
    for (int c = fEntries[row.entry].firstChild; c >= 0; c = fEntries[c].nextSibling) children.push_back(c);
    for (auto c = children.rbegin(); c != children.rend(); ++c) stack.push_back({*c, row.depth + 1});
  }
  fEntries.pop_back();
}
