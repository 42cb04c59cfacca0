#pragma once

#include "model/ArticleStatusOutputHelper.h"
#include "model/TernaryList.h"

// Marks articles unread for one browser command: flips each read article's
// flag and takes its identifier out of its newsgroup's read marks. The marks
// of one newsgroup are held in memory while consecutive articles share it,
// and its file is rewritten (in one step) when the newsgroup changes and at
// the end. A file that could not be loaded whole is never rewritten, so a
// partial load cannot replace the marks it missed.
class TArticleStatusUpdateHelper : public TArticleStatusOutputHelper {
 public:
  TArticleStatusUpdateHelper(const QString& readMarksDir, const QStringList& newsgroups);
  ~TArticleStatusUpdateHelper() override;  // flushes

  // Rewrites the held newsgroup's file and forgets the newsgroup.
  void Flush();

 protected:
  void UpdateNewsgroupForArticle(const TArticle& article) override;
  void WriteMIDForArticle(const TPost& post, int index) override;

 private:
  TTernaryList fList;
  QString fPath;
  bool fLoadedWhole = false;
};
