// POSIX sockets behind the HTTP client: the errno table of Windows Sockets
// numbers, a name lookup on a helper thread so that a stuck resolver cannot
// outlast the time limit, and non-blocking connect, send and receive.
#include "platform/Socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/Clock.h"
#include "platform/Exception.h"

namespace {

struct TErrnoEntry {
  int Errno;
  int Number;
  const char* Description;
};

// The one mapping of errno to Windows Sockets numbers and descriptions.
constexpr TErrnoEntry kErrnoTable[] = {
    {EINTR, 10004, "Interrupted function call"},
    {EBADF, 10038, "Socket operation on nonsocket"},
    {ENOTSOCK, 10038, "Socket operation on nonsocket"},
    {EACCES, 10013, "Permission denied"},
    {EFAULT, 10014, "Bad address"},
    {EINVAL, 10022, "Invalid argument"},
    {EMFILE, 10024, "Too many open files"},
    {ENFILE, 10024, "Too many open files"},
    {EAGAIN, 10035, "Resource temporarily unavailable"},
    {EINPROGRESS, 10036, "Operation now in progress"},
    {EALREADY, 10037, "Operation already in progress"},
    {EMSGSIZE, 10040, "Message too long"},
    {EPROTONOSUPPORT, 10043, "Protocol not supported"},
    {EOPNOTSUPP, 10045, "Operation not supported"},
    {EAFNOSUPPORT, 10047, "Address family not supported by protocol family"},
    {EADDRINUSE, 10048, "Address already in use"},
    {EADDRNOTAVAIL, 10049, "Cannot assign requested address"},
    {ENETDOWN, 10050, "Network is down"},
    {ENETUNREACH, 10051, "Network is unreachable"},
    {ENETRESET, 10052, "Network dropped connection on reset"},
    {ECONNABORTED, 10053, "Software caused connection abort"},
    {ECONNRESET, 10054, "Connection reset by peer"},
    {ENOBUFS, 10055, "No buffer space available"},
    {ENOMEM, 10055, "No buffer space available"},
    {EISCONN, 10056, "Socket is already connected"},
    {ENOTCONN, 10057, "Socket is not connected"},
    {EPIPE, 10058, "Cannot send after socket shutdown"},
    {ESHUTDOWN, 10058, "Cannot send after socket shutdown"},
    {ETIMEDOUT, 10060, "Connection timed out"},
    {ECONNREFUSED, 10061, "Connection refused"},
    {EHOSTDOWN, 10064, "Host is down"},
    {EHOSTUNREACH, 10065, "No route to host"},
};

constexpr int kSystemCallFailure = 10107;

const TErrnoEntry* FindErrno(int err) {
  for (const auto& e : kErrnoTable)
    if (e.Errno == err) return &e;
  return nullptr;
}

// Limits beyond this (about 31 years) are no limit: deadlines stay far from
// the int64 overflow of milliseconds and of the nanoseconds of std::chrono.
constexpr int64_t kLongestLimitMs = int64_t{1'000'000'000'000};

int64_t EffectiveLimit(int64_t timeoutMs) { return timeoutMs > kLongestLimitMs ? 0 : timeoutMs; }

// Waits until `fd` is ready for `events`; false when `timeoutMs` (0: no
// limit) passed first. Restarts after signals and waits longer than poll's
// int in slices. A failed poll counts as ready so that the next call reports.
bool WaitReady(int fd, short events, int64_t timeoutMs) {
  timeoutMs = EffectiveLimit(timeoutMs);
  const int64_t deadline = timeoutMs > 0 ? MonotonicMs() + timeoutMs : 0;
  for (;;) {
    int slice = -1;
    if (timeoutMs > 0) {
      int64_t left = deadline - MonotonicMs();
      if (left <= 0) return false;
      slice = left > INT_MAX ? INT_MAX : static_cast<int>(left);
    }
    pollfd p{fd, events, 0};
    int rc = poll(&p, 1, slice);
    if (rc > 0) return true;
    if (rc < 0 && errno != EINTR) return true;
  }
}

// Shared between a lookup and its helper thread, which may outlive a lookup
// that gave up; the last owner frees the result.
struct TLookup {
  std::mutex Mutex;
  std::condition_variable Done;
  bool Finished = false;
  int Rc = EAI_FAIL;
  addrinfo* Result = nullptr;
  ~TLookup() {
    if (Result) freeaddrinfo(Result);
  }
};

addrinfo LookupHints(int flags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = flags;
  return hints;
}

std::vector<TSocketAddress> CopyAddresses(const addrinfo* list) {
  std::vector<TSocketAddress> out;
  for (const addrinfo* a = list; a; a = a->ai_next) {
    if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
    TSocketAddress s;
    std::memcpy(&s.Addr, a->ai_addr, a->ai_addrlen);
    s.Len = a->ai_addrlen;
    out.push_back(s);
  }
  if (out.empty()) throw Exception("Null Remote Address");
  return out;
}

// A literal address needs no resolver; empty when `host` is a name.
std::vector<TSocketAddress> ResolveLiteral(const std::string& host, const std::string& service) {
  addrinfo hints = LookupHints(AI_NUMERICHOST | AI_NUMERICSERV);
  addrinfo* res = nullptr;
  if (getaddrinfo(host.c_str(), service.c_str(), &hints, &res) != 0) return {};
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> guard(res, freeaddrinfo);
  return CopyAddresses(res);
}

std::vector<TSocketAddress> ResolveName(const std::string& host, const std::string& service,
                                        int64_t timeoutMs) {
  auto lookup = std::make_shared<TLookup>();
  try {
    std::thread([lookup, host, service] {
      addrinfo hints = LookupHints(AI_NUMERICSERV);
      addrinfo* res = nullptr;
      int rc = getaddrinfo(host.c_str(), service.c_str(), &hints, &res);
      std::lock_guard<std::mutex> lock(lookup->Mutex);
      lookup->Rc = rc;
      lookup->Result = rc == 0 ? res : nullptr;
      lookup->Finished = true;
      lookup->Done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    throw Exception(SocketErrorMessage(EAGAIN));
  }
  std::unique_lock<std::mutex> lock(lookup->Mutex);
  auto finished = [&] { return lookup->Finished; };
  timeoutMs = EffectiveLimit(timeoutMs);
  if (timeoutMs > 0) {
    if (!lookup->Done.wait_for(lock, std::chrono::milliseconds(timeoutMs), finished))
      throw Exception(SocketErrorMessage(ETIMEDOUT));
  } else {
    lookup->Done.wait(lock, finished);
  }
  if (lookup->Rc != 0) throw Exception("Null Remote Address");
  return CopyAddresses(lookup->Result);
}

// Starts a non-blocking connect to `a` and waits for its outcome; the socket
// on success, -1 with `err` set otherwise.
int ConnectOne(const TSocketAddress& a, int64_t timeoutMs, int& err) {
  int fd = socket(a.Addr.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    err = errno;
    return -1;
  }
  err = 0;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&a.Addr), a.Len) != 0) {
    err = errno;
    if (err == EINPROGRESS || err == EINTR) {
      if (!WaitReady(fd, POLLOUT, timeoutMs)) {
        err = ETIMEDOUT;
      } else {
        socklen_t len = sizeof err;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
      }
    }
  }
  if (err != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

int WindowsSocketsNumber(int err) {
  const TErrnoEntry* e = FindErrno(err);
  return e ? e->Number : kSystemCallFailure;
}

std::string SocketErrorMessage(int err) {
  const TErrnoEntry* e = FindErrno(err);
  if (e) return std::to_string(e->Number) + ": " + e->Description;
  return std::to_string(kSystemCallFailure) + ": System call failure (" + std::strerror(err) + ")";
}

std::vector<TSocketAddress> ResolveHost(const std::string& host, int port, int64_t timeoutMs) {
  if (host.empty()) throw Exception("Null Remote Address");
  const std::string service = std::to_string(port);
  std::vector<TSocketAddress> literal = ResolveLiteral(host, service);
  if (!literal.empty()) return literal;
  return ResolveName(host, service, timeoutMs);
}

TSocket::~TSocket() { Close(); }

void TSocket::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void TSocket::Connect(const std::vector<TSocketAddress>& addresses, int64_t timeoutMs) {
  Close();
  int err = EADDRNOTAVAIL;
  for (const TSocketAddress& a : addresses) {
    fd_ = ConnectOne(a, timeoutMs, err);
    if (fd_ >= 0) return;
  }
  throw Exception(SocketErrorMessage(err));
}

void TSocket::SendAll(const std::string& data, int64_t timeoutMs) {
  if (fd_ < 0) throw Exception(SocketErrorMessage(ENOTSOCK));
  size_t done = 0;
  while (done < data.size()) {
    if (!WaitReady(fd_, POLLOUT, timeoutMs)) throw Exception(SocketErrorMessage(ETIMEDOUT));
    ssize_t n = send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n < 0) throw Exception(SocketErrorMessage(errno));
    done += static_cast<size_t>(n);
  }
}

std::optional<size_t> TSocket::Receive(char* buffer, size_t size, int64_t timeoutMs) {
  if (fd_ < 0) throw Exception(SocketErrorMessage(ENOTSOCK));
  for (;;) {
    if (!WaitReady(fd_, POLLIN, timeoutMs)) return std::nullopt;
    ssize_t n = recv(fd_, buffer, size, 0);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EAGAIN && errno != EINTR) throw Exception(SocketErrorMessage(errno));
  }
}
