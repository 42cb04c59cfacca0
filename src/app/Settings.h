#pragma once

#include <QChar>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>

// ---- Types held by the settings record ----

// Which article headers the article view shows.
enum TShowHeadersType : std::uint8_t { SHOWHEADERS_NONE, SHOWHEADERS_SOME, SHOWHEADERS_ALL };
// Whether a tab opened for automatically loaded headers takes the focus.
enum TAutoLoadBehavior : std::uint8_t { ALB_FOCUS_NEVER, ALB_FOCUS_ALWAYS, ALB_FOCUS_SELECTIVE };

// Desktop notification kinds, in their stored order.
enum TNotificationType : std::uint8_t {
  NOTIFICATION_HEADERS_DOWNLOAD_STARTED,
  NOTIFICATION_HEADERS_DOWNLOAD_COMPLETED,
  NOTIFICATION_HEADERS_DOWNLOAD_FAILED,
  NOTIFICATION_HEADERS_DECODE_COMPLETE,
  NOTIFICATION_HEADERS_LOADED,
  NOTIFICATION_COUNT
};
const char* NotificationTypeName(TNotificationType type);

struct TNotificationInfo {
  QString text;
  bool enabled = true;
  int duration = 3000;  // milliseconds; 0 = until closed
  QString title;
  QString description;
};

// Help messages, in their stored order.
enum THelpMessage : std::uint8_t {
  WHAT_NOW,
  IMPORT_NZB,
  TAB_HEADERS_MANAGER,
  TAB_MESSAGE_BROWSER,
  TAB_DECODER,
  EDIT_DECODE_CONNECTIONS,
  HELP_MESSAGE_COUNT
};
const char* HelpMessageName(THelpMessage message);

struct THelpMessageRec {
  bool enabled = true;
  bool pending = true;  // not shown yet in this run; never stored
};

// Subject formatting options, bit i of the 16-bit set = option i.
enum TSubjectFormatOption : std::uint8_t {
  FO_PERFORM_BASIC_TRIMMING,
  FO_REPLACE_BRACKETS_WITH_SPACES,
  FO_REPLACE_QUOTES_WITH_SPACES,
  FO_REPLACE_UNDERSCORES_WITH_SPACES,
  FO_REMOVE_SYMBOLS_FROM_START_OF_SUBJECT,
  FO_LOWERCASE,
  FO_REMOVE_ALL_CAPS,
  FO_MOVE_POST_NUMBER_AT_END_OF_SUBJECT,
  FO_REMOVE_USELESS_BRACKETS_AT_START_OF_SUBJECT,
  FO_REMOVE_NUMBERED_BRACKETS_AT_START_OF_SUBJECT,
  FO_COUNT
};
const char* SubjectFormatOptionName(TSubjectFormatOption option);
using TSubjectFormatOptions = std::uint16_t;

// ---- The settings record ----
// One field per key of "_Settings.ini", named after its key. Process-wide;
// read by any thread without locking, changed only on the user-interface thread.
struct TSettings {
  TSettings();

  // [Confirmation]
  bool gWarnNoSignature = true;
  bool gConfirmCloseMessageBrowser = true;
  bool gConfirmCloseDecode = true;
  bool gShowDownloadLargePostDialog = true;
  bool AskTerminate = true;

  // [Setup] booleans, default true
  bool gShowNewsLines = true;
  bool gShowNewsStatus = true;
  bool gShowNewsFrom = true;
  bool BinariesAnonymous = true;
  bool gResizeLargeImages = true;
  bool gShowImageWithText = true;
  bool gAlwaysOnline = true;
  bool gAlwaysEnterGroupWhenDecoding = true;
  bool gCheckUpdateStartup = true;
  bool fHighlightAcronyms = true;
  bool gShowToolTips = true;
  bool gAutoSelectNewTask = true;
  bool gPostToCurrentServer = true;
  bool gAskToCreateDefaultOrganizerFolders = true;
  bool gAskAssociateNZB = true;
  bool gOldWindowsVersionWarning = true;
  bool gGroupSimilarPosts = true;
  bool gOverwriteAttachments = true;
  bool gFilenamesMustBeQuoted = true;
  bool gIntelligentSubjectSorting = true;
  bool gShowDaysElapsed = true;
  bool gShowDaysMonthsAsText = true;
  bool gShowCheckboxesForTextPosts = true;
  bool gNeverShowPartNumbersForBinaryPosts = true;
  bool gShowPartNumbersForIncompleteBinaryPosts = true;
  bool gCreateSubdirWhenImportingNZB = true;

