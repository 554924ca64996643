// Real servers and programs as child processes for the tests: nginx and
// tinyproxy in temporary folders on free loopback ports, and programs run to
// their end with a time limit. Every wait here has a deadline.
#include "real/RealServers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> SplitAt(const std::string& line, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(line);
  while (std::getline(in, part, sep)) parts.push_back(part);
  if (!line.empty() && line.back() == sep) parts.emplace_back();
  return parts;
}

// In the child after fork: own process group, output to `outputFile`, no
// input, default signal mask, then exec. Never returns.
[[noreturn]] void ExecChild(const std::vector<std::string>& argv, const std::string& dir,
                            const std::vector<std::string>& env, const std::string& outputFile) {
  setpgid(0, 0);
  int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  int in = open("/dev/null", O_RDONLY);
  if (out < 0 || in < 0) _exit(126);
  dup2(in, 0);
  dup2(out, 1);
  dup2(out, 2);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
  for (const auto& kv : env) putenv(const_cast<char*>(kv.c_str()));
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

pid_t Spawn(const std::vector<std::string>& argv, const std::string& dir,
            const std::vector<std::string>& env, const std::string& outputFile) {
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) ExecChild(argv, dir, env, outputFile);
  setpgid(pid, pid);  // also here, so that the group exists before any kill
  return pid;
}

// Waits up to `limit` for `pid` to end; its wait status, or -1 when it still runs.
int WaitFor(pid_t pid, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(20ms);
  }
}

// Ends a whole process group: SIGTERM, then SIGKILL after `grace`.
void EndGroup(pid_t pgid, std::chrono::milliseconds grace) {
  if (kill(-pgid, SIGTERM) != 0) return;
  auto deadline = std::chrono::steady_clock::now() + grace;
  while (kill(-pgid, 0) == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(50ms);
  kill(-pgid, SIGKILL);
}

}  // namespace

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = std::string(path != nullptr ? path : "/usr/bin:/bin") + ":/usr/sbin:/sbin";
  for (const auto& dir : SplitAt(dirs, ':')) {
    if (dir.empty()) continue;
    std::string candidate = dir + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& dir,
                         const std::vector<std::string>& env, const std::string& outputFile,
                         std::chrono::milliseconds limit) {
  ProgramResult result;
  pid_t pid = Spawn(argv, dir, env, outputFile);
  int status = WaitFor(pid, limit);
  if (status == -1) {
    result.TimedOut = true;
    EndGroup(pid, 5s);
    waitpid(pid, nullptr, 0);
  } else if (WIFEXITED(status)) {
    result.Code = WEXITSTATUS(status);
  }
  EndGroup(pid, 5s);  // anything the program left running
  result.Output = ReadFileOrEmpty(outputFile);
  return result;
}

Daemon::~Daemon() { Stop(); }

void Daemon::Start(const std::vector<std::string>& argv, const std::string& outputFile) {
  if (pid_ > 0) throw std::runtime_error("already started");
  pid_ = Spawn(argv, "", {}, outputFile);
}

bool Daemon::Running() {
  if (pid_ <= 0) return false;
  if (waitpid(pid_, nullptr, WNOHANG) == 0) return true;
  EndGroup(pid_, 2s);  // a master that ended may leave workers behind
  pid_ = -1;
  return false;
}

void Daemon::Stop(std::chrono::milliseconds limit) {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  if (WaitFor(pid_, limit) == -1) {
    kill(-pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  EndGroup(pid_, 2s);
  pid_ = -1;
}

int FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  bool ok = bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 &&
            getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
  close(fd);
  if (!ok) throw std::runtime_error("no free port");
  return ntohs(addr.sin_port);
}

bool WaitForPort(int port, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    bool up = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0) close(fd);
    if (up) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(50ms);
  }
}

Nginx::Nginx() {
  for (const char* sub : {"www/router", "www/state", "logs", "tmp"})
    fs::create_directories(dir_.File(sub));
  WriteFileOrDie(dir_.File("htpasswd"), "");
  WritePage("badauth.txt", "badauth");
  WritePage("router/login.html",
            "<html><head><title>Router</title></head><body><form>User: <input name=u> "
            "Password: <input name=p type=password></form></body></html>\n");
  ShowAddress("0.0.0.0");
}

std::string Nginx::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void Nginx::WritePage(const std::string& name, const std::string& content) {
  std::string target = dir_.File("www/" + name);
  WriteFileOrDie(target + ".new", content);
  fs::rename(target + ".new", target);
}

void Nginx::ShowAddress(const std::string& address) {
  WritePage("ip.html",
            "<html><head><title>Current IP Check</title></head><body>Current IP Address: " +
                address + "</body></html>");
  WritePage("bare", address);
  WritePage("lf", address + "\n");
  WritePage("router/status.html",
            "<html><body><table>\n<tr><td>Connection:</td><td>up</td></tr>\n"
            "<tr><td>WAN IP Address:\n      " +
                address + "</td></tr>\n</table></body></html>\n");
}

