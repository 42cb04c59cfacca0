#include "model/ReadMarks.h"

#include "app/Logger.h"
#include "model/Headers.h"
#include "model/ReadMarksFile.h"

#include <QFile>

#include <memory>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

bool WriteReadMarks(const QString& readMarksDir, const TMarkArticleReadInfoArray& batch) {
  LOG_METHOD("WriteReadMarks");
  QFile file;
  QString newsgroup;
  bool allWritten = true;
  QByteArray record;
  for (const TMarkArticleReadInfo& info : batch) {
    if (!file.isOpen() || info.newsgroup != newsgroup) {
      file.close();
      newsgroup = info.newsgroup;
      file.setFileName(TReadMarksFile::FileName(readMarksDir, newsgroup));
      if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        LogError(u"Cannot open the read marks file "_s + file.fileName() + u": "_s + file.errorString());
    }
    record.resize(0);
    const bool written = file.isOpen() && TReadMarksFile::AppendRecord(record, info.messageId) &&
                         file.write(record) == record.size() && file.flush();
    if (!written) {
      LogError(QString::asprintf("Error setting message \"%s\" as read.", info.messageId.constData()));
      allWritten = false;
    }
  }
  return allWritten;
}

void MarkArticleRead(TPost& post, int index, const QString& readMarksDir, const QStringList& newsgroups) {
  if (index < 0 || index >= post.ArticleCount()) return;
  TArticle& article = post.Article(index);
  if (article.HasFlag(ARTICLE_FLAG_IS_READ)) return;
  article.SetFlag(ARTICLE_FLAG_IS_READ, true);
  if (article.newsgroup >= newsgroups.size()) {
    LogError(u"No newsgroup name for newsgroup number %1 of this header set"_s.arg(article.newsgroup));
    return;
  }
  WriteReadMarks(readMarksDir, {{post.MessageID(index), newsgroups[article.newsgroup]}});
}

void ApplyReadMarks(THeaders& headers, const QString& readMarksDir, const QStringList& newsgroups) {
  LOG_METHOD("ApplyReadMarks");
  // One list per newsgroup met, so that articles of newsgroups taking turns
  // do not read the same file again.
  std::vector<std::unique_ptr<TTernaryList>> lists;
  const TTernaryList* list = nullptr;
  int previous = -1;
  std::string id;
  for (int p = 0; p < headers.PostCount(); ++p) {
    TPost& post = headers.Post(p);
    for (int i = 0; i < post.ArticleCount(); ++i) {
      TArticle& article = post.Article(i);
      if (article.newsgroup != previous) {
        previous = article.newsgroup;
        if (lists.size() <= std::size_t(previous)) lists.resize(std::size_t(previous) + 1);
        std::unique_ptr<TTernaryList>& slot = lists[std::size_t(previous)];
        if (!slot) {
          slot = std::make_unique<TTernaryList>();
          if (previous < newsgroups.size() && !newsgroups[previous].isEmpty())
            TReadMarksFile::Load(TReadMarksFile::FileName(readMarksDir, newsgroups[previous]), *slot);
        }
        list = slot.get();
      }
      if (list->Count() == 0 || !post.MessageIDInto(i, id)) continue;
      article.SetFlag(ARTICLE_FLAG_IS_READ, list->Find(QByteArrayView(id.data(), qsizetype(id.size()))) != 0);
    }
  }
}
