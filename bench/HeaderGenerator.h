#pragma once

#include "model/LoadedHeader.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// Settings of the generated header stream.
struct THeaderGeneratorOptions {
  std::uint64_t seed = 1;
  double textShare = 0.05;           // share of headers that are text articles
  int concurrentPosters = 6;         // binary post sets being posted at once
  double missingPartRate = 0.002;    // parts that never arrive (incomplete files)
  double duplicatePartRate = 0.001;  // parts that arrive twice
  int senderPool = 4000;             // distinct posters (picked with a strong bias)
  int newsgroups = 1;                // newsgroup indexes used
};

// A deterministic stream of realistic headers, as the header download stores
// them and the loader hands them to THeaders::Add: binary post sets of several
// files (archive volumes, repair files, an .nfo) whose parts carry "(k/n)" or
// "[k/n]" counters and identifiers in the styles of common posting tools
// (numbered, sequential and random), posted by a few posters at once so their
// parts interleave; text threads with Re: subjects and growing References
// chains; senders repeating with a strong bias. The same seed gives the same
// stream on every machine.
class THeaderGenerator {
 public:
  explicit THeaderGenerator(const THeaderGeneratorOptions& options = {});

  // The next header; its texts stay valid until the next call.
  const TLoadedHeader& Next();
  // The last header's subject as posted (before prefix and counter removal).
  const std::string& PostedSubject() const { return fPosted; }

  // Fills out with count headers whose texts live in arena (overwritten).
  void NextBatch(std::size_t count, std::vector<TLoadedHeader>& out, std::string& arena);

  std::uint64_t Generated() const { return fGenerated; }

 private:
  struct TFile {
    std::string name;
    int parts = 0;
    std::uint32_t lastPartBytes = 0;
  };
  struct TPostSet {
    int style = 0;    // subject style
    int idStyle = 0;  // identifier style
    int sender = 0;
    std::string name;
    std::string idTag;  // per-set random text of the numbered and sequential styles
    std::uint64_t idSerial = 0;
    std::uint32_t partBytes = 0;
    std::vector<TFile> files;
    int file = 0;
    int part = 0;  // next part of the current file, from 1
    bool repeat = false;
  };
  struct TThreadArticle {
    std::string id;
    std::string references;
  };
  struct TTextThread {
    std::string subject;
    std::vector<TThreadArticle> articles;
    int remaining = 0;
  };

  std::uint64_t Random();
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Random() % (n ? n : 1)); }
  double Unit() { return static_cast<double>(Random() >> 11) * (1.0 / 9007199254740992.0); }
  void AppendRandomAlnum(std::string& out, int count);
  void AppendWordName(std::string& out, int words, char separator);
  int PickSender();
  void StartPostSet(TPostSet& set);
  void NextBinary();
  void NextText();
  void Publish();

  THeaderGeneratorOptions fOptions;
  std::uint64_t fState[4];
  double fDate = 45000.0;  // days since 30 December 1899: March 2023
  std::uint32_t fNumber = 1000000;
  std::uint64_t fGenerated = 0;
  std::vector<TPostSet> fPosters;
  std::deque<TTextThread> fThreads;
  std::vector<std::string> fSenders;

  // The header being built.
  std::string fPosted;
  std::string fSubject;
  std::string fSender;
  std::string fMessageId;
  std::string fReferences;
  TLoadedHeader fHeader;
};
