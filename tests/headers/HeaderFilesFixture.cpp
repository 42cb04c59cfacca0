#include "HeaderFilesFixture.h"

#include "HeaderGenerator.h"
#include "headers/HeaderFileWriter.h"

#include <QFile>

#include <gtest/gtest.h>

TNewsHeader TOwnedHeader::Header() const {
  TNewsHeader h = fields;
  h.subject = QByteArrayView(subject.data(), qsizetype(subject.size()));
  h.sender = QByteArrayView(sender.data(), qsizetype(sender.size()));
  h.messageId = QByteArrayView(messageId.data(), qsizetype(messageId.size()));
  h.references = QByteArrayView(references.data(), qsizetype(references.size()));
  return h;
}

std::vector<TOwnedHeader> GeneratedHeaders(std::size_t count, std::uint64_t seed, int newsgroups) {
  THeaderGeneratorOptions options;
  options.seed = seed;
  options.newsgroups = newsgroups;
  THeaderGenerator generator(options);
  std::vector<TOwnedHeader> out(count);
  for (std::size_t i = 0; i < count; ++i) {
    const TLoadedHeader& g = generator.Next();
    TOwnedHeader& h = out[i];
    h.fields.number = g.number;
    h.fields.lines = g.lines;
    h.fields.bytes = g.bytes;
    h.fields.date = g.date;
    // Newsgroups downloaded one after the other, as a job writes them.
    h.fields.newsgroup = static_cast<std::uint16_t>(i * std::size_t(newsgroups) / count);
    h.fields.partNumber = g.partNumber;
    h.fields.totalParts = g.totalParts;
    h.fields.reply = g.reply;
    h.subject.assign(g.subject.data(), std::size_t(g.subject.size()));
    h.sender.assign(g.sender.data(), std::size_t(g.sender.size()));
    h.messageId.assign(g.messageId.data(), std::size_t(g.messageId.size()));
    h.references.assign(g.references.data(), std::size_t(g.references.size()));
  }
  return out;
}

QString WriteJob(const QString& base, const std::vector<TOwnedHeader>& headers, bool withSeek) {
  THeaderFileWriter writer;
  EXPECT_TRUE(writer.Open(base + QStringLiteral(".hdrs"), base + QStringLiteral(".idx"),
                          withSeek ? base + QStringLiteral(".seek") : QString()));
  for (const TOwnedHeader& h : headers) EXPECT_TRUE(writer.Write(h.Header()));
  EXPECT_TRUE(writer.Close());
  const QString job = base + QStringLiteral(".kvj");
  WriteAll(job, "[Job]\r\nJob.Status=JOB_STATUS_COMPLETED\r\n");
  return job;
}

std::unique_ptr<THeaders> DirectSet(const std::vector<TOwnedHeader>& headers, std::size_t first, std::size_t last) {
  auto set = std::make_unique<THeaders>();
  for (std::size_t i = first; i <= last && i <= headers.size(); ++i)
    EXPECT_TRUE(set->Add(headers[i - 1].Header().ToLoaded()));
  set->Finalize();
  return set;
}

std::vector<std::string> Describe(const THeaders& headers) {
  std::vector<std::string> out;
  for (int p = 0; p < headers.PostCount(); ++p) {
    const TPost& post = headers.Post(p);
    std::string line = post.Subject().toByteArray().toStdString();
    line += post.IsMultipart() ? " | binary " : " | text ";
    line += std::to_string(post.TotalParts()) + (post.HasFlag(POST_FLAG_COMPLETE_MULTIPART) ? " complete" : "") +
            " lines " + std::to_string(post.TotalLines()) + " bytes " + std::to_string(post.TotalBytes());
    for (int i = 0; i < post.ArticleCount(); ++i) {
      const TArticle& a = post.Article(i);
      line += "\n  " + std::to_string(a.number) + ' ' + post.MessageID(i).toStdString() + ' ' +
              std::string(a.Sender()) + ' ' + std::to_string(a.date) + ' ' + std::to_string(a.lines) + ' ' +
              std::to_string(a.bytes) + " g" + std::to_string(a.newsgroup) + " p" + std::to_string(a.partNumber) +
              " f" + std::to_string(a.flags);
      if (!post.IsMultipart()) line += " refs " + std::string(post.TextArticle(i).References());
    }
    out.push_back(std::move(line));
  }
  return out;
}

::testing::AssertionResult SameSet(const THeaders& actual, const THeaders& expected) {
  const std::vector<std::string> a = Describe(actual);
  const std::vector<std::string> b = Describe(expected);
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    if (a[i] != b[i])
      return ::testing::AssertionFailure() << "post " << i << " differs:\n" << a[i] << "\nexpected:\n" << b[i];
  if (a.size() != b.size()) return ::testing::AssertionFailure() << a.size() << " posts, expected " << b.size();
  return ::testing::AssertionSuccess();
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& data) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(data), data.size());
}
