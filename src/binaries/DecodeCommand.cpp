#include "binaries/DecodeCommand.h"

#include "app/FileUtils.h"
#include "binaries/NewsDecoder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <atomic>
#include <csignal>

using namespace Qt::StringLiterals;

namespace {

std::atomic<int> gAbort{0};

extern "C" void OnInterrupt(int) { gAbort.store(1); }

}  // namespace

int RunDecodeCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
  QStringList inputs;
  QString directory = QDir::currentPath();
  bool overwrite = false;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == u"--dir"_s) {
      if (++i >= arguments.size()) {
        err << "korvel-cli decode: --dir needs a directory\n";
        return 2;
      }
      directory = arguments[i];
    } else if (argument == u"--overwrite"_s) {
      overwrite = true;
    } else if (argument.startsWith(u"--"_s)) {
      err << "korvel-cli decode: unknown option " << argument << '\n';
      return 2;
    } else {
      inputs.append(argument);
    }
  }
  if (inputs.isEmpty()) {
    err << "usage: korvel-cli decode ARTICLE_FILE... [--dir DIR] [--overwrite]\n";
    return 2;
  }
  if (!QDir().mkpath(directory)) {
    err << "korvel-cli decode: cannot create " << directory << '\n';
    return 1;
  }

  TNewsDecoder decoder(QCoreApplication::applicationDirPath() + u"/SystemData/_BadStrings/"_s);
  decoder.SetDestination(QFileInfo(directory).absoluteFilePath());
  decoder.OverwriteFiles = overwrite;
  decoder.SetAbortFlag(&gAbort);
  decoder.OnEvent = [&err](TNewsDecoder*, const QString& text) {
    err << text << '\n';
    err.flush();
  };
  for (const QString& input : inputs) decoder.AddInput(QFileInfo(input).absoluteFilePath());

  gAbort.store(0);
  auto previous = std::signal(SIGINT, OnInterrupt);
  const bool ok = decoder.Execute();
  std::signal(SIGINT, previous);

  bool checkFailed = false;
  for (const TDecodedFile& file : decoder.ProducedFiles()) {
    out << file.path << '\t' << file.size << " bytes\t";
    switch (file.check) {
      case DECODE_CHECK_GOOD:
        out << "CRC good";
        break;
      case DECODE_CHECK_MISMATCH:
        out << "CRC MISMATCH (" << file.detail << ')';
        checkFailed = true;
        break;
      case DECODE_CHECK_NO_CHECKSUM:
        out << "no checksum";
        break;
    }
    out << '\n';
  }
  for (const QString& name : decoder.Unfinished())
    out << WithTrailingSlash(decoder.Destination()) + name << "\tincomplete\n";
  out.flush();
  if (!ok) {
    err << "korvel-cli decode: " << QLatin1String(DecodeEndName(decoder.LastEnd()));
    if (decoder.LastEndIndex() >= 0) err << " at " << decoder.Inputs()[decoder.LastEndIndex()].path;
    err << '\n';
  }
  if (decoder.ProducedFiles().isEmpty() && ok) err << "korvel-cli decode: nothing to decode\n";
  return ok && !checkFailed && !decoder.ProducedFiles().isEmpty() ? 0 : 1;
}
