#include "newsgroups/ui/TextPrompt.h"

#include <QInputDialog>

namespace {
TTextPrompt::TAsker& Asker() {
  static TTextPrompt::TAsker asker;
  return asker;
}
}  // namespace

bool TTextPrompt::Ask(QWidget* parent, const QString& title, const QString& label, QString& text) {
  if (Asker()) return Asker()(parent, title, label, text);
  bool ok = false;
  const QString answer = QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, &ok);
  if (ok) text = answer;
  return ok;
}

void TTextPrompt::SetAsker(TAsker asker) { Asker() = std::move(asker); }
