// Posting: from a stream in blocks, from OnGetData, and the replies that end it.
#include "ClientProbe.h"

#include "nntp/MyNntpCli2.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <cstring>

namespace {

// An article of about `size` bytes in CR LF lines.
QByteArray MakeText(qsizetype size) {
  QByteArray text = "Newsgroups: alt.test\r\nSubject: post\r\n\r\n";
  for (int i = 0; text.size() < size; ++i) text += "body line " + QByteArray::number(i) + "\r\n";
  return text;
}

}  // namespace

TEST(NntpPost, StreamIsSentUnchangedWithOneTerminator) {
  struct TCase {
    const char* name;
    QByteArray article;
    QByteArray received;  // as the server reads it, before the "." line
  };
  const QByteArray big = MakeText(200000);
  const TCase cases[] = {
      {"ends with a line end", "Subject: a\r\n\r\nbody\r\n", "Subject: a\r\n\r\nbody\r\n"},
      {"no final line end", "Subject: a\r\n\r\nbody", "Subject: a\r\n\r\nbody\r\n"},
      {"dot-stuffed by the caller", "Subject: a\r\n\r\n..\r\n..x\r\n", "Subject: a\r\n\r\n..\r\n..x\r\n"},
      {"several blocks", big, big},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TSession s;
    s.server.On("POST").Line("340 send article").ReadArticle().Line("240 article posted");
    ASSERT_TRUE(s.Open());
    QBuffer source;
    source.setData(c.article);
    source.open(QIODevice::ReadOnly);
    int blocks = 0;
    QObject::connect(&s.client, &TNntpCli::OnPostBlock, &s.client, [&] { ++blocks; });
    const quint64 sentBefore = s.client.BytesSent();
    ASSERT_TRUE(s.client.Post(&source));
    const TDone done = s.Next();
    EXPECT_EQ(done.kind, nntpPost);
    EXPECT_EQ(done.code, 0);
    ASSERT_EQ(s.server.Articles().size(), 1);
    EXPECT_EQ(s.server.Articles()[0], c.received);
    // Data blocks plus the terminator's.
    EXPECT_EQ(blocks, (c.article.size() + TNntpCli::POST_BLOCK_SIZE - 1) / TNntpCli::POST_BLOCK_SIZE + 1);
    EXPECT_EQ(s.client.BytesSent() - sentBefore, quint64(6 + c.received.size() + 3));
  }
}

TEST(NntpPost, RefusalsAndFailures) {
  struct TCase {
    const char* name;
    std::function<void(TFakeNntpServer&)> script;
    quint16 code;
    bool connected;
  };
  const TCase cases[] = {
      {"posting not allowed", [](TFakeNntpServer& f) { f.On("POST").Line("440 posting not allowed"); }, 440, true},
      {"article refused", [](TFakeNntpServer& f) { f.On("POST").Line("340 go").ReadArticle().Line("441 refused"); },
       441, true},
      {"refused before the end", [](TFakeNntpServer& f) { f.On("POST").Line("340 go").Line("441 too big"); }, 441,
       true},
      {"server hangs up while reading", [](TFakeNntpServer& f) { f.On("POST").Line("340 go").Pause(20).Close(); },
       NNTP_ERR_CONNECTION_CLOSED, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TSession s;
    c.script(s.server);
    ASSERT_TRUE(s.Open());
    QBuffer source;
    source.setData(MakeText(300000));
    source.open(QIODevice::ReadOnly);
    s.client.Post(&source);
    const TDone done = s.Next();
    EXPECT_EQ(done.kind, nntpPost);
    EXPECT_EQ(done.code, c.code);
    TClientProbe::Spin(150);
    EXPECT_EQ(s.probe->done.size(), 2);
    if (c.connected) {
      EXPECT_EQ(s.client.State(), nntpReady);
    }
  }
}

// OnGetData may fill its whole capacity every time: the terminator still fits
// in the 450,000-byte buffer, and every byte reaches the server.
TEST(NntpPost, GetDataFillsTheBufferToCapacity) {
  TFakeNntpServer server;
  server.On("POST").Line("340 go").ReadArticle().Line("240 ok");
  ASSERT_TRUE(server.Start());
  TMyNntpCli2 client;
  TClientProbe probe(&client);
  Aim(client, server.Port());
  client.Connect();
  ASSERT_TRUE(probe.WaitFor(1));

  // Lines of 99 'a' and CR LF; the last piece is cut mid-line on purpose.
  QByteArray expected;
  int calls = 0;
  qsizetype capacitySeen = 0;
  QObject::connect(&client, &TMyNntpCli2::OnGetData, &client,
                   [&](TMyNntpCli2*, char* buffer, qsizetype capacity, bool& more) {
                     capacitySeen = capacity;
                     QByteArray piece;
                     while (piece.size() < capacity) piece += QByteArray(99, 'a') + "\r\n";
                     piece.truncate(capacity);
                     std::memcpy(buffer, piece.constData(), size_t(piece.size()));
                     expected += piece;
                     more = ++calls < 3;
                   });
  QBuffer unused;
  ASSERT_TRUE(client.Post(&unused));
  ASSERT_TRUE(probe.WaitFor(2, 20000));
  EXPECT_EQ(probe.Last().code, 0);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(capacitySeen, TMyNntpCli2::DATA_BUFFER_SIZE - 6);
  ASSERT_EQ(server.Articles().size(), 1);
  // The last piece did not end a line, so the terminator added one.
  EXPECT_EQ(server.Articles()[0], expected + "\r\n");
}

TEST(NntpPost, GetDataFailureHangsUpInsteadOfPostingHalfAnArticle) {
  TFakeNntpServer server;
  server.On("POST").Line("340 go").ReadArticle().Line("240 ok");
  ASSERT_TRUE(server.Start());
  TMyNntpCli2 client;
  TClientProbe probe(&client);
  Aim(client, server.Port());
  client.Connect();
  ASSERT_TRUE(probe.WaitFor(1));
  int calls = 0;
  QObject::connect(&client, &TMyNntpCli2::OnGetData, &client, [&](TMyNntpCli2*, char* buffer, qsizetype, bool& more) {
    if (++calls == 2) throw std::runtime_error("the attachment vanished");
    std::strcpy(buffer, "Subject: x\r\n\r\nfirst part\r\n");
    more = true;
  });
  QBuffer unused;
  client.Post(&unused);
  ASSERT_TRUE(probe.WaitFor(2));
  EXPECT_EQ(probe.Last().kind, nntpPost);
  EXPECT_EQ(probe.Last().code, NNTP_ERR_POST_SOURCE);
  TClientProbe::Spin(150);
  EXPECT_EQ(probe.done.size(), 2);
  EXPECT_TRUE(server.Articles().isEmpty());
  EXPECT_EQ(client.State(), nntpNotConnected);
}
