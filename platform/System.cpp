// The system log (syslog), message boxes printed to the terminal, and the
// sd_notify status datagrams, spoken directly over an AF_UNIX socket so that
// the daemon needs no libsystemd and stays small.
#include "platform/System.h"

#include <cxxabi.h>
#include <signal.h>
#include <stddef.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <typeinfo>

namespace {

std::atomic<bool> echoSystemLog{false};

int SyslogPriority(int eventType) {
  if (eventType == EVENTLOG_ERROR_TYPE) return LOG_ERR;
  if (eventType == EVENTLOG_WARNING_TYPE) return LOG_WARNING;
  return LOG_INFO;
}

// Writes all of `text` to `fd`; gives up on the first error.
void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

// Fills `addr` from a NOTIFY_SOCKET value: "/path" or "@abstract".
bool NotifyAddress(const std::string& name, sockaddr_un& addr, socklen_t& len) {
  if (name.size() < 2 || (name[0] != '/' && name[0] != '@')) return false;
  if (name.size() >= sizeof addr.sun_path) return false;
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, name.data(), name.size());
  if (name[0] == '@') addr.sun_path[0] = '\0';
  len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
  return true;
}

}  // namespace

void WriteSystemLog(const std::string& text, int eventType) {
  static const bool opened = [] {
    openlog("ZelvoSvc", LOG_PID | LOG_NDELAY, LOG_DAEMON);
    return true;
  }();
  (void)opened;
  syslog(SyslogPriority(eventType), "%s", text.c_str());
  if (echoSystemLog) WriteAll(STDERR_FILENO, SystemLogEchoLine(text) + "\n");
}

void SetSystemLogEcho(bool echo) { echoSystemLog = echo; }

std::string SystemLogEchoLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    bool lineBreak = c == '\r' || c == '\n';
    if (!lineBreak) {
      line += c;
    } else if (!line.empty() && line.back() != ' ') {
      line += ' ';
    }
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return "ZelvoSvc: " + line;
}

std::string MessageBoxText(const std::string& text, const std::string& caption) {
  std::string out = caption + "\n";
  for (char c : text) out += (c == '\r') ? '\n' : c;
  return out + "\n";
}

void MessageBoxA(const std::string& text, const std::string& caption, unsigned type) {
  bool toStderr = (type & (MB_ICONERROR | MB_TO_STDERR)) != 0;
  WriteAll(toStderr ? STDERR_FILENO : STDOUT_FILENO, MessageBoxText(text, caption));
}

void NotifyServiceManager(const std::string& state) {
  const char* name = std::getenv("NOTIFY_SOCKET");
  if (name == nullptr) return;
  sockaddr_un addr{};
  socklen_t len = 0;
  if (!NotifyAddress(name, addr, len)) return;
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  (void)sendto(fd, state.data(), state.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&addr),
               len);
  close(fd);
}

std::string ExceptionClassName(const std::exception& e) {
  const char* mangled = typeid(e).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  return (status == 0 && name) ? std::string(name.get()) : std::string(mangled);
}

void IgnoreWriteFailureSignals() {
  struct sigaction sa {};
  sa.sa_handler = SIG_IGN;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGPIPE, &sa, nullptr);
  sigaction(SIGXFSZ, &sa, nullptr);
}
