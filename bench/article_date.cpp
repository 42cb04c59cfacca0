// Date parsing of overview lines: ParseArticleDate against a bare pass over
// the same bytes (the floor any parser pays) and Qt's RFC 2822 reader.
// Usage: bench_article_date [dates, default 2000000]
#include "nntp/ArticleDate.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::atol(argv[1]) : 2000000;
  // The forms real servers send, in rough proportion.
  const QList<QByteArray> forms = {"Sat, 02 Feb 2002 12:51:44 -0800",
                                   "Wed, 15 Sep 2010 18:09:15 +0200",
                                   "3 Apr 2024 14:58:26 GMT",
                                   "Thu, 20 May 2004 23:43:29 +0000 (UTC)",
                                   "mercredi, 23 jul 2014 20:01:02 -0600",
                                   "Friday, 19-Nov-82 16:14:55 EST",
                                   "Mon, 5 Mar 07 14:03 EST",
                                   "Tue, 25 May 2004 22:14:23 +0100"};
  QList<QByteArray> dates;
  dates.reserve(count);
  std::size_t bytes = 0;
  for (long i = 0; i < count; ++i) {
    dates << forms[i % forms.size()];
    bytes += static_cast<std::size_t>(dates.back().size());
  }
  const TArticleDateClock clock = TArticleDateClock::Now();

  QElapsedTimer timer;
  timer.start();
  unsigned long sum = 0;
  for (const QByteArray& d : dates)
    for (char c : d) sum += static_cast<unsigned char>(c);
  const double bare = static_cast<double>(timer.nsecsElapsed()) / 1e9;

  timer.restart();
  double total = 0;
  for (const QByteArray& d : dates) total += ParseArticleDate(d, clock);
  const double ours = static_cast<double>(timer.nsecsElapsed()) / 1e9;

  const long qtCount = count / 10;  // Qt's reader is slow; a tenth of the input is enough
  timer.restart();
  qint64 qtSum = 0;
  for (long i = 0; i < qtCount; ++i)
    qtSum += QDateTime::fromString(QString::fromLatin1(dates[i]), Qt::RFC2822Date).toSecsSinceEpoch();
  const double qt = static_cast<double>(timer.nsecsElapsed()) / 1e9 * 10;

  std::printf("dates: %ld (%.1f MB), checksums %lu %.0f %lld\n", count, static_cast<double>(bytes) / 1e6, sum, total,
              static_cast<long long>(qtSum));
  std::printf("bare byte pass:    %8.3f s  %10.0f dates/s\n", bare, static_cast<double>(count) / bare);
  std::printf("ParseArticleDate:  %8.3f s  %10.0f dates/s  (%.1fx the bare pass)\n", ours,
              static_cast<double>(count) / ours, ours / bare);
  std::printf("Qt RFC 2822 (est): %8.3f s  %10.0f dates/s  (%.1fx ParseArticleDate)\n", qt,
              static_cast<double>(count) / qt, qt / ours);
  return 0;
}
