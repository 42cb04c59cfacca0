#include "newsgroups/ui/HeadersRangeForm.h"

#include "app/AppPaths.h"
#include "app/DayCount.h"
#include "app/Settings.h"
#include "app/TextFormat.h"
#include "app/UserPrompt.h"
#include "newsgroups/ArticleEstimates.h"
#include "newsgroups/HeaderDateQuery.h"
#include "newsgroups/ui/TextPrompt.h"

#include <QActionGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

using namespace Qt::StringLiterals;

namespace {

const QString kChecking = u"(checking) "_s;

QString WithoutChecking(const QString& text) {
  return text.startsWith(kChecking) ? text.sliced(kChecking.size()) : text;
}

// A number typed into an edit box; ok is false for anything else.
std::int64_t ReadNumber(const QLineEdit* edit, bool* ok) { return edit->text().trimmed().toLongLong(ok); }

}  // namespace

TfrmHeadersRange::TfrmHeadersRange(const TInput& input, QWidget* parent) : QDialog(parent), fInput(input) {
  setWindowTitle(u"Headers download range"_s);
  if (fInput.last < fInput.first) fInput.last = fInput.first;
  const std::int64_t span = fInput.last - fInput.first + 1;
  // Scroll bars count in int; spans of real groups can pass two billion numbers.
  fScale = (span - 1) / (INT_MAX / 2) + 1;
  const int maxBar = static_cast<int>((fInput.last - fInput.first) / fScale);

  auto* layout = new QVBoxLayout(this);
  auto* menuBar = new QMenuBar(this);
  layout->setMenuBar(menuBar);

  auto* info = new QGridLayout;
  info->addWidget(new QLabel(u"Newsgroups:"_s, this), 0, 0);
  info->addWidget(new QLabel(fInput.newsgroup, this), 0, 1);
  info->addWidget(new QLabel(u"Headers in group:"_s, this), 1, 0);
  info->addWidget(new QLabel(FormatNumber(fInput.estimated), this), 1, 1);
  layout->addLayout(info);

  auto* grid = new QGridLayout;
  auto makeRow = [&](int row, const QString& caption, QScrollBar*& bar, QLineEdit*& edit, QLabel*& date,
                     const char* name) {
    grid->addWidget(new QLabel(caption, this), row, 0);
    bar = new QScrollBar(Qt::Horizontal, this);
    bar->setObjectName(QLatin1String(name) + u"Bar"_s);
    bar->setRange(0, maxBar);
    bar->setMinimumWidth(320);
    grid->addWidget(bar, row, 1);
    edit = new QLineEdit(this);
    edit->setObjectName(QLatin1String(name) + u"Edit"_s);
    grid->addWidget(edit, row, 2);
    date = new QLabel(this);
    date->setObjectName(QLatin1String(name) + u"Date"_s);
    date->setMinimumWidth(220);
    grid->addWidget(date, row, 3);
  };
  makeRow(0, u"First message"_s, fFirstBar, fFirstEdit, fFirstDate, "first");
  makeRow(1, u"Last message"_s, fLastBar, fLastEdit, fLastDate, "last");
  grid->addWidget(new QLabel(u"Number of headers to download:"_s, this), 2, 0);
  fCount = new QLabel(this);
  grid->addWidget(fCount, 2, 1);
  layout->addLayout(grid);

  fStatus = new QLabel(this);
  layout->addWidget(fStatus);

  auto* buttons = new QHBoxLayout;
  fDatesButton = new QPushButton(u"Get dates for selected range"_s, this);
  fDatesButton->setEnabled(false);
  fAcceptButton = new QPushButton(u"Accept"_s, this);
  auto* cancel = new QPushButton(u"Cancel"_s, this);
  buttons->addWidget(fDatesButton);
  buttons->addStretch();
  buttons->addWidget(fAcceptButton);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  // Enter in an edit box takes its number; it must not close the dialog.
  for (QPushButton* b : {fDatesButton, fAcceptButton, cancel}) {
    b->setAutoDefault(false);
    b->setDefault(false);
  }

  // Selection menu.
  fSelectionMenu = menuBar->addMenu(u"Selection"_s);
  const std::pair<const char*, int> lastN[] = {
      {"Last 100 headers", 100},      {"Last 500 headers", 500},        {"Last 1000 headers", 1000},
      {"Last 5 000 headers", 5000},   {"Last 10 000 headers", 10000},   {"Last 25 000 headers", 25000},
      {"Last 50 000 headers", 50000}, {"Last 100 000 headers", 100000}, {"Last 250 000 headers", 250000}};
  int key = Qt::Key_1;
  for (const auto& [caption, count] : lastN) {
    QAction* a = fSelectionMenu->addAction(QLatin1String(caption), this, [this, n = count] { SelectLast(n); });
    a->setShortcut(QKeySequence(key++));
  }
  fSelectionMenu->addAction(u"Custom..."_s, this, &TfrmHeadersRange::SelectCustom);
  fSelectionMenu->addSeparator();
  fSelectionMenu
      ->addAction(u"All headers"_s, this,
                  [this] {
                    SetRange(fInput.first, fInput.last);
                    RequestDates();
                  })
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
  fSelectionMenu
      ->addAction(u"New headers"_s, this,
                  [this] {
                    SetRange(std::clamp(fInput.lastVisit + 1, fInput.first, fInput.last), fInput.last);
                    RequestDates();
                  })
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));

  // Options menu.
  fOptionsMenu = menuBar->addMenu(u"Options"_s);
  QMenu* steps = fOptionsMenu->addMenu(u"Scroll steps"_s);
  auto* stepGroup = new QActionGroup(this);
  const std::pair<const char*, int> stepSizes[] = {
      {"Small", 10}, {"Medium", 100}, {"Large", 500}, {"Very large", 1000}, {"Huge", 5000}};
  key = Qt::Key_1;
  for (const auto& [caption, step] : stepSizes) {
    QAction* a = steps->addAction(QLatin1String(caption) + u" ("_s + QString::number(step) + u')', this,
                                  [this, s = step] { SetPageStep(s); });
    a->setCheckable(true);
    a->setChecked(step == 100);
    a->setShortcut(QKeySequence(Qt::CTRL | key++));
    stepGroup->addAction(a);
  }
  QAction* always = fOptionsMenu->addAction(u"Get date each time a scrollbar is changed"_s);
  always->setCheckable(true);
  always->setChecked(Settings().gAlwaysGetDatesInRangeScreen);
  connect(always, &QAction::toggled, this, &TfrmHeadersRange::ToggleAlwaysGetDates);
  fMatchStringAction = fOptionsMenu->addAction(u"Define a headers match string..."_s, this, [this] {
    if (fMatchStringHandler) fMatchStringHandler(this);
  });
  fMatchStringAction->setEnabled(false);

  SetPageStep(100);
  connect(fFirstBar, &QScrollBar::valueChanged, this, &TfrmHeadersRange::FirstBarMoved);
  connect(fLastBar, &QScrollBar::valueChanged, this, &TfrmHeadersRange::LastBarMoved);
  for (QScrollBar* bar : {fFirstBar, fLastBar}) {
    // Dragging the thumb asks for nothing until it is let go.
    connect(bar, &QAbstractSlider::actionTriggered, this, [this](int action) {
      if (action != QAbstractSlider::SliderMove && Settings().gAlwaysGetDatesInRangeScreen)
        QTimer::singleShot(0, this, &TfrmHeadersRange::RequestDates);
    });
    connect(bar, &QAbstractSlider::sliderReleased, this, [this] {
      if (Settings().gAlwaysGetDatesInRangeScreen) RequestDates();
    });
  }
  for (QLineEdit* edit : {fFirstEdit, fLastEdit})
    connect(edit, &QLineEdit::editingFinished, this, &TfrmHeadersRange::CommitEdits);
  connect(fDatesButton, &QPushButton::clicked, this, &TfrmHeadersRange::RequestDates);
  connect(fAcceptButton, &QPushButton::clicked, this, &TfrmHeadersRange::Accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  SetRange(std::clamp(fInput.lastVisit + 1, fInput.first, fInput.last), fInput.last);
}

