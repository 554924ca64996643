// TCP sockets for the HTTP client: the name lookup and every wait bounded by
// an inactivity limit, and socket failures turned into messages that carry the
// Windows Sockets numbers the retry rule of the source chain looks at.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// "<number>: <description>" for the errno `err`, from the one mapping table;
// an errno outside the table gives "10107: System call failure (<strerror>)".
std::string SocketErrorMessage(int err);

// The Windows Sockets number the table gives `err`; 10107 outside it.
int WindowsSocketsNumber(int err);

// One resolved address to connect to.
struct TSocketAddress {
  sockaddr_storage Addr{};
  socklen_t Len = 0;
};

// Resolves `host` (name or literal, IPv4 and IPv6) for TCP `port`. Waits at
// most `timeoutMs` (0: no limit). Throws Exception("Null Remote Address") when
// the name does not resolve and the 10060 message when the limit passes.
std::vector<TSocketAddress> ResolveHost(const std::string& host, int port, int64_t timeoutMs);

// A connected TCP socket; closed by Close or the destructor.
class TSocket {
 public:
  TSocket() = default;
  ~TSocket();
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // Connects to the first address that accepts, each tried with its own
  // limit; throws Exception with the socket message of the last failure.
  void Connect(const std::vector<TSocketAddress>& addresses, int64_t timeoutMs);
  // Sends all of `data`; throws Exception on a failure or when the limit
  // passes without progress (10060).
  void SendAll(const std::string& data, int64_t timeoutMs);
  // Reads what is there, up to `size` bytes, waiting at most `timeoutMs`:
  // the byte count, 0 at the end of the connection, nothing when the limit
  // passed. Throws Exception on a socket failure.
  std::optional<size_t> Receive(char* buffer, size_t size, int64_t timeoutMs);
  // Closes the socket if open.
  void Close();

 private:
  int fd_ = -1;
};
