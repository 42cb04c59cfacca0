#include "binaries/FileGroupList.h"

#include "app/FileUtils.h"
#include "app/Logger.h"
#include "binaries/DownloadList.h"
#include "binaries/DownloadListFiles.h"

#include <QFile>
#include <QHash>

#include <cstring>

using namespace Qt::StringLiterals;

bool TFileGroupList::Load(const QString& cuePath) {
  fNames.clear();
  QFile file(DownloadListFile(cuePath, ".grouping"));
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QByteArray data = file.readAll();
  if (data.isEmpty()) return true;
  fNames = data.split('\n');
  if (data.endsWith('\n')) fNames.removeLast();
  for (QByteArray& name : fNames)
    if (name.endsWith('\r')) name.chop(1);
  return true;
}

QByteArray TFileGroupList::Name(int index) const {
  return index >= 1 && index < fNames.size() ? fNames[index] : QByteArray();
}

int TFileGroupList::IndexOf(QByteArrayView name) const {
  for (int i = 1; i < fNames.size(); ++i)
    if (fNames[i] == name) return i;
  return -1;
}

bool TFileGroupList::IsValidName(QByteArrayView name) {
  if (name.isEmpty()) return false;
  for (char c : name) {
    if (std::strchr(InvalidCharacters(), c) || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

int TFileGroupList::Add(const QString& cuePath, QByteArrayView name) {
  LOG_METHOD("TFileGroupList.Add");
  if (!IsValidName(name)) return -1;
  QByteArrayList names = fNames;
  if (names.isEmpty()) names.append(QByteArray());
  names.append(name.toByteArray());
  if (!WriteFileAtomic(DownloadListFile(cuePath, ".grouping"), names.join("\r\n") + "\r\n")) {
    LogError(u"Error creating the group file."_s);
    return -1;
  }
  fNames = names;
  return static_cast<int>(fNames.size()) - 1;
}

bool TFileGroupList::EnterBrowserGroups(const QString& cuePath, TDownloadList& list) {
  QHash<int, int> indexOf;  // -n -> line
  for (int i = 0; i < list.Count(); ++i) {
    TDownloadEntry& e = list.Entry(i);
    if (e.parent >= 0 || e.fileGroup >= 0) continue;
    const int browserGroup = e.fileGroup;
    auto it = indexOf.find(browserGroup);
    if (it == indexOf.end()) {
      const int line = Add(cuePath, "File group " + QByteArray::number(-browserGroup));
      if (line < 0) return false;
      it = indexOf.insert(browserGroup, line);
    }
    const auto [begin, end] = list.RowRange(i);
    for (int k = begin; k < end; ++k)
      if (list.Entry(k).fileGroup == browserGroup) list.Entry(k).fileGroup = static_cast<std::int16_t>(*it);
  }
  return true;
}
