#include "headers/LoadCommand.h"

#include "app/ReturnCodes.h"
#include "headers/LoadHeadersThread.h"

#include <QElapsedTimer>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

QString JobFileOf(const QString& path) {
  const QString suffix = QFileInfo(path).suffix();
  for (const QString& ext : {u"kvj"_s, u"hdrs"_s, u"idx"_s, u"seek"_s})
    if (suffix.compare(ext, Qt::CaseInsensitive) == 0) return path.left(path.size() - suffix.size()) + u"kvj"_s;
  return path + u".kvj"_s;
}

bool ParseNumber(const QString& text, std::int64_t& value) {
  bool ok = false;
  value = text.toLongLong(&ok);
  return ok && value >= 1;
}

}  // namespace

int RunLoadCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
  std::int64_t first = 1;
  std::int64_t last = INT64_MAX;
  if (arguments.isEmpty() || arguments.size() > 3 || (arguments.size() >= 2 && !ParseNumber(arguments[1], first)) ||
      (arguments.size() == 3 && !ParseNumber(arguments[2], last))) {
    err << "usage: korvel-cli load <job file> [first [last]]\n"
           "  loads the job's header files (headers first..last, 1-based; all by default)\n";
    return 2;
  }
  if (last < first) {
    err << "korvel-cli load: last must not be below first\n";
    return 2;
  }

  TLoadHeadersThread loader;
  loader.SetJobFileName(JobFileOf(arguments[0]));
  loader.SetRange(first, last);
  QElapsedTimer clock;
  clock.start();
  const RETURN_CODES result = loader.Execute();
  const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
  if (result != RC_SUCCESS) {
    err << "korvel-cli load: loading " << loader.JobFileName() << " failed: " << ReturnCodeName(result)
        << " (set KORVEL_LOG_STDERR=1 for the reason)\n";
    return 1;
  }
  const std::shared_ptr<THeaders> headers = loader.TakeHeaders();
  std::int64_t binary = 0;
  std::int64_t complete = 0;
  for (int p = 0; p < headers->PostCount(); ++p) {
    const TPost& post = headers->Post(p);
    if (!post.IsMultipart()) continue;
    ++binary;
    complete += post.HasFlag(POST_FLAG_COMPLETE_MULTIPART);
  }
  const auto articles = static_cast<qulonglong>(headers->TotalArticles());
  out << "job file: " << loader.JobFileName() << '\n'
      << "posts: " << headers->PostCount() << " (" << (headers->PostCount() - binary) << " text, " << binary
      << " binary)\n"
      << "binary posts: " << complete << " complete, " << (binary - complete) << " incomplete\n"
      << "articles: " << articles << '\n'
      << "headers skipped before first: " << loader.Skipped() << '\n'
      << "bytes read: " << static_cast<qulonglong>(loader.BytesRead()) << '\n'
      << "time: " << QString::number(seconds, 'f', 3) << " s";
  if (seconds > 0) out << " (" << QString::number(static_cast<double>(articles) / seconds, 'f', 0) << " headers/s)";
  out << '\n';
  if (loader.FilesTruncated()) out << "note: the header files end early; the headers before the break were loaded\n";
  return 0;
}
