#pragma once

#include <vector>

class TDownloadList;

// Which entries a download session fetches, and the statuses left behind.
struct TWorkSelectionOptions {
  bool downloadIncompletePosts = true;  // the list's "Downloadincompleteposts"
  bool noRetryUnavailable = false;      // the program's "gNoRetryUnavailable"
};

// Walks the rows in order and selects the entries to fetch: posts that are
// done or failed for good are left alone; incomplete posts are skipped (17)
// unless allowed; within a post, a part already selected and the lesser
// copies of a reposted part are skipped. Selected entries get status 0 and
// flag 14, skipped ones status 17 without it. Singles shown together in one
// row are judged one by one, each by its own status. Returns the selected
// entries in order.
std::vector<int> SelectWork(TDownloadList& list, const TWorkSelectionOptions& options);

// After a session: every entry shown loses its work record, and its status
// goes back to 0 unless it is settled (see IsSettledDownloadStatus).
void ResetStatusesAfterSession(TDownloadList& list, bool noRetryUnavailable);
