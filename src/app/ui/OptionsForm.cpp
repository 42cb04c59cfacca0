#include "app/ui/OptionsForm.h"

#include "app/AppPaths.h"
#include "app/LineListFile.h"
#include "app/Logger.h"
#include "app/TextFormat.h"
#include "app/UserPrompt.h"
#include "app/ui/EditListFile.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

const char16_t* const kPriorities[] = {
    u"Idle", u"Lowest", u"Low", u"Normal", u"High", u"Highest", u"Time Critical (can have negative impact)"};

const char16_t* const kLogLevels[] = {u"None. The error log is disabled.",
                                      u"Low. Only errors and warnings messages are recorded.",
                                      u"Medium. More details about the flow of the application are recorded.",
                                      u"High. Very detailed information about the application is recorded."};

constexpr int kMaxDurationStep = 20;

QVBoxLayout* PageLayout(QWidget* page) {
  auto* layout = new QVBoxLayout(page);
  layout->setAlignment(Qt::AlignTop);
  return layout;
}

}  // namespace

const TfrmOptions::TBoolOption TfrmOptions::kBoolOptions[] = {
    {u"Minimize to System Tray", "MinimizeToTray", &TSettings::MinimizeToTray, false},
    {u"Check for updates at startup", "gCheckUpdateStartup", &TSettings::gCheckUpdateStartup, false},
    {u"Show popup tooltips when hovering mouse over buttons and controls", "gShowToolTips", &TSettings::gShowToolTips,
     false},
    {u"Empty message cache when closing application", "ClearNewsCacheOnExit", &TSettings::ClearNewsCacheOnExit, false},
    {u"Register as default application for know file types", "gAskAssociateNZB", &TSettings::gAskAssociateNZB, false},
    {u"Automatically retrieve message count", "AutoNewsUpdate", &TSettings::AutoNewsUpdate, false},
    {u"Automatically start waiting download tasks", "gHeadersManager_AutoStartJob",
     &TSettings::gHeadersManager_AutoStartJob, false},
    {u"Automatically select new download tasks", "gAutoSelectNewTask", &TSettings::gAutoSelectNewTask, false},
    {u"Overwrite existing files when saving attachments", "gOverwriteAttachments", &TSettings::gOverwriteAttachments,
     false},
    {u"Remove signature when quoting message", "gRemoveReplySignature", &TSettings::gRemoveReplySignature, false},
    {u"Track and highlight replies to your posts", "TrackNewsPosts", &TSettings::TrackNewsPosts, false},
    {u"Use registered client for sending Email messages", "UseRegisteredEmailClient",
     &TSettings::UseRegisteredEmailClient, false},
    {u"Post message or replies to selected server", "gPostToCurrentServer", &TSettings::gPostToCurrentServer, false},
    {u"Always post anonymously in binaries newsgroups", "BinariesAnonymous", &TSettings::BinariesAnonymous, false},
    {u"Post anonymously in all newsgroups", "AlwaysAnonymous", &TSettings::AlwaysAnonymous, false},
    {u"Always post anonymously in the following newsgroups:", "AnonymousPosting", &TSettings::AnonymousPosting, false},
    {u"Always ask before closing a message browser tab", "gConfirmCloseMessageBrowser",
     &TSettings::gConfirmCloseMessageBrowser, false},
    {u"Always ask before closing a decoder tab", "gConfirmCloseDecode", &TSettings::gConfirmCloseDecode, false},
    {u"Confirm quitting application", "AskTerminate", &TSettings::AskTerminate, false},
    {u"Warn when posting a message without inclusing a signature", "gWarnNoSignature", &TSettings::gWarnNoSignature,
     false},
    {u"Ask to download list of newsgroups when unavailable", "gNoDownloadNewsgroupsRequester",
     &TSettings::gNoDownloadNewsgroupsRequester, true},
    {u"Ask to create default organizer folders when none are defined", "gAskToCreateDefaultOrganizerFolders",
     &TSettings::gAskToCreateDefaultOrganizerFolders, false},
    {u"Show notification windows using their individual settings", "gShowNotificationWindows",
     &TSettings::gShowNotificationWindows, false},
};

