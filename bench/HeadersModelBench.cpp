// Loads generated headers into a header set (THeaders::Add for each, then
// Finalize) and measures time and resident memory per header, against a
// plain baseline model (standard containers, one string per text) fed the
// same headers. Each measurement runs in a child process of its own, so the
// program-wide interning tables and the allocator start empty every time.
//
//   bench_headers_model                 1,000,000 and 5,000,000 headers
//   bench_headers_model --headers N     one size
//   options: --text-share F (0.05), --seed S (1), --no-baseline, --no-reserve
//   (without Reserve the article arrays grow by doubling, as when the count
//   is not known beforehand)

#include "ChildProcess.h"
#include "HeaderGenerator.h"
#include "model/Headers.h"
#include "model/InternedStrings.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;
constexpr std::size_t kBatch = 25000;  // the loader's index batch

std::size_t ResidentBytes() {
  long pages = 0;
  long resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<std::size_t>(resident) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

std::size_t PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
  return 0;
}

struct TOptions {
  std::uint64_t headers = 0;
  double textShare = 0.05;
  std::uint64_t seed = 1;
  bool baseline = true;
  bool reserve = true;
};

struct TResult {
  double addSeconds = 0;
  double finalizeSeconds = 0;
  std::size_t rssGrowth = 0;
  std::size_t peakGrowth = 0;
};

THeaderGeneratorOptions GeneratorOptions(const TOptions& o) {
  THeaderGeneratorOptions g;
  g.seed = o.seed;
  g.textShare = o.textShare;
  return g;
}

double Seconds(TClock::duration d) { return std::chrono::duration<double>(d).count(); }

TResult RunModel(const TOptions& o) {
  THeaderGenerator generator(GeneratorOptions(o));
  std::vector<TLoadedHeader> batch;
  std::string arena;
  // Warm the batch buffers so that they are not counted as model memory.
  generator.NextBatch(kBatch, batch, arena);
  THeaderGenerator fresh(GeneratorOptions(o));
  generator = fresh;

  TResult r;
  std::uint64_t fileBytes = 0;
  const std::size_t rssBefore = ResidentBytes();
  auto* headers = new THeaders;
  if (o.reserve) headers->Reserve(o.headers);  // the loader knows how many headers it reads
  for (std::uint64_t done = 0; done < o.headers;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBatch, o.headers - done));
    generator.NextBatch(n, batch, arena);
    for (std::size_t i = 0; i < n; ++i)
      fileBytes += 40 + 4 +
                   static_cast<std::uint64_t>(batch[i].subject.size() + batch[i].sender.size() +
                                              batch[i].messageId.size() + batch[i].references.size());
    const auto start = TClock::now();
    for (std::size_t i = 0; i < n; ++i) {
      if (!headers->Add(batch[i])) {
        std::fprintf(stderr, "Add failed at header %llu\n", static_cast<unsigned long long>(done + i));
        std::exit(1);
      }
    }
    r.addSeconds += Seconds(TClock::now() - start);
    done += n;
  }
  const auto start = TClock::now();
  headers->Finalize();
  r.finalizeSeconds = Seconds(TClock::now() - start);
  r.rssGrowth = ResidentBytes() - rssBefore;
  r.peakGrowth = PeakResidentBytes() - rssBefore;

  // Where the bytes go.
  const THeadersMemory m = headers->Memory();
  std::uint64_t diffs = 0;
  std::uint64_t multipartPosts = 0;
  std::uint64_t complete = 0;
  std::uint64_t textArticles = 0;
  for (int p = 0; p < headers->PostCount(); ++p) {
    const TPost& post = headers->Post(p);
    if (post.IsMultipart()) {
      ++multipartPosts;
      complete += post.HasFlag(POST_FLAG_COMPLETE_MULTIPART);
    } else {
      textArticles += static_cast<std::uint64_t>(post.ArticleCount());
    }
    for (int i = 0; i < post.ArticleCount(); ++i) diffs += post.Article(i).HasFlag(ARTICLE_FLAG_MESSAGEID_IS_DIFF);
  }
  const double n = static_cast<double>(o.headers);
  const double total = r.addSeconds + r.finalizeSeconds;
  const TInternedStrings& senders = TInternedStrings::Senders();
  const TInternedStrings& references = TInternedStrings::References();
  std::printf("THeaders, %llu headers (%.1f%% text), seed %llu\n", static_cast<unsigned long long>(o.headers),
              o.textShare * 100, static_cast<unsigned long long>(o.seed));
  std::printf("  Add %.3f s + Finalize %.3f s = %.3f s: %.2f million headers/s\n", r.addSeconds, r.finalizeSeconds,
              total, n / total / 1e6);
  std::printf("  resident growth %.1f MB: %.1f bytes/header (peak growth %.1f bytes/header)\n", r.rssGrowth / 1e6,
              r.rssGrowth / n, r.peakGrowth / n);
  std::printf("  header file size for comparison: %.1f bytes/header\n", static_cast<double>(fileBytes) / n);
  std::printf("  posts %d (%llu binary, %llu complete), articles %llu (%llu text)\n", headers->PostCount(),
              static_cast<unsigned long long>(multipartPosts), static_cast<unsigned long long>(complete),
              static_cast<unsigned long long>(headers->TotalArticles()), static_cast<unsigned long long>(textArticles));
  std::printf(
      "  bytes/header: article records %.1f, identifiers %.1f (%.1f%% as differences), posts %.1f, "
      "post index %.1f, senders %.1f (%u), references %.1f (%u)\n",
      m.articles / n, m.messageIds / n, 100.0 * static_cast<double>(diffs) / n, m.posts / n, m.postIndex / n,
      static_cast<double>(senders.BytesAllocated()) / n, senders.Count(),
      static_cast<double>(references.BytesAllocated()) / n, references.Count());
  std::fflush(stdout);
  // The set stays alive to the end: RSS was read with it in place.
  return r;
}

