// File-system access: whole-file reads, the atomic and durable replacement of
// a file (temporary file, fsync, rename, fsync of the folder), and paths.
#include "platform/Files.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/FdGuard.h"

namespace {

bool ReadAll(int fd, std::string& out) {
  out.clear();
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    out.reserve(static_cast<size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out.append(buffer, static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  std::string folder = ExtractFilePath(path);
  return folder.empty() ? std::string("./") : folder;
}

// Follows symbolic links (at most 40, like the kernel) to the file that a
// write must replace; a dangling link gives the path it points to.
bool ResolveLinks(const std::string& path, std::string& target) {
  target = path;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (lstat(target.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISLNK(st.st_mode)) return true;
    std::vector<char> buffer(PATH_MAX + 1);
    ssize_t n = readlink(target.c_str(), buffer.data(), buffer.size() - 1);
    if (n < 0) return false;
    std::string link(buffer.data(), static_cast<size_t>(n));
    target = link.starts_with("/") ? link : ExtractFilePath(target) + link;
  }
  return false;
}

// Mode and owner that the replacement must carry; false when the existing
// file may not be replaced (not a regular file, read-only, not writable).
bool TargetAttributes(const std::string& target, unsigned newMode, mode_t& mode, uid_t& uid,
                      gid_t& gid, bool& exists) {
  struct stat st {};
  if (stat(target.c_str(), &st) != 0) {
    if (errno != ENOENT) return false;
    exists = false;
    mode = static_cast<mode_t>(newMode & 07777);
    return true;
  }
  exists = true;
  if (!S_ISREG(st.st_mode)) return false;
  // No write bit at all counts as read-only, even for root.
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
  if (access(target.c_str(), W_OK) != 0) return false;
  mode = st.st_mode & 07777;
  uid = st.st_uid;
  gid = st.st_gid;
  return true;
}

bool SyncFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  FdGuard guard(fd);
  // Some file systems cannot sync a folder; the rename itself stands.
  return fsync(fd) == 0 || errno == EINVAL;
}

// Writes the temporary file completely and gives it the target's attributes.
bool FillTemporary(int fd, const std::string& content, mode_t mode, bool exists, uid_t uid,
                   gid_t gid) {
  if (!WriteAll(fd, content) || fsync(fd) != 0) return false;
  if (fchmod(fd, mode) != 0) return false;
  if (!exists) return true;
  struct stat st {};
  if (fstat(fd, &st) != 0) return false;
  if (st.st_uid == uid && st.st_gid == gid) return true;
  return fchown(fd, uid, gid) == 0;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  FdGuard guard(fd);
  return ReadAll(fd, out);
}

bool ReadFileOrMissing(const std::string& path, std::string& out) {
  out.clear();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  FdGuard guard(fd);
  return ReadAll(fd, out);
}

bool ReplaceFileAtomically(const std::string& path, const std::string& content, unsigned newMode) {
  std::string target;
  if (!ResolveLinks(path, target)) return false;
  mode_t mode = 0;
  uid_t uid = 0;
  gid_t gid = 0;
  bool exists = false;
  if (!TargetAttributes(target, newMode, mode, uid, gid, exists)) return false;

  std::string folder = FolderOf(target);
  std::string base = target.substr(ExtractFilePath(target).size());
  std::string temp = folder + "." + base + ".XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return false;
  temp.assign(name.data());
  FdGuard guard(fd);
  bool ok = FillTemporary(fd, content, mode, exists, uid, gid);
  ok = guard.CloseNow() && ok;
  ok = ok && rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  return SyncFolder(folder);
}

bool DeleteFileIfExists(const std::string& path) { return unlink(path.c_str()) == 0; }

bool FileExists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

bool IsReadableByOthers(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

bool SetCurrentDir(const std::string& path) { return chdir(path.c_str()) == 0; }

std::string ExecutablePath() {
  std::vector<char> buffer(256);
  for (int attempt = 0; attempt < 8; ++attempt) {
    ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return "";
    if (static_cast<size_t>(n) < buffer.size())
      return std::string(buffer.data(), static_cast<size_t>(n));
    buffer.resize(buffer.size() * 4);
  }
  return "";
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  size_t slash = path.rfind('/');
  size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < nameStart) return path + ext;
  return path.substr(0, dot) + ext;
}

std::string ExtractFilePath(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}
