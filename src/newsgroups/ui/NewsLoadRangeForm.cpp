#include "newsgroups/ui/NewsLoadRangeForm.h"

#include "app/IniFile.h"
#include "app/TextFormat.h"
#include "app/UserPrompt.h"
#include "headers/JobFile.h"
#include "newsgroups/ui/TextPrompt.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

using namespace Qt::StringLiterals;

namespace {
constexpr int kMaxNewsgroupItems = 50;
constexpr int kMaxShortcuts = 26;
}  // namespace

TfrmNewsLoadRange::TfrmNewsLoadRange(QWidget* parent) : QDialog(parent) {
  setWindowTitle(u"Headers load range"_s);
  auto* layout = new QVBoxLayout(this);
  auto* menuBar = new QMenuBar(this);
  layout->setMenuBar(menuBar);
  layout->addWidget(new QLabel(u"Range of headers to load and display"_s, this));

  auto* grid = new QGridLayout;
  auto caption = [&](int row, const QString& text) { grid->addWidget(new QLabel(text, this), row, 0); };
  caption(0, u"Total headers:"_s);
  fTotalLabel = new QLabel(this);
  grid->addWidget(fTotalLabel, 0, 1);
  caption(1, u"First message"_s);
  fFirstBar = new QScrollBar(Qt::Horizontal, this);
  fFirstBar->setMinimumWidth(320);
  grid->addWidget(fFirstBar, 1, 1);
  fFirstLabel = new QLabel(this);
  grid->addWidget(fFirstLabel, 1, 2);
  caption(2, u"Last message"_s);
  fLastBar = new QScrollBar(Qt::Horizontal, this);
  grid->addWidget(fLastBar, 2, 1);
  fLastLabel = new QLabel(this);
  grid->addWidget(fLastLabel, 2, 2);
  caption(3, u"Range size:"_s);
  fSizeLabel = new QLabel(this);
  grid->addWidget(fSizeLabel, 3, 1);
  layout->addLayout(grid);

  auto* buttons = new QHBoxLayout;
  fViewButton = new QPushButton(u"View"_s, this);
  fAllButton = new QPushButton(u"All"_s, this);
  auto* close = new QPushButton(u"Close"_s, this);
  buttons->addStretch();
  buttons->addWidget(fViewButton);
  buttons->addWidget(fAllButton);
  buttons->addWidget(close);
  layout->addLayout(buttons);
  fViewButton->setDefault(true);

  fNewsgroupMenu = menuBar->addMenu(u"Select by Newsgroup"_s);
  fSelectionMenu = menuBar->addMenu(u"Selection"_s);
  fSelectionMenu->addAction(u"Set first header number..."_s, this, &TfrmNewsLoadRange::AskFirst);
  fSelectionMenu->addAction(u"Set number of selected headers..."_s, this, &TfrmNewsLoadRange::AskCount);
  fSelectionMenu->addAction(u"Select a range..."_s, this, &TfrmNewsLoadRange::AskRange);
  QMenu* split = fSelectionMenu->addMenu(u"Quick-Split"_s);
  for (int n = 2; n <= 5; ++n) {
    for (int i = 1; i <= n; ++i)
      split->addAction(u"Part "_s + QString::number(i) + u" of "_s + QString::number(n), this, [this, i, n] {
        const auto [first, last] = QuickSplit(fTotal, i, n);
        Select(first, last);
      });
    split->addSeparator();
  }
  split->addAction(u"Select all"_s, this, [this] { Select(1, fTotal); });

  connect(fFirstBar, &QScrollBar::valueChanged, this, &TfrmNewsLoadRange::FirstBarMoved);
  connect(fLastBar, &QScrollBar::valueChanged, this, &TfrmNewsLoadRange::LastBarMoved);
  connect(fViewButton, &QPushButton::clicked, this, &QDialog::accept);
  connect(fAllButton, &QPushButton::clicked, this, [this] {
    Select(1, fTotal);
    accept();
  });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

RETURN_CODES TfrmNewsLoadRange::Setup(const QString& jobFile) {
  if (!QFileInfo(jobFile).isFile()) return RC_FAILED_CREATE;
  const TIniFile ini(jobFile);
  if (!ini.IsOpen()) return RC_FAILED_CREATE;
  fStats = TJobFile::ReadJobStats(ini);
  // The bars count in int; no header file comes near that many headers.
  fTotal = std::min<std::int64_t>(fStats.headersDownloaded, INT_MAX);
  if (fTotal < 1) return RC_OPERATION_FAILED;

  fTotalLabel->setText(FormatNumber(fTotal));
  fFirstBar->setRange(1, static_cast<int>(fTotal));
  fLastBar->setRange(1, static_cast<int>(fTotal));

  // The newsgroups' headers lie one block after another, in list order.
  fNewsgroupMenu->clear();
  int withHeaders = 0;
  std::int64_t before = 0;
  for (qsizetype i = 0; i < fStats.downloaded.size(); ++i) {
    const TJobStats::TNewsgroupCount& group = fStats.downloaded[i];
    const std::int64_t count = std::max<std::int64_t>(group.headers, 0);
    if (count > 0) ++withHeaders;
    if (count > 0 && i < kMaxNewsgroupItems) {
      const std::int64_t first = before + 1;
      QAction* a = fNewsgroupMenu->addAction(group.name + u" ("_s + FormatNumber(count) + u')', this,
                                             [this, first, count] { Select(first, first + count - 1); });
      if (i < kMaxShortcuts) a->setShortcut(QKeySequence(Qt::CTRL | (Qt::Key_A + static_cast<int>(i))));
    }
    before += count;
  }
  fNewsgroupMenu->setEnabled(withHeaders > 1);
  fNewsgroupMenu->menuAction()->setEnabled(withHeaders > 1);
  Select(1, fTotal);
  return RC_SUCCESS;
}

std::pair<std::int64_t, std::int64_t> TfrmNewsLoadRange::QuickSplit(std::int64_t total, int i, int n) {
  if (total < 1 || n < 1) return {1, 1};
  i = std::clamp(i, 1, n);
  std::int64_t first = (i - 1) * total / n + 1;
  std::int64_t last = i * total / n;
  // Fewer headers than parts: neighbours share a position rather than leave one empty.
  first = std::min(first, total);
  last = std::max(last, first);
  return {first, last};
}

QString TfrmNewsLoadRange::RangeSizeText() const { return fSizeLabel->text(); }

void TfrmNewsLoadRange::Select(std::int64_t first, std::int64_t last) {
  fFirst = std::clamp<std::int64_t>(first, 1, std::max<std::int64_t>(fTotal, 1));
  fLast = std::clamp<std::int64_t>(last, fFirst, std::max<std::int64_t>(fTotal, 1));
  fUpdating = true;
  fFirstBar->setValue(static_cast<int>(fFirst));
  fLastBar->setValue(static_cast<int>(fLast));
  fUpdating = false;
  ShowNumbers();
}

void TfrmNewsLoadRange::FirstBarMoved(int value) {
  if (fUpdating) return;
  fFirst = value;
  if (fFirst > fLast) {
    fLast = fFirst;  // the last bar moves with the first
    fUpdating = true;
    fLastBar->setValue(value);
    fUpdating = false;
  }
  ShowNumbers();
}

void TfrmNewsLoadRange::LastBarMoved(int value) {
  if (fUpdating) return;
  fLast = value;
  if (fLast < fFirst) {
    fFirst = fLast;
    fUpdating = true;
    fFirstBar->setValue(value);
    fUpdating = false;
  }
  ShowNumbers();
}

void TfrmNewsLoadRange::ShowNumbers() {
  fFirstLabel->setText(FormatNumber(fFirst));
  fLastLabel->setText(FormatNumber(fLast));
  fSizeLabel->setText(FormatNumber(fLast - fFirst + 1));
}

void TfrmNewsLoadRange::AskFirst() {
  QString text;
  if (!TTextPrompt::Ask(this, u"Enter first header for selection"_s,
                        u"Enter a number in the range 1 to "_s + QString::number(fTotal), text))
    return;
  bool ok = false;
  std::int64_t first = text.trimmed().toLongLong(&ok);
  if (!ok || first == 0 || first > fTotal) {
    TUserPrompt::Warning(u"Invalid number."_s);
    return;
  }
  if (first < 0) first = 1;
  Select(first, std::max(fLast, first));
}

void TfrmNewsLoadRange::AskCount() {
  QString text;
  const std::int64_t room = fTotal - fFirst + 1;
  if (!TTextPrompt::Ask(this, u"Enter number of headers to select"_s,
                        u"Enter a number in the range 1 to "_s + QString::number(room), text))
    return;
  bool ok = false;
  const std::int64_t n = text.trimmed().toLongLong(&ok);
  if (!ok || n < 1) {
    TUserPrompt::Warning(u"Invalid number."_s);
    return;
  }
  Select(fFirst, fFirst + std::min(n, room) - 1);
}

void TfrmNewsLoadRange::AskRange() {
  QString text;
  if (!TTextPrompt::Ask(this, u"Select a range"_s, u"Enter the range to select in the form \"first, count\""_s, text))
    return;
  const QStringList parts = text.split(u',');
  bool okFirst = false, okCount = false;
  const std::int64_t first = parts.size() == 2 ? parts[0].trimmed().toLongLong(&okFirst) : 0;
  const std::int64_t count = parts.size() == 2 ? parts[1].trimmed().toLongLong(&okCount) : 0;
  if (!okFirst || !okCount || first <= 0 || count <= 0 || count > fTotal - first + 1) {
    TUserPrompt::Warning(u"Invalid range."_s);
    return;
  }
  Select(first, first + count - 1);
}
