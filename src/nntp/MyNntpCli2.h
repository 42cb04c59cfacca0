#pragma once

#include "nntp/MyNntpCli.h"

#include <memory>

// A client that posts from a caller-filled buffer: while posting, OnGetData
// is asked for each piece of the article.
class TMyNntpCli2 : public TMyNntpCli {
  Q_OBJECT

 public:
  static constexpr qsizetype DATA_BUFFER_SIZE = 450000;
  // What OnGetData may write: the buffer less the terminator appended after
  // the last piece and the closing zero.
  static constexpr qsizetype DATA_CAPACITY = DATA_BUFFER_SIZE - 5 - 1;

  explicit TMyNntpCli2(QObject* parent = nullptr);
  ~TMyNntpCli2() override;

 signals:
  // Fill MsgLine with at most Capacity bytes of zero-terminated text (already
  // dot-stuffed) and set More while more is to come. Connect it directly: it
  // runs on the client's thread during posting. Without a receiver the
  // stream given to Post is sent.
  void OnGetData(TMyNntpCli2* Sender, char* MsgLine, qsizetype Capacity, bool& More);

 protected:
  bool NextPostBlock(QByteArrayView& block, bool& finished) override;

 private:
  std::unique_ptr<char[]> fData;
};
