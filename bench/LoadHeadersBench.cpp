// Loads header files into a header set (TLoadHeadersThread, the whole load:
// reading, checking and handing every record to THeaders, then Finalize) and
// compares it with reading the same files sequentially into a discard buffer,
// in the same run. The files are written first by THeaderFileWriter from the
// shared header generator, exactly as a headers job leaves them. Each
// measurement runs in a child process of its own, so the program-wide
// interning tables and the allocator start empty every time.
//
//   bench_load_headers                 1,000,000 and 5,000,000 headers
//   bench_load_headers --headers N     one size (repeatable)
//   options: --dir D (where the files go; default a temporary directory),
//   --keep (leave the files), --seed S (1), --text-share F (0.05),
//   --cold (drop the files from the page cache before each measurement),
//   --repeat R (3: each measurement R times, the fastest run reported, since
//   other work on the machine only ever makes a run slower)

#include "ChildProcess.h"
#include "HeaderGenerator.h"
#include "headers/HeaderFileWriter.h"
#include "headers/LoadHeadersThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;
constexpr std::size_t kBatch = 25000;

double Seconds(TClock::duration d) { return std::chrono::duration<double>(d).count(); }

std::size_t ResidentBytes() {
  long pages = 0;
  long resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<std::size_t>(resident) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

struct TOptions {
  std::uint64_t headers = 0;
  std::uint64_t seed = 1;
  double textShare = 0.05;
  bool cold = false;
  int repeat = 3;
  QString base;  // the job's files without extension
};

struct TResult {
  double seconds = 0;
  std::uint64_t bytes = 0;
  std::uint64_t articles = 0;
  std::size_t rssGrowth = 0;
  bool ok = false;
};

QString Path(const TOptions& o, const char* ext) { return o.base + QString::fromLatin1(ext); }

// Writes the job's files; answers the seconds the writer took.
double WriteFiles(const TOptions& o) {
  THeaderGeneratorOptions g;
  g.seed = o.seed;
  g.textShare = o.textShare;
  THeaderGenerator generator(g);
  THeaderFileWriter writer;
  if (!writer.Open(Path(o, ".hdrs"), Path(o, ".idx"), Path(o, ".seek"))) {
    std::fprintf(stderr, "cannot create the header files in %s\n", qPrintable(o.base));
    std::exit(1);
  }
  std::vector<TLoadedHeader> batch;
  std::string arena;
  double seconds = 0;
  for (std::uint64_t done = 0; done < o.headers;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBatch, o.headers - done));
    generator.NextBatch(n, batch, arena);
    const auto start = TClock::now();
    for (const TLoadedHeader& l : batch) {
      TNewsHeader h;
      h.number = l.number;
      h.lines = l.lines;
      h.bytes = l.bytes;
      h.date = l.date;
      h.newsgroup = l.newsgroup;
      h.partNumber = l.partNumber;
      h.totalParts = l.totalParts;
      h.reply = l.reply;
      h.subject = l.subject;
      h.sender = l.sender;
      h.messageId = l.messageId;
      h.references = l.references;
      if (!writer.Write(h)) {
        std::fprintf(stderr, "write failed: %s\n", qPrintable(writer.ErrorText()));
        std::exit(1);
      }
    }
    seconds += Seconds(TClock::now() - start);
    done += n;
  }
  const auto start = TClock::now();
  if (!writer.Close()) std::exit(1);
  seconds += Seconds(TClock::now() - start);
  QFile job(Path(o, ".kvj"));
  if (!job.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      job.write("[Job]\r\nJob.Status=JOB_STATUS_COMPLETED\r\n") < 0)
    std::exit(1);
  return seconds;
}

// Asks the kernel to forget the files' cached pages, so the next read comes from the disk.
void DropFromCache(const TOptions& o) {
  for (const char* ext : {".hdrs", ".idx", ".seek"}) {
    const int fd = ::open(QFile::encodeName(Path(o, ext)).constData(), O_RDONLY);
    if (fd < 0) continue;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  }
}

// The bare baseline: both files read front to back in 512 KiB reads, the bytes thrown away.
TResult RunBareRead(const TOptions& o) {
  TResult r;
  std::vector<char> buffer(512 * 1024);
  const auto start = TClock::now();
  for (const char* ext : {".idx", ".hdrs"}) {
    const int fd = ::open(QFile::encodeName(Path(o, ext)).constData(), O_RDONLY);
    if (fd < 0) return r;
    for (;;) {
      const ssize_t n = ::read(fd, buffer.data(), buffer.size());
      if (n < 0) {
        ::close(fd);
        return r;
      }
      if (n == 0) break;
      r.bytes += static_cast<std::uint64_t>(n);
    }
    ::close(fd);
  }
  r.seconds = Seconds(TClock::now() - start);
  r.ok = true;
  return r;
}

TResult RunLoad(const TOptions& o) {
  TResult r;
  const std::size_t before = ResidentBytes();
  TLoadHeadersThread loader;
  loader.SetJobFileName(Path(o, ".kvj"));
  const auto start = TClock::now();
  const RETURN_CODES rc = loader.Execute();
  r.seconds = Seconds(TClock::now() - start);
  const std::shared_ptr<THeaders> headers = loader.TakeHeaders();
  r.rssGrowth = ResidentBytes() - before;
  r.bytes = loader.BytesRead();
  r.ok = rc == RC_SUCCESS && headers;
  if (r.ok) r.articles = headers->TotalArticles();
  return r;
}

