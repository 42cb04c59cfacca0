#pragma once

#include "headers/JobEntry.h"

// A job that downloads headers, the only kind that runs: the settings handed
// to its download thread, set on the user-interface thread before it starts.
class TDownloadHeadersJobEntry : public TJobEntry {
 public:
  using TJobEntry::TJobEntry;

  int SingleConnectionThreashold = 250;  // spans below this go over one connection
  QString RawHeadersFile;                // when set, every overview line is also appended here
  QString Killfile;                      // kill file to apply
  QString DownloadedEmailsFile;          // when set, the sender addresses seen are kept here
  QString HeadersSavePath;               // where the header files are written
  QString MessageIDPath;                 // the message-id store (not used by the download)

  // True once its thread has written a header.
  bool WasDataReceived() const override;
  // Tells the running thread to stop downloading and keep what it has.
  void FinishNow() override;
};
