#include "newsgroups/ui/NewsgroupsBrowserForm.h"

#include <QLabel>
#include <QVBoxLayout>

TfrmNewsgroupsBrowser::TfrmNewsgroupsBrowser(QWidget* parent) : TTabPage(parent), fStatus(new QLabel(this)) {
  setObjectName(QStringLiteral("frmNewsgroupsBrowser"));
  auto* layout = new QVBoxLayout(this);
  layout->addStretch(1);
  fStatus->setObjectName(QStringLiteral("lblStatus"));
  layout->addWidget(fStatus);
}

void TfrmNewsgroupsBrowser::SetStatusText(const QString& text) { fStatus->setText(text); }
QString TfrmNewsgroupsBrowser::StatusText() const { return fStatus->text(); }
