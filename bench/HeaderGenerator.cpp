#include "HeaderGenerator.h"

#include "model/SubjectParsing.h"

#include <QByteArray>

#include <charconv>
#include <cmath>

namespace {

const char* const kWords[] = {
    "Ubuntu",      "Desktop",  "Collection", "Holiday",    "Pictures", "Linux",   "Server", "Edition", "Nature",
    "Documentary", "Ocean",    "Mountains",  "Archive",    "Complete", "Series",  "Sounds", "Of",      "The",
    "Forest",      "City",     "Lights",     "Winter",     "Summer",   "Journey", "Planet", "Earth",   "Classic",
    "Concert",     "Live",     "Remastered", "Deluxe",     "Photos",   "Birds",   "Trains", "Vintage", "Radio",
    "Shows",       "Lectures", "Physics",    "History",    "Ancient",  "Rome",    "Garden", "Recipes", "Jazz",
    "Piano",       "Sessions", "Orchestra",  "Wallpapers", "Maps",     "Atlas"};
constexpr int kWordCount = sizeof(kWords) / sizeof(kWords[0]);

const char* const kHosts[] = {"news.example.net",  "reader.example.org", "news.example.com",
                              "feed.example.info", "news.invalid",       "usenet.example.de"};
constexpr int kHostCount = sizeof(kHosts) / sizeof(kHosts[0]);

const char kAlnum[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
const char kHex[] = "0123456789abcdef";

void AppendNumber(std::string& out, std::uint64_t value, int width = 0) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof(digits), value);
  for (int pad = width - static_cast<int>(result.ptr - digits); pad > 0; --pad) out += '0';
  out.append(digits, result.ptr);
}

int Digits(int n) { return n >= 1000 ? 4 : n >= 100 ? 3 : n >= 10 ? 2 : 1; }

std::uint64_t SplitMix(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

inline std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

enum { ID_NUMBERED, ID_SEQUENTIAL, ID_RANDOM, ID_UUID };

}  // namespace

THeaderGenerator::THeaderGenerator(const THeaderGeneratorOptions& options) : fOptions(options) {
  std::uint64_t seed = options.seed;
  for (std::uint64_t& s : fState) s = SplitMix(seed);
  const int senders = options.senderPool > 0 ? options.senderPool : 1;
  fSenders.reserve(static_cast<std::size_t>(senders));
  for (int i = 0; i < senders; ++i) {
    std::string s;
    switch (Below(4)) {
      case 0:
        s = kWords[Below(kWordCount)];
        s += ' ';
        s += kWords[Below(kWordCount)];
        s += " <";
        AppendRandomAlnum(s, 6 + static_cast<int>(Below(6)));
        s += '@';
        s += kHosts[Below(kHostCount)];
        s += '>';
        break;
      case 1:
        AppendRandomAlnum(s, 8);
        s += "@example.com (";
        s += kWords[Below(kWordCount)];
        s += ')';
        break;
      case 2:
        s = "Poster <poster";
        AppendNumber(s, static_cast<std::uint64_t>(i));
        s += "@nospam.invalid>";
        break;
      default:
        s = '"';
        s += kWords[Below(kWordCount)];
        s += "\" <";
        AppendRandomAlnum(s, 10);
        s += "@";
        s += kHosts[Below(kHostCount)];
        s += '>';
        break;
    }
    fSenders.push_back(std::move(s));
  }
  fPosters.resize(static_cast<std::size_t>(options.concurrentPosters > 0 ? options.concurrentPosters : 1));
  for (TPostSet& set : fPosters) StartPostSet(set);
}

std::uint64_t THeaderGenerator::Random() {
  // xoshiro256**
  const std::uint64_t result = Rotl(fState[1] * 5, 7) * 9;
  const std::uint64_t t = fState[1] << 17;
  fState[2] ^= fState[0];
  fState[3] ^= fState[1];
  fState[1] ^= fState[2];
  fState[0] ^= fState[3];
  fState[2] ^= t;
  fState[3] = Rotl(fState[3], 45);
  return result;
}

void THeaderGenerator::AppendRandomAlnum(std::string& out, int count) {
  for (int i = 0; i < count; ++i) out += kAlnum[Below(sizeof(kAlnum) - 1)];
}

void THeaderGenerator::AppendWordName(std::string& out, int words, char separator) {
  for (int i = 0; i < words; ++i) {
    if (i) out += separator;
    out += kWords[Below(kWordCount)];
  }
}

