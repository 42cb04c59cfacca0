#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class THeaders;
class TPost;

// Read marks: which articles the user has read, kept across downloads and runs
// as one file of message identifiers per newsgroup (TReadMarksFile).

// One identifier to mark read, with its newsgroup.
struct TMarkArticleReadInfo {
  QByteArray messageId;
  QString newsgroup;
};
using TMarkArticleReadInfoArray = QList<TMarkArticleReadInfo>;

// Appends a record per entry to its newsgroup's file in readMarksDir (ending
// with "/"), keeping one file open while consecutive entries share a
// newsgroup. False when any entry could not be written (each is logged as
// "Error setting message \"...\" as read.").
bool WriteReadMarks(const QString& readMarksDir, const TMarkArticleReadInfoArray& batch);

// The article being displayed: when it is not read yet, sets its read flag and
// appends its identifier to its newsgroup's file. newsgroups are the header
// set's newsgroup names.
void MarkArticleRead(TPost& post, int index, const QString& readMarksDir, const QStringList& newsgroups);

// Sets every article's read flag from the files, walking the posts in order:
// the file of an article's newsgroup is read when the newsgroup differs from
// the previous article's (each file once per load). When a newsgroup's file
// holds at least one identifier, an article is read exactly when its
// identifier is there; without a file, or with an empty one, the flags stay
// as loaded.
void ApplyReadMarks(THeaders& headers, const QString& readMarksDir, const QStringList& newsgroups);
