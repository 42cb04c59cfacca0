#include "newsgroups/ui/GroupListModel.h"

#include "nntp/NewsServerEntry.h"

#include <QBrush>
#include <QFont>
#include <QStringList>

using namespace Qt::StringLiterals;

TGroupListModel::TGroupListModel(QObject* parent) : QAbstractTableModel(parent), fList(std::make_shared<TGroupList>()) {}

void TGroupListModel::SetList(std::shared_ptr<TGroupList> list) {
  beginResetModel();
  fList = list ? std::move(list) : std::make_shared<TGroupList>();
  fRows.resize(fList->Count());
  for (qsizetype i = 0; i < fRows.size(); ++i) fRows[i] = i;
  fRowOfEntry = fRows;
  endResetModel();
}

void TGroupListModel::SetFilter(const QString& text) {
  QList<QByteArray> words;
  for (const QString& w : text.toLower().split(u' ', Qt::SkipEmptyParts)) words.append(w.toUtf8());
  beginResetModel();
  fRows.clear();
  fRowOfEntry.fill(-1, fList->Count());
  for (qsizetype i = 0; i < fList->Count(); ++i) {
    const QByteArrayView name = fList->Name(i);
    bool keep = true;
    for (const QByteArray& w : words)
      if (TGroupList::IndexOfNoCase(name, w) < 0) {
        keep = false;
        break;
      }
    if (!keep) continue;
    fRowOfEntry[i] = fRows.size();
    fRows.append(i);
  }
  endResetModel();
}

void TGroupListModel::SetCounts(qsizetype entry, std::int32_t newCount, std::int32_t total) {
  if (entry < 0 || entry >= fList->Count()) return;
  TGroupListEntry& e = fList->entries[entry];
  e.newCount = newCount;
  e.total = total;
  e.flags |= TGroupListEntry::FLAG_COUNTS_REFRESHED;
  const qsizetype row = fRowOfEntry.value(entry, -1);
  if (row >= 0) emit dataChanged(index(int(row), COLUMN_NAME), index(int(row), COLUMN_TOTAL));
}

int TGroupListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(fRows.size());
}

int TGroupListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : COLUMN_COUNT; }

QVariant TGroupListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= fRows.size()) return {};
  const TGroupListEntry& e = fList->entries[fRows[index.row()]];
  switch (role) {
    case Qt::DisplayRole:
      switch (index.column()) {
        case COLUMN_NAME:
          return DisplayText(fList->Name(e));
        case COLUMN_NEW:
          return TGroupList::NewText(e.newCount, e.total);
        case COLUMN_TOTAL:
          return TGroupList::TotalText(e.total);
      }
      break;
    case Qt::TextAlignmentRole:
      if (index.column() != COLUMN_NAME) return int(Qt::AlignRight | Qt::AlignVCenter);
      break;
    case Qt::ForegroundRole:
      if (index.column() != COLUMN_NAME && (e.flags & TGroupListEntry::FLAG_COUNTS_REFRESHED))
        return QBrush(Qt::red);
      break;
    case Qt::FontRole:
      if (index.column() == COLUMN_NAME && (e.flags & TGroupListEntry::FLAG_HIGHLIGHTED)) {
        QFont font;
        font.setBold(true);
        font.setUnderline(true);
        return font;
      }
      break;
  }
  return {};
}

QVariant TGroupListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const titles[] = {"Newsgroups name", "New messages", "Total messages"};
  return section >= 0 && section < COLUMN_COUNT ? QString::fromLatin1(titles[section]) : QVariant();
}
