#pragma once

#include "shell/NotificationQueue.h"

#include <QWidget>

class QLabel;
class QTimer;

// The small window of one notification: it slides up from below the bottom
// right corner of the work area, stays for the notification's duration (or
// until clicked when that is 0) and never takes the focus.
class TNotificationWindow : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kWidth = 284;
  static constexpr int kHeight = 51;

  explicit TNotificationWindow(QWidget* parent = nullptr);

  // Shows a notification from the start of the slide.
  void Start(const TNotification& notification);
  const TNotification& Current() const { return fNotification; }
  QString Text() const;
  bool IsSliding() const;
  bool IsHolding() const;
  // Ends the current notification (as its timer or a click does).
  void Finish();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Slide();

  TNotification fNotification;
  QLabel* fText;
  QTimer* fSlide;
  QTimer* fHold;
  int fRisen = 0;
  int fStartY = 0;
};