// The same headers in a plain model: per post a vector of articles holding
// their texts as std::string, posts found by lower-cased subject.
TResult RunBaseline(const TOptions& o) {
  struct TPlainArticle {
    std::string messageId;
    std::string sender;
    std::string references;
    std::uint32_t number, lines, bytes;
    double date;
    std::uint16_t newsgroup, part;
    bool reply, read;
  };
  struct TPlainPost {
    std::string subject;
    std::uint16_t totalParts = 0;
    std::vector<TPlainArticle> articles;
  };
  THeaderGenerator generator(GeneratorOptions(o));
  std::vector<TLoadedHeader> batch;
  std::string arena;
  generator.NextBatch(kBatch, batch, arena);
  THeaderGenerator fresh(GeneratorOptions(o));
  generator = fresh;

  TResult r;
  const std::size_t rssBefore = ResidentBytes();
  auto* index = new std::unordered_map<std::string, std::size_t>;
  auto* posts = new std::vector<TPlainPost>;
  std::string key;
  for (std::uint64_t done = 0; done < o.headers;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBatch, o.headers - done));
    generator.NextBatch(n, batch, arena);
    const auto start = TClock::now();
    for (std::size_t i = 0; i < n; ++i) {
      const TLoadedHeader& h = batch[i];
      key.assign(h.subject.data(), static_cast<std::size_t>(h.subject.size()));
      for (char& c : key) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
      auto [it, added] = index->try_emplace(key, posts->size());
      if (added) posts->push_back({std::string(h.subject.data(), h.subject.size()), h.totalParts, {}});
      (*posts)[it->second].articles.push_back({std::string(h.messageId.data(), h.messageId.size()),
                                               std::string(h.sender.data(), h.sender.size()),
                                               std::string(h.references.data(), h.references.size()), h.number, h.lines,
                                               h.bytes, h.date, h.newsgroup, h.partNumber, h.reply, h.read});
    }
    r.addSeconds += Seconds(TClock::now() - start);
    done += n;
  }
  r.rssGrowth = ResidentBytes() - rssBefore;
  const double n = static_cast<double>(o.headers);
  std::printf("baseline (std::unordered_map + std::vector + std::string), %llu headers\n",
              static_cast<unsigned long long>(o.headers));
  std::printf("  add %.3f s: %.2f million headers/s; resident growth %.1f MB: %.1f bytes/header\n", r.addSeconds,
              n / r.addSeconds / 1e6, r.rssGrowth / 1e6, r.rssGrowth / n);
  std::fflush(stdout);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  std::vector<std::uint64_t> sizes;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--headers" && i + 1 < argc) {
      sizes.push_back(std::strtoull(argv[++i], nullptr, 10));
    } else if (arg == "--text-share" && i + 1 < argc) {
      options.textShare = std::strtod(argv[++i], nullptr);
    } else if (arg == "--seed" && i + 1 < argc) {
      options.seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--no-baseline") {
      options.baseline = false;
    } else if (arg == "--no-reserve") {
      options.reserve = false;
    } else {
      std::fprintf(stderr, "usage: %s [--headers N]... [--text-share F] [--seed S] [--no-baseline] [--no-reserve]\n",
                   argv[0]);
      return 2;
    }
  }
  if (sizes.empty()) sizes = {1000000, 5000000};
  bool ok = true;
  for (const std::uint64_t size : sizes) {
    options.headers = size;
    TResult model;
    TResult baseline;
    const bool modelOk = InChild(RunModel, options, model);
    ok = modelOk && ok;
    if (options.baseline) {
      const bool baselineOk = InChild(RunBaseline, options, baseline);
      ok = baselineOk && ok;
      if (modelOk && baselineOk)
        std::printf("ratio baseline/THeaders: time %.2f, memory %.2f\n",
                    baseline.addSeconds / (model.addSeconds + model.finalizeSeconds),
                    static_cast<double>(baseline.rssGrowth) / static_cast<double>(model.rssGrowth));
    }
    std::printf("\n");
  }
  return ok ? 0 : 1;
}
