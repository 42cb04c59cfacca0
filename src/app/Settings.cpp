#include "app/Settings.h"

#include "app/FileUtils.h"
#include "app/IniFile.h"
#include "app/Logger.h"
#include "app/TextFormat.h"
#include "app/UserPrompt.h"

#include <QDir>
#include <QUuid>

#include <variant>

using namespace Qt::StringLiterals;

namespace {

std::function<void()> gAppliedHandler;

using TField = std::variant<bool TSettings::*, int TSettings::*, std::uint8_t TSettings::*, QString TSettings::*,
                            TShowHeadersType TSettings::*, TAutoLoadBehavior TSettings::*>;

struct TKey {
  const char* section;
  const char* key;
  TField field;
  // The default is the value the record holds when reading, not the initial one.
  bool defaultIsCurrent = false;
};

#define KEY(section, name) TKey{section, #name, &TSettings::name}
#define KEY_CURRENT(section, name) TKey{section, #name, &TSettings::name, true}

// The keys of sections "Setup", "Paths", "HeadersManager" and
// "DesktopNotifications", in the order they are read and written.
const TKey kKeys[] = {
    KEY("Setup", gShowNewsLines),
    KEY("Setup", gShowNewsStatus),
    KEY("Setup", gShowNewsFrom),
    KEY("Setup", BinariesAnonymous),
    KEY("Setup", gResizeLargeImages),
    KEY("Setup", gShowImageWithText),
    KEY("Setup", gAlwaysOnline),
    KEY("Setup", gAlwaysEnterGroupWhenDecoding),
    KEY("Setup", gCheckUpdateStartup),
    KEY("Setup", fHighlightAcronyms),
    KEY("Setup", gShowToolTips),
    KEY("Setup", gAutoSelectNewTask),
    KEY("Setup", gPostToCurrentServer),
    KEY("Setup", gAskToCreateDefaultOrganizerFolders),
    KEY("Setup", gAskAssociateNZB),
    KEY("Setup", gOldWindowsVersionWarning),
    KEY("Setup", gGroupSimilarPosts),
    KEY("Setup", gOverwriteAttachments),
    KEY("Setup", gFilenamesMustBeQuoted),
    KEY("Setup", gIntelligentSubjectSorting),
    KEY("Setup", gShowDaysElapsed),
    KEY("Setup", gShowDaysMonthsAsText),
    KEY("Setup", gShowCheckboxesForTextPosts),
    KEY("Setup", gNeverShowPartNumbersForBinaryPosts),
    KEY("Setup", gShowPartNumbersForIncompleteBinaryPosts),
    KEY("Setup", gCreateSubdirWhenImportingNZB),
    KEY("Setup", gShowNewsDates),
    KEY("Setup", gShowNewsGroups),
    KEY("Setup", gShowNewsGrouping),
    KEY("Setup", NewsAutoView),
    KEY("Setup", MinimizeToTray),
    KEY("Setup", AnonymousPosting),
    KEY("Setup", AlwaysAnonymous),
    KEY("Setup", TrackNewsPosts),
    KEY("Setup", ClearNewsCacheOnExit),
    KEY("Setup", UseRegisteredEmailClient),
    KEY("Setup", gNoRetryUnavailable),
    KEY("Setup", gNoDownloadNewsgroupsRequester),
    KEY("Setup", fRemoveExtraLineBreaks),
    KEY("Setup", gAlwaysGetDatesInRangeScreen),
    KEY("Setup", fShowMessageUsingFixedSizeFont),
    KEY("Setup", fSaveDownloadedEmails),
    KEY("Setup", gRemoveReplySignature),
    KEY("Setup", gAutoSelectHeadersManager),
    KEY("Setup", gSingleHeadersManagerList),
    KEY("Setup", gAlwaysGroupSmallHeadersList),
    KEY("Setup", gShowFilenameInSubject),
    KEY("Setup", gGroupingGroupTextPosts),
    KEY("Setup", cShowNewsTime),
    KEY("Setup", gFullNewsgroupAbbreviationInBrowser),
    KEY_CURRENT("Setup", ShowNewsBoldNew),
    KEY_CURRENT("Setup", ShowNewsHeadersPanelStyle),
    KEY_CURRENT("Setup", AutoNewsUpdate),
    KEY("Setup", gEmailShowStyle),
    KEY_CURRENT("Setup", ShowNewsHeadersPanelPosition),
    KEY("Setup", NewsGroupingIndex),
    KEY("Setup", HeadersLoadBufferSize),
    KEY("Setup", gHeadersLoadLines),
    KEY("Setup", gFreeSpaceTreshold),
    KEY("Setup", gLogLevel),
    KEY("Setup", gDecodePriority),
    KEY("Setup", gCurrentNewsgroupsOrganizerVersion),
    KEY("Setup", gUpdateCountWindowHeight),
    KEY("Setup", gGroupingSimilarityRating),
    KEY("Setup", gGroupingSimilarityMethod),
    KEY("Setup", DefaultNewsServer),
    KEY("Setup", DefaultSmtpServer),
    KEY("Setup", cDefaultIdentity),
    KEY("Setup", cDefaultSignature),
    KEY("Setup", gRawHeadersFile),
    KEY("Setup", gFileSignature),
    KEY("Setup", ShowHeadersType),
    KEY("Setup", gHeadersAutoLoadBehavior),
    KEY("Paths", DefaultDownloadDirectory),
    KEY("Paths", NewsDecodePath),
    KEY("Paths", HeadersSavePath),
    KEY("Paths", AttachFilePath),
    KEY("Paths", gOpenNZBPath),
    KEY("Paths", gSaveNZBPath),
    KEY("Paths", gSaveMessagePath),
    KEY("HeadersManager", gHeadersManager_AutoStartJob),
    KEY("HeadersManager", gHeadersManager_AutoLoadHeaders),
    KEY("HeadersManager", gHeadersManager_AutoLoadThreshold),
    KEY("HeadersManager", gLoadHeadersCountThreshold),
    KEY("HeadersManager", gLoadHeadersExceedThresholdAction),
    KEY("HeadersManager", gCompletedJobSortColumn),
    KEY("HeadersManager", gCompletedJobSortInvert),
    KEY("DesktopNotifications", gShowNotificationWindows),
};

#undef KEY
#undef KEY_CURRENT

const char* const kShowHeadersNames[] = {"SHOWHEADERS_NONE", "SHOWHEADERS_SOME", "SHOWHEADERS_ALL"};
const char* const kAutoLoadNames[] = {"ALB_FOCUS_NEVER", "ALB_FOCUS_ALWAYS", "ALB_FOCUS_SELECTIVE"};

template <typename Enum, size_t N>
Enum EnumFromName(const QString& text, const char* const (&names)[N], Enum fallback) {
  for (size_t i = 0; i < N; ++i)
    if (text == QLatin1String(names[i])) return static_cast<Enum>(i);
  return fallback;  // an unknown name falls back to the key's default
}

template <typename Enum, size_t N>
QString EnumName(Enum value, const char* const (&names)[N]) {
  const auto i = static_cast<size_t>(value);
  return i < N ? QLatin1String(names[i]) : QString::number(i);
}

void ReadKey(const TIniFile& ini, const TKey& k, TSettings& s, const TSettings& defaults) {
  const QString section = QLatin1String(k.section);
  const QString key = QLatin1String(k.key);
  const TSettings& def = k.defaultIsCurrent ? s : defaults;
  std::visit(
      [&](auto member) {
        using T = std::remove_cvref_t<decltype(s.*member)>;
        if constexpr (std::is_same_v<T, bool>) {
          s.*member = ini.ReadBool(section, key, def.*member);
        } else if constexpr (std::is_same_v<T, int>) {
          s.*member = ini.ReadInteger(section, key, def.*member);
        } else if constexpr (std::is_same_v<T, std::uint8_t>) {
          s.*member = static_cast<std::uint8_t>(ini.ReadInteger(section, key, def.*member));
        } else if constexpr (std::is_same_v<T, QString>) {
          s.*member = ini.ReadString(section, key, def.*member);
        } else if constexpr (std::is_same_v<T, TShowHeadersType>) {
          s.*member = EnumFromName(ini.ReadString(section, key, EnumName(def.*member, kShowHeadersNames)),
                                   kShowHeadersNames, def.*member);
        } else if constexpr (std::is_same_v<T, TAutoLoadBehavior>) {
          s.*member = EnumFromName(ini.ReadString(section, key, EnumName(def.*member, kAutoLoadNames)),
                                   kAutoLoadNames, def.*member);
        } else {
          static_assert(!sizeof(T*), "settings field type without a reader");
        }
      },
      k.field);
}

void WriteKey(TIniFile& ini, const TKey& k, const TSettings& s) {
  const QString section = QLatin1String(k.section);
  const QString key = QLatin1String(k.key);
  std::visit(
      [&](auto member) {
        using T = std::remove_cvref_t<decltype(s.*member)>;
        if constexpr (std::is_same_v<T, bool>) {
          ini.WriteBool(section, key, s.*member);
        } else if constexpr (std::is_same_v<T, int> || std::is_same_v<T, std::uint8_t>) {
          ini.WriteInteger(section, key, s.*member);
        } else if constexpr (std::is_same_v<T, QString>) {
          ini.WriteString(section, key, s.*member);
        } else if constexpr (std::is_same_v<T, TShowHeadersType>) {
          ini.WriteString(section, key, EnumName(s.*member, kShowHeadersNames));
        } else if constexpr (std::is_same_v<T, TAutoLoadBehavior>) {
          ini.WriteString(section, key, EnumName(s.*member, kAutoLoadNames));
        } else {
          static_assert(!sizeof(T*), "settings field type without a writer");
        }
      },
      k.field);
}

const QString kConfirmation = QStringLiteral("Confirmation");
const QString kNotificationDefs = QStringLiteral("DesktopNotificationsDefinitions");
const QString kHelpMessages = QStringLiteral("HelpMessages");
const QString kSubjectFormat = QStringLiteral("SubjectFormatOptions");

void ReadNotificationsAndHelp(const TIniFile& ini, TSettings& s) {
  for (int i = 0; i < NOTIFICATION_COUNT; ++i) {
    const QString name = QLatin1String(NotificationTypeName(static_cast<TNotificationType>(i)));
    TNotificationInfo& info = s.notifications[static_cast<size_t>(i)];
    info.enabled = ini.ReadBool(kNotificationDefs, name + u".Enabled"_s, info.enabled);
    info.duration = qMax(0, ini.ReadInteger(kNotificationDefs, name + u".Duration"_s, info.duration));
  }
  s.helpMessagesEnabled = ini.ReadBool(kHelpMessages, QStringLiteral("Global.Enabled"), true);
  for (int i = 0; i < HELP_MESSAGE_COUNT; ++i) {
    const QString name = QLatin1String(HelpMessageName(static_cast<THelpMessage>(i)));
    s.helpMessages[static_cast<size_t>(i)].enabled = ini.ReadBool(kHelpMessages, name + u".Enabled"_s, true);
  }
}

void WriteNotificationsAndHelp(TIniFile& ini, const TSettings& s) {
  for (int i = 0; i < NOTIFICATION_COUNT; ++i) {
    const QString name = QLatin1String(NotificationTypeName(static_cast<TNotificationType>(i)));
    const TNotificationInfo& info = s.notifications[static_cast<size_t>(i)];
    ini.WriteBool(kNotificationDefs, name + u".Enabled"_s, info.enabled);
    ini.WriteInteger(kNotificationDefs, name + u".Duration"_s, info.duration);
  }
  ini.WriteBool(kHelpMessages, QStringLiteral("Global.Enabled"), s.helpMessagesEnabled);
  for (int i = 0; i < HELP_MESSAGE_COUNT; ++i) {
    const QString name = QLatin1String(HelpMessageName(static_cast<THelpMessage>(i)));
    ini.WriteBool(kHelpMessages, name + u".Enabled"_s, s.helpMessages[static_cast<size_t>(i)].enabled);
  }
}

void ReadSubjectFormat(const TIniFile& ini, TSettings& s) {
  s.subjectFormatEnabled = ini.ReadBool(kSubjectFormat, QStringLiteral("Enabled"), false);
  s.subjectFormatOptions = 0;
  for (int i = 0; i < FO_COUNT; ++i) {
    const QString name = QLatin1String(SubjectFormatOptionName(static_cast<TSubjectFormatOption>(i)));
    if (ini.ReadBool(kSubjectFormat, name + u".Enabled"_s, false))
      s.subjectFormatOptions = static_cast<TSubjectFormatOptions>(s.subjectFormatOptions | (1u << i));
  }
}

void WriteSubjectFormat(TIniFile& ini, const TSettings& s) {
  ini.EraseSection(kSubjectFormat);
  ini.WriteBool(kSubjectFormat, QStringLiteral("Enabled"), s.subjectFormatEnabled);
  for (int i = 0; i < FO_COUNT; ++i) {
    if (s.subjectFormatOptions & (1u << i)) {
      const QString name = QLatin1String(SubjectFormatOptionName(static_cast<TSubjectFormatOption>(i)));
      ini.WriteBool(kSubjectFormat, name + u".Enabled"_s, true);
    }
  }
}

QString SettingsPath(const QString& directory) {
  if (directory.isEmpty()) return {};
  return FindFileNoCase(WithTrailingSlash(directory), QLatin1String(kSettingsFileName));
}

void NotifyApplied() {
  if (gAppliedHandler) gAppliedHandler();
}

}  // namespace

