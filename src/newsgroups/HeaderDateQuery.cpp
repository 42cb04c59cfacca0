#include "newsgroups/HeaderDateQuery.h"

#include "newsgroups/NewsGetDatesQuery.h"

namespace {
THeaderDateQuery::TFactory& Factory() {
  static THeaderDateQuery::TFactory factory;
  return factory;
}
}  // namespace

void THeaderDateQuery::SetFactory(TFactory factory) { Factory() = std::move(factory); }

std::unique_ptr<THeaderDateQuery> THeaderDateQuery::Create(const TNewsServerEntry& server, const QString& newsgroup) {
  if (Factory()) return Factory()(server, newsgroup);
  return std::make_unique<TNewsGetDatesQuery>(server, newsgroup);
}
