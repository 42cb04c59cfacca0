#pragma once

#include <QString>

// The process-wide map of the disk. Every directory ends with "/" and paths
// are joined by plain concatenation.
struct TAppPaths {
  QString applicationDir;   // directory of the executable
  QString systemDataDir;    // application + "SystemData/"
  QString userDataDir;      // from "Korvel.ini"
  QString signaturesDir;    // user data + "_Signatures/"
  QString tempDir;          // user data + "_Temp/"
  QString mimeDir;          // user data + "_Mime/"
  QString attachmentsDir;   // user data + "Attachments/"
  QString usenetDir;        // user data + "_Usenet/"
  QString headersDir;       // Usenet + "_Headers/"
  QString downloadListsDir; // Usenet + "_DownloadLists/"
  QString messageStoreDir;  // Usenet + "_MessageStore/"
  QString serversDir;       // Usenet + "_Servers/"
  QString messageCacheDir;  // message store + "_Messages/"
  QString readMarksDir;     // message store + "_MID/"
};

TAppPaths& Paths();

inline constexpr char kBootstrapFileName[] = "Korvel.ini";
inline constexpr char kDefaultUserDataName[] = "KorvelData";

// The user's documents folder with a trailing "/"; "/" when the system names none.
QString GetMyDocumentsDirectory();
// The same, but empty instead of a fallback (for the log file before anything exists).
QString GetMyDocumentsDirectoryOrEmpty();

// True when "Korvel.ini" (documents folder first, then beside the executable)
// names a user data directory that exists; path then ends with "/".
bool RetrieveUserDataDirectory(QString& path);
// Writes UserDataPath into documents + "Korvel.ini" (created when missing).
bool StoreUserDataDirectory(const QString& path);
// "-forcesetup": removes both bootstrap files and the default data directory.
void DeleteUserDataIniFile();
// Sets every derived path from the user data directory and creates the directories.
void SetPaths(const QString& userDataDir);
void CreateDirectories();

bool IsDirectoryWritable(const QString& dir);
bool IsDirectoryEmpty(const QString& dir);
// The given "_Settings.ini" exists and names this program in [Application] Name.
bool IsValidUserDataDirectory(const QString& settingsFile);

// Deletes the files of one download list by replacing the extension of path:
// always ".cue", ".cui", ".log", ".lck", ".temp", ".seek", ".txt"; with withBody
// also ".body", and with withCompanions too ".stats", ".crc", ".srv", ".grouping".
void DeleteDownloadListFiles(const QString& path, bool withBody, bool withCompanions);
