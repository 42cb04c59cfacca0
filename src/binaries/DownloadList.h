#pragma once

#include "binaries/DownloadEntry.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QString>

#include <vector>

// A download list in memory: the entries of P.cue with the texts of P.body,
// the list's newsgroup names, and the posts the entries form.
//
// Posts: after BuildPosts every post is a run of consecutive entries that
// starts at its post entry (parent -1) and holds postCount entries; further
// entries name the post entry as their parent. Rows() gives the posts shown,
// in order.
class TDownloadList {
 public:
  // Reads P.cue and P.body (after completing an interrupted save). The
  // entries are as stored; BuildPosts arranges them. On failure the list is
  // empty and ErrorText() holds the logged reason.
  bool Load(const QString& cuePath);
  // Rewrites P.cue (and with texts P.body) from the entries, in list order.
  // The old files stay until the new ones are complete.
  bool Save(const QString& cuePath, bool withTexts);
  QString ErrorText() const { return fError; }

  // Turns the entries into posts: finds part counters, sorts the parts of a
  // multipart post, groups them (complete or incomplete), gathers runs of
  // singles with one subject and numbers the rows. completeStrings (lower
  // case) make a single whose subject contains one a complete post of one part.
  void BuildPosts(const QByteArrayList& completeStrings = {});

  std::vector<TDownloadEntry>& Entries() { return fEntries; }
  const std::vector<TDownloadEntry>& Entries() const { return fEntries; }
  int Count() const { return static_cast<int>(fEntries.size()); }
  TDownloadEntry& Entry(int i) { return fEntries[static_cast<std::size_t>(i)]; }
  const TDownloadEntry& Entry(int i) const { return fEntries[static_cast<std::size_t>(i)]; }
  // Appends an entry with its texts (tests, the export); its newsgroup index is set here.
  int Append(TDownloadEntry entry, QByteArrayView messageId, QByteArrayView subject, QByteArrayView newsgroup);
  void Clear();

  const QByteArrayList& Newsgroups() const { return fNewsgroups; }
  QByteArray Newsgroup(int index) const;
  // The index of a newsgroup name, appended when new.
  std::uint16_t NewsgroupIndex(QByteArrayView name);

  // Post entries of the rows, in order.
  const std::vector<int>& Rows() const { return fRows; }
  // The post entry an entry belongs to for completion and decoding: its
  // parent for further parts of a multipart post (kinds 3 and 4), otherwise
  // itself (entries gathered under another single are decoded on their own).
  int PostOf(int entry) const;
  // The entries completed and decoded together with post entry p: [first, end).
  std::pair<int, int> PostRange(int post) const;
  // The entries of the row of post entry p (a single with the singles
  // gathered under it, or a multipart post): [first, end).
  std::pair<int, int> RowRange(int post) const;

 private:
  std::vector<TDownloadEntry> fEntries;
  QByteArrayList fNewsgroups;
  QHash<QByteArray, std::uint16_t> fNewsgroupIndex;
  std::vector<int> fRows;
  QString fError;
};
