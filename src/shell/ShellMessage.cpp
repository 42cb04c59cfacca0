#include "shell/ShellMessage.h"

#include <QCoreApplication>

qintptr TShellMessage::Send(QObject* receiver, int offset, qintptr param, void* pointer) {
  if (!receiver) return 0;
  TShellMessage message(offset, param, pointer);
  QCoreApplication::sendEvent(receiver, &message);
  return message.result;
}

void TShellMessage::Post(QObject* receiver, int offset, qintptr param) {
  if (receiver) QCoreApplication::postEvent(receiver, new TShellMessage(offset, param));
}
