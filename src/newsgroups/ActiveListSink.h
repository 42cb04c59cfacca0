#pragma once

#include <QByteArray>
#include <QIODevice>

#include <cstdint>
#include <functional>

class TGroupListWriter;

// The stream a LIST or NEWGROUPS reply is written to: it splits the lines
// ("name last first flag") where they lie and appends each group to a group
// list writer, so the reply never sits in memory as a whole.
class TActiveListSink : public QIODevice {
  Q_OBJECT
 public:
  // LIST stores 0 for a group whose first number lies above its last;
  // NEWGROUPS stores last - first + 1 whatever it is.
  enum TCountRule { COUNT_LIST, COUNT_NEW_GROUPS };

  TActiveListSink(TGroupListWriter& writer, TCountRule rule, QObject* parent = nullptr);

  // Opens for writing and forgets earlier lines.
  bool Start();
  // Takes a last line that came without a line end.
  void FinishLines();

  // Lines seen (groups stored and names skipped alike).
  std::int64_t Lines() const { return fLines; }
  // The name of the last group of the latest piece of data.
  const QByteArray& LastName() const { return fLastName; }
  // Called after each piece of data the client hands over.
  void SetChunkHandler(std::function<void()> handler) { fChunkHandler = std::move(handler); }

  bool isSequential() const override { return true; }

 protected:
  qint64 readData(char* data, qint64 maxSize) override;
  qint64 writeData(const char* data, qint64 size) override;

 private:
  void HandleLine(const char* line, qsizetype length);

  TGroupListWriter& fWriter;
  TCountRule fRule;
  QByteArray fCarry;
  QByteArray fLastName;
  const char* fLastNamePtr = nullptr;
  qsizetype fLastNameLength = 0;
  std::int64_t fLines = 0;
  std::function<void()> fChunkHandler;
};