const char* NotificationTypeName(TNotificationType type) {
  static const char* const kNames[] = {
      "NOTIFICATION_HEADERS_DOWNLOAD_STARTED", "NOTIFICATION_HEADERS_DOWNLOAD_COMPLETED",
      "NOTIFICATION_HEADERS_DOWNLOAD_FAILED", "NOTIFICATION_HEADERS_DECODE_COMPLETE", "NOTIFICATION_HEADERS_LOADED"};
  return type < NOTIFICATION_COUNT ? kNames[type] : "";
}

const char* HelpMessageName(THelpMessage message) {
  static const char* const kNames[] = {"WHAT_NOW",           "IMPORT_NZB", "TAB_HEADERS_MANAGER",
                                       "TAB_MESSAGE_BROWSER", "TAB_DECODER", "EDIT_DECODE_CONNECTIONS"};
  return message < HELP_MESSAGE_COUNT ? kNames[message] : "";
}

const char* SubjectFormatOptionName(TSubjectFormatOption option) {
  static const char* const kNames[] = {"FO_PERFORM_BASIC_TRIMMING",
                                       "FO_REPLACE_BRACKETS_WITH_SPACES",
                                       "FO_REPLACE_QUOTES_WITH_SPACES",
                                       "FO_REPLACE_UNDERSCORES_WITH_SPACES",
                                       "FO_REMOVE_SYMBOLS_FROM_START_OF_SUBJECT",
                                       "FO_LOWERCASE",
                                       "FO_REMOVE_ALL_CAPS",
                                       "FO_MOVE_POST_NUMBER_AT_END_OF_SUBJECT",
                                       "FO_REMOVE_USELESS_BRACKETS_AT_START_OF_SUBJECT",
                                       "FO_REMOVE_NUMBERED_BRACKETS_AT_START_OF_SUBJECT"};
  return option < FO_COUNT ? kNames[option] : "";
}

