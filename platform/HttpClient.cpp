// The HTTP/1.0 client of the service: one connection per GET, the answer's
// status line and header read line by line and its body read to the end of the
// connection into the Body text or the body file, with every wait bounded.
#include "platform/HttpClient.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/Exception.h"
#include "platform/FdGuard.h"
#include "platform/Socket.h"
#include "platform/Url.h"

namespace {

constexpr size_t kReadBufferBytes = 64 * 1024;
// Below this the body text grows by doubling; above it, room for the whole
// bound is reserved once, so that no copy of a large body ever coexists with it.
constexpr size_t kBodyDoublingLimit = 1024 * 1024;
constexpr int kDefaultPort = 80;

std::string HeaderLineTooLong() {
  return "HTTP header line exceeds " + std::to_string(kMaxHeaderLineBytes) + " bytes";
}

std::string HeaderTooLong() {
  return "HTTP header exceeds " + std::to_string(kMaxHeaderBytes) + " bytes";
}

std::string BodyTooLong() {
  return "HTTP body exceeds " + std::to_string(kMaxBodyBytes) + " bytes";
}

// Creates or truncates `path` for writing; throws when it cannot.
int CreateOutputFile(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw Exception("Cannot create file " + path + ": " + std::strerror(errno));
  return fd;
}

void WriteAll(int fd, const char* data, size_t size, const std::string& path) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw Exception("Cannot write file " + path + ": " + std::strerror(errno));
    data += n;
    size -= static_cast<size_t>(n);
  }
}

// Appends to the body text within the bound; false when it would pass it.
bool AppendBounded(std::string& body, std::string_view piece) {
  size_t needed = body.size() + piece.size();
  if (needed > kMaxBodyBytes) return false;
  if (needed > body.capacity()) {
    size_t grown = body.capacity() * 2;
    body.reserve(needed > kBodyDoublingLimit ? kMaxBodyBytes : (grown > needed ? grown : needed));
  }
  body.append(piece);
  return true;
}

}  // namespace

// Buffered reading of the answer: header lines within their bounds, then the
// body in pieces; every wait bounded by the client's time limit.
class TAnswerReader {
 public:
  TAnswerReader(TSocket& socket, int64_t timeoutMs)
      : socket_(socket), timeoutMs_(timeoutMs), buffer_(kReadBufferBytes) {}

  // The next header line without its line end; false when the connection
  // ended before any byte of it. Throws on the time limit and the bounds.
  bool ReadLine(std::string& line) {
    for (;;) {
      const char* begin = buffer_.data() + begin_;
      const void* nl = std::memchr(begin, '\n', end_ - begin_);
      if (nl) return TakeLine(static_cast<const char*>(nl) + 1 - begin, line);
      if (end_ - begin_ > kMaxHeaderLineBytes + 1) throw Exception(HeaderLineTooLong());
      if (!Fill()) return end_ > begin_ && TakeLine(end_ - begin_, line);
    }
  }

  // The next piece of the body: bytes left over from the header first, then
  // what the socket delivers. Empty at the end of the connection, nothing
  // when the time limit passed without data.
  std::optional<std::string_view> ReadPiece() {
    if (end_ > begin_) {
      std::string_view piece(buffer_.data() + begin_, end_ - begin_);
      begin_ = end_;
      return piece;
    }
    std::optional<size_t> n = socket_.Receive(buffer_.data(), buffer_.size(), timeoutMs_);
    if (!n) return std::nullopt;
    begin_ = end_ = 0;
    return std::string_view(buffer_.data(), *n);
  }

 private:
  // Takes `size` bytes as one line, the LF and a CR before it removed.
  bool TakeLine(size_t size, std::string& line) {
    headerBytes_ += size;
    if (headerBytes_ > kMaxHeaderBytes) throw Exception(HeaderTooLong());
    line.assign(buffer_.data() + begin_, size);
    begin_ += size;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kMaxHeaderLineBytes) throw Exception(HeaderLineTooLong());
    return true;
  }

  // Moves unread bytes to the front and reads more; false at the end of the
  // connection. The time limit passing here, before the body, is a timeout.
  bool Fill() {
    if (begin_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    std::optional<size_t> n =
        socket_.Receive(buffer_.data() + end_, buffer_.size() - end_, timeoutMs_);
    if (!n) throw Exception(SocketErrorMessage(ETIMEDOUT));
    end_ += *n;
    return *n > 0;
  }

  TSocket& socket_;
  int64_t timeoutMs_;
  std::vector<char> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  size_t headerBytes_ = 0;
};

THttpClient::THttpClient() : socket_(std::make_unique<TSocket>()) {}
THttpClient::~THttpClient() = default;

bool THttpClient::Connected() const { return socket_->IsOpen(); }

void THttpClient::Report(int level, const std::string& status) {
  if (OnStatus && level <= ReportLevel) OnStatus(*this, status);
}

void THttpClient::SetHeaderValue(const std::string& name, const std::string& value) {
  SetHeader(headers_, name, value);
}

void THttpClient::Disconnect() {
  if (!socket_->IsOpen()) return;
  Report(kStatusLevelConnection, "Disconnecting");
  socket_->Close();
}

