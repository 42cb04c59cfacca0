#include "nntp/NewsServerEntry.h"

#include "app/RecordReader.h"
#include "app/RecordWriter.h"

#include <QStringDecoder>

QString DisplayText(QByteArrayView bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8.decode(bytes);
  return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

TNewsServerEntry TNewsServerEntry::Init() { return TNewsServerEntry{}; }

TSecurityMode TNewsServerEntry::Security() const {
  switch (reserved[0]) {
    case SECURITY_TLS:
      return SECURITY_TLS;
    case SECURITY_STARTTLS:
      return SECURITY_STARTTLS;
    default:
      return SECURITY_PLAIN;  // unknown values from newer files fall back to plain
  }
}

QString TNewsServerEntry::Name() const { return DisplayText(name); }
QString TNewsServerEntry::HostName() const { return DisplayText(host).trimmed(); }

bool TNewsServerEntry::NameEquals(const QString& other) const {
  return Name().compare(other, Qt::CaseInsensitive) == 0;
}

QByteArray TNewsServerEntry::ToRecord() const {
  TRecordWriter w(kRecordSize);
  w.PrefixedText(name, kNameCapacity);
  w.PrefixedText(host, kHostCapacity);
  w.I32(port);
  w.PrefixedText(userName, kUserCapacity);
  w.PrefixedText(password, kPasswordCapacity);
  w.U8(padding);
  w.U16(countConnections);
  w.U16(headerConnections);
  w.U16(static_cast<std::uint16_t>(maxConnections));
  w.Bool(downloadLimit);
  for (std::uint8_t b : reserved) w.U8(b);
  w.Double(lastCheckDate);
  return w.Take();
}

TNewsServerEntry TNewsServerEntry::FromRecord(QByteArrayView record) {
  TRecordReader r(record);
  TNewsServerEntry e;
  e.name = r.PrefixedText(kNameCapacity);
  e.host = r.PrefixedText(kHostCapacity);
  e.port = r.I32();
  e.userName = r.PrefixedText(kUserCapacity);
  e.password = r.PrefixedText(kPasswordCapacity);
  e.padding = r.U8();
  e.countConnections = r.U16();
  e.headerConnections = r.U16();
  e.maxConnections = static_cast<std::int16_t>(r.U16());
  e.downloadLimit = r.U8() != 0;
  for (std::uint8_t& b : e.reserved) b = r.U8();
  e.lastCheckDate = r.Double();
  if (e.countConnections == 0 || e.countConnections > 100) e.countConnections = 1;
  if (e.headerConnections == 0 || e.headerConnections > 100) e.headerConnections = 1;
  return e;
}
