#include "app/UserPrompt.h"

#include "app/Logger.h"

#include <atomic>

using namespace Qt::StringLiterals;

namespace {
std::atomic<TUserPrompt::THandler*> gHandler{nullptr};
}  // namespace

void TUserPrompt::SetHandler(THandler* handler) { gHandler.store(handler); }
TUserPrompt::THandler* TUserPrompt::Handler() { return gHandler.load(); }

void TUserPrompt::Information(const QString& text, const QString& caption) {
  LogMessage(u"["_s + caption + u"] "_s + text);
  if (THandler* h = Handler()) h->Information(text, caption);
}

void TUserPrompt::Warning(const QString& text, const QString& caption) {
  LogMessage(u"["_s + caption + u"] "_s + text);
  if (THandler* h = Handler()) h->Warning(text, caption);
}

void TUserPrompt::Error(const QString& text, const QString& caption) {
  LogMessage(u"["_s + caption + u"] "_s + text);
  if (THandler* h = Handler()) h->Error(text, caption);
}

bool TUserPrompt::Confirm(const QString& text, const QString& caption) {
  THandler* h = Handler();
  const bool yes = h && h->Confirm(text, caption);
  LogMessage(u"["_s + caption + u"] "_s + text + (yes ? u" -> Yes"_s : u" -> No"_s));
  return yes;
}

TUserPrompt::TAnswer TUserPrompt::Question(const QString& text, const QString& caption) {
  THandler* h = Handler();
  const TAnswer answer = h ? h->Question(text, caption) : ANSWER_CANCEL;
  LogMessage(u"["_s + caption + u"] "_s + text + u" -> "_s + QString::number(answer));
  return answer;
}

int TUserPrompt::DefaultTaskResult(const TTask& task) {
  for (const TTaskButton& b : task.customButtons)
    if (b.isCancel) return b.result;
  if (!task.customButtons.isEmpty()) return RESULT_CANCEL;
  return task.buttons == BUTTONS_YESNO ? RESULT_NO : task.buttons == BUTTONS_OK ? RESULT_OK : RESULT_CANCEL;
}

int TUserPrompt::Task(TTask& task) {
  THandler* h = Handler();
  const int result = h ? h->Task(task) : DefaultTaskResult(task);
  QString choice;
  if (!task.dropDown.isEmpty()) choice = u" ["_s + task.dropDown.value(task.dropDownIndex) + u']';
  LogMessage(u"["_s + task.caption + u"] "_s + task.title + u' ' + task.text + u" -> "_s + QString::number(result) +
             choice);
  return result;
}
