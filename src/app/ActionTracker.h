#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <mutex>

// A trail of the last user actions and start-up stages, kept across runs so
// a report after a crash can tell what led to it. A ring of 3000 bytes with a
// saturating count and a wrapping write position, saved as a zlib stream.
class TActionTracker {
 public:
  static constexpr int kSize = 3000;
  static constexpr int kStreamSize = kSize + 4;
  static constexpr std::uint8_t kTextMarker = 64;

  // Start-up codes.
  enum : std::uint8_t {
    TRAIL_OBJECTS_CREATED = 1,
    TRAIL_MAIN_WINDOW_CREATED = 2,
    TRAIL_STARTUP_TAB_STEP = 5,
    TRAIL_EVENT_LOOP_ENTERED = 6,
    TRAIL_EVENT_LOOP_LEFT = 7,
  };

  void Record(std::uint8_t code);
  // The marker byte, the length (texts cut to 255 bytes) and the bytes.
  void RecordText(const QByteArray& text);
  void RecordText(const QString& text) { RecordText(text.toUtf8()); }

  // Reads a saved trail; anything but a stream of exactly 3004 bytes, or a
  // count or position outside the ring, starts an empty trail.
  bool Load(const QString& path);
  // Saves the trail; with nothing recorded (or on failure) the file is deleted.
  bool Save(const QString& path) const;
  void Clear();

  int Count() const;
  int Position() const;
  // The ring's bytes in write order, oldest first.
  QByteArray Contents() const;
  // The serialized form before compression: count, position, ring.
  QByteArray Serialize() const;

 private:
  void PutByte(std::uint8_t b);

  mutable std::mutex fMutex;
  std::array<std::uint8_t, kSize> fRing{};
  int fCount = 0;
  int fPos = 0;
};
