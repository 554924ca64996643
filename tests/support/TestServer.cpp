// The scripted loopback HTTP server of the tests: one listening thread on
// 127.0.0.1 and one thread per connection, every wait bounded and woken by the
// stop flag, so that the destructor never hangs on a client that stays quiet.
#include "support/TestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

constexpr int kSliceMs = 20;                              // how often waits look at the stop flag
constexpr auto kRequestLimit = std::chrono::seconds(30);  // a request must arrive by then
constexpr auto kHangLimit = std::chrono::seconds(300);    // longest hang or endless body
constexpr size_t kMaxRequestBytes = 1024 * 1024;

using Clock = std::chrono::steady_clock;

std::string WithLineEnd(const std::string& headers) {
  if (headers.empty() || headers.ends_with("\r\n")) return headers;
  return headers + "\r\n";
}

// Waits for `events` on `fd` for one slice; true when the fd is ready.
bool PollSlice(int fd, short events) {
  pollfd p{fd, events, 0};
  return poll(&p, 1, kSliceMs) > 0;
}

}  // namespace

ScriptedReply ScriptedReply::Ok(const std::string& body, const std::string& extraHeaders) {
  return Status(200, "OK", body, extraHeaders);
}

ScriptedReply ScriptedReply::Status(int code, const std::string& reason, const std::string& body,
                                    const std::string& extraHeaders) {
  ScriptedReply r;
  r.Raw = "HTTP/1.0 " + std::to_string(code) + " " + reason + "\r\nContent-Type: text/html\r\n" +
          WithLineEnd(extraHeaders) + "\r\n" + body;
  return r;
}

TestServer::TestServer() : default_(ScriptedReply::Ok("")) {
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("TestServer: socket failed");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listenFd_, 64) != 0 ||
      getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    close(listenFd_);
    throw std::runtime_error("TestServer: cannot listen on 127.0.0.1");
  }
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

TestServer::~TestServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  for (auto& w : workers_) w.Thread.join();
  close(listenFd_);
}

std::string TestServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void TestServer::Push(const ScriptedReply& reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  script_.push_back(reply);
}

void TestServer::SetDefault(const ScriptedReply& reply) {
  std::lock_guard<std::mutex> lock(mutex_);
  default_ = reply;
}

std::vector<std::string> TestServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

size_t TestServer::RequestCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_.size();
}

bool TestServer::WaitForRequests(size_t count, std::chrono::milliseconds limit) const {
  const auto end = Clock::now() + limit;
  while (RequestCount() < count) {
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMs));
  }
  return true;
}

void TestServer::Serve() {
  while (!stop_) {
    if (!PollSlice(listenFd_, POLLIN)) continue;
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back({std::thread([this, fd, done] {
                          Answer(fd);
                          *done = true;
                        }),
                        done});
    ReapFinishedWorkers();
  }
}

// Joins the threads of answered connections, so that a long run of requests
// keeps only the connections under way.
void TestServer::ReapFinishedWorkers() {
  for (size_t i = 0; i < workers_.size();) {
    if (*workers_[i].Done) {
      workers_[i].Thread.join();
      workers_[i] = std::move(workers_.back());
      workers_.pop_back();
    } else {
      ++i;
    }
  }
}

namespace {

// Reads up to the empty line that ends the request; "" when the peer goes
// away, the stop flag is raised or the request does not arrive in time.
std::string ReadRequest(int fd, const std::atomic<bool>& stop) {
  std::string data;
  const auto end = Clock::now() + kRequestLimit;
  char buf[4096];
  while (!stop && Clock::now() < end && data.size() < kMaxRequestBytes) {
    if (!PollSlice(fd, POLLIN)) continue;
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return std::string();
    data.append(buf, static_cast<size_t>(n));
    size_t pos = data.find("\r\n\r\n");
    if (pos != std::string::npos) return data.substr(0, pos + 4);
  }
  return std::string();
}

// Sends all of `data`; false when the peer went away or the server stops.
bool SendAll(int fd, const char* data, size_t size, const std::atomic<bool>& stop) {
  const auto end = Clock::now() + kHangLimit;
  while (size > 0) {
    if (stop || Clock::now() >= end) return false;
    if (!PollSlice(fd, POLLOUT)) continue;
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Sleeps for `d` in slices; false when the stop flag was raised meanwhile.
bool Pause(std::chrono::milliseconds d, const std::atomic<bool>& stop) {
  const auto end = Clock::now() + d;
  for (auto now = Clock::now(); now < end; now = Clock::now()) {
    if (stop) return false;
    std::this_thread::sleep_for(
        std::min<Clock::duration>(std::chrono::milliseconds(kSliceMs), end - now));
  }
  return !stop;
}

bool SendRaw(int fd, const ScriptedReply& r, const std::atomic<bool>& stop) {
  if (!r.OneByteAtATime) return SendAll(fd, r.Raw.data(), r.Raw.size(), stop);
  for (char c : r.Raw) {
    if (!SendAll(fd, &c, 1, stop) || !Pause(r.ByteDelay, stop)) return false;
  }
  return true;
}

// Sends filler bytes: `count` of them, or until the peer goes away when endless.
void SendFiller(int fd, uint64_t count, bool endless, const std::atomic<bool>& stop) {
  static const std::string chunk(64 * 1024, 'x');
  const auto end = Clock::now() + kHangLimit;
  while ((endless || count > 0) && Clock::now() < end) {
    size_t n =
        endless ? chunk.size() : static_cast<size_t>(std::min<uint64_t>(count, chunk.size()));
    if (!SendAll(fd, chunk.data(), n, stop)) return;
    if (!endless) count -= n;
  }
}

// Keeps the connection open until the peer closes it or the server stops.
void Hang(int fd, const std::atomic<bool>& stop) {
  const auto end = Clock::now() + kHangLimit;
  char buf[4096];
  while (!stop && Clock::now() < end) {
    if (!PollSlice(fd, POLLIN)) continue;
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return;
  }
}

void CloseWithReset(int fd) {
  linger l{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  close(fd);
}

}  // namespace

void TestServer::Answer(int fd) {
  std::string request = ReadRequest(fd, stop_);
  if (request.empty()) {
    close(fd);
    return;
  }
  ScriptedReply reply;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
    if (script_.empty()) {
      reply = default_;
    } else {
      reply = script_.front();
      script_.pop_front();
    }
  }
  if (!Pause(reply.DelayBefore, stop_)) return (void)close(fd);
  if (reply.Reset) return CloseWithReset(fd);
  if (reply.CloseEarly) return (void)close(fd);
  if (SendRaw(fd, reply, stop_)) {
    if (reply.Endless || reply.FillerBytes > 0)
      SendFiller(fd, reply.FillerBytes, reply.Endless, stop_);
    if (reply.HangAfter) Hang(fd, stop_);
  }
  close(fd);
}
