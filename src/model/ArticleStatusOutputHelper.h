#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

#include <string>

class TPost;
struct TArticle;

// Marks articles read for one browser command: flips each article's read
// flag and appends its identifier to the read-marks file of its newsgroup,
// keeping that file open while consecutive articles share the newsgroup.
// Writes are logged when they fail; the flags keep what the user asked for.
// TArticleStatusUpdateHelper does the reverse.
class TArticleStatusOutputHelper {
 public:
  // readMarksDir ends with "/"; newsgroups are the header set's newsgroup
  // names, indexed by an article's newsgroup number.
  TArticleStatusOutputHelper(const QString& readMarksDir, const QStringList& newsgroups);
  virtual ~TArticleStatusOutputHelper();
  TArticleStatusOutputHelper(const TArticleStatusOutputHelper&) = delete;
  TArticleStatusOutputHelper& operator=(const TArticleStatusOutputHelper&) = delete;

  // Acts only on an article whose state differs from the target: flips its
  // read flag, then records the change in its newsgroup's file.
  void SaveMIDForArticle(TPost& post, int index);
  void SaveMIDForPost(TPost& post);

 protected:
  enum TTargetState { TARGET_READ = 0, TARGET_UNREAD = 1 };
  TArticleStatusOutputHelper(const QString& readMarksDir, const QStringList& newsgroups, TTargetState target);

  // Opens (for appending) the file of the article's newsgroup when it is not the open one.
  virtual void UpdateNewsgroupForArticle(const TArticle& article);
  virtual void WriteMIDForArticle(const TPost& post, int index);

  // The file of newsgroup index; empty when the set names no such newsgroup.
  QString NewsgroupFile(int index) const;
  // The article's identifier in plain form into fId; false when it cannot be had.
  bool ArticleId(const TPost& post, int index);

  QString fDir;
  QStringList fNewsgroups;
  int fNewsgroup = -1;  // whose file is open (or loaded)
  std::string fId;

 private:
  QFile fFile;
  TTargetState fTarget;
};
