// Prints what the HTTP client costs: the process's peak resident memory while
// it meets an endless body and a 1 GB body (text and file mode), and the CPU
// time of the client's thread per request against the loopback test server.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "platform/Exception.h"
#include "platform/HttpClient.h"
#include "support/Harness.h"
#include "support/TestServer.h"

namespace {

constexpr long kRssLimitKiB = 32 * 1024;
constexpr int kRequests = 2000;

long PeakRssKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

double ThreadCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// One GET against a server that sends `filler` bytes (0: endless) after the
// header; prints the message and the peak resident memory so far.
void OversizeBody(const char* name, uint64_t filler, bool fileMode, const std::string& file) {
  TestServer server;
  ScriptedReply reply = ScriptedReply::Ok("");
  reply.Endless = filler == 0;
  reply.FillerBytes = filler;
  server.Push(reply);
  THttpClient client;
  client.TimeOut = 30000;
  client.InputFileMode = fileMode;
  client.Body = fileMode ? file : "";
  std::string message = "returned normally";
  const auto start = std::chrono::steady_clock::now();
  try {
    client.Get(server.Url("/big"));
  } catch (const Exception& e) {
    message = e.Message();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-28s %-36s %6.2f s   peak RSS %6.1f MiB\n", name, message.c_str(), seconds,
              static_cast<double>(PeakRssKiB()) / 1024.0);
}

// Many small requests; the client's own thread CPU time per request.
void CpuPerRequest() {
  TestServer server;
  server.SetDefault(ScriptedReply::Ok(std::string(512, 'b'), "Set-Cookie: SID=0123456789"));
  THttpClient client;
  client.TimeOut = 10000;
  client.HeaderInfo.UserId = "user";
  client.HeaderInfo.Password = "password";
  const double cpuStart = ThreadCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  int failures = 0;
  for (int i = 0; i < kRequests; ++i) {
    try {
      client.Get(server.Url("/nic/update?hostname=host.example.org&myip=203.0.113.7"));
    } catch (const Exception&) {
      ++failures;
    }
  }
  const double cpu = ThreadCpuSeconds() - cpuStart;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf(
      "%d requests (512-byte body): client CPU %.1f us/request, wall %.1f us/request, "
      "%d failed\n",
      kRequests, cpu * 1e6 / kRequests, wall * 1e6 / kRequests, failures);
}

}  // namespace

int main() {
  TempDir dir;
  const std::string file = dir.File("body.htm");
  std::printf("HTTP client benchmark (body bound %zu bytes)\n", kMaxBodyBytes);
  std::printf("peak RSS at start: %.1f MiB\n", static_cast<double>(PeakRssKiB()) / 1024.0);
  OversizeBody("endless body, text mode", 0, false, file);
  OversizeBody("1 GB body, text mode", uint64_t{1} << 30, false, file);
  OversizeBody("endless body, file mode", 0, true, file);
  OversizeBody("1 GB body, file mode", uint64_t{1} << 30, true, file);
  CpuPerRequest();
  const long peak = PeakRssKiB();
  std::printf("peak RSS overall: %.1f MiB (limit %ld MiB): %s\n",
              static_cast<double>(peak) / 1024.0, kRssLimitKiB / 1024,
              peak < kRssLimitKiB ? "within" : "EXCEEDED");
  return peak < kRssLimitKiB ? 0 : 1;
}
