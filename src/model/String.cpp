#include "model/String.h"

#include "app/Logger.h"

#include <cstdlib>
#include <cstring>
#include <utility>

TString::~TString() { Release(); }

TString::TString(const TString& other) { Assign(other.View()); }

TString& TString::operator=(const TString& other) {
  if (this != &other) Assign(other.View());
  return *this;
}

TString::TString(TString&& other) noexcept
    : fBuffer(std::exchange(other.fBuffer, nullptr)),
      fCapacity(std::exchange(other.fCapacity, 0)),
      fLength(std::exchange(other.fLength, 0)) {}

TString& TString::operator=(TString&& other) noexcept {
  if (this != &other) {
    Release();
    fBuffer = std::exchange(other.fBuffer, nullptr);
    fCapacity = std::exchange(other.fCapacity, 0);
    fLength = std::exchange(other.fLength, 0);
  }
  return *this;
}

void TString::Release() {
  if (fCapacity) std::free(fBuffer);
  fBuffer = nullptr;
  fCapacity = 0;
  fLength = 0;
}

bool TString::Assign(QByteArrayView text) {
  if (text.size() > kMaxLength) {
    LogError("String size too long!");
    return false;
  }
  const auto length = static_cast<std::uint32_t>(text.size());
  if (length == 0) {
    if (fCapacity) {
      fBuffer[0] = 0;
    } else {
      fBuffer = nullptr;  // stop borrowing
    }
    fLength = 0;
    return true;
  }
  if (length + 1 > fCapacity) {
    char* grown = static_cast<char*>(std::malloc(length + 1));
    if (!grown) {
      LogError("Out of memory for a subject");
      return false;
    }
    std::memcpy(grown, text.data(), length);  // before freeing: text may lie in the old buffer
    if (fCapacity) std::free(fBuffer);
    fBuffer = grown;
    fCapacity = length + 1;
  } else {
    std::memmove(fBuffer, text.data(), length);
  }
  fBuffer[length] = 0;
  fLength = static_cast<std::uint16_t>(length);
  return true;
}

void TString::Borrow(const char* text, std::uint16_t length) {
  if (fCapacity) std::free(fBuffer);
  fCapacity = 0;
  fBuffer = const_cast<char*>(text);
  fLength = length;
}
