#pragma once

#include <QList>
#include <QWidget>

class QMenu;
class TShellMessage;
class TfrmTabForm;

// Base of every form shown in a tab of the main window.
class TTabPage : public QWidget {
  Q_OBJECT
 public:
  explicit TTabPage(QWidget* parent = nullptr) : QWidget(parent) {}

  // The form's own menus, merged into the main menu while its tab is current.
  // The form owns them.
  virtual QList<QMenu*> TabMenus() const { return {}; }
  // Text for the page's status line, when it has one.
  virtual void SetStatusText(const QString& text) { Q_UNUSED(text); }

  // The main window holding this page, or null while it is not in a tab.
  TfrmTabForm* MainWindow() const;

 protected:
  void customEvent(QEvent* event) override;
  // A message from the main window (ShellMessage.h). The defaults agree to the
  // idle query and to the close request; answer through message.result.
  virtual void TabMessage(TShellMessage& message);
};
