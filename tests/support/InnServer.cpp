#include "support/InnServer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QHostAddress>
#include <QMap>
#include <QProcess>
#include <QTcpSocket>

#include <atomic>

using namespace Qt::StringLiterals;

namespace {

constexpr int kIoTimeoutMs = 20000;

QMap<QString, QString> ReadState(QString* why) {
  QMap<QString, QString> values;
  QFile file(TInnServer::StateFile());
  if (!file.open(QIODevice::ReadOnly)) {
    if (why) *why = u"no INN state file "_s + file.fileName() + u" (is the \"inn\" test fixture running?)"_s;
    return values;
  }
  for (const QByteArray& line : file.readAll().split('\n')) {
    const qsizetype eq = line.indexOf('=');
    if (eq > 0) values.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)).trimmed());
  }
  if (values.value(u"port"_s).toInt() <= 0 && why) *why = u"no port in "_s + file.fileName();
  return values;
}

QString Value(const QString& key) { return ReadState(nullptr).value(key); }

// Reads one line (without CR LF) from a blocking socket.
bool ReadLine(QTcpSocket& socket, QByteArray& line) {
  while (!socket.canReadLine()) {
    if (!socket.waitForReadyRead(kIoTimeoutMs)) return false;
  }
  line = socket.readLine();
  while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
  return true;
}

QByteArray DotStuffed(QByteArrayView article) {
  QByteArray out;
  out.reserve(article.size() + article.size() / 50 + 8);
  qsizetype start = 0;
  while (start < article.size()) {
    qsizetype lf = article.indexOf('\n', start);
    const qsizetype end = lf < 0 ? article.size() : lf;
    QByteArrayView line = article.sliced(start, end - start);
    if (line.endsWith('\r')) line.chop(1);
    if (line.startsWith('.')) out += '.';
    out.append(line.data(), line.size());
    out += "\r\n";
    start = end + 1;
  }
  return out;
}

QByteArray HeaderValue(QByteArrayView article, QByteArrayView name) {
  qsizetype start = 0;
  while (start < article.size()) {
    const qsizetype lf = article.indexOf('\n', start);
    const qsizetype end = lf < 0 ? article.size() : lf;
    QByteArrayView line = article.sliced(start, end - start);
    if (line.endsWith('\r')) line.chop(1);
    if (line.isEmpty()) break;
    if (line.size() > name.size() && line[name.size()] == ':' &&
        qstrnicmp(line.data(), name.data(), size_t(name.size())) == 0)
      return line.sliced(name.size() + 1).trimmed().toByteArray();
    start = end + 1;
  }
  return {};
}

bool Fail(QString* error, const QString& text) {
  if (error) *error = text;
  return false;
}

}  // namespace

QString TInnServer::StateFile() {
  const QString fromEnvironment = qEnvironmentVariable("KORVEL_INN_STATE");
  if (!fromEnvironment.isEmpty()) return fromEnvironment;
#ifdef KORVEL_INN_STATE_FILE
  return QStringLiteral(KORVEL_INN_STATE_FILE);
#else
  return {};
#endif
}

bool TInnServer::Available(QString* why) { return ReadState(why).value(u"port"_s).toInt() > 0; }
QString TInnServer::Host() { return Value(u"host"_s); }
quint16 TInnServer::Port() { return static_cast<quint16>(Value(u"port"_s).toUInt()); }
QString TInnServer::User() { return Value(u"user"_s); }
QString TInnServer::Password() { return Value(u"password"_s); }

QByteArray TInnServer::UniqueGroup(QByteArrayView base) {
  static std::atomic<int> counter{0};
  return "korvel.test." + base.toByteArray() + "." + QByteArray::number(QCoreApplication::applicationPid()) + "x" +
         QByteArray::number(QDateTime::currentMSecsSinceEpoch() % 100000000) + "x" + QByteArray::number(++counter);
}

QByteArray TInnServer::UniqueMessageId() {
  static std::atomic<int> counter{0};
  return "k" + QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + "." +
         QByteArray::number(QCoreApplication::applicationPid()) + "." + QByteArray::number(++counter) +
         "@korvel.test.invalid";
}

