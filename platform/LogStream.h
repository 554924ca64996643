// An append-only output file stream with the open/closed and good/failed
// states the log writer relies on. New files get mode 0600.
#pragma once

#include <string>

class TLogStream {
 public:
  TLogStream() = default;
  ~TLogStream();
  TLogStream(const TLogStream&) = delete;
  TLogStream& operator=(const TLogStream&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  bool Good() const { return good_; }
  void ClearFailed() { good_ = true; }

  // Opens `path` for appending (created 0600 when missing). Opening a stream
  // that is still open does not succeed. A failed open marks the stream failed.
  void Open(const std::string& path);
  // Writes all of `text`; a short or failed write marks the stream failed and
  // closes the file (so a later Open can succeed); a write while closed fails.
  void Write(const std::string& text);
  // Pushes written data to the file (the stream does no buffering of its own,
  // so this only has to keep the contract); no effect while closed.
  void Flush();
  // Closes the file if open; a failed close marks the stream failed.
  void Close();

 private:
  int fd_ = -1;
  bool good_ = true;
};
