#include "newsgroups/ui/EnterMultipleNewsgroupsForm.h"

#include "newsgroups/ui/TextPrompt.h"

#include <QCommandLinkButton>
#include <QLabel>
#include <QMenu>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
QCommandLinkButton* Button(QWidget* parent, const QString& text, const QString& description, const char* name) {
  auto* b = new QCommandLinkButton(text, description, parent);
  b->setObjectName(QLatin1String(name));
  return b;
}
}  // namespace

TfrmEnterMultipleNewsgroups::TfrmEnterMultipleNewsgroups(bool multiple, std::int64_t lastMessage, bool offerSample,
                                                         QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(u"Download Headers"_s);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(u"What would you like to do?"_s, this));

  fAll = Button(this, u"All headers"_s, u"Download all headers from the selected newsgroup(s)"_s, "all");
  fNew = Button(this, u"New headers"_s, u"Download new headers from the selected newsgroup(s)"_s, "new");
  fRange = Button(this, u"Range"_s, u"Download a range of headers from the selected newsgroup"_s, "range");
  fPercent = Button(this, u"Percent"_s, u"Download a percentage of the newest headers"_s, "percent");
  fSample = Button(this, u"Sample"_s, u"Download a sample of the newest headers"_s, "sample");
  fCancel = Button(this, u"Cancel"_s, u"Cancel action. Do not download any headers."_s, "cancel");
  for (QWidget* w : {fAll, fNew, fRange, fPercent, fSample, fCancel}) layout->addWidget(w);

  fNew->setEnabled(lastMessage > 0 || multiple);
  fRange->setEnabled(!multiple);
  fSample->setEnabled(offerSample);

  connect(fAll, &QAbstractButton::clicked, this, [this] { Choose(CHOICE_ALL); });
  connect(fNew, &QAbstractButton::clicked, this, [this] { Choose(CHOICE_NEW); });
  connect(fRange, &QAbstractButton::clicked, this, [this] { Choose(CHOICE_RANGE); });
  connect(fCancel, &QAbstractButton::clicked, this, &QDialog::reject);

  auto* percentMenu = new QMenu(fPercent);
  for (int p = 5; p <= 95; p += 5)
    percentMenu->addAction(QString::number(p) + u'%', this, [this, p] { Choose(CHOICE_PERCENT, p); });
  percentMenu->addSeparator();
  percentMenu->addAction(u"Custom..."_s, this, &TfrmEnterMultipleNewsgroups::CustomPercent);
  fPercent->setMenu(percentMenu);

  auto* sampleMenu = new QMenu(fSample);
  for (int n : {10, 100, 500, 1000, 5000})
    sampleMenu->addAction(u"Last "_s + QString::number(n) + u" headers"_s, this,
                          [this, n] { Choose(CHOICE_SAMPLE, n); });
  sampleMenu->addSeparator();
  sampleMenu->addAction(u"Custom..."_s, this, &TfrmEnterMultipleNewsgroups::CustomSample);
  fSample->setMenu(sampleMenu);
}

void TfrmEnterMultipleNewsgroups::Choose(TChoice choice, int number) {
  fChoice = choice;
  fNumber = number;
  accept();
}

void TfrmEnterMultipleNewsgroups::CustomPercent() {
  QString text;
  if (!TTextPrompt::Ask(this, u"Percentage of headers"_s, u"Enter the percentage of headers to download"_s, text))
    return;
  bool ok = false;
  const int p = text.trimmed().toInt(&ok);
  if (!ok) return;
  if (p == 100)
    Choose(CHOICE_ALL);
  else if (p >= 1 && p <= 99)
    Choose(CHOICE_PERCENT, p);
}

void TfrmEnterMultipleNewsgroups::CustomSample() {
  QString text;
  if (!TTextPrompt::Ask(this, u"Sampling of headers"_s, u"Enter the number of headers to download"_s, text)) return;
  bool ok = false;
  const int n = text.trimmed().toInt(&ok);
  if (ok && n > 0) Choose(CHOICE_SAMPLE, n);
}
