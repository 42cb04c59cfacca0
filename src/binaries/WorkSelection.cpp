#include "binaries/WorkSelection.h"

#include "binaries/DownloadList.h"

namespace {
// Rule for one entry of a queued post: true when it is the copy to fetch.
bool IsBestCopy(const TDownloadList& list, int i, int end) {
  const TDownloadEntry& e = list.Entry(i);
  std::vector<int> copies;
  for (int k = i + 1; k < end; ++k) {
    const TDownloadEntry& f = list.Entry(k);
    if (f.Kind() != 3) continue;
    if (f.partNumber != e.partNumber) break;
    copies.push_back(k);
  }
  if (copies.empty()) return true;
  int best = -1;
  std::uint32_t bestLines = 0;
  std::uint32_t bestBytes = 0;
  const auto consider = [&](int k) {
    const TDownloadEntry& f = list.Entry(k);
    if (f.lines > bestLines || f.bytes > bestBytes) {
      best = k;
      bestLines = f.lines;
      bestBytes = f.bytes;
    }
  };
  consider(i);
  for (int k : copies) consider(k);
  return best == i || best == -1;
}
}  // namespace

std::vector<int> SelectWork(TDownloadList& list, const TWorkSelectionOptions& options) {
  std::vector<int> selected;
  for (const int post : list.Rows()) {
    TDownloadEntry& first = list.Entry(post);
    const auto [begin, end] = list.RowRange(post);
    const int kind = first.Kind();
    if (kind == 0) {
      for (int i = begin; i < end; ++i) {
        TDownloadEntry& e = list.Entry(i);
        if (e.HasFlag(DOWNLOAD_FLAG_REMOVED) || IsSettledDownloadStatus(e.Status(), options.noRetryUnavailable)) {
          e.SetFlag(DOWNLOAD_FLAG_SELECTED, false);
          continue;
        }
        e.SetStatus(DOWNLOAD_STATUS_PENDING);
        e.SetFlag(DOWNLOAD_FLAG_SELECTED, true);
        selected.push_back(i);
      }
      continue;
    }
    if (IsSettledDownloadStatus(first.Status(), options.noRetryUnavailable)) {
      for (int i = begin; i < end; ++i) list.Entry(i).SetFlag(DOWNLOAD_FLAG_SELECTED, false);
      continue;
    }
    if (kind == 2 && !options.downloadIncompletePosts) {
      for (int i = begin; i < end; ++i) {
        list.Entry(i).SetStatus(DOWNLOAD_STATUS_SKIPPED);
        list.Entry(i).SetFlag(DOWNLOAD_FLAG_SELECTED, false);
      }
      continue;
    }
    int lastSelected = -1;
    for (int i = begin; i < end; ++i) {
      TDownloadEntry& e = list.Entry(i);
      bool take = !e.HasFlag(DOWNLOAD_FLAG_REMOVED);
      if (take && kind == 1 && (e.partNumber == 0 || e.partNumber == lastSelected))
        take = e.totalParts == 1 && e.partNumber != 0;
      if (take) take = IsBestCopy(list, i, end);
      if (!take) {
        if (!e.HasFlag(DOWNLOAD_FLAG_REMOVED)) e.SetStatus(DOWNLOAD_STATUS_SKIPPED);
        e.SetFlag(DOWNLOAD_FLAG_SELECTED, false);
        continue;
      }
      e.SetStatus(DOWNLOAD_STATUS_PENDING);
      e.SetFlag(DOWNLOAD_FLAG_SELECTED, true);
      lastSelected = e.partNumber;
      selected.push_back(i);
    }
  }
  return selected;
}

void ResetStatusesAfterSession(TDownloadList& list, bool noRetryUnavailable) {
  for (const int post : list.Rows()) {
    const auto [begin, end] = list.RowRange(post);
    for (int i = begin; i < end; ++i) {
      TDownloadEntry& e = list.Entry(i);
      e.work = nullptr;
      if (!IsSettledDownloadStatus(e.Status(), noRetryUnavailable)) e.SetStatus(DOWNLOAD_STATUS_PENDING);
    }
  }
}
