#pragma once

#include <QMetaType>
#include <QString>

#include <cstdint>

// One newsgroup as GROUP reported it during a headers download. The download
// keeps one per newsgroup that yielded a span (its position in that list is
// the newsgroup index written into every header), and hands copies to the
// job manager as group information: after each successful GROUP (done
// false) and once per downloaded newsgroup after the merge (done true).
struct TDownloadedNewsgroup {
  QString serverName;
  QString name;
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::int64_t estimated = 0;
  std::int64_t headers = 0;  // headers written for it
  bool done = false;         // the job has completed this newsgroup

  bool operator==(const TDownloadedNewsgroup&) const = default;
};

Q_DECLARE_METATYPE(TDownloadedNewsgroup)
