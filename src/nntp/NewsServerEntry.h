#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>

// How a connection to a server is secured. Stored in the first reserved byte
// of the record; zero (plain) keeps every older file valid.
enum TSecurityMode : std::uint8_t {
  SECURITY_PLAIN = 0,
  SECURITY_TLS = 1,       // TLS from the first byte (usually port 563)
  SECURITY_STARTTLS = 2,  // plain connection upgraded with STARTTLS
};

// One news server definition: a 1040-byte little-endian record of
// "_Servers_NNTP.dat". Texts are kept as the bytes stored.
struct TNewsServerEntry {
  static constexpr int kRecordSize = 1040;
  static constexpr int kNameCapacity = 255;
  static constexpr int kHostCapacity = 255;
  static constexpr int kUserCapacity = 255;
  static constexpr int kPasswordCapacity = 246;
  static constexpr int kMaxEditorNameLength = 128;
  static constexpr int kReservedOffset = 1027;

  QByteArray name;
  QByteArray host;
  std::int32_t port = 119;
  QByteArray userName;
  QByteArray password;
  std::uint8_t padding = 0;
  std::uint16_t countConnections = 1;   // for retrieving article counts
  std::uint16_t headerConnections = 1;  // for downloading headers
  std::int16_t maxConnections = 1;
  bool downloadLimit = false;
  std::array<std::uint8_t, 5> reserved{};
  double lastCheckDate = 0.0;  // days since 30 December 1899, local time

  // Not part of the record: the SHA-256 fingerprint (hex, lower case) of a
  // certificate the user accepted for this server, kept in its directory.
  QByteArray acceptedFingerprint;

  // A zero-filled record with port 119, one connection of each kind, no limit, date 0.
  static TNewsServerEntry Init();

  TSecurityMode Security() const;
  void SetSecurity(TSecurityMode mode) { reserved[0] = static_cast<std::uint8_t>(mode); }

  QString Name() const;      // for display and comparison
  QString HostName() const;  // for the socket
  bool NameEquals(const QString& other) const;  // without regard to case

  QByteArray ToRecord() const;
  // Reads one record; the two connection counts are clamped (0 or over 100 -> 1).
  static TNewsServerEntry FromRecord(QByteArrayView record);
};

// Decodes stored bytes for display: UTF-8 when valid, otherwise Latin-1.
QString DisplayText(QByteArrayView bytes);
