#include "newsgroups/NewGroupsMerge.h"

#include "app/FileUtils.h"
#include "app/Logger.h"
#include "newsgroups/GroupList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

// The bytes of a list that its entries cover: a names file may carry bytes
// after its last name, and a data file a torn last record.
bool ListBytes(const QString& path, QByteArray& names, QByteArray& data) {
  TGroupList list;
  if (!list.Load(path)) return false;
  QFile dataFile(TGroupList::DataPath(path));
  if (!dataFile.open(QIODevice::ReadOnly)) return false;
  data = dataFile.read(TGroupList::kHeaderSize + qint64(list.Count()) * TGroupList::kRecordSize);
  if (data.size() != TGroupList::kHeaderSize + qint64(list.Count()) * TGroupList::kRecordSize) return false;
  qsizetype namesEnd = 0;
  if (list.Count() > 0) {
    const TGroupListEntry& last = list.entries.back();
    namesEnd = last.nameOffset + last.nameLength + 1;
  }
  names = list.names.left(namesEnd);
  return true;
}

}  // namespace

QString TNewGroupsMerge::ResultBase(const QString& serverDir) { return WithTrailingSlash(serverDir) + u"newgroups"_s; }

QString TNewGroupsMerge::MainListPath(const QString& serverDir) {
  return FindFileNoCase(WithTrailingSlash(serverDir), u"Groups.gnam"_s);
}

QString TNewGroupsMerge::FolderPath(const QString& serverDir) {
  const QString favorites = FindFileNoCase(WithTrailingSlash(serverDir), u"_Favorites"_s);
  return FindFileNoCase(WithTrailingSlash(favorites), QLatin1String(newgroups::kFolderName) + u".gnam"_s);
}

void TNewGroupsMerge::RemoveResultFiles(const QString& serverDir) {
  TGroupList::Delete(ResultBase(serverDir) + u".gnam"_s);
}

TNewGroupsMerge::TResult TNewGroupsMerge::Merge(const QString& serverDir, std::int64_t received) {
  LOG_METHOD("TNewGroupsMerge.Merge");
  const QString dir = WithTrailingSlash(serverDir);
  const QString newNames = TGroupList::NamesPath(ResultBase(dir) + u".gnam"_s);
  const QString newData = TGroupList::DataPath(newNames);
  if (received <= 0 || !QFileInfo::exists(newNames)) {
    RemoveResultFiles(dir);
    return MERGE_NOTHING;
  }

  TResult result = MERGE_NO_MAIN_LIST;
  const QString main = MainListPath(dir);
  if (QFileInfo::exists(main)) {
    result = MERGE_FAILED;
    QByteArray mainNames, mainData, addNames, addData;
    if (!ListBytes(main, mainNames, mainData)) {
      LogError(u"The main list "_s + main + u" cannot be read; the new groups are not added to it"_s);
    } else if (!ListBytes(newNames, addNames, addData)) {
      LogError(u"The new groups "_s + newNames + u" cannot be read"_s);
    } else {
      mainNames += addNames;
      mainData.append(addData.constData() + TGroupList::kHeaderSize, addData.size() - TGroupList::kHeaderSize);
      const QFileInfo info(main);
      const QString base = WithTrailingSlash(info.path()) + info.completeBaseName();
      const QString tmpNames = base + u".gnamt"_s, tmpData = base + u".gdatt"_s;
      if (WriteFileAtomic(tmpData, mainData) && WriteFileAtomic(tmpNames, mainNames) &&
          TGroupList::ReplacePair(tmpNames, tmpData, main)) {
        result = MERGE_ADDED;
      } else {
        LogError(u"Could not rewrite the main list "_s + main);
        QFile::remove(tmpNames);
        QFile::remove(tmpData);
      }
    }
  }

  // The folder shows the last check's groups only.
  const QString folder = FolderPath(dir);
  QDir().mkpath(QFileInfo(folder).path());
  TGroupList::Delete(folder);
  if (!TGroupList::ReplacePair(newNames, newData, folder)) {
    LogError(u"Could not move the new groups to "_s + folder);
    RemoveResultFiles(dir);
  }
  return result;
}

QString TNewGroupsMerge::AddedText(std::int64_t count) {
  return QString::number(count) + u" new newsgroup(s) have been added."_s;
}

QString TNewGroupsMerge::SortQuestion(std::int64_t count) {
  return QString::number(count) +
         u" new newsgroup(s) have been added. Would you like to sort the main list of newsgroups?"_s;
}
