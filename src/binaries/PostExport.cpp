#include "binaries/PostExport.h"

#include "app/Logger.h"
#include "binaries/QueueWriter.h"
#include "model/Post.h"

#include <algorithm>

using namespace Qt::StringLiterals;

int ExportPostsToDownloadList(const QString& cuePath, const std::vector<TExportPost>& posts,
                              const std::function<QByteArray(int)>& newsgroupName, QString* errorText) {
  LOG_METHOD("ExportPostsToDownloadList");
  TQueueWriter writer;
  const auto fail = [&](const QString& text) {
    writer.Abandon();
    if (errorText) *errorText = text;
    return 0;
  };
  if (!writer.Open(cuePath)) return fail(writer.ErrorText());
  for (const TExportPost& item : posts) {
    if (!item.post) continue;
    const TPost& post = *item.post;
    for (int i = 0; i < post.ArticleCount(); ++i) {
      const TArticle& a = post.Article(i);
      const QByteArray id = post.MessageID(i);
      if (id.isEmpty()) continue;
      TDownloadEntry e;
      e.SetKind(post.IsMultipart() ? 1 : 0);
      e.lines = a.lines;
      e.totalLines = a.lines;
      e.bytes = a.bytes;
      e.articleNumber = a.number;
      e.date = a.date;
      e.postCount = 1;
      e.fileGroup = static_cast<std::int16_t>(-std::clamp(item.fileGroup, -32767, 32767));
      if (!writer.Write(e, post.PostCaption(i), newsgroupName(a.newsgroup), id)) return fail(writer.ErrorText());
    }
  }
  if (writer.TotalPosts() == 0) return fail(QString::fromLatin1(kNothingExportedText));
  if (!writer.Close() || !writer.WriteSettings()) return fail(writer.ErrorText());
  return static_cast<int>(writer.TotalPosts());
}
