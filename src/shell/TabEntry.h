#pragma once

#include <QList>
#include <QString>

#include <cstdint>

class QMenu;
class QToolButton;
class TTabPage;
class TTabSheet;

// What a tab holds; stored in one byte.
enum TTabKind : std::uint8_t {
  TAB_KIND_NEWSGROUPS_BROWSER = 1,
  TAB_KIND_HEADERS_MANAGER = 2,
  TAB_KIND_MESSAGE_BROWSER = 3,
  TAB_KIND_DECODER = 4,
  TAB_KIND_COMPOSE = 5,
};

// The two permanent kinds cannot be closed.
constexpr bool IsClosableTabKind(TTabKind kind) {
  return kind != TAB_KIND_NEWSGROUPS_BROWSER && kind != TAB_KIND_HEADERS_MANAGER;
}

// One tab of the main window. Owned by TTabEntryList.
struct TTabEntry {
  TTabSheet* sheet = nullptr;
  TTabKind kind = TAB_KIND_MESSAGE_BROWSER;
  QList<QMenu*> menu;  // the form's own menus
  TTabPage* form = nullptr;
  QToolButton* closeButton = nullptr;  // none for permanent tabs
  // Never reused: a close message that arrives late can only find its own tab.
  quint64 id = 0;
  QString caption;
  bool closing = false;  // a close is under way; further close messages are ignored
};