void THttpClient::Get(const std::string& url) {
  Disconnect();
  std::string host;
  int port = 0;
  std::string request = PrepareRequest(url, host, port);
  if (!InputFileMode) Body.clear();
  try {
    if (TimeOut > 0) Report(kStatusLevelDetail, "Timer On");
    OpenConnection(host, port);
    SendRequest(request);
    TAnswerReader reader(*socket_, TimeOut);
    ReadAnswerHead(reader);
    if (InputFileMode)
      ReadBodyFile(reader);
    else
      ReadBodyText(reader);
  } catch (...) {
    socket_->Close();
    throw;
  }
  Report(kStatusLevelConnection, "Request Close Socket");
  Disconnect();
  if (TimeOut > 0) Report(kStatusLevelDetail, "Timer Off");
  Report(kStatusLevelBasic, "Transaction Completed");
  ReportHttpFailure();
}

// Checks the URL and the settings, lets OnAboutToSend adjust the header list,
// and returns the request bytes with the host and port to connect to.
std::string THttpClient::PrepareRequest(const std::string& url, std::string& host, int& port) {
  TUrl parts = ParseUrl(url);
  if (TimeOut < 0) throw Exception("Invalid time limit: " + std::to_string(TimeOut) + " ms");
  const bool viaProxy = !Proxy.empty();
  headers_ = BuildRequestHeaders(parts.Host, HeaderInfo, viaProxy);
  if (OnAboutToSend) OnAboutToSend(*this);
  if (viaProxy) {
    host = Proxy;
    port = ProxyPort != 0 ? ProxyPort : kDefaultPort;
  } else {
    host = parts.Host;
    port = parts.Port > 0 ? parts.Port : (Port != 0 ? Port : kDefaultPort);
  }
  if (port < 1 || port > 65535)
    throw Exception(std::string(viaProxy ? "Invalid proxy port " : "Invalid port ") +
                    std::to_string(port));
  return FormatRequest(RequestTarget(url, parts, viaProxy), headers_);
}

void THttpClient::OpenConnection(const std::string& host, int port) {
  Report(kStatusLevelConnection, "Resolve Host");
  std::vector<TSocketAddress> addresses = ResolveHost(HostForLookup(host), port, TimeOut);
  Report(kStatusLevelConnection, "Connecting");
  socket_->Connect(addresses, TimeOut);
  Report(kStatusLevelConnection, "Connected");
}

void THttpClient::SendRequest(const std::string& request) {
  if (ReportLevel >= kStatusLevelDetail) {
    for (size_t pos = 0; pos < request.size();) {
      size_t end = request.find("\r\n", pos);
      if (end == pos || end == std::string::npos) break;
      Report(kStatusLevelDetail, "WriteLn " + request.substr(pos, end - pos));
      pos = end + 2;
    }
  }
  socket_->SendAll(request, TimeOut);
  Report(kStatusLevelTransfer, "Request Sent");
}

// Reads the status line and the header lines up to the empty line (or the
// end of the connection); the answer's cookie and header text replace the
// previous answer's.
void THttpClient::ReadAnswerHead(TAnswerReader& reader) {
  std::string line;
  if (!reader.ReadLine(line)) throw Exception("Connection closed by the server without an answer");
  Report(kStatusLevelDetail, "ReadLn " + line);
  int code = ParseStatusCode(line);
  if (code < 0) throw Exception("Invalid HTTP status line: " + line.substr(0, 64));
  statusCode_ = code;
  receivedCookie_.clear();
  std::string headerText = line + "\r\n";
  while (reader.ReadLine(line) && !line.empty()) TakeHeaderLine(line, headerText);
  StoreHeader(headerText);
}

void THttpClient::TakeHeaderLine(const std::string& line, std::string& headerText) {
  Report(kStatusLevelDetail, "ReadLn " + line);
  headerText += line + "\r\n";
  std::string cookie;
  if (ParseSetCookie(line, cookie)) receivedCookie_ = cookie;
}

void THttpClient::StoreHeader(const std::string& headerText) {
  if (!OutputFileMode) {
    Header = headerText;
    return;
  }
  FdGuard file(CreateOutputFile(Header));
  WriteAll(file.Get(), headerText.data(), headerText.size(), Header);
}

void THttpClient::ReadBodyText(TAnswerReader& reader) {
  Report(kStatusLevelTransfer, "Capture String");
  for (;;) {
    std::optional<std::string_view> piece = reader.ReadPiece();
    if (!piece) throw Exception("Socket capture aborted");
    if (piece->empty()) return;
    if (!AppendBounded(Body, *piece)) {
      std::string().swap(Body);  // an over-long body is refused whole
      throw Exception(BodyTooLong());
    }
  }
}

void THttpClient::ReadBodyFile(TAnswerReader& reader) {
  Report(kStatusLevelTransfer, "Capture File");
  FdGuard file(CreateOutputFile(Body));
  uint64_t written = 0;
  for (;;) {
    std::optional<std::string_view> piece = reader.ReadPiece();
    if (!piece) throw Exception("Socket send aborted");
    if (piece->empty()) return;
    written += piece->size();
    if (written > kMaxBodyBytes) {
      const int rc = ftruncate(file.Get(), 0);  // an over-long body is refused whole
      (void)rc;
      throw Exception(BodyTooLong());
    }
    WriteAll(file.Get(), piece->data(), piece->size(), Body);
  }
}

// Statuses of 400 and above: OnFailure, and for 401 OnAuthenticationNeeded.
void THttpClient::ReportHttpFailure() {
  if (statusCode_ < 400) return;
  if (OnFailure) OnFailure(kCmdGet);
  if (statusCode_ == 401 && OnAuthenticationNeeded) OnAuthenticationNeeded(*this);
}