TfrmOptions::TfrmOptions(QWidget* parent)
    : QDialog(parent), fPages(new QTabWidget(this)), fNotifications(Settings().notifications) {
  static_assert(std::size(kBoolOptions) <= std::tuple_size_v<decltype(fBoolBoxes)>);
  setObjectName(u"frmOptions"_s);
  setWindowTitle(u"Global Settings"_s);
  auto* layout = new QVBoxLayout(this);
  fPages->setObjectName(u"pgcOptions"_s);
  fPages->addTab(CreateGeneralPage(), u"General"_s);
  fPages->addTab(CreateNewsgroupsPage(), u"Newsgroups"_s);
  fPages->addTab(CreateDownloadsPage(), u"Downloads"_s);
  fPages->addTab(CreatePostingPage(), u"Posting"_s);
  fPages->addTab(CreateConfirmationsPage(), u"Confirmations"_s);
  fPages->addTab(CreateNotificationsPage(), u"Notifications"_s);
  fPages->addTab(CreateErrorLogPage(), u"Error log"_s);
  layout->addWidget(fPages, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(u"btnOk"_s);
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(u"btnCancel"_s);
  fApply = buttons->button(QDialogButtonBox::Apply);
  fApply->setObjectName(u"btnApply"_s);
  connect(buttons, &QDialogButtonBox::accepted, this, &TfrmOptions::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TfrmOptions::reject);
  connect(fApply, &QPushButton::clicked, this, &TfrmOptions::Apply);
  layout->addWidget(buttons);

  LoadControls();
  LoadAnonymousList();
  fApply->setEnabled(false);
}

QCheckBox* TfrmOptions::AddBoolOption(QWidget* page, const char* key) {
  for (size_t i = 0; i < std::size(kBoolOptions); ++i) {
    if (qstrcmp(kBoolOptions[i].key, key) != 0) continue;
    auto* box = new QCheckBox(QString::fromUtf16(kBoolOptions[i].caption), page);
    box->setObjectName(u"chk"_s + QLatin1String(key));
    connect(box, &QCheckBox::toggled, this, &TfrmOptions::Changed);
    fBoolBoxes[i] = box;
    page->layout()->addWidget(box);
    return box;
  }
  Q_ASSERT_X(false, "AddBoolOption", key);
  return nullptr;
}

QWidget* TfrmOptions::CreateGeneralPage() {
  auto* page = new QWidget(this);
  PageLayout(page);
  AddBoolOption(page, "MinimizeToTray");
  fSpaceSeparator = new QCheckBox(u"Use a space as a thousand separator (instead of user locale)"_s, page);
  fSpaceSeparator->setObjectName(u"chkSpaceThousandSeparator"_s);
  connect(fSpaceSeparator, &QCheckBox::toggled, this, &TfrmOptions::Changed);
  page->layout()->addWidget(fSpaceSeparator);
  AddBoolOption(page, "gCheckUpdateStartup");
  AddBoolOption(page, "gShowToolTips");
  AddBoolOption(page, "ClearNewsCacheOnExit");
  AddBoolOption(page, "gAskAssociateNZB");
  return page;
}

QWidget* TfrmOptions::CreateNewsgroupsPage() {
  auto* page = new QWidget(this);
  QVBoxLayout* layout = PageLayout(page);
  AddBoolOption(page, "AutoNewsUpdate");
  fNewOrganizer = new QCheckBox(u"Use new newsgroups organizer"_s, page);
  fNewOrganizer->setObjectName(u"chkNewOrganizer"_s);
  connect(fNewOrganizer, &QCheckBox::toggled, this, &TfrmOptions::Changed);
  layout->addWidget(fNewOrganizer);
  layout->addSpacing(12);
  const struct {
    const char16_t* caption;
    const char* name;
    const char* file;
  } kLists[] = {{u"Edit multipart strings...", "btnEditMultipartStrings", TLineListFile::kCompleteMultipartStrings},
                {u"Edit headers list...", "btnEditHeadersList", TLineListFile::kHeaders},
                {u"Edit Auto-show list...", "btnEditAutoShowList", TLineListFile::kAutoShowList}};
  auto* row = new QHBoxLayout;
  for (const auto& list : kLists) {
    auto* button = new QPushButton(QString::fromUtf16(list.caption), page);
    button->setObjectName(QLatin1String(list.name));
    const QString file = QLatin1String(list.file);
    connect(button, &QPushButton::clicked, this, [file] { EditListFile(Paths().userDataDir, file); });
    row->addWidget(button);
  }
  row->addStretch(1);
  layout->addLayout(row);
  return page;
}

QWidget* TfrmOptions::CreateDownloadsPage() {
  auto* page = new QWidget(this);
  QVBoxLayout* layout = PageLayout(page);
  AddBoolOption(page, "gHeadersManager_AutoStartJob");
  AddBoolOption(page, "gAutoSelectNewTask");
  AddBoolOption(page, "gOverwriteAttachments");
  layout->addSpacing(12);
  auto* form = new QFormLayout;
  fDecodePriority = new QComboBox(page);
  fDecodePriority->setObjectName(u"cmbDecodePriority"_s);
  for (const char16_t* p : kPriorities) fDecodePriority->addItem(QString::fromUtf16(p));
  connect(fDecodePriority, &QComboBox::currentIndexChanged, this, &TfrmOptions::Changed);
  form->addRow(u"Message Decoding priority"_s, fDecodePriority);
  layout->addLayout(form);
  return page;
}

QWidget* TfrmOptions::CreatePostingPage() {
  auto* page = new QWidget(this);
  QVBoxLayout* layout = PageLayout(page);
  AddBoolOption(page, "gRemoveReplySignature");
  AddBoolOption(page, "TrackNewsPosts");
  AddBoolOption(page, "UseRegisteredEmailClient");
  AddBoolOption(page, "gPostToCurrentServer");
  layout->addSpacing(12);
  AddBoolOption(page, "BinariesAnonymous");
  AddBoolOption(page, "AlwaysAnonymous");
  QCheckBox* listed = AddBoolOption(page, "AnonymousPosting");
  fAnonymousList = new QPlainTextEdit(page);
  fAnonymousList->setObjectName(u"memAnonymousList"_s);
  fAnonymousList->setLineWrapMode(QPlainTextEdit::NoWrap);
  fAnonymousList->setMinimumHeight(90);
  connect(fAnonymousList, &QPlainTextEdit::textChanged, this, &TfrmOptions::Changed);
  connect(listed, &QCheckBox::toggled, fAnonymousList, &QWidget::setEnabled);
  layout->addWidget(fAnonymousList, 1);
  return page;
}

QWidget* TfrmOptions::CreateConfirmationsPage() {
  auto* page = new QWidget(this);
  PageLayout(page);
  AddBoolOption(page, "gConfirmCloseMessageBrowser");
  AddBoolOption(page, "gConfirmCloseDecode");
  AddBoolOption(page, "AskTerminate");
  AddBoolOption(page, "gWarnNoSignature");
  AddBoolOption(page, "gNoDownloadNewsgroupsRequester");
  AddBoolOption(page, "gAskToCreateDefaultOrganizerFolders");
  return page;
}

QWidget* TfrmOptions::CreateNotificationsPage() {
  auto* page = new QWidget(this);
  QVBoxLayout* layout = PageLayout(page);
  QCheckBox* master = AddBoolOption(page, "gShowNotificationWindows");
  auto* row = new QHBoxLayout;
  fNotificationList = new QListWidget(page);
  fNotificationList->setObjectName(u"lstNotifications"_s);
  for (const TNotificationInfo& info : fNotifications) fNotificationList->addItem(info.title);
  row->addWidget(fNotificationList, 1);

  auto* details = new QVBoxLayout;
  fNotificationDescription = new QLabel(page);
  fNotificationDescription->setObjectName(u"lblNotificationDescription"_s);
  fNotificationDescription->setWordWrap(true);
  fNotificationDescription->setMinimumWidth(220);
  details->addWidget(fNotificationDescription);
  fNotificationEnabled = new QCheckBox(u"Always show notification"_s, page);
  fNotificationEnabled->setObjectName(u"chkNotificationEnabled"_s);
  details->addWidget(fNotificationEnabled);
  auto* durationRow = new QHBoxLayout;
  fNotificationDuration = new QSlider(Qt::Horizontal, page);
  fNotificationDuration->setObjectName(u"sldNotificationDuration"_s);
  fNotificationDuration->setRange(0, kMaxDurationStep);
  fNotificationDuration->setPageStep(2);
  fNotificationDuration->setTickPosition(QSlider::TicksBelow);
  durationRow->addWidget(fNotificationDuration, 1);
  fNotificationDurationLabel = new QLabel(page);
  fNotificationDurationLabel->setObjectName(u"lblNotificationDuration"_s);
  fNotificationDurationLabel->setMinimumWidth(60);
  durationRow->addWidget(fNotificationDurationLabel);
  details->addLayout(durationRow);
  details->addStretch(1);
  row->addLayout(details, 1);
  layout->addLayout(row, 1);

  connect(fNotificationList, &QListWidget::currentRowChanged, this, &TfrmOptions::SelectNotification);
  connect(fNotificationEnabled, &QCheckBox::toggled, this, [this](bool on) {
    const int row = fNotificationList->currentRow();
    if (fLoading || row < 0) return;
    fNotifications[static_cast<size_t>(row)].enabled = on;
    Changed();
  });
  connect(fNotificationDuration, &QSlider::valueChanged, this, [this](int step) {
    fNotificationDurationLabel->setText(DurationLabel(step));
    const int row = fNotificationList->currentRow();
    if (fLoading || row < 0) return;
    fNotifications[static_cast<size_t>(row)].duration = DurationOfStep(step);
    Changed();
  });
  auto follow = [this](bool on) {
    fNotificationList->setEnabled(on);
    fNotificationEnabled->setEnabled(on);
    fNotificationDuration->setEnabled(on);
  };
  connect(master, &QCheckBox::toggled, this, follow);
  return page;
}

QWidget* TfrmOptions::CreateErrorLogPage() {
  auto* page = new QWidget(this);
  QVBoxLayout* layout = PageLayout(page);
  fLogLevel = new QButtonGroup(page);
  for (int i = 0; i < 4; ++i) {
    auto* radio = new QRadioButton(QString::fromUtf16(kLogLevels[i]), page);
    radio->setObjectName(u"rbLogLevel"_s + QString::number(i));
    fLogLevel->addButton(radio, i);
    layout->addWidget(radio);
  }
  connect(fLogLevel, &QButtonGroup::idToggled, this, [this](int, bool on) {
    if (on) Changed();
  });
  return page;
}

int TfrmOptions::StepOfDuration(int duration) { return qBound(0, (qMax(0, duration) + 250) / 500, kMaxDurationStep); }

QString TfrmOptions::DurationLabel(int step) {
  if (step <= 0) return u"Infinite"_s;
  return QString::asprintf("%.1f sec", DurationOfStep(step) / 1000.0);
}

void TfrmOptions::LoadControls() {
  fLoading = true;
  const TSettings& s = Settings();
  for (size_t i = 0; i < std::size(kBoolOptions); ++i) {
    if (!fBoolBoxes[i]) continue;
    const bool value = s.*(kBoolOptions[i].field);
    fBoolBoxes[i]->setChecked(kBoolOptions[i].negated ? !value : value);
  }
  fSpaceSeparator->setChecked(s.thousandSeparator == u' ');
  fNewOrganizer->setChecked(s.gCurrentNewsgroupsOrganizerVersion == 2);
  fDecodePriority->setCurrentIndex(qBound(0, s.gDecodePriority, 6));
  if (QAbstractButton* level = fLogLevel->button(qBound(0, s.gLogLevel, 3))) level->setChecked(true);
  fNotificationList->setCurrentRow(0);
  SelectNotification(0);
  const bool master = s.gShowNotificationWindows;
  fNotificationList->setEnabled(master);
  fNotificationEnabled->setEnabled(master);
  fNotificationDuration->setEnabled(master);
  fAnonymousList->setEnabled(s.AnonymousPosting);
  fLoading = false;
}

void TfrmOptions::SelectNotification(int row) {
  if (row < 0 || row >= NOTIFICATION_COUNT) return;
  const bool wasLoading = std::exchange(fLoading, true);
  const TNotificationInfo& info = fNotifications[static_cast<size_t>(row)];
  fNotificationDescription->setText(info.description);
  fNotificationEnabled->setChecked(info.enabled);
  fNotificationDuration->setValue(StepOfDuration(info.duration));
  fNotificationDurationLabel->setText(DurationLabel(fNotificationDuration->value()));
  fLoading = wasLoading;
}

void TfrmOptions::LoadAnonymousList() {
  const bool wasLoading = std::exchange(fLoading, true);
  QList<QByteArray> lines;
  const auto result = TLineListFile::Load(
      TLineListFile::PathOf(Paths().userDataDir, QLatin1String(TLineListFile::kAnonymousList)), lines);
  if (result == TLineListFile::LOAD_FAILED) {
    TUserPrompt::Error(u"Error loading list of anonymous discussion groups."_s);
  }
  QStringList text;
  for (const QByteArray& line : std::as_const(lines)) text.append(QString::fromUtf8(line));
  fAnonymousList->setPlainText(text.join(u'\n'));
  fLoading = wasLoading;
}

bool TfrmOptions::SaveAnonymousList() {
  QList<QByteArray> lines;
  for (const QString& line : fAnonymousList->toPlainText().split(u'\n')) {
    const QString trimmed = line.trimmed();
    if (!trimmed.isEmpty()) lines.append(trimmed.toUtf8());
  }
  if (TLineListFile::Save(TLineListFile::PathOf(Paths().userDataDir, QLatin1String(TLineListFile::kAnonymousList)),
                          lines))
    return true;
  TUserPrompt::Error(u"Error saving list of anonymous discussion groups."_s);
  return false;
}

void TfrmOptions::Changed() {
  if (!fLoading) fApply->setEnabled(true);
}

bool TfrmOptions::IsModified() const { return fApply->isEnabled(); }

bool TfrmOptions::Apply() {
  LOG_METHOD("ApplyOptions");
  TSettings& s = Settings();
  for (size_t i = 0; i < std::size(kBoolOptions); ++i) {
    if (!fBoolBoxes[i]) continue;
    const bool checked = fBoolBoxes[i]->isChecked();
    s.*(kBoolOptions[i].field) = kBoolOptions[i].negated ? !checked : checked;
  }
  s.thousandSeparator = fSpaceSeparator->isChecked() ? QChar(u' ') : SystemThousandSeparator();
  const int organizer = fNewOrganizer->isChecked() ? 2 : 1;
  const bool organizerChanged = organizer != s.gCurrentNewsgroupsOrganizerVersion;
  s.gCurrentNewsgroupsOrganizerVersion = organizer;
  s.gDecodePriority = fDecodePriority->currentIndex();
  s.gLogLevel = qMax(0, fLogLevel->checkedId());
  s.notifications = fNotifications;
  SaveAnonymousList();
  TLogger::Instance().SetLogLevel(s.gLogLevel);
  const bool written = WriteConfigs(Paths().userDataDir);
  fApplied = true;
  fApply->setEnabled(false);
  if (organizerChanged) TUserPrompt::Information(u"You need to restart Korvel for this change to take effect."_s);
  return written;
}

void TfrmOptions::accept() {
  if (IsModified()) Apply();
  QDialog::accept();
}
