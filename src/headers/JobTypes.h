#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

// Enumerations of headers jobs, their names as job files store them and the
// texts the headers manager shows.

enum TJobType : std::uint8_t { JOB_TYPE_UNKNOWN, JOB_TYPE_DOWNLOAD_HEADERS };

enum TJobStatus : std::uint8_t {
  JOB_STATUS_UNKNOWN,
  JOB_STATUS_STOPPED,
  JOB_STATUS_PENDING,
  JOB_STATUS_RUNNING,
  JOB_STATUS_COMPLETED
};

// Per newsgroup and per job. On a job, NO_SUCH_NEWSGROUP means that every
// newsgroup failed and FAILURE that only some did, hence the display texts.
enum TDownloadResult : std::uint8_t {
  DOWNLOAD_RESULT_NONE,
  DOWNLOAD_RESULT_SUCCESS,
  DOWNLOAD_RESULT_NO_SUCH_NEWSGROUP,
  DOWNLOAD_RESULT_FAILURE
};

enum TJobOperation : std::uint8_t {
  JOB_OPERATION_UNKNOWN,
  JOB_OPERATION_GET_HEADERS_ALL,
  JOB_OPERATION_GET_HEADERS_RANGE,
  JOB_OPERATION_GET_HEADERS_FROM,
  JOB_OPERATION_GET_HEADERS_PERCENT,
  JOB_OPERATION_GET_HEADERS_NUMBER
};

enum TJobFlags : std::uint8_t {
  JOB_FLAG_NEW,            // completed, headers not viewed yet
  JOB_FLAG_FORCE_START,    // start at once, past the one-job limit
  JOB_FLAG_NO_AUTO_START,  // create the job stopped
  JOB_FLAG_FORCE_LOAD,     // load the headers on completion whatever the settings say
  JOB_FLAG_NO_AUTO_LOAD,   // never load them automatically
  JOB_FLAG_NO_AUTO_FOCUS,  // do not select the job or switch to the headers manager
  JOB_FLAG_COUNT_
};

// A set of TJobFlags, bit n = flag n; stored as one byte.
class TJobFlagsSet {
 public:
  constexpr TJobFlagsSet() = default;
  constexpr explicit TJobFlagsSet(std::uint8_t bits) : fBits(bits) {}
  constexpr TJobFlagsSet(std::initializer_list<TJobFlags> flags) {
    for (TJobFlags f : flags) fBits = static_cast<std::uint8_t>(fBits | (1u << f));
  }
  constexpr bool Has(TJobFlags f) const { return (fBits >> f) & 1u; }
  constexpr void Include(TJobFlags f) { fBits = static_cast<std::uint8_t>(fBits | (1u << f)); }
  constexpr void Exclude(TJobFlags f) { fBits = static_cast<std::uint8_t>(fBits & ~(1u << f)); }
  constexpr bool IsEmpty() const { return fBits == 0; }
  constexpr std::uint8_t Bits() const { return fBits; }
  constexpr bool operator==(const TJobFlagsSet&) const = default;

 private:
  std::uint8_t fBits = 0;
};

// Names as written into job files ("JOB_STATUS_PENDING"); empty for a value outside the type.
QString JobTypeName(TJobType type);
QString JobStatusName(TJobStatus status);
QString DownloadResultName(TDownloadResult result);
QString JobOperationName(TJobOperation operation);
QString JobFlagName(TJobFlags flag);

// Values by name, without regard to case; the type's zero value when unknown.
TJobType JobTypeFromName(const QString& name);
TJobStatus JobStatusFromName(const QString& name);
TDownloadResult DownloadResultFromName(const QString& name);
TJobOperation JobOperationFromName(const QString& name);

// Texts shown for a job's status and for a newsgroup's or job's result;
// "UNKNOWN!" for values outside the type.
QString JobStatusText(int status);
QString DownloadResultText(int result);

// "[JOB_FLAG_FORCE_START,JOB_FLAG_NO_AUTO_FOCUS]", "[]" for the empty set.
QString JobFlagsToText(TJobFlagsSet flags);
// Element names in any order, brackets and blanks optional. Unknown names
// are left out and make ok false; the known ones are still taken.
TJobFlagsSet JobFlagsFromText(const QString& text, bool* ok = nullptr);

// A newsgroup job's operation string: "JOB_OPERATION_GET_HEADERS_RANGE,1000,2000".
struct TJobOperationArgs {
  TJobOperation operation = JOB_OPERATION_GET_HEADERS_ALL;
  std::int64_t first = 1;   // first number of the string; 1 when missing or unreadable
  std::int64_t second = 1;  // second number; 1 when missing or unreadable
  int count = 0;            // numbers actually present and readable
};
// The operation's name followed by the given numbers (none, one or two).
QString MakeOperationString(TJobOperation operation);
QString MakeOperationString(TJobOperation operation, std::int64_t first);
QString MakeOperationString(TJobOperation operation, std::int64_t first, std::int64_t second);
// An unknown operation name counts as JOB_OPERATION_GET_HEADERS_ALL.
TJobOperationArgs ParseOperationString(const QString& data);

// The display name of a new job: its first newsgroup, then " (+ n more)".
QString JobDisplayName(const QStringList& newsgroups);
