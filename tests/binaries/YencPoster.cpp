#include "YencPoster.h"

#include "app/Crc32.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QRandomGenerator>

#include <algorithm>

namespace {
QByteArray Token() {
  static const QByteArray token = QByteArray::number(QCoreApplication::applicationPid()) + '.' +
                                  QByteArray::number(QDateTime::currentMSecsSinceEpoch(), 36);
  return token;
}

QByteArray YencLines(QByteArrayView data) {
  QByteArray out;
  out.reserve(data.size() + data.size() / 32 + 64);
  int column = 0;
  for (char byte : data) {
    const auto c = static_cast<unsigned char>(static_cast<unsigned char>(byte) + 42);
    const bool escape = c == 0 || c == '\n' || c == '\r' || c == '=' || c == '\t' || c == ' ' ||
                        (c == '.' && column == 0);
    if (escape) {
      out += '=';
      out += static_cast<char>(static_cast<unsigned char>(c + 64));
      column += 2;
    } else {
      out += static_cast<char>(c);
      ++column;
    }
    if (column >= 128) {
      out += "\r\n";
      column = 0;
    }
  }
  if (column > 0) out += "\r\n";
  return out;
}

}  // namespace

QByteArray RandomBytes(qsizetype size, quint32 seed) {
  QRandomGenerator generator(seed);
  QByteArray out(size, Qt::Uninitialized);
  for (qsizetype i = 0; i < size; ++i) out[i] = static_cast<char>(generator.bounded(256));
  return out;
}

TPostedFile MakeYencPost(const QString& name, const QByteArray& data, QByteArrayView group, qsizetype partSize) {
  static int serial = 0;
  TPostedFile file;
  file.name = name;
  file.data = data;
  const qsizetype parts = std::max<qsizetype>(1, (data.size() + partSize - 1) / partSize);
  const QByteArray nameBytes = name.toUtf8();
  const QByteArray date = QDateTime::currentDateTimeUtc().toString(Qt::RFC2822Date).toLatin1();
  for (qsizetype k = 1; k <= parts; ++k) {
    const qsizetype begin = (k - 1) * partSize;
    const QByteArrayView part = QByteArrayView(data).sliced(begin, std::min(partSize, data.size() - begin));
    const QByteArray id = "part" + QByteArray::number(k) + '.' + QByteArray::number(++serial) + '.' + Token() +
                          "@korvel.test";
    QByteArray a;
    a += "Message-ID: <" + id + ">\r\n";
    a += "Path: korvel.test!not-for-mail\r\n";
    a += "From: Korvel Tests <tests@korvel.invalid>\r\n";
    a += "Newsgroups: " + group.toByteArray() + "\r\n";
    a += "Subject: \"" + nameBytes + "\" yEnc (" + QByteArray::number(k) + '/' + QByteArray::number(parts) + ")\r\n";
    a += "Date: " + date + "\r\n";
    a += "\r\n";
    a += "=ybegin part=" + QByteArray::number(k) + " total=" + QByteArray::number(parts) +
         " line=128 size=" + QByteArray::number(data.size()) + " name=" + nameBytes + "\r\n";
    a += "=ypart begin=" + QByteArray::number(begin + 1) + " end=" + QByteArray::number(begin + part.size()) + "\r\n";
    a += YencLines(part);
    a += "=yend size=" + QByteArray::number(part.size()) + " part=" + QByteArray::number(k) +
         " pcrc32=" + QByteArray::number(Crc32(part), 16).rightJustified(8, '0');
    if (k == parts) a += " crc32=" + QByteArray::number(Crc32(data), 16).rightJustified(8, '0');
    a += "\r\n";
    file.messageIds.append(id);
    file.articles.append(a);
  }
  return file;
}

QList<QByteArray> ArticleLines(const QByteArray& article) {
  QList<QByteArray> lines = article.split('\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  for (QByteArray& line : lines)
    if (line.endsWith('\r')) line.chop(1);
  return lines;
}

QByteArray MakeNzb(const QList<TPostedFile>& files, QByteArrayView group) {
  QByteArray x = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<nzb xmlns=\"http://www.newzbin.com/DTD/2003/nzb\">\n";
  for (const TPostedFile& f : files) {
    const QByteArray name = f.name.toHtmlEscaped().toUtf8();
    x += "<file poster=\"tests@korvel.invalid\" date=\"" + QByteArray::number(QDateTime::currentSecsSinceEpoch()) +
         "\" subject=\"&quot;" + name + "&quot; yEnc (1/" + QByteArray::number(f.articles.size()) + ")\">\n";
    x += "<groups><group>" + group.toByteArray() + "</group></groups>\n<segments>\n";
    for (qsizetype k = 0; k < f.articles.size(); ++k)
      x += "<segment bytes=\"" + QByteArray::number(f.articles[k].size()) + "\" number=\"" +
           QByteArray::number(k + 1) + "\">" + f.messageIds[k] + "</segment>\n";
    x += "</segments>\n</file>\n";
  }
  x += "</nzb>\n";
  return x;
}

