#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class TActionTracker;

struct TVersionInfo {
  std::uint16_t major = 0, minor = 0, release = 0, build = 0;
  // "%d.%d.%d build %d", empty when the version is unknown.
  QString Text() const;
};

// Start-up and shutdown of the engine: the process-wide objects, the user
// data directory, settings and lists. The shell drives it in a fixed order and
// adds the windows between the steps.
class TApplicationCore {
 public:
  static TApplicationCore& Instance();

  // Log file in the documents folder (deleted first), verbose until start-up ends.
  static QString LogFilePath();
  void StartLogging();
  // True when any argument is "-forcesetup" (any case); then the bootstrap
  // files and the default data directory are removed.
  static bool HandleCommandLine(const QStringList& arguments);

  // Creates the process-wide objects, sets the application and system data
  // directories, looks up the user data directory and loads the action trail.
  // Returns false (with the message to show in errorText) when start-up must stop.
  bool CreateApplicationObjects(QString& errorText);
  void LogSystemInformation() const;

  // Paths, settings, servers, identities, scratch clean-up, line lists.
  bool Initialize();
  // Whether the program may go on. When "_Settings.ini" is missing,
  // runSetup is called (the first-run dialog) and must return true only when
  // it finished and wrote the settings.
  bool CheckSettings(bool& firstRun, const std::function<bool()>& runSetup);

  // gLogLevel takes over from the start-up verbosity.
  void ApplyLogLevel() const;
  // Settings written when the main window goes away (only with a data directory).
  void WriteSettingsOnExit();
  // Process-wide clean-up in its fixed order; saves the trail.
  void CleanUp();

  TActionTracker& Trail();
  const TVersionInfo& Version() const { return fVersion; }
  static QString TrailFilePath();

 private:
  TApplicationCore();
  ~TApplicationCore();

  TVersionInfo fVersion;
  TActionTracker* fTrail;
  bool fCleanedUp = false;
};