bool Nginx::AddUser(const std::string& user, const std::string& password) {
  std::string htpasswd = FindProgram("htpasswd");
  if (htpasswd.empty()) return false;
  std::vector<std::string> argv = {htpasswd, haveUsers_ ? "-b" : "-bc", dir_.File("htpasswd"), user,
                                   password};
  haveUsers_ = true;
  return RunProgram(argv, dir_.Path(), {}, dir_.File("logs/htpasswd.out"), 30s).Code == 0;
}

std::string NginxConf(const std::string& dir, const std::string& http) {
  // Workers of a root master run as nobody, who cannot read a 0700 folder.
  return std::string(geteuid() == 0 ? "user root root;\n" : "") + "worker_processes 1;\npid " +
         dir + "/nginx.pid;\nerror_log " + dir + "/logs/error.log info;\n" +
         "events { worker_connections 64; }\nhttp {\n  client_body_temp_path " + dir +
         "/tmp/body;\n  proxy_temp_path " + dir + "/tmp/proxy;\n  fastcgi_temp_path " + dir +
         "/tmp/fastcgi;\n  uwsgi_temp_path " + dir + "/tmp/uwsgi;\n  scgi_temp_path " + dir +
         "/tmp/scgi;\n" + http + "\n}\n";
}

bool LaunchNginx(Daemon& daemon, const TempDir& dir, const std::string& conf, int& port,
                 std::string& error) {
  std::string nginx = FindProgram("nginx");
  if (nginx.empty()) {
    error = "nginx is not installed (scripts/test.sh installs the Debian package nginx)";
    return false;
  }
  fs::create_directories(dir.File("logs"));
  fs::create_directories(dir.File("tmp"));
  for (int attempt = 0; attempt < 5; ++attempt) {
    port = FreeLoopbackPort();
    WriteFileOrDie(dir.File("nginx.conf"), ReplaceAll(conf, "@PORT@", std::to_string(port)));
    fs::remove(dir.File("nginx.pid"));
    daemon.Start({nginx, "-p", dir.Path() + "/", "-c", dir.File("nginx.conf"), "-g", "daemon off;"},
                 dir.File("logs/nginx.out"));
    bool up = ServiceRun::WaitUntil(
        [&] { return fs::exists(dir.File("nginx.pid")) || !daemon.Running(); }, 15s);
    if (up && daemon.Running() && WaitForPort(port, 10s)) return true;
    daemon.Stop();
  }
  error = "nginx did not start: " + ReadFileOrEmpty(dir.File("logs/nginx.out")) +
          ReadFileOrEmpty(dir.File("logs/error.log"));
  return false;
}

bool Nginx::Start(std::string& error) {
  std::string conf = ReadFileOrEmpty(ZELVO_SOURCE_DIR "/tests/real/nginx.conf.in");
  // Workers of a root master run as nobody, who cannot read this 0700 folder.
  conf = ReplaceAll(conf, "@USER@", geteuid() == 0 ? "user root root;" : "");
  conf = ReplaceAll(conf, "@DIR@", dir_.Path());
  conf = ReplaceAll(conf, "@SESSION@", kSession);
  return LaunchNginx(daemon_, dir_, conf, port_, error);
}

std::vector<std::vector<std::string>> Nginx::AccessLog() const {
  std::vector<std::vector<std::string>> entries;
  std::istringstream in(ReadFileOrEmpty(dir_.File("logs/access.log")));
  std::string line;
  while (std::getline(in, line)) entries.push_back(SplitAt(line, '\t'));
  return entries;
}

std::string Nginx::Diagnostics() const {
  return ReadFileOrEmpty(dir_.File("logs/nginx.out")) +
         ReadFileOrEmpty(dir_.File("logs/error.log"));
}

bool TinyProxy::Start(std::string& error) {
  std::string tinyproxy = FindProgram("tinyproxy");
  if (tinyproxy.empty()) {
    error = "tinyproxy is not installed (scripts/test.sh installs the Debian package tinyproxy)";
    return false;
  }
  for (int attempt = 0; attempt < 5; ++attempt) {
    port_ = FreeLoopbackPort();
    WriteFileOrDie(dir_.File("tinyproxy.conf"),
                   "Port " + std::to_string(port_) +
                       "\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 30\nMaxClients 8\n"
                       "LogLevel Info\nViaProxyName \"zelvo-test-proxy\"\n");
    daemon_.Start({tinyproxy, "-d", "-c", dir_.File("tinyproxy.conf")}, dir_.File("out.log"));
    if (WaitForPort(port_, 10s) && daemon_.Running()) return true;
    daemon_.Stop();
  }
  error = "tinyproxy did not start: " + Log();
  return false;
}

std::string TinyProxy::Log() const { return ReadFileOrEmpty(dir_.File("out.log")); }
