#pragma once

#include "newsgroups/GroupList.h"

#include <QAbstractTableModel>
#include <QList>

#include <cstdint>
#include <memory>

// A group list as a table: "Newsgroups name", "New messages", "Total
// messages". Rows are the entries that pass the filter; texts are made only
// for the rows a view paints, so a list of any size shows at once.
class TGroupListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum TColumn { COLUMN_NAME, COLUMN_NEW, COLUMN_TOTAL, COLUMN_COUNT };

  explicit TGroupListModel(QObject* parent = nullptr);

  void SetList(std::shared_ptr<TGroupList> list);
  const TGroupList* List() const { return fList.get(); }
  // Keeps the entries whose names hold every blank-separated word of text
  // (without regard to case); an empty text keeps all.
  void SetFilter(const QString& text);
  // The entry index (into List()->entries) of a row.
  qsizetype EntryOf(int row) const { return fRows.value(row, -1); }
  // Sets an entry's counts and marks them refreshed.
  void SetCounts(qsizetype entry, std::int32_t newCount, std::int32_t total);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::shared_ptr<TGroupList> fList;
  QList<qsizetype> fRows;
  QList<qsizetype> fRowOfEntry;
};
