#include "headers/JobTypes.h"

#include <QStringTokenizer>

#include <array>

using namespace Qt::StringLiterals;

namespace {

constexpr std::array<const char*, 2> kTypeNames = {"JOB_TYPE_UNKNOWN", "JOB_TYPE_DOWNLOAD_HEADERS"};
constexpr std::array<const char*, 5> kStatusNames = {"JOB_STATUS_UNKNOWN", "JOB_STATUS_STOPPED", "JOB_STATUS_PENDING",
                                                     "JOB_STATUS_RUNNING", "JOB_STATUS_COMPLETED"};
constexpr std::array<const char*, 4> kResultNames = {"DOWNLOAD_RESULT_NONE", "DOWNLOAD_RESULT_SUCCESS",
                                                     "DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP", "DOWNLOAD_RESULT_FAILURE"};
constexpr std::array<const char*, 6> kOperationNames = {
    "JOB_OPERATION_UNKNOWN",          "JOB_OPERATION_GET_HEADERS_ALL",     "JOB_OPERATION_GET_HEADERS_RANGE",
    "JOB_OPERATION_GET_HEADERS_FROM", "JOB_OPERATION_GET_HEADERS_PERCENT", "JOB_OPERATION_GET_HEADERS_NUMBER"};
constexpr std::array<const char*, JOB_FLAG_COUNT_> kFlagNames = {"JOB_FLAG_NEW",           "JOB_FLAG_FORCE_START",
                                                                 "JOB_FLAG_NO_AUTO_START", "JOB_FLAG_FORCE_LOAD",
                                                                 "JOB_FLAG_NO_AUTO_LOAD",  "JOB_FLAG_NO_AUTO_FOCUS"};

template <size_t N>
QString NameOf(const std::array<const char*, N>& names, int value) {
  return value >= 0 && static_cast<size_t>(value) < N ? QLatin1String(names[static_cast<size_t>(value)]) : QString();
}

template <size_t N>
int ValueOf(const std::array<const char*, N>& names, QStringView name) {
  name = name.trimmed();
  for (size_t i = 0; i < N; ++i)
    if (name.compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0) return static_cast<int>(i);
  return -1;
}

}  // namespace

QString JobTypeName(TJobType type) { return NameOf(kTypeNames, type); }
QString JobStatusName(TJobStatus status) { return NameOf(kStatusNames, status); }
QString DownloadResultName(TDownloadResult result) { return NameOf(kResultNames, result); }
QString JobOperationName(TJobOperation operation) { return NameOf(kOperationNames, operation); }
QString JobFlagName(TJobFlags flag) { return NameOf(kFlagNames, flag); }

TJobType JobTypeFromName(const QString& name) {
  const int v = ValueOf(kTypeNames, name);
  return v < 0 ? JOB_TYPE_UNKNOWN : static_cast<TJobType>(v);
}

TJobStatus JobStatusFromName(const QString& name) {
  const int v = ValueOf(kStatusNames, name);
  return v < 0 ? JOB_STATUS_UNKNOWN : static_cast<TJobStatus>(v);
}

TDownloadResult DownloadResultFromName(const QString& name) {
  const int v = ValueOf(kResultNames, name);
  return v < 0 ? DOWNLOAD_RESULT_NONE : static_cast<TDownloadResult>(v);
}

TJobOperation JobOperationFromName(const QString& name) {
  const int v = ValueOf(kOperationNames, name);
  return v < 0 ? JOB_OPERATION_UNKNOWN : static_cast<TJobOperation>(v);
}

QString JobStatusText(int status) {
  switch (status) {
    case JOB_STATUS_STOPPED:
      return u"Stopped"_s;
    case JOB_STATUS_PENDING:
      return u"Waiting"_s;
    case JOB_STATUS_RUNNING:
      return u"Running"_s;
    case JOB_STATUS_COMPLETED:
      return u"Completed"_s;
    default:
      return u"UNKNOWN!"_s;
  }
}

QString DownloadResultText(int result) {
  switch (result) {
    case DOWNLOAD_RESULT_NONE:
      return QString();
    case DOWNLOAD_RESULT_SUCCESS:
      return u"Successful"_s;
    case DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP:
      return u"Failed"_s;
    case DOWNLOAD_RESULT_FAILURE:
      return u"Partial Success"_s;
    default:
      return u"UNKNOWN!"_s;
  }
}

QString JobFlagsToText(TJobFlagsSet flags) {
  QString text = u"["_s;
  for (int f = 0; f < JOB_FLAG_COUNT_; ++f) {
    if (!flags.Has(static_cast<TJobFlags>(f))) continue;
    if (text.size() > 1) text += u',';
    text += QLatin1String(kFlagNames[static_cast<size_t>(f)]);
  }
  return text + u']';
}

TJobFlagsSet JobFlagsFromText(const QString& text, bool* ok) {
  QStringView body = QStringView(text).trimmed();
  if (body.startsWith(u'[')) body = body.sliced(1);
  if (body.endsWith(u']')) body.chop(1);
  TJobFlagsSet flags;
  bool good = true;
  for (QStringView name : QStringTokenizer(body, u',')) {
    name = name.trimmed();
    if (name.isEmpty()) continue;
    const int v = ValueOf(kFlagNames, name);
    if (v < 0)
      good = false;
    else
      flags.Include(static_cast<TJobFlags>(v));
  }
  if (ok) *ok = good;
  return flags;
}

QString MakeOperationString(TJobOperation operation) { return JobOperationName(operation); }

QString MakeOperationString(TJobOperation operation, std::int64_t first) {
  return JobOperationName(operation) + u',' + QString::number(first);
}

QString MakeOperationString(TJobOperation operation, std::int64_t first, std::int64_t second) {
  return JobOperationName(operation) + u',' + QString::number(first) + u',' + QString::number(second);
}

TJobOperationArgs ParseOperationString(const QString& data) {
  TJobOperationArgs args;
  int field = 0;
  for (QStringView part : QStringTokenizer(data, u',')) {
    if (field == 0) {
      const int v = ValueOf(kOperationNames, part);
      args.operation = v < 0 ? JOB_OPERATION_GET_HEADERS_ALL : static_cast<TJobOperation>(v);
    } else if (field <= 2) {
      bool ok = false;
      const qlonglong n = part.trimmed().toLongLong(&ok);
      if (ok) {
        (field == 1 ? args.first : args.second) = n;
        ++args.count;
      }
    }
    ++field;
  }
  return args;
}

QString JobDisplayName(const QStringList& newsgroups) {
  if (newsgroups.isEmpty()) return QString();
  QString name = newsgroups.first();
  if (newsgroups.size() > 1) name += u" (+ "_s + QString::number(newsgroups.size() - 1) + u" more)"_s;
  return name;
}
