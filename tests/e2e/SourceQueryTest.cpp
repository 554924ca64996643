// Whole polling cycles of the built service reading its public address from
// loopback servers: the URL chain with its cookies, text and file mode, the
// failures that end a chain or are tolerated, and what lands in "Status".
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <vector>

#include "config/IniFile.h"
#include "support/Harness.h"
#include "support/TestServer.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kLimit = 30s;
const std::string kFound = "Found [Source] IP:   ";

// Section "Source" with `keys` added; a long interval unless a test needs
// more than one cycle.
std::string SourceIni(const std::string& keys, const std::string& interval = "3600",
                      const std::string& log = "4") {
  return "[Source]\nInterval=" + interval + "\nLog=" + log + "\n" + keys;
}

std::string StatusIni(const std::string& ip, const std::string& changed) {
  return "[Status]\nLastIP=" + ip + "\nChanged=" + changed + "\n";
}

std::string Value(const ServiceRun& run, const std::string& section, const std::string& key) {
  bool found = false;
  return IniLookup(run.Ini(), section, key, found);
}

// Stops the service; the cycle under way is completed before the stop acts.
void Stop(ServiceRun& run) {
  run.Signal(SIGTERM);
  const ExitStatus st = run.Wait(kLimit);
  EXPECT_TRUE(st.Exited && st.Code == 0) << run.Stderr();
}

// Starts the service, waits for a log line holding `text`, then stops it.
void RunUntil(ServiceRun& run, const std::string& text) {
  run.Start();
  EXPECT_TRUE(run.WaitForLog(text, kLimit)) << run.Log();
  Stop(run);
}

// Starts the service and stops it once `count` lines hold `text`.
void RunCycles(ServiceRun& run, const std::string& text, int count) {
  run.Start();
  EXPECT_TRUE(ServiceRun::WaitUntil([&] { return run.CountLog(text) >= count; }, kLimit))
      << run.Log();
  Stop(run);
}

bool HasHeader(const std::string& request, const std::string& line) {
  return request.find("\r\n" + line + "\r\n") != std::string::npos;
}

bool HasCookie(const std::string& request) {
  return request.find("\r\nCookie:") != std::string::npos;
}

std::string RequestLine(const std::string& request) {
  return request.substr(0, request.find("\r\n"));
}

TEST(SourceChain, CookieOfEachAnswerGoesToTheNextRequestOnly) {
  TestServer server;
  for (int cycle = 0; cycle < 2; ++cycle) {
    server.Push(ScriptedReply::Ok("<a href=/status>login ok</a>", "Set-Cookie: sid=abc123"));
    server.Push(ScriptedReply::Ok("<p>menu</p>"));
    server.Push(ScriptedReply::Ok("Current IP Address: 203.0.113.7\r\n", "Set-Cookie: last=zzz"));
  }
  ServiceRun run;
  run.WriteIni(SourceIni("URL=" + server.Url("/login") + "\nURL1=" + server.Url("/menu") +
                             "\nURL2=" + server.Url("/status") + "\nPrefix=Current IP Address: \n",
                         "1"));
  RunCycles(run, kFound + "203.0.113.7", 2);

  const std::vector<std::string> requests = server.Requests();
  ASSERT_GE(requests.size(), 6u) << run.Log();
  EXPECT_EQ(RequestLine(requests[0]), "GET /login HTTP/1.0");
  EXPECT_FALSE(HasCookie(requests[0]));
  EXPECT_TRUE(HasHeader(requests[1], "Cookie: sid=abc123")) << requests[1];
  EXPECT_FALSE(HasCookie(requests[2])) << "the menu answer set no cookie";
  EXPECT_FALSE(HasCookie(requests[3])) << "a new cycle starts without the cookie";
  EXPECT_TRUE(HasHeader(requests[4], "Cookie: sid=abc123"));
  EXPECT_EQ(run.CountLog("[Source] set cookie: last=zzz"), 2);
  EXPECT_EQ(run.CountLog("[Source] connecting: " + server.Url("/login")), 2);
  EXPECT_EQ(run.CountLog("IP changed from () to (203.0.113.7)"), 1) << run.Log();
}

