// The log file's output stream: appends straight to the file (no buffering of
// its own), tracks open/closed and good/failed, and closes the file on a
// failed write so that the next open can succeed once the disk has room.
#include "platform/LogStream.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

TLogStream::~TLogStream() { Close(); }

void TLogStream::Open(const std::string& path) {
  if (fd_ >= 0) {
    good_ = false;
    return;
  }
  fd_ = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) good_ = false;
}

void TLogStream::Write(const std::string& text) {
  if (fd_ < 0) {
    good_ = false;
    return;
  }
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A stream left open after a failed write could never be reopened;
      // closing it lets the next admitted line open the file again.
      Close();
      good_ = false;
      return;
    }
    done += static_cast<size_t>(n);
  }
}

void TLogStream::Flush() {}

void TLogStream::Close() {
  if (fd_ < 0) return;
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) good_ = false;
}