TSettings::TSettings() {
  thousandSeparator = SystemThousandSeparator();
  // Downloads go to a folder in the home directory; file dialogs start there.
  const QString home = WithTrailingSlash(QDir::homePath());
  DefaultDownloadDirectory = home + u"Korvel Downloads"_s;
  NewsDecodePath = DefaultDownloadDirectory;
  HeadersSavePath = AttachFilePath = gOpenNZBPath = gSaveNZBPath = gSaveMessagePath = home;

  static const struct {
    const char* text;
    const char* title;
    const char* description;
  } kNotifications[NOTIFICATION_COUNT] = {
      {"A download task has started.", "Download task started",
       "Notification displayed when a download task is started."},
      {"Headers have been downloaded and saved successfully.", "Download task completed",
       "Notification displayed when a headers download task has completed successfully."},
      {"A download task has failed to complete successfully.", "Download task failed",
       "Notification displayed when a download task has completed with complete or partial failure."},
      {"Decoding of binary posts has completed successfully.", "Posts decoded successfully",
       "Notification displayed when binary posts have been successfully decoded."},
      {"Headers have been successfully loaded.", "Headers loaded successfully",
       "Notification displayed when headers have been loaded successfully."},
  };
  for (int i = 0; i < NOTIFICATION_COUNT; ++i) {
    TNotificationInfo& info = notifications[static_cast<size_t>(i)];
    info.text = QString::fromUtf8(kNotifications[i].text);
    info.title = QString::fromUtf8(kNotifications[i].title);
    info.description = QString::fromUtf8(kNotifications[i].description);
    info.enabled = true;
    info.duration = 3000;
  }
}