int THeaderGenerator::PickSender() {
  // A few posters post most of a group.
  const double u = Unit();
  return static_cast<int>(static_cast<double>(fSenders.size()) * u * u * u);
}

void THeaderGenerator::StartPostSet(TPostSet& set) {
  set = TPostSet();
  set.style = static_cast<int>(Below(5));
  const double idRoll = Unit();
  set.idStyle = idRoll < 0.30 ? ID_NUMBERED : idRoll < 0.55 ? ID_SEQUENTIAL : idRoll < 0.80 ? ID_RANDOM : ID_UUID;
  set.sender = PickSender();
  if (set.idStyle == ID_RANDOM && Below(2)) {
    AppendRandomAlnum(set.name, 16);  // obfuscated release name
  } else {
    AppendWordName(set.name, 2 + static_cast<int>(Below(4)), '.');
    set.name += '.';
    AppendNumber(set.name, 1990 + Below(34));
  }
  AppendRandomAlnum(set.idTag, 8);
  set.idSerial = Random() % 900000 + 100000;
  static const std::uint32_t kPartSizes[] = {384000, 640000, 716800, 768000};
  set.partBytes = kPartSizes[Below(4)];

  const int volumes = 3 + static_cast<int>(Below(28));
  const std::uint64_t volumeBytes = (15 + Below(86)) * 1000000ull;
  const int width = volumes >= 100 ? 3 : 2;
  const auto addFile = [&](std::string name, std::uint64_t bytes) {
    TFile f;
    f.name = std::move(name);
    f.parts = static_cast<int>((bytes + set.partBytes - 1) / set.partBytes);
    if (f.parts < 1) f.parts = 1;
    f.lastPartBytes = static_cast<std::uint32_t>(bytes - std::uint64_t(f.parts - 1) * set.partBytes);
    set.files.push_back(std::move(f));
  };
  addFile(set.name + ".nfo", 2000 + Below(8000));
  if (Below(2)) addFile(set.name + ".sfv", 200 + Below(2000));
  for (int v = 1; v <= volumes; ++v) {
    std::string name = set.name + ".part";
    AppendNumber(name, static_cast<std::uint64_t>(v), width);
    name += ".rar";
    addFile(std::move(name), v == volumes ? volumeBytes / (2 + Below(5)) : volumeBytes);
  }
  addFile(set.name + ".par2", 20000 + Below(40000));
  std::uint64_t block = set.partBytes / 2;
  for (int p = 0, first = 0; p < 3 + static_cast<int>(Below(5)); ++p) {
    const int count = 1 << p;
    std::string name = set.name + ".vol";
    AppendNumber(name, static_cast<std::uint64_t>(first), 3);
    name += '+';
    AppendNumber(name, static_cast<std::uint64_t>(count), 3);
    name += ".par2";
    addFile(std::move(name), block * static_cast<std::uint64_t>(count));
    first += count;
  }
  set.part = 1;
}

