#pragma once

#include <QString>

// Points HOME and the XDG folders of the process into a fresh temporary
// directory, so no test reads or writes the real user's files. Call before
// the Qt application object exists.
class TTestEnvironment {
 public:
  TTestEnvironment();
  ~TTestEnvironment();
  TTestEnvironment(const TTestEnvironment&) = delete;
  TTestEnvironment& operator=(const TTestEnvironment&) = delete;

  // The temporary home directory (no trailing "/").
  static QString Home();

 private:
  QString fRoot;
};
