// A stand-in for systemd's notify socket: an AF_UNIX datagram socket (a path
// in a temporary folder, or an abstract "@" name) that collects the sd_notify
// messages a service sends.
#pragma once

#include <chrono>
#include <string>
#include <vector>

class NotifyListener {
 public:
  // Binds a socket; `abstract` picks an abstract name over a file path.
  explicit NotifyListener(bool abstract);
  ~NotifyListener();
  NotifyListener(const NotifyListener&) = delete;
  NotifyListener& operator=(const NotifyListener&) = delete;

  // The NOTIFY_SOCKET value for the service ("/tmp/.../notify" or "@...").
  const std::string& Address() const { return address_; }
  // Every message received so far (reads what is waiting, never blocks).
  std::vector<std::string> Messages();
  // Waits (bounded) until a message equal to `text` has arrived.
  bool WaitFor(const std::string& text, std::chrono::milliseconds limit);

 private:
  int fd_ = -1;
  std::string address_;
  std::string folder_;
  std::vector<std::string> messages_;
};
