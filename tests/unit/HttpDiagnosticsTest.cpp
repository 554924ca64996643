// The HTTP transfer diagnostics of the service object: the progress filter,
// the failure and authentication lines, the received data and cookie lines,
// in their order and at their levels, with the real clients against the
// loopback test server and a log file in a temporary folder.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "config/IniFile.h"
#include "service/Main.h"
#include "support/Harness.h"
#include "support/TestServer.h"

namespace {

constexpr size_t kStampLength = 20;  // "yyyy.mm.dd hh:nn:ss "

class HttpDiagnostics : public ::testing::Test {
 protected:
  void SetUp() override { UseLogLevel(4); }

  void UseLogLevel(int level) {
    WriteFileOrDie(dir_.File("ZelvoSvc.ini"),
                   "[Source]\nInterval=60\nLog=" + std::to_string(level) + "\n");
    svc_.IniFile = std::make_unique<TIniFile>(dir_.File("ZelvoSvc.ini"));
    svc_.LogFileName = dir_.File("ZelvoSvc.log");
    // As at the service's start: the first line written opens the log
    // stream's file only for the lines after it.
    svc_.WriteLog("");
  }

  // The log file's text with the time stamp of every line removed; a line of
  // a message that runs over several lines stays as it is.
  std::string Messages() {
    svc_.LogStream.Flush();
    std::string text = ReadFileOrEmpty(dir_.File("ZelvoSvc.log"));
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size() - 1;
      std::string line = text.substr(start, end + 1 - start);
      bool stamped = line.size() > kStampLength && line[4] == '.' && line[7] == '.' &&
                     line[13] == ':' && line[16] == ':' && line[19] == ' ';
      out += stamped ? line.substr(kStampLength) : line;
      start = end + 1;
    }
    return out;
  }

  // Source request as the source chain makes it: Get, then the data lines.
  void SourceRequest(const std::string& url, int reportLevel = 0) {
    svc_.CurrentSection = "Source";
    svc_.SourceURL = url;
    svc_.httpSrc.InputFileMode = false;
    svc_.httpSrc.TimeOut = 10000;
    svc_.httpSrc.ReportLevel = reportLevel;
    svc_.httpSrc.Get(url);
    svc_.LogReceivedData(svc_.httpSrc, true);
  }

  // Update request: Get, then the data lines without stripping.
  void UpdateRequest(const std::string& url) {
    svc_.CurrentSection = "Srv1";
    svc_.UpdateURL = url;
    svc_.httpDst.TimeOut = 10000;
    svc_.httpDst.Body.clear();
    svc_.httpDst.Get(url);
    svc_.LogReceivedData(svc_.httpDst, false);
  }

  TempDir dir_;
  TZelvoSvc svc_;
  TestServer server_;
};

TEST_F(HttpDiagnostics, StatusFilterDropsTimerReadAndWriteMessages) {
  struct Row {
    std::string status;
    bool logged;
  };
  const std::vector<Row> rows = {
      {"Timer On", false},    {"ReadLn HTTP/1.0 200 OK", false},
      {"Writeln", false},     {"WriteLn GET / HTTP/1.0", false},
      {"er", false},          {"Tim", true},
      {"Time", true},         {"", false},
      {"L", false},           {"Connecting", true},
      {"Resolve Host", true}, {"Transaction Completed", true},
      {"timer on", true},     {"ReadX", true},
  };
  svc_.CurrentSection = "Source";
  svc_.httpSrc.ReportLevel = 31;
  std::string expected;
  for (const Row& row : rows) {
    svc_.httpStatus(svc_.httpSrc, row.status);
    if (row.logged) expected += "[Source] debug info: " + row.status + "\n";
  }
  svc_.httpSrc.ReportLevel = 0;
  svc_.httpStatus(svc_.httpSrc, "Connecting");
  EXPECT_EQ(Messages(), expected);
}