// For scale: the same headers handed to THeaders from memory (Add and
// Finalize timed, generation not), i.e. the load without any file.
TResult RunModelOnly(const TOptions& o) {
  TResult r;
  THeaderGeneratorOptions g;
  g.seed = o.seed;
  g.textShare = o.textShare;
  THeaderGenerator generator(g);
  std::vector<TLoadedHeader> batch;
  std::string arena;
  THeaders headers;
  headers.Reserve(o.headers);
  for (std::uint64_t done = 0; done < o.headers;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBatch, o.headers - done));
    generator.NextBatch(n, batch, arena);
    const auto start = TClock::now();
    for (const TLoadedHeader& h : batch)
      if (!headers.Add(h)) return r;
    r.seconds += Seconds(TClock::now() - start);
    done += n;
  }
  const auto start = TClock::now();
  headers.Finalize();
  r.seconds += Seconds(TClock::now() - start);
  r.articles = headers.TotalArticles();
  r.ok = true;
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  TOptions options;
  std::vector<std::uint64_t> sizes;
  QString dir;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--headers" && i + 1 < argc) {
      sizes.push_back(std::strtoull(argv[++i], nullptr, 10));
    } else if (arg == "--dir" && i + 1 < argc) {
      dir = QString::fromLocal8Bit(argv[++i]);
    } else if (arg == "--keep") {
      keep = true;
    } else if (arg == "--seed" && i + 1 < argc) {
      options.seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--text-share" && i + 1 < argc) {
      options.textShare = std::strtod(argv[++i], nullptr);
    } else if (arg == "--repeat" && i + 1 < argc) {
      options.repeat = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--cold") {
      options.cold = true;
    } else {
      std::fprintf(stderr,
                   "usage: %s [--headers N]... [--dir D] [--keep] [--seed S] [--text-share F] [--cold] [--repeat R]\n",
                   argv[0]);
      return 2;
    }
  }
  if (sizes.empty()) sizes = {1000000, 5000000};
  QTemporaryDir temporary;
  if (dir.isEmpty()) {
    if (!temporary.isValid()) return 1;
    dir = temporary.path();
    temporary.setAutoRemove(!keep);
  }
  QDir().mkpath(dir);

  bool ok = true;
  for (const std::uint64_t size : sizes) {
    options.headers = size;
    options.base = dir + QStringLiteral("/{BENCH-%1}").arg(size);
    const double writeSeconds = WriteFiles(options);
    const double n = static_cast<double>(size);
    const qint64 fileBytes = QFile(Path(options, ".hdrs")).size() + QFile(Path(options, ".idx")).size();
    std::printf(
        "%llu headers, seed %llu: header files %.1f MB (%.1f bytes/header), written in %.3f s (%.2f million "
        "headers/s)%s\n",
        static_cast<unsigned long long>(size), static_cast<unsigned long long>(options.seed), fileBytes / 1e6,
        fileBytes / n, writeSeconds, n / writeSeconds / 1e6, options.cold ? ", cold cache" : "");

    // The fastest of the repeated runs of each measurement.
    const auto best = [&](TResult (*run)(const TOptions&), TResult& result) {
      bool any = false;
      for (int r = 0; r < options.repeat; ++r) {
        if (options.cold) DropFromCache(options);
        TResult one;
        if (!InChild(run, options, one) || !one.ok) return false;
        if (!any || one.seconds < result.seconds) result = one;
        any = true;
      }
      return any;
    };
    TResult bare;
    TResult load;
    TResult model;
    const bool bareOk = best(RunBareRead, bare);
    const bool loadOk = best(RunLoad, load);
    const bool modelOk = best(RunModelOnly, model);
    ok = ok && bareOk && loadOk && modelOk;
    if (bareOk)
      std::printf("  bare read: %.3f s, %.1f MB/s\n", bare.seconds,
                  static_cast<double>(bare.bytes) / bare.seconds / 1e6);
    if (loadOk) {
      std::printf("  load into THeaders: %.3f s, %.2f million headers/s, %llu articles read %.1f MB\n", load.seconds,
                  n / load.seconds / 1e6, static_cast<unsigned long long>(load.articles),
                  static_cast<double>(load.bytes) / 1e6);
      std::printf("  resident growth %.1f MB: %.1f bytes/header\n", load.rssGrowth / 1e6, load.rssGrowth / n);
    }
    if (modelOk)
      std::printf(
          "  for scale, THeaders Add + Finalize of the same headers from memory: %.3f s, %.2f million headers/s\n",
          model.seconds, n / model.seconds / 1e6);
    if (bareOk && loadOk) std::printf("  ratio load/bare read: %.2f\n", load.seconds / bare.seconds);
    if (modelOk && loadOk) std::printf("  ratio load/THeaders alone: %.2f\n", load.seconds / model.seconds);
    std::printf("\n");
    if (!keep)
      for (const char* ext : {".hdrs", ".idx", ".seek", ".kvj"}) QFile::remove(Path(options, ext));
  }
  return ok ? 0 : 1;
}
