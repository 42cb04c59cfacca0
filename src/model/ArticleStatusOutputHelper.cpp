#include "model/ArticleStatusOutputHelper.h"

#include "app/Logger.h"
#include "model/Post.h"
#include "model/ReadMarksFile.h"

using namespace Qt::StringLiterals;

TArticleStatusOutputHelper::TArticleStatusOutputHelper(const QString& readMarksDir, const QStringList& newsgroups)
    : TArticleStatusOutputHelper(readMarksDir, newsgroups, TARGET_READ) {}

TArticleStatusOutputHelper::TArticleStatusOutputHelper(const QString& readMarksDir, const QStringList& newsgroups,
                                                       TTargetState target)
    : fDir(readMarksDir), fNewsgroups(newsgroups), fTarget(target) {}

TArticleStatusOutputHelper::~TArticleStatusOutputHelper() = default;

void TArticleStatusOutputHelper::SaveMIDForArticle(TPost& post, int index) {
  if (index < 0 || index >= post.ArticleCount()) return;
  TArticle& article = post.Article(index);
  const bool read = article.HasFlag(ARTICLE_FLAG_IS_READ);
  if (read != (fTarget == TARGET_UNREAD)) return;
  article.SetFlag(ARTICLE_FLAG_IS_READ, !read);
  UpdateNewsgroupForArticle(article);
  WriteMIDForArticle(post, index);
}

void TArticleStatusOutputHelper::SaveMIDForPost(TPost& post) {
  for (int i = 0; i < post.ArticleCount(); ++i) SaveMIDForArticle(post, i);
}

QString TArticleStatusOutputHelper::NewsgroupFile(int index) const {
  if (index < 0 || index >= fNewsgroups.size() || fNewsgroups[index].isEmpty()) return {};
  return TReadMarksFile::FileName(fDir, fNewsgroups[index]);
}

bool TArticleStatusOutputHelper::ArticleId(const TPost& post, int index) {
  return post.MessageIDInto(index, fId) && !fId.empty();
}

void TArticleStatusOutputHelper::UpdateNewsgroupForArticle(const TArticle& article) {
  if (article.newsgroup == fNewsgroup && fFile.isOpen()) return;
  fFile.close();
  fNewsgroup = article.newsgroup;
  const QString path = NewsgroupFile(fNewsgroup);
  if (path.isEmpty()) {
    LogError(u"No newsgroup name for newsgroup number %1 of this header set"_s.arg(fNewsgroup));
    return;
  }
  fFile.setFileName(path);
  if (!fFile.open(QIODevice::WriteOnly | QIODevice::Append))
    LogError(u"Cannot open the read marks file "_s + path + u": "_s + fFile.errorString());
}

void TArticleStatusOutputHelper::WriteMIDForArticle(const TPost& post, int index) {
  const bool haveId = ArticleId(post, index);
  QByteArray record;
  const bool written = haveId && fFile.isOpen() && TReadMarksFile::AppendRecord(record, fId) &&
                       fFile.write(record) == record.size() && fFile.flush();
  if (!written)
    LogError(QString::asprintf("Error setting message \"%s\" as read.", haveId ? fId.c_str() : "(unknown)"));
}
