// Real servers that nobody here wrote (nginx, tinyproxy) and other programs
// (git, cmake, htpasswd), run as child processes for the tests: each on a free
// loopback port in a temporary folder, always stopped within a time limit.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/Harness.h"

// `text` with every `from` replaced by `to`.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);

// The full path of an installed program (PATH, then /usr/sbin and /sbin);
// empty when it is not installed.
std::string FindProgram(const std::string& name);

// How a program run to its end went: exit code (-1 when killed or timed out)
// and everything it wrote to standard output and error.
struct ProgramResult {
  int Code = -1;
  bool TimedOut = false;
  std::string Output;
};

// Runs `argv` in `dir` with extra `env` ("NAME=value") until it ends or
// `limit` passes (then its whole process group is killed); output goes to
// `outputFile`, which is read back into the result.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& dir,
                         const std::vector<std::string>& env, const std::string& outputFile,
                         std::chrono::milliseconds limit);

// A child process in its own process group, its output appended to a file.
class Daemon {
 public:
  Daemon() = default;
  ~Daemon();  // stops it (bounded)
  Daemon(const Daemon&) = delete;
  Daemon& operator=(const Daemon&) = delete;

  // Starts `argv`; throws std::runtime_error when fork fails (a program that
  // cannot be run ends at once with exit code 127).
  void Start(const std::vector<std::string>& argv, const std::string& outputFile);
  // True while the process has not ended.
  bool Running();
  // SIGTERM, up to `limit` for the end, then SIGKILL to the process group.
  void Stop(std::chrono::milliseconds limit = std::chrono::seconds(10));

 private:
  pid_t pid_ = -1;
};

// A port on 127.0.0.1 that was free a moment ago.
int FreeLoopbackPort();
// True once something accepts connections on 127.0.0.1:`port` (bounded).
bool WaitForPort(int port, std::chrono::milliseconds limit);

// A whole nginx.conf that keeps pid, logs and temp files in `dir` (which
// must hold logs/ and tmp/), around `http`, the body of its http block.
std::string NginxConf(const std::string& dir, const std::string& http);
// Starts nginx in `dir` with `conf`, where @PORT@ stands for a free loopback
// port (a few tried); false with `error` set when it would not start.
bool LaunchNginx(Daemon& daemon, const TempDir& dir, const std::string& conf, int& port,
                 std::string& error);

// nginx serving tests/real/nginx.conf.in from a temporary folder.
class Nginx {
 public:
  // The session cookie value the router's first page hands out.
  static constexpr const char* kSession = "z3lvo-s3ssion";

  // Prepares the folder: pages showing 0.0.0.0, the login page, no accounts.
  Nginx();
  // Starts nginx on a free port (a few ports tried); false with `error` set
  // when nginx is missing or would not start.
  bool Start(std::string& error);
  // The port it listens on (0 before Start).
  int Port() const { return port_; }
  // "http://127.0.0.1:<port><path>".
  std::string Url(const std::string& path) const;
  // The temporary folder with its config, pages and logs.
  const std::string& Dir() const { return dir_.Path(); }

  // Writes every address page (ip.html, bare, lf, the router's status page)
  // so that it shows `address`; atomically, so nginx never serves half a page.
  void ShowAddress(const std::string& address);
  // Adds an account of the update endpoint (htpasswd -b); false on failure.
  bool AddUser(const std::string& user, const std::string& password);
  // The access log, one line per request, split at tabs: remote user,
  // status, request line, User-Agent, Cookie, Via, From.
  std::vector<std::vector<std::string>> AccessLog() const;
  // Start-up output and error log, for failure messages.
  std::string Diagnostics() const;

 private:
  void WritePage(const std::string& name, const std::string& content);
  TempDir dir_;
  Daemon daemon_;
  int port_ = 0;
  bool haveUsers_ = false;
};

// tinyproxy on a free loopback port that admits 127.0.0.1 only.
class TinyProxy {
 public:
  // False with `error` set when tinyproxy is missing or would not start.
  bool Start(std::string& error);
  // The port it listens on (0 before Start).
  int Port() const { return port_; }
  // Its output so far: every connection and request it logged.
  std::string Log() const;

 private:
  TempDir dir_;
  Daemon daemon_;
  int port_ = 0;
};
