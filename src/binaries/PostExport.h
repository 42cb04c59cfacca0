#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

class TPost;

// One post the user chose in a message browser, with its file group there.
struct TExportPost {
  const TPost* post = nullptr;
  int fileGroup = 0;  // the browser's group number, 0 none
};

// Writes every article of the posts into a new download list at cuePath
// (records built as the browser's export builds them; the browser's file
// group is stored negated until the list enters it in P.grouping). Returns
// the number of articles written; 0 when nothing was exported or the list
// could not be written, and then an older list of that name is left as it
// was and errorText says why.
int ExportPostsToDownloadList(const QString& cuePath, const std::vector<TExportPost>& posts,
                              const std::function<QByteArray(int newsgroup)>& newsgroupName,
                              QString* errorText = nullptr);

inline constexpr char kNothingExportedText[] =
    "Nothing was exported for download. Please check your selection and try again.";
