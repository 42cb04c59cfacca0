#include "newsgroups/ui/BusyTask.h"

#include <QDialog>
#include <QEventLoop>
#include <QLabel>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>

using namespace Qt::StringLiterals;

bool TBusyTask::Run(QWidget* parent, const QString& text, const std::function<bool()>& work) {
  std::atomic<bool> result{false};
  QThread* thread = QThread::create([&result, &work] { result.store(work()); });
  QDialog window(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  window.setObjectName(u"frmBusyTask"_s);
  window.setWindowTitle(u"Please wait"_s);
  auto* layout = new QVBoxLayout(&window);
  auto* label = new QLabel(text.isEmpty() ? u"Please wait..."_s : text, &window);
  label->setObjectName(u"lblBusyText"_s);
  layout->addWidget(label);
  window.setModal(true);
  QEventLoop loop;
  QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
  QTimer later;
  later.setSingleShot(true);
  QObject::connect(&later, &QTimer::timeout, &window, &QWidget::show);
  thread->start();
  if (!text.isEmpty())
    window.show();
  else
    later.start(300);
  // Input goes nowhere else while the files are being rewritten.
  if (thread->isRunning()) loop.exec(QEventLoop::ExcludeUserInputEvents);
  thread->wait();
  delete thread;
  return result.load();
}