TEST(SourceChain, StatusHoldsAddressAndTimeKeptWhileTheAddressStays) {
  TestServer server;
  server.SetDefault(ScriptedReply::Ok("198.51.100.20\n"));
  ServiceRun run;
  run.WriteIni(SourceIni("URL=" + server.Url("/ip") + "\n", "1"));
  run.Start();
  ASSERT_TRUE(run.WaitForLog("IP changed from () to (198.51.100.20)", kLimit)) << run.Log();
  const std::string firstStamp = Value(run, "Status", "Changed");
  EXPECT_EQ(Value(run, "Status", "LastIP"), "198.51.100.20");
  EXPECT_EQ(firstStamp.size(), 19u);
  // Two more cycles, more than a second apart: a rewritten stamp would differ.
  EXPECT_TRUE(
      ServiceRun::WaitUntil([&] { return run.CountLog(kFound + "198.51.100.20") >= 3; }, kLimit));
  Stop(run);
  EXPECT_EQ(Value(run, "Status", "Changed"), firstStamp);
  EXPECT_EQ(run.CountLog("IP changed"), 1);
}

TEST(SourceChain, CredentialsAndProxyOfSectionSourceReachTheRequest) {
  TestServer proxy;
  proxy.SetDefault(ScriptedReply::Ok("<p>WAN: 192.0.2.9</p>"));
  ServiceRun run;
  run.WriteIni(
      SourceIni("URL=http://router.invalid/status.htm\nUser=admin\nPass=s3cret\n"
                "Proxy=127.0.0.1\nProxyPort=" +
                std::to_string(proxy.Port()) + "\nPrefix=WAN:\n"));
  RunUntil(run, "IP changed from () to (192.0.2.9)");
  ASSERT_EQ(proxy.RequestCount(), 1u);
  const std::string request = proxy.Requests()[0];
  EXPECT_EQ(RequestLine(request), "GET http://router.invalid/status.htm HTTP/1.0");
  EXPECT_TRUE(HasHeader(request, "Proxy-Connection: Keep-Alive")) << request;
  EXPECT_TRUE(HasHeader(request, "Host: router.invalid")) << request;
  EXPECT_TRUE(HasHeader(request, "Authorization: Basic YWRtaW46czNjcmV0")) << request;
  EXPECT_EQ(request.find("User-Agent"), std::string::npos);
  EXPECT_EQ(request.find("From:"), std::string::npos);
}

TEST(SourceChain, ErrorStatusInTheMiddleGoesOnWithItsCookie) {
  TestServer server;
  server.Push(ScriptedReply::Status(404, "Not Found", "<h1>Not Found</h1>", "Set-Cookie: c=1"));
  server.Push(ScriptedReply::Ok("WAN 192.0.2.44"));
  ServiceRun run;
  run.WriteIni(
      SourceIni("URL=" + server.Url("/gone") + "\nURL1=" + server.Url("/wan") + "\nPrefix=WAN\n"));
  RunUntil(run, "IP changed from () to (192.0.2.44)");
  ASSERT_EQ(server.RequestCount(), 2u);
  EXPECT_TRUE(HasHeader(server.Requests()[1], "Cookie: c=1"));
  EXPECT_EQ(run.CountLog("GET from source URL " + server.Url("/gone") + " failed"), 1);
  EXPECT_EQ(Value(run, "Status", "LastIP"), "192.0.2.44");
}

TEST(SourceChain, GapInTheUrlFamilyEndsTheChain) {
  TestServer server;
  server.SetDefault(ScriptedReply::Ok("10.9.8.7"));
  ServiceRun run;
  run.WriteIni(SourceIni("URL=" + server.Url("/a") + "\nURL1=" + server.Url("/b") +
                         "\nURL2=\nURL3=" + server.Url("/d") + "\n"));
  RunUntil(run, kFound + "10.9.8.7");
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(RequestLine(requests[0]), "GET /a HTTP/1.0");
  EXPECT_EQ(RequestLine(requests[1]), "GET /b HTTP/1.0");
}

TEST(SourceChain, EmptyFirstUrlInTextModeMakesNoRequest) {
  TestServer server;
  server.SetDefault(ScriptedReply::Ok("10.9.8.7"));
  ServiceRun run;
  run.WriteIni(SourceIni("URL=\nURL1=" + server.Url("/b") + "\n") +
               StatusIni("10.1.1.1", StampFromNow(-60)));
  RunUntil(run, "Empty IP string - invalid Prefix or router offline?");
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_EQ(run.CountLog("connecting"), 0);
  EXPECT_EQ(Value(run, "Status", "LastIP"), "10.1.1.1");
}

