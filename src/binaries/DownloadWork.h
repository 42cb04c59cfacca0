#pragma once

#include "binaries/DownloadEntry.h"
#include "nntp/NewsServerEntry.h"

#include <QString>

#include <atomic>

#include <cstdint>
#include <deque>
#include <vector>

class TMemStream;
class TMyBits;
class TNewsCli;
struct TDownloadServer;

// The work record of one article for one session.
struct TNewsMessage {
  enum : std::uint8_t {
    FLAG_FILL = 1u << 0,   // served by a fill server
    FLAG_TAKEN = 1u << 1,  // a connection has taken it
  };

  int entry = -1;                    // index in the download list
  TDownloadEntry* item = nullptr;    // its entry (status link)
  TMemStream* stream = nullptr;      // while it is received and checked
  TDownloadServer* server = nullptr; // the server serving it (or that served it)
  TMyBits* primaryBits = nullptr;    // primary servers that have tried it
  TMyBits* fillBits = nullptr;       // fill servers that have tried it
  std::uint8_t flags = 0;
  // What became of the article: its "Msg_" file is stored, or it never will
  // be (no server has it, it could not be written). The decode thread, which
  // follows a post's articles as they arrive, waits for it.
  enum TOutcome : std::uint8_t { OUTCOME_PENDING, OUTCOME_STORED, OUTCOME_FAILED };
  std::atomic<std::uint8_t> outcome{OUTCOME_PENDING};
};

// Why a connection last stopped or reconnected.
enum TConnectionReason : std::uint8_t {
  CONNECTION_REASON_NONE = 0,
  CONNECTION_REASON_ERROR = 1,
  CONNECTION_REASON_TIMEOUT = 2,  // timeout or disconnect
  CONNECTION_REASON_AUTHENTICATION = 3,
  CONNECTION_REASON_DISABLED = 4,
  CONNECTION_REASON_TASK_COMPLETE = 5,
};

struct TDownloadConnection {
  TDownloadServer* server = nullptr;
  TNewsMessage* message = nullptr;
  TNewsCli* client = nullptr;
  int reconnects = 0;
  qint64 requested = 0;
  qint64 downloaded = 0;
  qint64 bytes = 0;
  int indexInServer = 0;
  int index = 0;    // among all connections
  int viewRow = 0;  // in the owner's connection view (primary first)
  qint64 messageBytes = 0;
  qint64 lastSnapshot = 0;
  double speed = 0;
  qint64 lines = 0;
  qint64 lastTick = 0;
  bool receiving = false;
  bool busy = false;
  bool disabled = false;
  TConnectionReason reason = CONNECTION_REASON_NONE;
  // Failures in a row without an article served; too many give the connection up.
  int failures = 0;
  bool reconnectPending = false;
  bool dead = false;  // given up after failures
};

struct TDownloadServer {
  TNewsServerEntry entry;
  QString name;
  bool fill = false;
  int bitIndex = 0;  // among the primary or among the fill servers
  int index = 0;     // among all servers
  std::vector<TDownloadConnection*> connections;
  std::deque<TNewsMessage*> fillList;  // fill servers only, under the fill lock
  bool dead = false;  // every connection given up: counts as tried for every article
};
