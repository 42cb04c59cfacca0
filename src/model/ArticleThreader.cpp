#include "model/ArticleThreader.h"

#include "model/Post.h"

#include <algorithm>

void TArticleThreader::ParseReferences(std::string_view text, std::vector<std::string_view>& out) {
  out.clear();
  std::size_t at = 0;
  while ((at = text.find('<', at)) != std::string_view::npos) {
    const std::size_t close = text.find('>', at + 1);
    if (close == std::string_view::npos) break;
    if (close > at + 1) out.push_back(text.substr(at + 1, close - at - 1));
    at = close + 1;
  }
}

int TArticleThreader::FindParent(int i, const std::vector<std::string_view>& references) const {
  for (auto r = references.rbegin(); r != references.rend(); ++r) {
    // The entries with this identifier, in article order; the article itself does not count.
    auto it =
        std::lower_bound(fById.begin(), fById.end(), *r, [this](int e, std::string_view id) { return IdOf(e) < id; });
    for (; it != fById.end() && IdOf(*it) == *r; ++it)
      if (*it != i) return *it;
  }
  return -1;
}

void TArticleThreader::AddChild(int parent, int child) {
  TEntry& c = fEntries[child];
  c.parent = parent;
  // Children in date order; a child dated like others goes after them.
  int* link = &fEntries[parent].firstChild;
  while (*link >= 0 && fEntries[*link].date <= c.date) link = &fEntries[*link].nextSibling;
  c.nextSibling = *link;
  *link = child;
}

void TArticleThreader::Detach(int child) {
  TEntry& c = fEntries[child];
  int* link = &fEntries[c.parent].firstChild;
  while (*link >= 0 && *link != child) link = &fEntries[*link].nextSibling;
  if (*link == child) *link = c.nextSibling;
  c.parent = -1;
  c.nextSibling = -1;
}

void TArticleThreader::ResetLinks() {
  fRoot = -1;
  for (TEntry& e : fEntries) e.parent = e.nextSibling = e.firstChild = -1;
}

void TArticleThreader::MarkReachable(int from) {
  fStack.assign(1, from);
  while (!fStack.empty()) {
    const int e = fStack.back();
    fStack.pop_back();
    if (fReachable[e]) continue;
    fReachable[e] = 1;
    for (int c = fEntries[e].firstChild; c >= 0; c = fEntries[c].nextSibling)
      if (!fReachable[c]) fStack.push_back(c);
  }
}

// Articles that name each other in a circle have parents but no way up to the
// root: they would drop out of the tree and send any walk round for ever. The
// first of each circle (in article order) loses its parent and hangs under
// the root, which brings the rest of the circle back into the tree.
void TArticleThreader::BreakCycles() {
  const int n = static_cast<int>(fEntries.size());
  fReachable.assign(fEntries.size(), 0);
  MarkReachable(fRoot);
  fSeen.assign(fEntries.size(), -1);
  for (int i = 0; i < n; ++i) {
    if (fReachable[i]) continue;
    // Climb until an entry repeats: every unreachable chain ends in a circle.
    int e = i;
    while (fSeen[e] != i) {
      fSeen[e] = i;
      e = fEntries[e].parent;
    }
    int first = e;
    for (int c = fEntries[e].parent; c != e; c = fEntries[c].parent) first = std::min(first, c);
    Detach(first);
    AddChild(fRoot, first);
    MarkReachable(first);
  }
}

void TArticleThreader::Thread(TPost& post) {
  const int n = post.ArticleCount();
  if (n == 0) {
    post.fThreadRoot = kNoArticle;
    return;
  }
  fEntries.resize(static_cast<std::size_t>(n));
  fIds.clear();
  std::string id;
  for (int i = 0; i < n; ++i) {
    TEntry& e = fEntries[i];
    if (!post.MessageIDInto(i, id)) id.clear();  // a damaged identifier matches nothing
    e.idOffset = fIds.size();
    e.idLength = id.size();
    fIds += id;
    e.date = post.TextArticle(i).date;
  }
  fById.resize(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) fById[i] = i;
  std::sort(fById.begin(), fById.end(), [this](int a, int b) {
    const int order = IdOf(a).compare(IdOf(b));
    return order != 0 ? order < 0 : a < b;
  });

  ResetLinks();
  for (int i = 0; i < n; ++i) {
    ParseReferences(post.TextArticle(i).References(), fReferences);
    const int parent = FindParent(i, fReferences);
    if (parent >= 0) {
      AddChild(parent, i);
    } else if (fRoot >= 0) {
      AddChild(fRoot, i);
    } else {
      fRoot = i;
    }
  }
  if (fRoot < 0) {
    // Every article found a parent among the others: the first becomes the root.
    ResetLinks();
    fRoot = 0;
    for (int i = 1; i < n; ++i) AddChild(0, i);
  } else {
    BreakCycles();
  }

  for (int i = 0; i < n; ++i) {
    TTextArticle& a = post.TextArticle(i);
    a.firstReply = fEntries[i].firstChild < 0 ? kNoArticle : static_cast<std::uint16_t>(fEntries[i].firstChild);
    a.nextSibling = fEntries[i].nextSibling < 0 ? kNoArticle : static_cast<std::uint16_t>(fEntries[i].nextSibling);
  }
  post.fThreadRoot = static_cast<std::uint16_t>(fRoot);
}
