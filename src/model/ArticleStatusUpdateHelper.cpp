#include "model/ArticleStatusUpdateHelper.h"

#include "app/Logger.h"
#include "model/Post.h"
#include "model/ReadMarksFile.h"

using namespace Qt::StringLiterals;

TArticleStatusUpdateHelper::TArticleStatusUpdateHelper(const QString& readMarksDir, const QStringList& newsgroups)
    : TArticleStatusOutputHelper(readMarksDir, newsgroups, TARGET_UNREAD) {}

TArticleStatusUpdateHelper::~TArticleStatusUpdateHelper() { Flush(); }

void TArticleStatusUpdateHelper::Flush() {
  if (fNewsgroup < 0) return;
  if (!fPath.isEmpty()) {
    if (fLoadedWhole)
      TReadMarksFile::Rewrite(fPath, fList);
    else
      LogError(u"The read marks file was not loaded whole and is left as it was: "_s + fPath);
  }
  fList.Clear();
  fPath.clear();
  fLoadedWhole = false;
  fNewsgroup = -1;
}

void TArticleStatusUpdateHelper::UpdateNewsgroupForArticle(const TArticle& article) {
  if (article.newsgroup == fNewsgroup) return;
  Flush();
  fNewsgroup = article.newsgroup;
  fPath = NewsgroupFile(fNewsgroup);
  if (fPath.isEmpty()) {
    LogError(u"No newsgroup name for newsgroup number %1 of this header set"_s.arg(fNewsgroup));
    return;
  }
  fLoadedWhole = TReadMarksFile::Load(fPath, fList);
}

void TArticleStatusUpdateHelper::WriteMIDForArticle(const TPost& post, int index) {
  if (ArticleId(post, index)) TReadMarksFile::Unmark(fList, fId);
}
