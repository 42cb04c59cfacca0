#include "nntp/ConnectionListModel.h"

#include <algorithm>

void TConnectionListModel::Load(const QList<TNewsServerEntry>& servers, const QStringList& lines) {
  fAvailable.clear();
  fSelected.clear();
  for (int i = 0; i < servers.size(); ++i)
    for (int k = 0; k < servers[i].maxConnections; ++k) fAvailable << TConnection{servers[i].Name(), i};
  for (const QString& line : lines) {
    for (qsizetype a = 0; a < fAvailable.size(); ++a) {
      if (fAvailable[a].name.compare(line, Qt::CaseInsensitive) == 0) {
        fSelected << fAvailable.takeAt(a);
        break;
      }
    }
  }
}

QStringList TConnectionListModel::SelectedNames() const {
  QStringList names;
  for (const TConnection& c : fSelected) names << c.name;
  return names;
}

int TConnectionListModel::Move(QList<TConnection>& from, QList<TConnection>& to, QList<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  rows.erase(std::remove_if(rows.begin(), rows.end(), [&](int r) { return r < 0 || r >= from.size(); }), rows.end());
  if (rows.isEmpty()) return from.isEmpty() ? -1 : 0;
  for (int r : rows) to << from[r];
  for (auto it = rows.rbegin(); it != rows.rend(); ++it) from.removeAt(*it);
  if (from.isEmpty()) return -1;
  return std::min<int>(rows.first(), static_cast<int>(from.size()) - 1);
}

int TConnectionListModel::Add(QList<int> availableRows) { return Move(fAvailable, fSelected, availableRows); }
int TConnectionListModel::Remove(QList<int> selectedRows) { return Move(fSelected, fAvailable, selectedRows); }

int TConnectionListModel::AddAllIdentical(int availableRow) {
  if (availableRow < 0 || availableRow >= fAvailable.size()) return -1;
  const QString name = fAvailable[availableRow].name;
  QList<int> rows;
  for (int i = 0; i < fAvailable.size(); ++i)
    if (fAvailable[i].name == name) rows << i;
  return Add(rows);
}

bool TConnectionListModel::MoveUp(int selectedRow) {
  if (!CanMoveUp(selectedRow)) return false;
  fSelected.swapItemsAt(selectedRow, selectedRow - 1);
  return true;
}

bool TConnectionListModel::MoveDown(int selectedRow) {
  if (!CanMoveDown(selectedRow)) return false;
  fSelected.swapItemsAt(selectedRow, selectedRow + 1);
  return true;
}
