#pragma once

#include <QString>

#include <cstdint>

// Texts of the new-groups check.
namespace newgroups {
inline constexpr char kNoNewGroups[] = "No new groups since last check.";
inline constexpr char kSortingMainList[] = "Sorting main list of newsgroups...";
inline constexpr char kFolderName[] = "New Newsgroups";
}  // namespace newgroups

// Puts the result of a new-groups check ("newgroups.gnam"/".gdat" in the
// server's directory) where it belongs: appended to the main list "Groups"
// and moved to the organizer folder "New Newsgroups". The main list is
// replaced by renaming a complete merged copy over it, never by appending to
// it in place, so a failure keeps it whole.
class TNewGroupsMerge {
 public:
  enum TResult {
    MERGE_NOTHING,      // no new group (the empty result files are removed)
    MERGE_ADDED,        // appended to the main list; the folder holds them
    MERGE_NO_MAIN_LIST, // there is no main list; only the folder holds them
    MERGE_FAILED,       // the main list could not be rewritten (it is unchanged)
  };

  // The files the check writes, and any left from before, are removed.
  static void RemoveResultFiles(const QString& serverDir);
  // "newgroups" in the server's directory: the output base of the check.
  static QString ResultBase(const QString& serverDir);
  static QString MainListPath(const QString& serverDir);
  static QString FolderPath(const QString& serverDir);

  // received: the number of groups the check stored.
  static TResult Merge(const QString& serverDir, std::int64_t received);
  // n + " new newsgroup(s) have been added." and the question whether to sort.
  static QString AddedText(std::int64_t count);
  static QString SortQuestion(std::int64_t count);
};
