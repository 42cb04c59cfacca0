#include "newsgroups/HeaderDateQuery.h"

namespace {
THeaderDateQuery::TFactory& Factory() {
  static THeaderDateQuery::TFactory factory;
  return factory;
}
}  // namespace

void THeaderDateQuery::SetFactory(TFactory factory) { Factory() = std::move(factory); }

std::unique_ptr<THeaderDateQuery> THeaderDateQuery::Create(const TNewsServerEntry& server, const QString& newsgroup) {
  return Factory() ? Factory()(server, newsgroup) : nullptr;
}
