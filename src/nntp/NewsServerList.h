#pragma once

#include "app/FileUtils.h"
#include "app/ReturnCodes.h"
#include "nntp/NewsServerEntry.h"

#include <QList>
#include <QString>

// The news server definitions of "_Servers_NNTP.dat", loaded in file order.
// The process-wide list lives on the user-interface thread; background jobs
// get copies of entries, never references into it.
class TNewsServerList {
 public:
  static TNewsServerList& Instance();

  static constexpr char kFileName[] = "_Servers_NNTP.dat";
  static constexpr char kTrustedCertificateFile[] = "_TrustedCertificate.txt";

  // Reloads the list from userDataDir + "_Servers_NNTP.dat" and creates each
  // server's directory. A missing file is an empty list.
  bool Load(const QString& userDataDir, const QString& serversDir);
  void Clear() { fEntries.clear(); }

  const QList<TNewsServerEntry>& Entries() const { return fEntries; }
  int Count() const { return static_cast<int>(fEntries.size()); }
  // The first entry named name (any case); an empty name matches the first entry.
  bool Get(const QString& name, TNewsServerEntry& out) const;
  int IndexOf(const QString& name) const;

  // Every record of the file in file order, also those whose names the
  // loader skips (the editor shows them so they can be renamed or deleted);
  // accepted fingerprints are read for usable names. False when the file
  // exists but cannot be read; a missing file is an empty list.
  static bool ReadFile(const QString& userDataDir, const QString& serversDir, QList<TNewsServerEntry>& out);
  static QString FilePath(const QString& userDataDir);

  // Rewrites the file from entries safely (temporary file, backup, rename)
  // and makes them the in-memory list (without unusable names). On failure
  // nothing changes and failure tells the step that failed.
  bool SaveAll(const QString& userDataDir, const QList<TNewsServerEntry>& entries,
               TRewriteFailure* failure = nullptr);
  // Updates the date of the last new-groups check in memory and in place in the file.
  void SetServerCheckDate(const QString& userDataDir, const QString& name, double date);

  // A name may become a directory: not empty, at most 128 characters, no
  // separators, no control characters, not "." or "..".
  static bool IsValidServerName(const QString& name);
  // serversDir + name + "/".
  static QString ServerDirectory(const QString& serversDir, const QString& name);

  // The accepted certificate fingerprint of a server, kept in its directory.
  static QByteArray ReadTrustedFingerprint(const QString& serverDir);
  static bool WriteTrustedFingerprint(const QString& serverDir, const QByteArray& fingerprint);

  static QByteArray Serialize(const QList<TNewsServerEntry>& entries);
  static QList<TNewsServerEntry> Parse(const QByteArray& data);

 private:
  QList<TNewsServerEntry> fEntries;
};

// Appends one record to userDataDir + fileName (created 0600 when missing).
RETURN_CODES AppendNewsServerRecord(const QString& userDataDir, const QString& fileName,
                                    const TNewsServerEntry& entry);
