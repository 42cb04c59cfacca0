#pragma once

#include "model/ShortDate.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <atomic>
#include <cstdint>

struct TNewsMessage;

// Flag bits of a download entry (offset 0 of its record).
enum TDownloadEntryFlag : std::uint32_t {
  // The kind: exactly one of bits 0-4.
  DOWNLOAD_FLAG_SINGLE = 1u << 0,            // kind 0: a post by itself
  DOWNLOAD_FLAG_FIRST_COMPLETE = 1u << 1,    // kind 1: first entry of a complete multipart post
  DOWNLOAD_FLAG_FIRST_INCOMPLETE = 1u << 2,  // kind 2: first entry of an incomplete multipart post
  DOWNLOAD_FLAG_PART_COMPLETE = 1u << 3,     // kind 3: further part of a complete post
  DOWNLOAD_FLAG_PART_INCOMPLETE = 1u << 4,   // kind 4: further part of an incomplete post
  DOWNLOAD_FLAG_KIND_MASK = 0x1Fu,
  DOWNLOAD_FLAG_OWNS_SUBJECT = 1u << 5,
  DOWNLOAD_FLAG_OWNS_AUTHOR = 1u << 6,
  DOWNLOAD_FLAG_OWNS_MESSAGEID = 1u << 7,
  DOWNLOAD_FLAG_GATHERED = 1u << 9,   // gathered under another single
  DOWNLOAD_FLAG_REMOVED = 1u << 11,   // removed by the user, kept in the file
  DOWNLOAD_FLAG_MARKED = 1u << 12,    // marked when the view was reordered
  DOWNLOAD_FLAG_SELECTED = 1u << 14,  // selected for the current session
  DOWNLOAD_FLAG_OWNS_TEXT = 1u << 26,
};

// Status byte of a download entry (offset 64), in stored values.
enum TDownloadStatus : std::uint8_t {
  DOWNLOAD_STATUS_PENDING = 0,
  DOWNLOAD_STATUS_DOWNLOADING = 1,
  DOWNLOAD_STATUS_CHECKING = 8,
  DOWNLOAD_STATUS_VALID = 9,
  DOWNLOAD_STATUS_INVALID = 10,
  DOWNLOAD_STATUS_CHECK_ERROR = 11,
  DOWNLOAD_STATUS_WAIT_DECODE = 12,
  DOWNLOAD_STATUS_DECODING = 13,
  DOWNLOAD_STATUS_DECODED = 14,
  DOWNLOAD_STATUS_DECODE_ERROR = 15,
  DOWNLOAD_STATUS_COMPLETE = 16,
  DOWNLOAD_STATUS_SKIPPED = 17,
  DOWNLOAD_STATUS_UNAVAILABLE = 18,
  DOWNLOAD_STATUS_DUPLICATE = 19,
  DOWNLOAD_STATUS_SOME_DUPLICATE = 20,
  DOWNLOAD_STATUS_WAIT_CHECK = 21,
  DOWNLOAD_STATUS_REQUESTING = 22,
};

// "Pending", "Downloading", ... and "Unknown state (n)" for other values.
QString DownloadStatusText(std::uint8_t status);
// Statuses a new session leaves alone: the post is done, failed for good, or
// the value has no meaning (2-7, 10, 16, 19, 20, 23 and above; 18 when
// unavailable articles are not to be retried).
bool IsSettledDownloadStatus(std::uint8_t status, bool noRetryUnavailable);

// One article of a download list: the 66-byte record of ".cue" plus the texts
// of ".body" and the in-memory links. Several threads of a download session
// read and write the status byte; every access goes through Status() and
// SetStatus(), which are atomic on that one byte.
struct TDownloadEntry {
  static constexpr int kRecordSize = 66;

  std::uint32_t flags = 0;
  short_datetime date = 0;          // 0 = unknown
  std::uint32_t articleNumber = 0;  // 0 = unknown
  std::uint32_t totalLines = 0;     // post entry: sum of its parts' lines
  std::uint32_t bytes = 0;
  std::uint16_t lines = 0;
  std::int16_t fileGroup = 0;  // >0 line of ".grouping"; <0 browser group not yet entered
  std::uint16_t totalParts = 0;
  std::uint16_t partNumber = 0;
  std::uint16_t counterPosition = 0;  // 1-based position of the part counter in the subject, 0 none
  std::uint16_t postCount = 1;        // entries in this post
  std::uint16_t postIndex = 0;        // index of this entry within its post
  std::uint16_t newsgroup = 0;        // index into the list's newsgroup names
  std::uint32_t order = 0;            // the view's order number; 0 on load
  std::uint32_t messageIdCrc = 0;
  std::uint8_t status = DOWNLOAD_STATUS_PENDING;
  std::uint8_t reserved = 0;

  // In memory only.
  QByteArray messageId;  // without angle brackets
  QByteArray subject;    // as stored, with its part counter
  int parent = -1;       // index of the post's first entry; -1 for a post entry
  TNewsMessage* work = nullptr;  // the session's work record

  // 0..4 from the kind bits (0 when none is set).
  int Kind() const;
  void SetKind(int kind) { flags = (flags & ~DOWNLOAD_FLAG_KIND_MASK) | (1u << kind); }
  bool HasFlag(std::uint32_t flag) const { return (flags & flag) != 0; }
  void SetFlag(std::uint32_t flag, bool on) { flags = on ? (flags | flag) : (flags & ~flag); }
  bool HasTexts() const { return !messageId.isEmpty(); }

  std::uint8_t Status() const {
    return std::atomic_ref<std::uint8_t>(const_cast<std::uint8_t&>(status)).load(std::memory_order_acquire);
  }
  void SetStatus(std::uint8_t value) {
    std::atomic_ref<std::uint8_t>(status).store(value, std::memory_order_release);
  }

  // The record as stored (pointer slots 0; offset 60 the message-id CRC).
  void ToRecord(char* out) const;
  // Reads the stored fields; texts and links are left alone.
  static TDownloadEntry FromRecord(const char* record);
};

// Bytes for one line of ".body": control characters (CR and LF above all,
// which would shift the three-lines-per-record layout) become blanks.
QByteArray BodyLineText(QByteArrayView text);