TEST(SourceChain, EmptyFirstUrlInFileModeReadsTheFileAnotherProgramKeeps) {
  ServiceRun run;
  const std::string file = run.Dir() + "/wan-status.txt";
  WriteFileOrDie(file, "ppp0 up\naddress: 100.64.0.10\n");
  run.WriteIni(SourceIni("File=wan-status.txt\nPrefix=address:\n", "1"));
  run.Start();
  ASSERT_TRUE(run.WaitForLog("IP changed from () to (100.64.0.10)", kLimit)) << run.Log();
  WriteFileOrDie(file, "ppp0 up\naddress: 100.64.0.11\n");
  EXPECT_TRUE(run.WaitForLog("IP changed from (100.64.0.10) to (100.64.0.11)", kLimit))
      << run.Log();
  Stop(run);
  EXPECT_EQ(ReadFileOrEmpty(file), "ppp0 up\naddress: 100.64.0.11\n") << "never deleted";
  EXPECT_EQ(Value(run, "Status", "LastIP"), "100.64.0.11");
}

TEST(SourceChain, ResetIsNotRetriedAndLeavesStatusUntouched) {
  TestServer server;
  ScriptedReply reset;
  reset.Reset = true;
  server.SetDefault(reset);
  ServiceRun run;
  const std::string stamp = StampFromNow(-3600);
  run.WriteIni(SourceIni("URL=" + server.Url("/ip") + "\nURL1=" + server.Url("/never") + "\n") +
               StatusIni("198.51.100.1", stamp));
  RunUntil(run, "Exception at GET source ");
  EXPECT_EQ(server.RequestCount(), 1u) << "10054 is not among the retried errors";
  EXPECT_EQ(run.CountLog("Exception at GET source " + server.Url("/ip") +
                         ": 10054: Connection reset by peer"),
            1)
      << run.Log();
  EXPECT_EQ(run.CountLog(kFound), 0);
  EXPECT_EQ(Value(run, "Status", "LastIP"), "198.51.100.1");
  EXPECT_EQ(Value(run, "Status", "Changed"), stamp);
}

