#include "model/UniqueStringList.h"

#include "app/Logger.h"
#include "model/Hash.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr auto MakeLowerTable() {
  struct {
    unsigned char v[256];
  } t{};
  for (int i = 0; i < 256; ++i) t.v[i] = static_cast<unsigned char>((i >= 'A' && i <= 'Z') ? i + 32 : i);
  return t;
}
constexpr auto kLower = MakeLowerTable();

}  // namespace

TUniqueStringList::TUniqueStringList(bool caseSensitive) : fCaseSensitive(caseSensitive) {
  // calloc: pages are only touched as buckets and blocks get used.
  fBuckets = static_cast<std::uint32_t*>(std::calloc(kBucketCount, sizeof(std::uint32_t)));
  fBlocks = static_cast<char**>(std::calloc(kMaxBlocks, sizeof(char*)));
  if (!fBuckets || !fBlocks) throw std::bad_alloc();
}

TUniqueStringList::~TUniqueStringList() {
  Clear();
  std::free(fBuckets);
  std::free(fBlocks);
  std::free(fWork);
}

void TUniqueStringList::Clear() {
  for (std::size_t b = 0; b < fBlockUsed.size(); ++b) {
    std::free(fBlocks[b]);
    fBlocks[b] = nullptr;
  }
  fBlockUsed.clear();
  if (fCount) std::memset(fBuckets, 0, kBucketCount * sizeof(std::uint32_t));
  fCount = 0;
}

std::size_t TUniqueStringList::BytesAllocated() const {
  return fBlockUsed.size() * std::size_t(kBlockUnits) * 4 + kBucketCount * sizeof(std::uint32_t) + fWorkCapacity;
}

TUniqueStringList::TId TUniqueStringList::Allocate(std::uint32_t units) {
  if (fBlockUsed.empty() || fBlockUsed.back() + units > kBlockUnits) {
    if (fBlockUsed.size() >= kMaxBlocks) {
      LogError("String list is full");
      return 0;
    }
    char* block = static_cast<char*>(std::malloc(std::size_t(kBlockUnits) * 4));
    if (!block) {
      LogError("Out of memory for a string list block");
      return 0;
    }
    fBlocks[fBlockUsed.size()] = block;
    // Unit 0 of the first block stays unused so that no entry has id 0.
    fBlockUsed.push_back(fBlockUsed.empty() ? 1 : 0);
  }
  const auto block = static_cast<std::uint32_t>(fBlockUsed.size() - 1);
  const TId id = (block << kBlockShift) | fBlockUsed.back();
  fBlockUsed.back() += units;
  return id;
}

TUniqueStringList::TId TUniqueStringList::Find(QByteArrayView key, bool add, bool* added) {
  if (added) *added = false;
  const auto length = static_cast<std::size_t>(key.size());
  if (length == 0 || length > kMaxKeyLength) return 0;

  const auto* src = reinterpret_cast<const unsigned char*>(key.data());
  const unsigned char* bytes = src;
  if (!fCaseSensitive) {
    if (length > fWorkCapacity) {
      const std::size_t capacity = length * 2 < 256 ? 256 : length * 2;
      auto* grown = static_cast<unsigned char*>(std::realloc(fWork, capacity));
      if (!grown) return 0;
      fWork = grown;
      fWorkCapacity = capacity;
    }
    for (std::size_t i = 0; i < length; ++i) fWork[i] = kLower.v[src[i]];
    bytes = fWork;
  }

  const std::uint16_t bucket = Crc16(bytes, length);
  TId id = fBuckets[bucket];
  std::uint32_t hash = 0;
  if (id) {
    hash = HashLittle(bytes, length);
    for (; id; id = EntryAt(id)->nextInBucket) {
      const TEntry* e = EntryAt(id);
      if (e->hash != hash || e->length != length) continue;
      // Equal hashes do not make equal texts: compare the bytes too.
      const auto* text = reinterpret_cast<const unsigned char*>(e->text);
      if (fCaseSensitive) {
        if (std::memcmp(text, bytes, length) == 0) return id;
        continue;
      }
      std::size_t i = 0;
      while (i < length && kLower.v[text[i]] == bytes[i]) ++i;
      if (i == length) return id;
    }
  }
  if (!add) return 0;
  if (!fBuckets[bucket]) hash = HashLittle(bytes, length);

  const TId fresh = Allocate(UnitsFor(length));
  if (!fresh) return 0;
  TEntry* e = EntryAt(fresh);
  e->nextInBucket = fBuckets[bucket];
  e->hash = hash;
  e->object = 0;
  e->length = static_cast<std::uint16_t>(length);
  std::memcpy(e->text, key.data(), length);
  e->text[length] = 0;
  fBuckets[bucket] = fresh;
  ++fCount;
  if (added) *added = true;
  return fresh;
}

std::string_view TUniqueStringList::Text(TId id) const {
  if (!id) return {};
  const TEntry* e = EntryAt(id);
  return std::string_view(e->text, e->length);
}

const char* TUniqueStringList::TextData(TId id) const { return id ? EntryAt(id)->text : ""; }

std::uint32_t TUniqueStringList::Object(TId id) const { return id ? EntryAt(id)->object : 0; }

void TUniqueStringList::SetObject(TId id, std::uint32_t object) {
  if (id) EntryAt(id)->object = object;
}

TUniqueStringList::TId TUniqueStringList::First() const { return fCount ? TId(1) : TId(0); }

TUniqueStringList::TId TUniqueStringList::Next(TId id) const {
  if (!id) return 0;
  std::uint32_t block = id >> kBlockShift;
  std::uint32_t unit = (id & (kBlockUnits - 1)) + UnitsFor(EntryAt(id)->length);
  if (unit >= fBlockUsed[block]) {
    ++block;
    unit = 0;
    if (block >= fBlockUsed.size() || fBlockUsed[block] == 0) return 0;
  }
  return (block << kBlockShift) | unit;
}
