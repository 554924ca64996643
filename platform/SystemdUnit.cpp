// The systemd unit file: its hardened text, its atomic creation beside the
// enable link, its removal, and the reload of systemd's unit list.
#include "platform/SystemdUnit.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Exception.h"

extern char** environ;

namespace {

constexpr const char* kDefaultUnitDir = "/etc/systemd/system";
constexpr const char* kWantsDir = "multi-user.target.wants";

// The sandbox: the program needs its own folder (INI, log, body file), the
// network, the system log and the notify socket, and no capability at all.
constexpr const char* kHardening =
    "NoNewPrivileges=yes\n"
    "ProtectSystem=strict\n"
    "PrivateTmp=yes\n"
    "ProtectHome=yes\n"
    "PrivateDevices=yes\n"
    "PrivateMounts=yes\n"
    "ProtectKernelTunables=yes\n"
    "ProtectKernelModules=yes\n"
    "ProtectKernelLogs=yes\n"
    "ProtectControlGroups=yes\n"
    "ProtectClock=yes\n"
    "ProtectHostname=yes\n"
    "ProtectProc=invisible\n"
    "ProcSubset=pid\n"
    "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6\n"
    "RestrictNamespaces=yes\n"
    "RestrictRealtime=yes\n"
    "RestrictSUIDSGID=yes\n"
    "LockPersonality=yes\n"
    "MemoryDenyWriteExecute=yes\n"
    "SystemCallArchitectures=native\n"
    "SystemCallFilter=@system-service\n"
    "SystemCallFilter=~@resources\n"
    "SystemCallErrorNumber=EPERM\n"
    "CapabilityBoundingSet=\n"
    "UMask=0077\n";

std::string ErrnoText() { return std::strerror(errno); }

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

// Throws unless `dir` is an existing folder.
void RequireFolder(const std::string& dir) {
  struct stat st {};
  if (stat(dir.c_str(), &st) != 0) {
    throw Exception("Unit folder " + dir + " cannot be reached: " + ErrnoText());
  }
  if (!S_ISDIR(st.st_mode)) throw Exception("Unit folder " + dir + " is not a folder");
}

[[noreturn]] void ThrowUnwritable(const std::string& dir, const std::string& detail) {
  throw Exception("Unit folder " + dir + " cannot be written: " + detail);
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void SyncFolder(const std::string& dir) {
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)fsync(fd);
  close(fd);
}

// Writes `text` to a fresh temporary file in `dir`; returns its path.
std::string WriteTempFile(const std::string& dir, const std::string& text) {
  std::string tmp = dir + "/.ZelvoSvc.service.XXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd < 0) ThrowUnwritable(dir, ErrnoText());
  bool ok = fchmod(fd, 0644) == 0 && WriteAll(fd, text) && fsync(fd) == 0;
  std::string detail = ErrnoText();
  if (close(fd) != 0) ok = false;
  if (!ok) {
    unlink(tmp.c_str());
    ThrowUnwritable(dir, detail);
  }
  return tmp;
}

// Links `unitPath` from the wants folder, replacing a stale link.
bool CreateEnableLink(const std::string& unitDir, const std::string& unitPath,
                      const std::string& linkPath) {
  std::string wants = unitDir + "/" + kWantsDir;
  if (mkdir(wants.c_str(), 0755) != 0 && errno != EEXIST) return false;
  if (symlink(unitPath.c_str(), linkPath.c_str()) == 0) return true;
  if (errno != EEXIST || unlink(linkPath.c_str()) != 0) return false;
  return symlink(unitPath.c_str(), linkPath.c_str()) == 0;
}

std::string ResolvedPath(const std::string& path) {
  char buf[PATH_MAX];
  return realpath(path.c_str(), buf) != nullptr ? std::string(buf) : path;
}

}  // namespace

std::string UnitDirectory() {
  const char* dir = std::getenv("ZELVOSVC_UNIT_DIR");
  return (dir != nullptr && *dir != '\0') ? std::string(dir) : std::string(kDefaultUnitDir);
}

bool IsSafeUnitPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  for (char c : path) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f || c == '"' || c == '\\') return false;
  }
  return true;
}

std::string QuoteUnitPath(const std::string& path) {
  std::string out;
  bool blank = false;
  for (char c : path) {
    if (c == '%') out += '%';
    if (c == ' ') blank = true;
    out += c;
  }
  return blank ? "\"" + out + "\"" : out;
}

std::string UnitFileText(const std::string& description, const std::string& exePath) {
  return "[Unit]\n"
         "Description=" +
         description +
         "\n"
         "\n"
         "[Service]\n"
         "Type=notify\n"
         "ExecStart=" +
         QuoteUnitPath(exePath) +
         "\n"
         "ReadWritePaths=" +
         QuoteUnitPath(FolderOf(exePath)) + "\n" + kHardening +
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}

TUnitResult InstallUnit(const std::string& unitDir, const std::string& name,
                        const std::string& description, const std::string& exePath) {
  RequireFolder(unitDir);
  std::string unitPath = unitDir + "/" + name + ".service";
  if (PathExists(unitPath)) return TUnitResult::AlreadyExists;
  if (!IsSafeUnitPath(exePath)) return TUnitResult::UnsafePath;
  std::string tmp = WriteTempFile(unitDir, UnitFileText(description, exePath));
  // link() never replaces: a unit that appeared meanwhile is kept.
  int linked = link(tmp.c_str(), unitPath.c_str());
  int linkErrno = errno;
  unlink(tmp.c_str());
  if (linked != 0 && linkErrno == EEXIST) return TUnitResult::AlreadyExists;
  if (linked != 0) ThrowUnwritable(unitDir, std::strerror(linkErrno));
  std::string linkPath = unitDir + "/" + kWantsDir + "/" + name + ".service";
  if (!CreateEnableLink(unitDir, unitPath, linkPath)) {
    std::string detail = ErrnoText();
    unlink(unitPath.c_str());
    ThrowUnwritable(unitDir, detail);
  }
  SyncFolder(unitDir);
  return TUnitResult::Ok;
}

TUnitResult UninstallUnit(const std::string& unitDir, const std::string& name) {
  RequireFolder(unitDir);
  std::string unitPath = unitDir + "/" + name + ".service";
  if (!PathExists(unitPath)) return TUnitResult::NotInstalled;
  std::string linkPath = unitDir + "/" + kWantsDir + "/" + name + ".service";
  if (unlink(linkPath.c_str()) != 0 && errno != ENOENT) ThrowUnwritable(unitDir, ErrnoText());
  if (unlink(unitPath.c_str()) != 0) ThrowUnwritable(unitDir, ErrnoText());
  SyncFolder(unitDir);
  return TUnitResult::Ok;
}

bool ReloadServiceManager(const std::string& unitDir) {
  struct stat st {};
  if (stat("/run/systemd/system", &st) != 0 || !S_ISDIR(st.st_mode)) return true;
  if (ResolvedPath(unitDir) != kDefaultUnitDir) return true;
  std::vector<std::string> words = {"systemctl", "daemon-reload"};
  std::vector<char*> argv = {words[0].data(), words[1].data(), nullptr};
  pid_t pid = -1;
  if (posix_spawnp(&pid, "systemctl", nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
