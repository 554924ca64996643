// The test side of the sd_notify protocol: one datagram socket that gathers
// the status messages of a service under test.
#include "support/NotifyListener.h"

#include <poll.h>
#include <stddef.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace {
std::atomic<int> counter{0};
}

NotifyListener::NotifyListener(bool abstract) {
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) throw std::runtime_error("socket");
  std::string unique = std::to_string(getpid()) + "-" + std::to_string(counter++);
  if (abstract) {
    address_ = "@zelvo-test-notify-" + unique;
  } else {
    folder_ = (std::filesystem::temp_directory_path() / ("zelvo-notify-" + unique)).string();
    std::filesystem::create_directories(folder_);
    address_ = folder_ + "/notify";
  }
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, address_.data(), address_.size());
  if (abstract) addr.sun_path[0] = '\0';
  auto len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address_.size());
  if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0) throw std::runtime_error("bind");
}

NotifyListener::~NotifyListener() {
  if (fd_ >= 0) close(fd_);
  if (!folder_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }
}

std::vector<std::string> NotifyListener::Messages() {
  char buf[4096];
  for (int i = 0; i < 1000; ++i) {
    ssize_t n = recv(fd_, buf, sizeof buf, 0);
    if (n < 0) break;
    messages_.emplace_back(buf, static_cast<size_t>(n));
  }
  return messages_;
}

bool NotifyListener::WaitFor(const std::string& text, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    for (const auto& m : Messages()) {
      if (m == text) return true;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    struct pollfd pfd = {fd_, POLLIN, 0};
    poll(&pfd, 1, static_cast<int>(left.count() > 100 ? 100 : left.count()));
  }
}
