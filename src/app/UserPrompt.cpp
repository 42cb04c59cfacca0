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
