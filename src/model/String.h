#pragma once

#include <QByteArrayView>

#include <cstdint>

// A short byte string (a post's subject): at most 65535 bytes, always
// zero-terminated. It may borrow a text that outlives it (the post index's
// copy of the subject key), so most posts never allocate; the first assignment
// of a non-empty text then gives it a buffer of its own, which grows to
// length + 1 when a longer text comes and never shrinks.
class TString {
 public:
  static constexpr int kMaxLength = 65535;

  TString() = default;
  ~TString();
  TString(const TString& other);
  TString& operator=(const TString& other);
  TString(TString&& other) noexcept;
  TString& operator=(TString&& other) noexcept;

  // Copies text. More than 65535 bytes logs "String size too long!" and
  // returns false, leaving the string as it was. An empty text empties it.
  bool Assign(QByteArrayView text);
  // Points at text without copying; text must stay put while borrowed.
  void Borrow(const char* text, std::uint16_t length);

  const char* Data() const { return fBuffer ? fBuffer : ""; }
  int Length() const { return fLength; }
  // Bytes owned, terminator included; 0 while empty or borrowing.
  int Capacity() const { return static_cast<int>(fCapacity); }
  bool IsEmpty() const { return fLength == 0; }
  QByteArrayView View() const { return QByteArrayView(Data(), fLength); }

 private:
  void Release();

  char* fBuffer = nullptr;
  std::uint32_t fCapacity = 0;
  std::uint16_t fLength = 0;
};