bool TInnServer::CreateGroups(const QList<QByteArray>& names, QString* error) {
  const QMap<QString, QString> state = ReadState(error);
  const QString script = state.value(u"script"_s);
  if (script.isEmpty()) return false;
  QStringList arguments{u"newgroup"_s, StateFile()};
  for (const QByteArray& name : names) arguments << QString::fromUtf8(name);
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(script, arguments);
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
    return Fail(error, u"creating groups failed: "_s + QString::fromUtf8(process.readAll()));
  return true;
}

QByteArray TInnServer::MakeArticle(QByteArrayView group, QByteArrayView subject, QByteArrayView body,
                                   QByteArrayView messageId) {
  QByteArray article;
  article += "Path: feeder.korvel.invalid!not-for-mail\r\n";
  article += "From: Korvel Tests <tests@korvel.test.invalid>\r\n";
  article += "Newsgroups: " + group.toByteArray() + "\r\n";
  article += "Subject: " + subject.toByteArray() + "\r\n";
  article += "Date: " + QDateTime::currentDateTimeUtc().addSecs(-60).toString(Qt::RFC2822Date).toLatin1() + "\r\n";
  article += "Message-ID: <" + messageId.toByteArray() + ">\r\n";
  article += "\r\n";
  article += body.toByteArray();
  return article;
}

bool TInnServer::Post(QByteArrayView article, QString* error) {
  QTcpSocket socket;
  socket.connectToHost(QHostAddress(Host()), Port());
  QByteArray line;
  if (!socket.waitForConnected(kIoTimeoutMs) || !ReadLine(socket, line) || !line.startsWith("200"))
    return Fail(error, u"no reader banner from INN: "_s + QString::fromUtf8(line));
  socket.write("POST\r\n");
  if (!ReadLine(socket, line) || !line.startsWith("340"))
    return Fail(error, u"POST refused: "_s + QString::fromUtf8(line));
  socket.write(DotStuffed(article));
  socket.write(".\r\n");
  if (!ReadLine(socket, line) || !line.startsWith("240"))
    return Fail(error, u"article refused: "_s + QString::fromUtf8(line));
  socket.write("QUIT\r\n");
  socket.waitForBytesWritten(kIoTimeoutMs);
  return true;
}

bool TInnServer::Feed(const QList<QByteArray>& articles, QString* error) {
  QTcpSocket socket;
  // Only 127.0.0.2 is a feeding peer of the test server.
  if (!socket.bind(QHostAddress(u"127.0.0.2"_s))) return Fail(error, u"cannot bind 127.0.0.2"_s);
  socket.connectToHost(QHostAddress(Host()), Port());
  QByteArray line;
  if (!socket.waitForConnected(kIoTimeoutMs) || !ReadLine(socket, line) || !line.startsWith("200"))
    return Fail(error, u"no peer banner from INN: "_s + QString::fromUtf8(line));
  socket.write("MODE STREAM\r\n");
  if (!ReadLine(socket, line) || !line.startsWith("203"))
    return Fail(error, u"MODE STREAM refused: "_s + QString::fromUtf8(line));

  constexpr qsizetype window = 500;
  qsizetype sent = 0, answered = 0;
  QString refused;
  auto readAnswers = [&](qsizetype atMostOutstanding) {
    while (sent - answered > atMostOutstanding) {
      if (!ReadLine(socket, line)) return false;
      ++answered;
      if (!line.startsWith("239") && refused.isEmpty()) refused = QString::fromUtf8(line);
    }
    return true;
  };
  for (const QByteArray& article : articles) {
    const QByteArray id = HeaderValue(article, "Message-ID");
    if (id.isEmpty()) return Fail(error, u"an article without Message-ID"_s);
    socket.write("TAKETHIS " + id + "\r\n");
    socket.write(DotStuffed(article));
    socket.write(".\r\n");
    ++sent;
    if (socket.bytesToWrite() > 4 * 1024 * 1024) socket.waitForBytesWritten(kIoTimeoutMs);
    if (!readAnswers(window)) return Fail(error, u"INN stopped answering while feeding"_s);
  }
  while (socket.bytesToWrite() > 0)
    if (!socket.waitForBytesWritten(kIoTimeoutMs)) return Fail(error, u"INN stopped reading while feeding"_s);
  if (!readAnswers(0)) return Fail(error, u"INN stopped answering while feeding"_s);
  socket.write("QUIT\r\n");
  socket.waitForBytesWritten(kIoTimeoutMs);
  if (!refused.isEmpty()) return Fail(error, u"INN refused an article: "_s + refused);
  return true;
}
