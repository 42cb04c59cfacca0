#pragma once

#include <QWidget>

// Base of every page shown in a tab of the main window.
class TTabPage : public QWidget {
  Q_OBJECT
 public:
  explicit TTabPage(QWidget* parent = nullptr) : QWidget(parent) {}

  // The text of the tab.
  virtual QString Caption() const = 0;
  // Permanent tabs (newsgroups browser, headers manager) cannot be closed.
  virtual bool IsClosable() const { return true; }
  // Text for the page's status line, when it has one.
  virtual void SetStatusText(const QString& text) { Q_UNUSED(text); }
};
