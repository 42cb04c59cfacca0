#include "shell/TabSheet.h"

#include <QVBoxLayout>

TTabSheet::TTabSheet(TTabEntry* entry, QWidget* parent) : QWidget(parent), fEntry(entry) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
}
