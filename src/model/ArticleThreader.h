#pragma once

#include "model/ShortDate.h"

#include <string>
#include <string_view>
#include <vector>

class TPost;

// Arranges the articles of a text post into a reply tree by their References:
// an article's parent is the article named by its last reference that is in
// the post (earlier references are tried in turn), replies to one article are
// ordered by date (equal dates keep arrival order), and articles whose parent
// is missing hang under the root, the first article without a parent. The
// post always forms one tree: articles caught in a reference cycle are taken
// out of it and hung under the root too.
//
// One threader serves every post of one Finalize (its buffers are reused); it
// is not shared between threads.
class TArticleThreader {
 public:
  // Threads post: writes each article's first-reply and next-sibling links
  // and the post's thread root.
  void Thread(TPost& post);

  // Splits a References text into the identifiers between "<" and the next
  // ">"; a "<" without a closing ">" ends the list.
  static void ParseReferences(std::string_view text, std::vector<std::string_view>& out);

 private:
  struct TEntry {
    std::size_t idOffset;
    std::size_t idLength;
    short_datetime date;
    int parent;
    int nextSibling;
    int firstChild;
  };

  std::string_view IdOf(int i) const {
    return std::string_view(fIds).substr(fEntries[i].idOffset, fEntries[i].idLength);
  }
  int FindParent(int i, const std::vector<std::string_view>& references) const;
  void AddChild(int parent, int child);
  void Detach(int child);
  void ResetLinks();
  void MarkReachable(int from);
  void BreakCycles();

  std::vector<TEntry> fEntries;
  std::string fIds;        // every decoded identifier, one after the other
  std::vector<int> fById;  // entries sorted by identifier, then article order
  std::vector<std::string_view> fReferences;
  std::vector<unsigned char> fReachable;
  std::vector<int> fStack;
  std::vector<int> fSeen;
  int fRoot = -1;
};