TSettings& Settings() {
  static TSettings settings;
  return settings;
}

std::mutex& SettingsLock() {
  static std::mutex lock;
  return lock;
}

void SetSettingsAppliedHandler(std::function<void()> handler) { gAppliedHandler = std::move(handler); }

QString ThousandSeparatorIniValue(QChar separator) { return u'"' + QString(separator) + u'"'; }

QChar ThousandSeparatorFromIniValue(const QString& value, QChar system) {
  QString v = value;
  if (v.size() > 1 && (v.startsWith(u'"') || v.endsWith(u'"'))) v = v.mid(1, v.size() - 2);
  return v.isEmpty() ? system : v.at(0);
}

void ReadConfirmations(const TIniFile& ini, const QString& section) {
  TSettings& s = Settings();
  s.gWarnNoSignature = ini.ReadBool(section, QStringLiteral("gWarnNoSignature"), true);
  s.gConfirmCloseMessageBrowser = ini.ReadBool(section, QStringLiteral("gConfirmCloseMessageBrowser"), true);
  s.gConfirmCloseDecode = ini.ReadBool(section, QStringLiteral("gConfirmCloseDecode"), true);
  s.gShowDownloadLargePostDialog = ini.ReadBool(section, QStringLiteral("gShowDownloadLargePostDialog"), true);
  s.AskTerminate = ini.ReadBool(section, QStringLiteral("AskTerminate"), true);
}

