// The built service against servers nobody here wrote: nginx serves address
// pages, a router's login chain and a dyndns2-style update endpoint behind
// basic authentication; tinyproxy is the proxy of one server section.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/IniFile.h"
#include "real/RealServers.h"
#include "service/Version.h"
#include "support/Harness.h"

using namespace std::chrono_literals;

namespace {

constexpr auto kPatience = 30s;
const std::string kFirst = "203.0.113.7";
const std::string kSecond = "203.0.113.8";

using AccessEntry = std::vector<std::string>;
enum Column { kUser, kStatus, kRequest, kUserAgent, kCookie, kVia, kFrom };

std::string Field(const AccessEntry& e, Column c) { return c < e.size() ? e[c] : ""; }

std::string ExpectedUserAgent() {
  return std::string("ZelvoSvc/") + kFileVersion + " " + kContactAddress;
}

std::string UpdateRequest(const std::string& host, const std::string& address) {
  return "GET /nic/update?hostname=" + host + "&myip=" + address + " HTTP/1.0";
}

std::string UpdateUrl(const Nginx& nginx, const std::string& host) {
  return nginx.Url("/nic/update?hostname=" + host + "&myip=%s");
}

// The update URL as the service sends it for `address`.
std::string Expand(std::string url, const std::string& address) {
  return url.replace(url.find("%s"), 2, address);
}

// The access log entries whose request line starts with `start`.
std::vector<AccessEntry> Requests(const Nginx& nginx, const std::string& start) {
  std::vector<AccessEntry> found;
  for (const auto& e : nginx.AccessLog())
    if (Field(e, kRequest).rfind(start, 0) == 0) found.push_back(e);
  return found;
}

std::string Read(const ServiceRun& run, const std::string& section, const std::string& key) {
  return TIniFile(run.IniPath()).ReadText(section, key, "");
}

// Starts nginx (and the update account) or says why the test cannot run.
bool StartNginx(Nginx& nginx, std::string& why) {
  if (!nginx.Start(why)) return false;
  if (nginx.AddUser("zelvo", "s3cret-Pass")) return true;
  why = "htpasswd is not installed or failed (Debian package apache2-utils)";
  return false;
}

void StopService(ServiceRun& run) {
  run.Signal(SIGTERM);
  ExitStatus st = run.Wait(15s);
  EXPECT_TRUE(st.Exited) << "service did not end on SIGTERM";
  EXPECT_EQ(st.Code, 0) << run.Stderr();
}

std::string ServerSection(const std::string& name, const std::string& url,
                          const std::string& extra) {
  return "[" + name + "]\nURL=" + url + "\nUser=zelvo\n" + extra +
         "StatusOK=good\nStatusOK1=nochg\n";
}

}  // namespace

