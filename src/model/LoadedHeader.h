#pragma once

#include <QByteArrayView>

#include <cstdint>

// One header as the loader hands it to a header set: the values of its fixed
// record and its four texts (which need only live for the call).
struct TLoadedHeader {
  std::uint32_t number = 0;
  std::uint32_t lines = 0;
  std::uint32_t bytes = 0;
  double date = 0;  // days since 30 December 1899 with fraction, local time
  std::uint16_t newsgroup = 0;
  std::uint16_t partNumber = 0;
  std::uint16_t totalParts = 0;
  bool reply = false;
  bool read = false;
  QByteArrayView subject;  // the subject key: reply prefixes and part counter removed
  QByteArrayView sender;
  QByteArrayView messageId;  // without angle brackets
  QByteArrayView references;
};
