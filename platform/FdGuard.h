// A file descriptor that closes itself when it goes out of scope.
#pragma once

#include <unistd.h>

class FdGuard {
 public:
  explicit FdGuard(int fd) : fd_(fd) {}
  ~FdGuard() {
    if (fd_ >= 0) close(fd_);
  }
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  // The descriptor, or -1 once closed.
  int Get() const { return fd_; }
  // Closes now; false when close reports an error.
  bool CloseNow() {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }

 private:
  int fd_;
};