TfrmHeadersRange::~TfrmHeadersRange() {
  if (fQuery) {
    fQuery->disconnect(this);
    fQuery->Disconnect();
  }
}

void TfrmHeadersRange::SetMatchStringHandler(std::function<void(QWidget*)> handler) {
  fMatchStringHandler = std::move(handler);
  fMatchStringAction->setEnabled(static_cast<bool>(fMatchStringHandler));
}

QString TfrmHeadersRange::FormatDate(const QString& entry) {
  bool ok = false;
  const double days = DaysFromText(entry, &ok);
  const QDateTime moment = ok ? DaysToDateTime(days) : QDateTime();
  if (entry.isEmpty() || !moment.isValid()) return u"(unavailable)"_s;
  return QLocale().toString(moment, u"MMM d, yyyy - HH:mm:ss"_s);
}

QString TfrmHeadersRange::StatusText() const { return fStatus->text(); }
QString TfrmHeadersRange::FirstDateText() const { return fFirstDate->text(); }
QString TfrmHeadersRange::LastDateText() const { return fLastDate->text(); }
QString TfrmHeadersRange::CountText() const { return fCount->text(); }

std::int64_t TfrmHeadersRange::FromBar(int value) const {
  if (value >= fFirstBar->maximum()) return fInput.last;
  return fInput.first + static_cast<std::int64_t>(std::max(value, 0)) * fScale;
}