  // [Setup] booleans, default false
  bool gShowNewsDates = false;
  bool gShowNewsGroups = false;
  bool gShowNewsGrouping = false;
  bool NewsAutoView = false;
  bool MinimizeToTray = false;
  bool AnonymousPosting = false;
  bool AlwaysAnonymous = false;
  bool TrackNewsPosts = false;
  bool ClearNewsCacheOnExit = false;
  bool UseRegisteredEmailClient = false;
  bool gNoRetryUnavailable = false;
  bool gNoDownloadNewsgroupsRequester = false;
  bool fRemoveExtraLineBreaks = false;
  bool gAlwaysGetDatesInRangeScreen = false;
  bool fShowMessageUsingFixedSizeFont = false;
  bool fSaveDownloadedEmails = false;
  bool gRemoveReplySignature = false;
  bool gAutoSelectHeadersManager = false;
  bool gSingleHeadersManagerList = false;
  bool gAlwaysGroupSmallHeadersList = false;
  bool gShowFilenameInSubject = false;
  bool gGroupingGroupTextPosts = false;
  bool cShowNewsTime = false;
  bool gFullNewsgroupAbbreviationInBrowser = false;

  // [Setup] booleans whose default is the value held when reading
  bool ShowNewsBoldNew = false;
  bool ShowNewsHeadersPanelStyle = true;
  bool AutoNewsUpdate = false;

  // [Setup] integers
  int gEmailShowStyle = 1;
  std::uint8_t ShowNewsHeadersPanelPosition = 1;  // default: the value held
  int NewsGroupingIndex = 0;
  int HeadersLoadBufferSize = 512;
  int gHeadersLoadLines = 25000;
  int gFreeSpaceTreshold = 75;
  int gLogLevel = 0;
  int gDecodePriority = 2;
  int gCurrentNewsgroupsOrganizerVersion = 1;
  int gUpdateCountWindowHeight = 0;
  int gGroupingSimilarityRating = 60;
  int gGroupingSimilarityMethod = 2;

  // [Setup] strings
  QString DefaultNewsServer;
  QString DefaultSmtpServer;
  QString cDefaultIdentity;
  QString cDefaultSignature;
  QString gRawHeadersFile;  // read, never written
  QString gFileSignature;   // braced GUID of this installation

  // [Setup] enumerations and the separator
  TShowHeadersType ShowHeadersType = SHOWHEADERS_SOME;
  TAutoLoadBehavior gHeadersAutoLoadBehavior = ALB_FOCUS_SELECTIVE;
  QChar thousandSeparator;  // from gThousandSeparator

  // [Paths]
  QString DefaultDownloadDirectory;
  QString NewsDecodePath;
  QString HeadersSavePath;
  QString AttachFilePath;
  QString gOpenNZBPath;
  QString gSaveNZBPath;
  QString gSaveMessagePath;

  // [HeadersManager]
  bool gHeadersManager_AutoStartJob = true;
  bool gHeadersManager_AutoLoadHeaders = true;
  int gHeadersManager_AutoLoadThreshold = 200000;
  int gLoadHeadersCountThreshold = 500000;
  int gLoadHeadersExceedThresholdAction = 2;
  int gCompletedJobSortColumn = 4;
  bool gCompletedJobSortInvert = false;

  // [DesktopNotifications] and [DesktopNotificationsDefinitions]
  bool gShowNotificationWindows = true;
  std::array<TNotificationInfo, NOTIFICATION_COUNT> notifications;

  // [HelpMessages]
  bool helpMessagesEnabled = true;  // "Global.Enabled"
  std::array<THelpMessageRec, HELP_MESSAGE_COUNT> helpMessages;

  // [SubjectFormatOptions]
  bool subjectFormatEnabled = false;
  TSubjectFormatOptions subjectFormatOptions = 0;
};

// The process-wide record.
TSettings& Settings();

// Loads the record from directory + "_Settings.ini" (an empty directory reads
// no file and yields the defaults). Returns false when the file exists but
// cannot be opened; the caller then ends the program.
bool ReadConfigs(const QString& directory, bool noFlush);
// Writes the whole record to directory + "_Settings.ini" and flushes it.
bool WriteConfigs(const QString& directory);
// The five switches of section "Confirmation" from or into an open ini.
class TIniFile;
void ReadConfirmations(const TIniFile& ini, const QString& section);
void WriteConfirmations(TIniFile& ini, const QString& section);
// Erases section "Confirmation" from the file and reads the switches again
// (so all are true). The question and the final message belong to the caller.
bool ResetConfirmations(const QString& directory);

// The lock that serialises reading and writing of the settings file.
std::mutex& SettingsLock();

// Called after the record was read or written, on the user-interface thread,
// so the shell can apply switches such as gShowToolTips to the application.
void SetSettingsAppliedHandler(std::function<void()> handler);

// gThousandSeparator as stored: the separator between double quotes.
QString ThousandSeparatorIniValue(QChar separator);
// The separator a stored value gives (see the key's rules); system when none.
QChar ThousandSeparatorFromIniValue(const QString& value, QChar system);

inline constexpr char kSettingsFileName[] = "_Settings.ini";
