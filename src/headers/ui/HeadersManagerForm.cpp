#include "headers/ui/HeadersManagerForm.h"

TfrmHeadersManager::TfrmHeadersManager(QWidget* parent) : TTabPage(parent) {
  setObjectName(QStringLiteral("frmHeadersManager"));
}