void WriteConfirmations(TIniFile& ini, const QString& section) {
  const TSettings& s = Settings();
  ini.WriteBool(section, QStringLiteral("gWarnNoSignature"), s.gWarnNoSignature);
  ini.WriteBool(section, QStringLiteral("gConfirmCloseMessageBrowser"), s.gConfirmCloseMessageBrowser);
  ini.WriteBool(section, QStringLiteral("gConfirmCloseDecode"), s.gConfirmCloseDecode);
  ini.WriteBool(section, QStringLiteral("gShowDownloadLargePostDialog"), s.gShowDownloadLargePostDialog);
  ini.WriteBool(section, QStringLiteral("AskTerminate"), s.AskTerminate);
}

bool ReadConfigs(const QString& directory, bool noFlush) {
  LOG_METHOD("ReadConfigs");
  std::lock_guard lock(SettingsLock());
  TIniFile ini(SettingsPath(directory));
  if (!ini.IsOpen()) {
    TUserPrompt::Error(QStringLiteral("There was an error opening the settings file. The application will now close."));
    LogError(u"Error creating ini file object for reading settings: "_s + ini.ErrorString());
    return false;
  }
  TSettings& s = Settings();
  const TSettings defaults;
  bool changed = false;

  ReadConfirmations(ini, kConfirmation);
  for (const TKey& k : kKeys) ReadKey(ini, k, s, defaults);
  if (s.gLogLevel < 0 || s.gLogLevel > 3) s.gLogLevel = defaults.gLogLevel;
  if (s.gDecodePriority < 0 || s.gDecodePriority > 6) s.gDecodePriority = defaults.gDecodePriority;
  if (s.gCurrentNewsgroupsOrganizerVersion != 2) s.gCurrentNewsgroupsOrganizerVersion = 1;

  const QChar system = SystemThousandSeparator();
  s.thousandSeparator = ThousandSeparatorFromIniValue(
      ini.ReadString(QStringLiteral("Setup"), QStringLiteral("gThousandSeparator"), ThousandSeparatorIniValue(system)),
      system);

  if (s.gFileSignature.isEmpty()) {
    s.gFileSignature = QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
    ini.WriteString(QStringLiteral("Setup"), QStringLiteral("gFileSignature"), s.gFileSignature);
    changed = true;
  }

  SetThousandSeparator(s.thousandSeparator);
  ReadNotificationsAndHelp(ini, s);
  ReadSubjectFormat(ini, s);

  if (changed && !noFlush && !ini.FileName().isEmpty()) {
    if (!ini.UpdateFile()) LogError(u"Error loading config file: "_s + ini.ErrorString());
  }
  NotifyApplied();
  return true;
}

