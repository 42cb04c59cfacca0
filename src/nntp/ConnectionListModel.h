#pragma once

#include "nntp/NewsServerEntry.h"

#include <QList>
#include <QString>
#include <QStringList>

// The connection list editor's two lists: connections still available (each
// server repeated by its maximum connection count) and those selected, in
// order. A connection moves between the two; it is never duplicated.
class TConnectionListModel {
 public:
  struct TConnection {
    QString name;
    int serverIndex = 0;  // position in the server list
  };

  // Fills the available list from servers, then selects, for each line in
  // order, the first available connection of that name (any case). Lines
  // naming no remaining connection are dropped.
  void Load(const QList<TNewsServerEntry>& servers, const QStringList& lines);
  // Everything available, nothing selected.
  void Reset(const QList<TNewsServerEntry>& servers) { Load(servers, {}); }

  const QList<TConnection>& Available() const { return fAvailable; }
  const QList<TConnection>& Selected() const { return fSelected; }
  QStringList SelectedNames() const;

  // Move the given rows (any order) to the end of the other list; returns the
  // row to select next in the source list, or -1 when it became empty.
  int Add(QList<int> availableRows);
  int Remove(QList<int> selectedRows);
  // Moves every available connection with the same name as availableRow.
  int AddAllIdentical(int availableRow);
  bool CanMoveUp(int selectedRow) const { return selectedRow > 0 && selectedRow < fSelected.size(); }
  bool CanMoveDown(int selectedRow) const { return selectedRow >= 0 && selectedRow + 1 < fSelected.size(); }
  bool MoveUp(int selectedRow);
  bool MoveDown(int selectedRow);

 private:
  static int Move(QList<TConnection>& from, QList<TConnection>& to, QList<int> rows);

  QList<TConnection> fAvailable;
  QList<TConnection> fSelected;
};