TEST(SourceChain, CutOffTextBodyIsUsedCutOffFileBodyIsNot) {
  struct Row {
    const char* Name;
    std::string File;
    std::string Line;  // logged for the cut-off
    std::string LastIP;
  };
  const std::vector<Row> rows = {
      {"text mode", "",
       "Exception Socket capture aborted (Received data might be incomplete. Proceeding "
       "anyway...)",
       "192.0.2.77"},
      {"file mode", "body.html", "Exception at GET source URL_HERE: Socket send aborted",
       "10.0.0.1"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    TestServer server;
    ScriptedReply partial = ScriptedReply::Ok("<p>IP: 192.0.2.77</p>\n<p>uptime");
    partial.HangAfter = true;
    server.SetDefault(partial);
    ServiceRun run;
    const std::string url = server.Url("/status");
    run.WriteIni(SourceIni("URL=" + url + "\nTimeout=1\nPrefix=IP:\nFile=" + r.File + "\n") +
                 StatusIni("10.0.0.1", StampFromNow(-60)));
    std::string line = r.Line;
    if (line.find("URL_HERE") != std::string::npos) line.replace(line.find("URL_HERE"), 8, url);
    RunUntil(run, line);
    EXPECT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(Value(run, "Status", "LastIP"), r.LastIP) << run.Log();
  }
}

TEST(SourceChain, LogThreeSwitchesOnTheClientProgressLines) {
  struct Row {
    const char* Log;
    bool Progress;
  };
  for (const Row& r : std::vector<Row>{{"2", false}, {"3", true}}) {
    SCOPED_TRACE(r.Log);
    TestServer server;
    server.SetDefault(ScriptedReply::Ok("172.16.5.4"));
    ServiceRun run;
    run.WriteIni(SourceIni("URL=" + server.Url("/ip") + "\n", "3600", r.Log));
    RunUntil(run, kFound + "172.16.5.4");
    EXPECT_EQ(run.CountLog("[Source] connecting: " + server.Url("/ip")), 1);
    EXPECT_EQ(run.CountLog("[Source] debug info: Connecting") == 1, r.Progress) << run.Log();
    EXPECT_EQ(run.CountLog("[Source] debug info: ") > 0, r.Progress);
  }
}

TEST(SourceChain, AddressExtractedFromPagesThroughTheService) {
  struct Row {
    const char* Name;
    std::string Body;
    std::string Keys;    // Prefix and Count
    std::string Stored;  // "Status"/"LastIP" before; "" for the first run
    std::string Line;    // the line that ends the extraction
    std::string LastIP;  // "Status"/"LastIP" after
  };
  const std::vector<Row> rows = {
      {"plain address, first run", "203.0.113.7\r\n", "", "", "IP changed from () to (203.0.113.7)",
       "203.0.113.7"},
      {"html echo page, changed address",
       "<html><body>Current IP Address: 198.51.100.23</body></html>",
       "Prefix=\"Current IP Address: \"\n", "203.0.113.7",
       "IP changed from (203.0.113.7) to (198.51.100.23)", "198.51.100.23"},
      {"empty prefix, page begins with a blank", " 203.0.113.7", "", "1.1.1.1",
       "Empty IP string - invalid Prefix or router offline?", "1.1.1.1"},
      {"router page, prefix ends the line", "<b>WAN IP:</b>\r\n      192.0.2.200 (PPPoE)",
       "Prefix=WAN IP:</b>\n", "", "IP changed from () to (192.0.2.200)", "192.0.2.200"},
      {"count 2", "LAN IP: 10.0.0.1<br>WAN IP: 100.64.1.2<br>", "Prefix=IP:\nCount=2\n", "",
       "IP changed from () to (100.64.1.2)", "100.64.1.2"},
      {"count 2, one occurrence", "WAN IP: 100.64.1.2", "Prefix=IP:\nCount=2\n", "1.1.1.1",
       "Not found Prefix: \"IP:\" (Count=2)", "1.1.1.1"},
      {"prefix in capitals on the page", "CURRENT IP ADDRESS: 1.2.3.4",
       "Prefix=Current IP Address:\n", "1.1.1.1",
       "Not found Prefix: \"Current IP Address:\" (Count=1)", "1.1.1.1"},
      {"all-zero address", "IP: 0.0.0.0", "Prefix=IP:\n", "1.1.1.1", kFound + "0.0.0.0", "1.1.1.1"},
      {"same address again", "IP: 1.1.1.1", "Prefix=IP:\n", "1.1.1.1", kFound + "1.1.1.1",
       "1.1.1.1"},
      {"end of a sentence", "Your address is 1.1.1.1.", "Prefix=is\n", "1.1.1.1",
       kFound + "1.1.1.1", "1.1.1.1"},
      {"too few numbers", "IP: 1.2", "Prefix=IP:\n", "1.1.1.1",
       "Invalid IP string \"1.2\" - invalid Prefix or router offline?", "1.1.1.1"},
      {"number above 255", "IP: 999.1.1.1.", "Prefix=IP:\n", "1.1.1.1",
       "Invalid IP string \"999.1.1.1.\" - invalid Prefix or router offline?", "1.1.1.1"},
      {"leading zero", "IP: 01.2.3.4", "Prefix=IP:\n", "1.2.3.4",
       "Invalid IP string \"01.2.3.4\" - invalid Prefix or router offline?", "1.2.3.4"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    TestServer server;
    server.SetDefault(ScriptedReply::Ok(r.Body));
    ServiceRun run;
    const std::string stamp = StampFromNow(-3600);
    run.WriteIni(SourceIni("URL=" + server.Url("/") + "\n" + r.Keys) +
                 (r.Stored.empty() ? "" : StatusIni(r.Stored, stamp)));
    RunUntil(run, r.Line);
    const bool changed = r.LastIP != r.Stored;
    EXPECT_EQ(Value(run, "Status", "LastIP"), r.LastIP) << run.Log();
    EXPECT_EQ(run.CountLog("IP changed"), changed ? 1 : 0);
    EXPECT_EQ(run.CountLog(kFound), r.Line.find("IP changed") == 0 || r.Line.find(kFound) == 0)
        << "no Found line for a failed extraction";
    if (changed) {
      EXPECT_EQ(Value(run, "Status", "Changed").size(), 19u);
      EXPECT_NE(Value(run, "Status", "Changed"), stamp);
    } else if (!r.Stored.empty()) {
      EXPECT_EQ(Value(run, "Status", "Changed"), stamp);
    }
  }
}

}  // namespace