bool WriteConfigs(const QString& directory) {
  LOG_METHOD("WriteConfigs");
  std::lock_guard lock(SettingsLock());
  const QString path = SettingsPath(directory);
  TIniFile ini(path);
  if (path.isEmpty() || !ini.IsOpen()) {
    TUserPrompt::Error(QStringLiteral("There was an error opening the settings file."));
    LogError(u"Error creating ini file object for writing settings: "_s + ini.ErrorString());
    return false;
  }
  const TSettings& s = Settings();
  WriteConfirmations(ini, kConfirmation);
  ini.WriteString(QStringLiteral("Application"), QStringLiteral("Name"), QStringLiteral("Korvel"));
  for (const TKey& k : kKeys) {
    // Kept only when put into the file by hand.
    if (qstrcmp(k.key, "gRawHeadersFile") == 0) continue;
    WriteKey(ini, k, s);
  }
  ini.WriteString(QStringLiteral("Setup"), QStringLiteral("gThousandSeparator"),
                  ThousandSeparatorIniValue(s.thousandSeparator));
  WriteNotificationsAndHelp(ini, s);
  WriteSubjectFormat(ini, s);

  bool ok = true;
  if (!ini.UpdateFile()) {
    TUserPrompt::Error(QStringLiteral("There was an error saving the settings file."));
    LogError(u"Error saving config file: "_s + ini.ErrorString());
    ok = false;
  }
  SetThousandSeparator(s.thousandSeparator);
  NotifyApplied();
  return ok;
}

bool ResetConfirmations(const QString& directory) {
  LOG_METHOD("ResetConfirmations");
  std::lock_guard lock(SettingsLock());
  TIniFile ini(SettingsPath(directory));
  if (!ini.IsOpen()) return false;
  ini.EraseSection(kConfirmation);
  const bool ok = ini.FileName().isEmpty() || ini.UpdateFile();
  if (!ok) LogError(u"Error saving config file: "_s + ini.ErrorString());
  ReadConfirmations(ini, kConfirmation);
  return ok;
}
