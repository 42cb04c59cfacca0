#pragma once

#include <QWidget>

struct TTabEntry;

// The page of one tab; the form fills it. Knows its entry so a page found in
// the tab widget leads back to its tab.
class TTabSheet : public QWidget {
  Q_OBJECT
 public:
  explicit TTabSheet(TTabEntry* entry, QWidget* parent = nullptr);
  TTabEntry* Entry() const { return fEntry; }
  // Called before the entry is freed.
  void Detach() { fEntry = nullptr; }

 private:
  TTabEntry* fEntry;
};