TEST_F(HttpDiagnostics, FailureAndAuthenticationLinesComeBeforeTheData) {
  server_.Push(ScriptedReply::Status(404, "Not Found", "no such host"));
  server_.Push(ScriptedReply::Status(401, "Unauthorized", "login first"));
  server_.Push(ScriptedReply::Status(401, "Unauthorized", "badauth"));
  const std::string src = server_.Url("/status");
  const std::string dst = server_.Url("/nic/update?myip=1.2.3.4");
  UpdateRequest(dst);
  SourceRequest(src);
  UpdateRequest(dst);
  EXPECT_EQ(Messages(), "UPDATE of " + dst + " failed\n" +
                            "[Srv1] data rcvd.: no such host\n"
                            "GET from source URL " +
                            src + " failed\n" + "Authentication with source " + src + " failed\n" +
                            "[Source] data rcvd.: login first\n"
                            "UPDATE of " +
                            dst + " failed\n" + "Authentication with server " + dst + " failed\n" +
                            "[Srv1] data rcvd.: badauth\n");
}

TEST_F(HttpDiagnostics, BodyAndCookieLines) {
  struct Row {
    std::string name;
    ScriptedReply reply;
    bool source;
    std::string lines;
  };
  const std::vector<Row> rows = {
      {"two lines, stripped", ScriptedReply::Ok("line1\r\nline2\n"), true,
       "[Source] data rcvd.: line1line2\n"},
      {"two lines, kept", ScriptedReply::Ok("line1\r\nline2\n"), false,
       "[Srv1] data rcvd.: line1\r\nline2\n\n"},
      {"cookie", ScriptedReply::Ok("ok", "Set-Cookie: SID=42; path=/"), true,
       "[Source] data rcvd.: ok\n[Source] set cookie: SID=42; path=/\n"},
      {"cookie on an update", ScriptedReply::Ok("", "Set-Cookie: u=1"), false,
       "[Srv1] set cookie: u=1\n"},
      {"nothing", ScriptedReply::Ok(""), true, ""},
  };
  for (const Row& row : rows) {
    server_.Push(row.reply);
    const std::string before = Messages();
    if (row.source)
      SourceRequest(server_.Url());
    else
      UpdateRequest(server_.Url());
    EXPECT_EQ(Messages().substr(before.size()), row.lines) << row.name;
  }
}

TEST_F(HttpDiagnostics, FailedUpdateRepeatsThePreviousCookieOnly) {
  server_.Push(ScriptedReply::Ok("first", "Set-Cookie: old=1"));
  ScriptedReply reset;
  reset.Reset = true;
  server_.Push(reset);
  UpdateRequest(server_.Url());
  const std::string before = Messages();
  EXPECT_ANY_THROW(UpdateRequest(server_.Url()));
  svc_.LogReceivedData(svc_.httpDst, false);
  EXPECT_EQ(Messages().substr(before.size()), "[Srv1] set cookie: old=1\n");
}

TEST_F(HttpDiagnostics, ProgressLinesFollowTheReportLevel) {
  SourceRequest(server_.Url(), 31);
  EXPECT_EQ(Messages(),
            "[Source] debug info: Resolve Host\n"
            "[Source] debug info: Connecting\n"
            "[Source] debug info: Connected\n"
            "[Source] debug info: Request Sent\n"
            "[Source] debug info: Capture String\n"
            "[Source] debug info: Request Close Socket\n"
            "[Source] debug info: Disconnecting\n"
            "[Source] debug info: Transaction Completed\n");
  const std::string before = Messages();
  SourceRequest(server_.Url(), 0);
  EXPECT_EQ(Messages(), before);
}

TEST_F(HttpDiagnostics, DataLinesNeedLogLevelFour) {
  UseLogLevel(3);
  const std::string before = Messages();
  server_.Push(ScriptedReply::Status(404, "Not Found", "page", "Set-Cookie: c=1"));
  UpdateRequest(server_.Url());
  EXPECT_EQ(Messages().substr(before.size()), "UPDATE of " + server_.Url() + " failed\n");
}

TEST(StripLineBreaks, RemovesEveryCrAndLf) {
  struct Row {
    std::string in;
    std::string out;
  };
  const std::vector<Row> rows = {
      {"", ""},
      {"\r\n\r\n\n\r", ""},
      {"a\r\nb\nc\rd", "abcd"},
      {"no breaks", "no breaks"},
      {std::string("nul\0kept\t", 9), std::string("nul\0kept\t", 9)},
  };
  for (const Row& row : rows) EXPECT_EQ(StripLineBreaks(row.in), row.out);
}

}  // namespace
