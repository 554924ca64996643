// Runs the built ZelvoSvc executable as a user would: copied into a fresh
// temporary folder with its INI file, started with /RUN (or any arguments),
// sent signals, and its log, INI file, output and exit code read back.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFileOrEmpty(const std::string& path);
void WriteFileOrDie(const std::string& path, const std::string& content);

struct ExitStatus {
  bool Exited = false;   // ended normally
  int Code = -1;         // exit code when Exited
  int Signal = 0;        // terminating signal otherwise
  bool TimedOut = false; // still running at the deadline (then killed)
};

// One copy of the executable in a temporary folder.
class ServiceRun {
 public:
  ServiceRun();
  ~ServiceRun();  // kills a process still running
  ServiceRun(const ServiceRun&) = delete;
  ServiceRun& operator=(const ServiceRun&) = delete;

  std::string Dir() const { return dir_.Path(); }
  std::string ExePath() const { return dir_.File("ZelvoSvc"); }
  std::string IniPath() const { return dir_.File("ZelvoSvc.ini"); }
  std::string LogPath() const { return dir_.File("ZelvoSvc.log"); }

  void WriteIni(const std::string& content) { WriteFileOrDie(IniPath(), content); }
  std::string Ini() const { return ReadFileOrEmpty(IniPath()); }
  std::string Log() const { return ReadFileOrEmpty(LogPath()); }
  // The log's lines with their 20-character time stamp prefix removed
  // (a line without one, such as the empty line, is kept as it is).
  std::vector<std::string> LogMessages() const;

  // Extra environment for the child ("NAME=value"); the child also gets
  // NOTIFY_SOCKET and INVOCATION_ID removed unless given here.
  std::vector<std::string> Env;
  // When above 0, the child's file-size limit in bytes (RLIMIT_FSIZE).
  long FileSizeLimit = 0;

  // Starts the executable with `args` (e.g. {"/RUN"}); output captured.
  void Start(const std::vector<std::string>& args = {"/RUN"});
  // Runs to the end with a deadline; returns how it ended.
  ExitStatus Run(const std::vector<std::string>& args, std::chrono::milliseconds limit);
  void Signal(int sig);
  ExitStatus Wait(std::chrono::milliseconds limit);
  pid_t Pid() const { return pid_; }
  bool Running();

  // Everything the child wrote so far (read after Wait).
  std::string Stdout() const { return stdout_; }
  std::string Stderr() const { return stderr_; }

  // Polls (every 20 ms, bounded by `limit`) until `pred` holds; returns it.
  static bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit);
  // Waits until the log holds a line containing `text` (bounded).
  bool WaitForLog(const std::string& text, std::chrono::milliseconds limit);
  // Number of log lines containing `text`.
  int CountLog(const std::string& text) const;

 private:
  void Drain();
  TempDir dir_;
  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::string stdout_;
  std::string stderr_;
};

// A host name that never resolves and never leaves the machine: its first label
// is longer than the 63 characters DNS allows, so the resolver refuses it
// locally instead of asking a name server (a ".invalid" name alone would be sent).
inline const std::string kUnresolvableHost = std::string(64, 'x') + ".zelvo-test.invalid";

// Returns a local "yyyy.mm.dd hh:nn:ss" stamp `offsetSeconds` from now.
std::string StampFromNow(long offsetSeconds);