void THeaderGenerator::NextBinary() {
  TPostSet& set = fPosters[Below(static_cast<std::uint32_t>(fPosters.size()))];
  TFile* file = &set.files[static_cast<std::size_t>(set.file)];
  // Parts that never arrive.
  while (Unit() < fOptions.missingPartRate) {
    if (++set.part > file->parts) {
      set.part = 1;
      if (++set.file >= static_cast<int>(set.files.size())) StartPostSet(set);
      file = &set.files[static_cast<std::size_t>(set.file)];
    }
  }
  const int part = set.part;
  const int parts = file->parts;
  const int fileNumber = set.file + 1;
  const int fileCount = static_cast<int>(set.files.size());

  fPosted.clear();
  switch (set.style) {
    case 0:
      fPosted += '[';
      AppendNumber(fPosted, static_cast<std::uint64_t>(fileNumber), Digits(fileCount));
      fPosted += '/';
      AppendNumber(fPosted, static_cast<std::uint64_t>(fileCount));
      fPosted += "] - \"";
      fPosted += file->name;
      fPosted += "\" yEnc (";
      AppendNumber(fPosted, static_cast<std::uint64_t>(part));
      fPosted += '/';
      AppendNumber(fPosted, static_cast<std::uint64_t>(parts));
      fPosted += ')';
      break;
    case 1:
      fPosted += file->name;
      fPosted += " [";
      AppendNumber(fPosted, static_cast<std::uint64_t>(part));
      fPosted += '/';
      AppendNumber(fPosted, static_cast<std::uint64_t>(parts));
      fPosted += ']';
      break;
    case 2:
      fPosted += '"';
      fPosted += file->name;
      fPosted += "\" yEnc (";
      AppendNumber(fPosted, static_cast<std::uint64_t>(part), Digits(parts));
      fPosted += '/';
      AppendNumber(fPosted, static_cast<std::uint64_t>(parts));
      fPosted += ')';
      break;
    case 3:
      fPosted += '(';
      fPosted += set.name;
      fPosted += ") [";
      AppendNumber(fPosted, static_cast<std::uint64_t>(fileNumber), Digits(fileCount));
      fPosted += '/';
      AppendNumber(fPosted, static_cast<std::uint64_t>(fileCount));
      fPosted += "] - \"";
      fPosted += file->name;
      fPosted += "\" yEnc (";
      AppendNumber(fPosted, static_cast<std::uint64_t>(part));
      fPosted += '/';
      AppendNumber(fPosted, static_cast<std::uint64_t>(parts));
      fPosted += ')';
      break;
    default:
      fPosted += "Re-upload of ";
      fPosted += set.name;
      fPosted += " - ";
      fPosted += file->name;
      fPosted += " (";
      AppendNumber(fPosted, static_cast<std::uint64_t>(part));
      fPosted += '/';
      AppendNumber(fPosted, static_cast<std::uint64_t>(parts));
      fPosted += ')';
      break;
  }

  fMessageId.clear();
  switch (set.idStyle) {
    case ID_NUMBERED:
      fMessageId += "part";
      AppendNumber(fMessageId, static_cast<std::uint64_t>(part));
      fMessageId += "of";
      AppendNumber(fMessageId, static_cast<std::uint64_t>(parts));
      fMessageId += '.';
      fMessageId += set.idTag;
      fMessageId += "@powerpost.local";
      break;
    case ID_SEQUENTIAL:
      fMessageId += set.idTag;
      fMessageId += '.';
      AppendNumber(fMessageId, set.idSerial++);
      fMessageId += "@";
      fMessageId += kHosts[set.sender % kHostCount];
      break;
    case ID_RANDOM:
      AppendRandomAlnum(fMessageId, 32);
      fMessageId += "@ngPost.com";
      break;
    default:
      for (int i = 0; i < 32; ++i) {
        if (i == 8 || i == 12 || i == 16 || i == 20) fMessageId += '-';
        fMessageId += kHex[Below(16)];
      }
      fMessageId += "@nyuu";
      break;
  }
  fSender = fSenders[static_cast<std::size_t>(set.sender)];
  fReferences.clear();

  const std::uint32_t bytes = part == parts ? file->lastPartBytes : set.partBytes;
  fHeader.bytes = bytes + 600 + Below(200);
  fHeader.lines = bytes / 128 + 12;
  fHeader.reply = false;

  // Advance: now and then a part arrives twice.
  if (set.repeat || Unit() >= fOptions.duplicatePartRate) {
    set.repeat = false;
    if (++set.part > parts) {
      set.part = 1;
      if (++set.file >= fileCount) StartPostSet(set);
    }
  } else {
    set.repeat = true;
  }
}