int TfrmHeadersRange::ToBar(std::int64_t number) const {
  const std::int64_t v = (std::clamp(number, fInput.first, fInput.last) - fInput.first) / fScale;
  return static_cast<int>(std::min<std::int64_t>(v, fFirstBar->maximum()));
}

void TfrmHeadersRange::SetRange(std::int64_t first, std::int64_t last) {
  fFirst = first;
  fLast = last;
  fUpdating = true;
  fFirstEdit->setText(QString::number(first));
  fLastEdit->setText(QString::number(last));
  fFirstBar->setValue(ToBar(first));
  fLastBar->setValue(ToBar(last));
  fUpdating = false;
  ShowCount();
}

void TfrmHeadersRange::ShowCount() {
  // Shown as at least 1: the chosen span always holds some number.
  const std::int64_t n = EstimateHeaders(fFirst, fLast, fInput.first, fInput.last, fInput.estimated);
  fCount->setText(FormatNumber(std::max<std::int64_t>(n, 1)));
}

void TfrmHeadersRange::FirstBarMoved(int value) {
  if (fUpdating) return;
  if (value > fLastBar->value()) {
    fUpdating = true;
    fFirstBar->setValue(fLastBar->value());
    fUpdating = false;
    value = fLastBar->value();
  }
  fFirst = std::min(FromBar(value), fLast);
  fFirstEdit->setText(QString::number(fFirst));
  ShowCount();
}

void TfrmHeadersRange::LastBarMoved(int value) {
  if (fUpdating) return;
  if (value < fFirstBar->value()) {
    fUpdating = true;
    fLastBar->setValue(fFirstBar->value());
    fUpdating = false;
    value = fFirstBar->value();
  }
  fLast = std::max(FromBar(value), fFirst);
  fLastEdit->setText(QString::number(fLast));
  ShowCount();
}

void TfrmHeadersRange::CommitEdits() {
  bool ok = false;
  std::int64_t last = ReadNumber(fLastEdit, &ok);
  if (!ok) last = fInput.last;
  last = std::clamp(last, fInput.first, fInput.last);
  std::int64_t first = ReadNumber(fFirstEdit, &ok);
  if (!ok) first = fInput.first;
  first = std::clamp(first, fInput.first, last);
  SetRange(first, last);
}

void TfrmHeadersRange::SelectLast(std::int64_t count) {
  const std::int64_t last = fInput.last;
  SetRange(std::max(last - count + 1, fInput.first), last);
  RequestDates();
}

void TfrmHeadersRange::SelectCustom() {
  QString text;
  if (!TTextPrompt::Ask(this, u"Headers"_s, u"Enter the amount of headers you would like to retrieve"_s, text)) return;
  bool ok = false;
  const std::int64_t n = text.trimmed().toLongLong(&ok);
  if (!ok || n < 1) {
    TUserPrompt::Warning(u"Invalid number"_s);
    return;
  }
  SelectLast(n);
}

void TfrmHeadersRange::SetPageStep(int step) {
  const int barStep = static_cast<int>(std::max<std::int64_t>(1, step / fScale));
  fFirstBar->setPageStep(barStep);
  fLastBar->setPageStep(barStep);
}

