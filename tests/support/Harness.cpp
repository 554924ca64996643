// Test harness: runs the built executable in a fresh temporary folder and reads
// back what it left behind (log, INI file, output, exit code).
#include "support/Harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "zelvo-test-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  // Restore write bits a test may have taken away, then remove everything.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    chmod(it->path().c_str(), 0700);
  }
  fs::remove_all(path_, ec);
}

std::string ReadFileOrEmpty(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFileOrDie(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

ServiceRun::ServiceRun() {
  fs::copy_file(ZELVOSVC_EXE, ExePath(), fs::copy_options::overwrite_existing);
  chmod(ExePath().c_str(), 0755);
}

ServiceRun::~ServiceRun() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (outFd_ >= 0) close(outFd_);
  if (errFd_ >= 0) close(errFd_);
}

std::vector<std::string> ServiceRun::LogMessages() const {
  std::vector<std::string> lines;
  std::istringstream in(Log());
  std::string line;
  while (std::getline(in, line)) {
    // "yyyy.mm.dd hh:nn:ss " is 20 characters.
    if (line.size() >= 20 && line[4] == '.' && line[7] == '.' && line[10] == ' ' &&
        line[19] == ' ') {
      lines.push_back(line.substr(20));
    } else {
      lines.push_back(line);
    }
  }
  return lines;
}

void ServiceRun::Start(const std::vector<std::string>& args) {
  if (pid_ > 0) throw std::runtime_error("already started");
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  std::string exe = ExePath();
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    std::string kv = *e;
    if (kv.rfind("NOTIFY_SOCKET=", 0) == 0 || kv.rfind("INVOCATION_ID=", 0) == 0) continue;
    env.push_back(kv);
  }
  for (const auto& kv : Env) env.push_back(kv);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork");
  if (pid_ == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, 0);
    // The child starts in its own folder with default signal handling.
    setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (FileSizeLimit > 0) {
      struct rlimit lim {};
      lim.rlim_cur = lim.rlim_max = static_cast<rlim_t>(FileSizeLimit);
      setrlimit(RLIMIT_FSIZE, &lim);
    }
    if (chdir(dir_.Path().c_str()) != 0) _exit(126);
    std::vector<char*> argv;
    argv.push_back(exe.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& kv : env) envp.push_back(kv.data());
    envp.push_back(nullptr);
    execve(exe.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  outFd_ = out[0];
  errFd_ = err[0];
  fcntl(outFd_, F_SETFL, O_NONBLOCK);
  fcntl(errFd_, F_SETFL, O_NONBLOCK);
}

void ServiceRun::Drain() {
  char buf[4096];
  for (int* fd : {&outFd_, &errFd_}) {
    if (*fd < 0) continue;
    std::string& sink = (fd == &outFd_) ? stdout_ : stderr_;
    for (int i = 0; i < 4096; ++i) {
      ssize_t n = read(*fd, buf, sizeof buf);
      if (n > 0) {
        sink.append(buf, static_cast<size_t>(n));
        continue;
      }
      if (n == 0) {
        close(*fd);
        *fd = -1;
      }
      break;
    }
  }
}

bool ServiceRun::Running() {
  if (pid_ <= 0) return false;
  return waitpid(pid_, nullptr, WNOHANG) == 0 ? true : (pid_ = -1, false);
}

void ServiceRun::Signal(int sig) {
  if (pid_ > 0) kill(pid_, sig);
}

ExitStatus ServiceRun::Wait(std::chrono::milliseconds limit) {
  ExitStatus st;
  if (pid_ <= 0) return st;
  auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  for (;;) {
    Drain();
    pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      st.TimedOut = true;
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    struct pollfd pfd[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    poll(pfd, 2, 10);
  }
  pid_ = -1;
  // Collect what is left in the pipes (bounded: the writer is gone).
  for (int i = 0; i < 64 && (outFd_ >= 0 || errFd_ >= 0); ++i) Drain();
  if (WIFEXITED(status)) {
    st.Exited = true;
    st.Code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    st.Signal = WTERMSIG(status);
  }
  return st;
}

ExitStatus ServiceRun::Run(const std::vector<std::string>& args, std::chrono::milliseconds limit) {
  Start(args);
  return Wait(limit);
}

bool ServiceRun::WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (pred()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int ServiceRun::CountLog(const std::string& text) const {
  int n = 0;
  for (const auto& line : LogMessages()) {
    if (line.find(text) != std::string::npos) ++n;
  }
  return n;
}

bool ServiceRun::WaitForLog(const std::string& text, std::chrono::milliseconds limit) {
  return WaitUntil(
      [&] {
        Drain();
        return Log().find(text) != std::string::npos;
      },
      limit);
}

std::string StampFromNow(long offsetSeconds) {
  time_t t = time(nullptr) + offsetSeconds;
  struct tm tm {};
  localtime_r(&t, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d.%02d.%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}