// Each form of address page that public echo services and routers use is
// read through several cycles while the address changes; each change is
// pushed to the update endpoint, which answers "good".
TEST(RealServers, AddressPageFormsFollowTheChangingAddress) {
  Nginx nginx;
  std::string why;
  if (!StartNginx(nginx, why)) GTEST_SKIP() << why;

  struct Row {
    std::string Name;
    std::vector<std::string> Paths;  // the source chain: URL, URL1, ...
    std::string Prefix;
  };
  const std::vector<Row> rows = {
      {"html", {"/ip.html"}, "Current IP Address:"},
      {"bare", {"/bare"}, ""},
      {"lf", {"/lf"}, ""},
      {"router", {"/router/", "/router/status"}, "WAN IP Address:"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    nginx.ShowAddress(kFirst);
    std::string host = row.Name + ".example.org";
    std::string ini = "[Source]\nInterval=1\nLog=2\nPrefix=" + row.Prefix + "\n";
    for (size_t i = 0; i < row.Paths.size(); ++i)
      ini += "URL" + (i == 0 ? std::string() : std::to_string(i)) + "=" + nginx.Url(row.Paths[i]) +
             "\n";
    ini += ServerSection("Srv1", UpdateUrl(nginx, host), "Pass=s3cret-Pass\n");
    ServiceRun run;
    run.WriteIni(ini);
    run.Start();

    ASSERT_TRUE(run.WaitForLog("Updated [Srv1]", kPatience)) << run.Log() << nginx.Diagnostics();
    EXPECT_GE(run.CountLog("Found [Source] IP:   " + kFirst), 1) << run.Log();
    nginx.ShowAddress(kSecond);
    ASSERT_TRUE(run.WaitForLog("IP changed from (" + kFirst + ") to (" + kSecond + ")", kPatience))
        << run.Log();
    ASSERT_TRUE(
        ServiceRun::WaitUntil([&] { return run.CountLog("Updated [Srv1]") >= 2; }, kPatience))
        << run.Log();
    StopService(run);

    EXPECT_EQ(Read(run, "Status", "LastIP"), kSecond);
    EXPECT_FALSE(Read(run, "Srv1", "LastUpdate").empty());
    EXPECT_EQ(run.CountLog("Unsuccessful"), 0) << run.Log();
    EXPECT_EQ(Requests(nginx, UpdateRequest(host, kFirst)).size(), 1u);
    EXPECT_EQ(Requests(nginx, UpdateRequest(host, kSecond)).size(), 1u);
    // Source requests carry neither credentials nor a User-Agent.
    for (const auto& e : Requests(nginx, "GET " + row.Paths.back())) {
      EXPECT_EQ(Field(e, kUser), "");
      EXPECT_EQ(Field(e, kUserAgent), "");
    }
  }

  // The router chain: the first page of every chain goes without a cookie,
  // the status page gets back the session cookie the first page set.
  auto first = Requests(nginx, "GET /router/ ");
  auto status = Requests(nginx, "GET /router/status ");
  ASSERT_GE(status.size(), 2u);
  for (const auto& e : first) EXPECT_EQ(Field(e, kCookie), "");
  for (const auto& e : status)
    EXPECT_EQ(Field(e, kCookie), std::string("session=") + Nginx::kSession + "; Path=/");
}

// Without the session cookie the router shows its login page: the prefix is
// not found, nothing is stored and no update is sent.
TEST(RealServers, RouterStatusPageWithoutSessionShowsLoginPage) {
  Nginx nginx;
  std::string why;
  if (!StartNginx(nginx, why)) GTEST_SKIP() << why;
  nginx.ShowAddress(kFirst);
  ServiceRun run;
  run.WriteIni("[Source]\nInterval=1\nLog=2\nURL=" + nginx.Url("/router/status") +
               "\nPrefix=WAN IP Address:\n" +
               ServerSection("Srv1", UpdateUrl(nginx, "login.example.org"), "Pass=s3cret-Pass\n"));
  run.Start();
  ASSERT_TRUE(ServiceRun::WaitUntil(
      [&] { return run.CountLog("Not found Prefix: \"WAN IP Address:\" (Count=1)") >= 2; },
      kPatience))
      << run.Log();
  StopService(run);
  EXPECT_EQ(Read(run, "Status", "LastIP"), "");
  EXPECT_TRUE(Requests(nginx, "GET /nic/update").empty());
}

// Three servers at once: good credentials, wrong credentials, and one behind
// tinyproxy whose record is refreshed by MaxInterval ("nochg" is a success).
TEST(RealServers, UpdatesWithCredentialsProxyAndForcedRefresh) {
  Nginx nginx;
  TinyProxy proxy;
  std::string why;
  if (!StartNginx(nginx, why) || !proxy.Start(why)) GTEST_SKIP() << why;
  nginx.ShowAddress(kFirst);

  const std::string home = UpdateUrl(nginx, "home.example.org");
  const std::string office = UpdateUrl(nginx, "office.example.org");
  const std::string proxied = UpdateUrl(nginx, "proxied.example.org");
  ServiceRun run;
  run.WriteIni("[Source]\nInterval=1\nLog=4\nURL=" + nginx.Url("/ip.html") +
               "\nPrefix=Current IP Address:\n" +
               ServerSection("Srv1", home, "Pass=s3cret-Pass\n") +
               ServerSection("Srv2", office, "Pass=wrong\nMinInterval=3600\n") +
               ServerSection("Srv3", proxied,
                             "Pass=s3cret-Pass\nMaxInterval=2\nProxy=127.0.0.1\nProxyPort=" +
                                 std::to_string(proxy.Port()) + "\n"));
  run.Start();

  ASSERT_TRUE(run.WaitForLog("[Srv3] data rcvd.: nochg " + kFirst, kPatience))
      << run.Log() << proxy.Log();
  nginx.ShowAddress(kSecond);
  ASSERT_TRUE(run.WaitForLog("[Srv3] data rcvd.: good " + kSecond, kPatience)) << run.Log();
  ASSERT_TRUE(run.WaitForLog("[Srv1] data rcvd.: good " + kSecond, kPatience)) << run.Log();
  StopService(run);
  std::string log = run.Log();

  // The good account: one "good" per address, sent with the service's identity.
  auto homeRequests = Requests(nginx, "GET /nic/update?hostname=home.");
  ASSERT_EQ(homeRequests.size(), 2u) << log;
  EXPECT_EQ(Field(homeRequests[0], kRequest), UpdateRequest("home.example.org", kFirst));
  EXPECT_EQ(Field(homeRequests[1], kRequest), UpdateRequest("home.example.org", kSecond));
  for (const auto& e : homeRequests) {
    EXPECT_EQ(Field(e, kUser), "zelvo");
    EXPECT_EQ(Field(e, kStatus), "200");
    EXPECT_EQ(Field(e, kUserAgent), ExpectedUserAgent());
    EXPECT_EQ(Field(e, kFrom), std::string("Zelvo/1.0 ") + kContactAddress);
    EXPECT_EQ(Field(e, kVia), "");
  }
  EXPECT_NE(log.find("Updated [Srv1] " + Expand(home, kSecond)), std::string::npos) << log;

  // The wrong password: refused once, not retried within MinInterval.
  auto officeRequests = Requests(nginx, "GET /nic/update?hostname=office.");
  ASSERT_EQ(officeRequests.size(), 1u) << log;
  EXPECT_EQ(Field(officeRequests[0], kUser), "zelvo");
  EXPECT_EQ(Field(officeRequests[0], kStatus), "401");
  std::string officeFirst = Expand(office, kFirst);
  EXPECT_NE(log.find("Authentication with server " + officeFirst + " failed"), std::string::npos)
      << log;
  EXPECT_NE(log.find("Unsuccessful UPDATE [Srv2] " + officeFirst + " Response: badauth"),
            std::string::npos)
      << log;
  EXPECT_FALSE(Read(run, "Srv2", "LastAttmpt").empty());
  EXPECT_EQ(Read(run, "Srv2", "LastUpdate"), "");

  // Through the proxy: the full URL went to tinyproxy, which passed it on.
  auto proxiedRequests = Requests(nginx, "GET /nic/update?hostname=proxied.");
  ASSERT_GE(proxiedRequests.size(), 3u) << log;
  for (const auto& e : proxiedRequests) {
    EXPECT_EQ(Field(e, kUser), "zelvo");
    EXPECT_NE(Field(e, kVia).find("zelvo-test-proxy"), std::string::npos);
  }
  EXPECT_NE(proxy.Log().find("GET " + Expand(proxied, kFirst)), std::string::npos) << proxy.Log();
  EXPECT_GE(run.CountLog("[Srv3] MaxInterval passed - force update"), 1) << log;
  EXPECT_FALSE(Read(run, "Srv3", "LastUpdate").empty());

  EXPECT_EQ(Read(run, "Status", "LastIP"), kSecond);
  EXPECT_FALSE(Read(run, "Status", "Changed").empty());
}