void TfrmHeadersRange::ToggleAlwaysGetDates(bool on) {
  Settings().gAlwaysGetDatesInRangeScreen = on;
  if (!Paths().userDataDir.isEmpty()) WriteConfigs(Paths().userDataDir);
}

void TfrmHeadersRange::Accept() {
  for (QLineEdit* edit : {fFirstEdit, fLastEdit}) {
    bool ok = false;
    if (ReadNumber(edit, &ok) == 0 || !ok) {
      TUserPrompt::Warning(u"You must enter a valid range of headers to download."_s);
      edit->setFocus();
      return;
    }
  }
  CommitEdits();
  accept();
}

void TfrmHeadersRange::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!fQueryStarted) {
    fQueryStarted = true;
    StartQuery();
  }
}

void TfrmHeadersRange::StartQuery() {
  fQuery = THeaderDateQuery::Create(fInput.server, fInput.newsgroup);
  if (!fQuery) return;
  connect(fQuery.get(), &THeaderDateQuery::Ready, this, &TfrmHeadersRange::DatesReady);
  connect(fQuery.get(), &THeaderDateQuery::Finished, this, &TfrmHeadersRange::DatesFinished);
  fStatus->setText(u"Connecting..."_s);
  if (!fQuery->Open()) {
    CloseQuery();
    fStatus->setText(u"There was an error retrieving the dates ("_s +
                     QString::number(THeaderDateQuery::DATES_CONNECT_FAILED) + u")."_s);
  }
}

void TfrmHeadersRange::DatesReady() {
  fQueryReady = true;
  fStatus->clear();
  fDatesButton->setEnabled(true);
  // The ends of the range the dialog opened with are worth seeing at once.
  RequestDates();
}

void TfrmHeadersRange::RequestDates() {
  if (!fQuery || !fQueryReady) return;
  if (fQueryBusy) {
    fQueryPending = true;
    return;
  }
  const QString first = fFirstEdit->text().trimmed();
  const QString last = fLastEdit->text().trimmed();
  QStringList numbers;
  fAskedFirst.clear();
  fAskedLast.clear();
  if (first != fCheckedFirst) {
    numbers << first;
    fAskedFirst = first;
    fFirstDate->setText(kChecking + WithoutChecking(fFirstDate->text()));
  }
  if (last != fCheckedLast) {
    numbers << last;
    fAskedLast = last;
    fLastDate->setText(kChecking + WithoutChecking(fLastDate->text()));
  }
  if (numbers.isEmpty()) return;
  fQueryBusy = true;
  fDatesButton->setEnabled(false);
  fStatus->setText(u"Retrieving dates..."_s);
  fQuery->QueryDates(numbers);
}

void TfrmHeadersRange::DatesFinished(int code, const QStringList& dates) {
  fQueryBusy = false;
  fDatesButton->setEnabled(true);
  fStatus->clear();
  if (code != THeaderDateQuery::DATES_OK) {
    fStatus->setText(u"There was an error retrieving the dates ("_s + QString::number(code) + u")."_s);
    fFirstDate->setText(WithoutChecking(fFirstDate->text()));
    fLastDate->setText(WithoutChecking(fLastDate->text()));
    fQueryPending = false;
    return;
  }
  // Only the numbers actually asked for count as checked: a bar moved while
  // the answer was on its way must still get its own date.
  qsizetype i = 0;
  if (!fAskedFirst.isEmpty()) {
    fFirstDate->setText(FormatDate(dates.value(i++)));
    fCheckedFirst = fAskedFirst;
  }
  if (!fAskedLast.isEmpty()) {
    fLastDate->setText(FormatDate(dates.value(i++)));
    fCheckedLast = fAskedLast;
  }
  fAskedFirst.clear();
  fAskedLast.clear();
  if (fQueryPending) {
    fQueryPending = false;
    RequestDates();
  }
}

void TfrmHeadersRange::CloseQuery() {
  if (!fQuery) return;
  fQuery->disconnect(this);
  fQuery->Disconnect();
  fQuery.release()->deleteLater();
  fQueryReady = false;
  fDatesButton->setEnabled(false);
}

void TfrmHeadersRange::done(int result) {
  CloseQuery();
  QDialog::done(result);
}