void THeaderGenerator::NextText() {
  fPosted.clear();
  fReferences.clear();
  fMessageId.clear();
  AppendRandomAlnum(fMessageId, 8 + static_cast<int>(Below(8)));
  fMessageId += '$';
  AppendRandomAlnum(fMessageId, 3);
  fMessageId += "$1@";
  fMessageId += kHosts[Below(kHostCount)];

  if (fThreads.empty() || (fThreads.size() < 500 && Unit() < 0.2)) {
    TTextThread thread;
    AppendWordName(thread.subject, 3 + static_cast<int>(Below(5)), ' ');
    if (Below(3) == 0) thread.subject += '?';
    thread.remaining = 1 + static_cast<int>(Below(12));
    fPosted = thread.subject;
    // Now and then a thread begins with a reply whose parent expired.
    if (Below(20) == 0) {
      fPosted = "Re: " + thread.subject;
      fReferences = '<';
      AppendRandomAlnum(fReferences, 12);
      fReferences += "@gone.example>";
    }
    thread.articles.push_back({fMessageId, fReferences});
    fThreads.push_back(std::move(thread));
  } else {
    // Recent threads get most replies.
    const double u = Unit();
    const auto index = fThreads.size() - 1 - static_cast<std::size_t>(static_cast<double>(fThreads.size()) * u * u);
    TTextThread& thread = fThreads[index];
    const TThreadArticle& parent =
        thread.articles[thread.articles.size() - 1 - Below(static_cast<std::uint32_t>(thread.articles.size()))];
    fReferences = parent.references;
    if (!fReferences.empty()) fReferences += ' ';
    fReferences += '<';
    fReferences += parent.id;
    fReferences += '>';
    // Long chains keep the first and the latest identifiers.
    std::size_t count = 0;
    for (char c : fReferences) count += c == '<';
    if (count > 12) {
      const std::size_t firstEnd = fReferences.find('>') + 1;
      std::size_t cut = firstEnd;
      for (std::size_t drop = count - 11; drop > 0; --drop) cut = fReferences.find('>', cut) + 1;
      fReferences.erase(firstEnd, cut - firstEnd);
    }
    fPosted = (Below(10) == 0 ? "Re: Re: " : "Re: ") + thread.subject;
    thread.articles.push_back({fMessageId, fReferences});
    if (--thread.remaining <= 0) fThreads.erase(fThreads.begin() + static_cast<std::ptrdiff_t>(index));
  }
  fSender = fSenders[static_cast<std::size_t>(PickSender())];
  fHeader.bytes = 900 + Below(5000);
  fHeader.lines = 12 + Below(120);
}

void THeaderGenerator::Publish() {
  // What the header download does to a subject before storing it.
  QByteArray subject(fPosted.data(), static_cast<qsizetype>(fPosted.size()));
  fHeader.reply = StripReplyPrefixes(subject);
  const TPartCounter counter = ParsePartCounter(subject);
  fSubject.assign(subject.constData(), static_cast<std::size_t>(subject.size()));
  fHeader.partNumber = counter.part;
  fHeader.totalParts = counter.total;
  fHeader.subject = QByteArrayView(fSubject.data(), static_cast<qsizetype>(fSubject.size()));
  fHeader.sender = QByteArrayView(fSender.data(), static_cast<qsizetype>(fSender.size()));
  fHeader.messageId = QByteArrayView(fMessageId.data(), static_cast<qsizetype>(fMessageId.size()));
  fHeader.references = QByteArrayView(fReferences.data(), static_cast<qsizetype>(fReferences.size()));
}

const TLoadedHeader& THeaderGenerator::Next() {
  if (Unit() < fOptions.textShare) {
    NextText();
  } else {
    NextBinary();
  }
  fNumber += 1 + (Below(50) == 0 ? Below(5) : 0);
  fDate += (0.5 + Unit()) / 86400.0;
  fHeader.number = fNumber;
  fHeader.date = fDate;
  fHeader.newsgroup =
      static_cast<std::uint16_t>(fOptions.newsgroups > 1 ? Below(static_cast<std::uint32_t>(fOptions.newsgroups)) : 0);
  fHeader.read = false;
  Publish();
  ++fGenerated;
  return fHeader;
}

void THeaderGenerator::NextBatch(std::size_t count, std::vector<TLoadedHeader>& out, std::string& arena) {
  out.resize(count);
  arena.clear();
  // Offsets first: the arena may move while it grows.
  struct TSpans {
    std::size_t subject, sender, messageId, references;
  };
  std::vector<TSpans> spans(count);
  const auto put = [&arena](QByteArrayView text) {
    const std::size_t at = arena.size();
    arena.append(text.data(), static_cast<std::size_t>(text.size()));
    return at;
  };
  for (std::size_t i = 0; i < count; ++i) {
    const TLoadedHeader& h = Next();
    out[i] = h;
    spans[i] = {put(h.subject), put(h.sender), put(h.messageId), put(h.references)};
  }
  for (std::size_t i = 0; i < count; ++i) {
    TLoadedHeader& h = out[i];
    h.subject = QByteArrayView(arena.data() + spans[i].subject, h.subject.size());
    h.sender = QByteArrayView(arena.data() + spans[i].sender, h.sender.size());
    h.messageId = QByteArrayView(arena.data() + spans[i].messageId, h.messageId.size());
    h.references = QByteArrayView(arena.data() + spans[i].references, h.references.size());
  }
}
