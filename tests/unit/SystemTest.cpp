// Message boxes as printed, the foreground echo of system-log entries, and the
// sd_notify datagrams sent to a path and to an abstract socket.
#include "platform/System.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/Exception.h"
#include "support/NotifyListener.h"

using namespace std::chrono_literals;

TEST(System, MessageBoxPrintsCaptionThenTextWithEveryCrAsALineBreak) {
  struct Row {
    std::string text, caption, printed;
  };
  const std::vector<Row> rows = {
      {"Service installed successfully", "Information",
       "Information\nService installed successfully\n"},
      {"\rINI file invalid or not found: /a/b.ini", "ZelvoSvc",
       "ZelvoSvc\n\nINI file invalid or not found: /a/b.ini\n"},
      {"a\r\rb\rc", "X", "X\na\n\nb\nc\n"},
      {"line\nfeed", "X", "X\nline\nfeed\n"},
      {"", "Empty", "Empty\n\n"},
  };
  for (const auto& row : rows) EXPECT_EQ(MessageBoxText(row.text, row.caption), row.printed);
}

TEST(System, EchoedSystemLogEntryIsOneTrimmedLine) {
  struct Row {
    std::string text, line;
  };
  const std::vector<Row> rows = {
      {"Service failed on execute: Unable to write to /x.ini",
       "ZelvoSvc: Service failed on execute: Unable to write to /x.ini"},
      {"\rINI file invalid or not found: /x.ini",
       "ZelvoSvc: INI file invalid or not found: /x.ini"},
      {"a\r\nb\n\nc\r", "ZelvoSvc: a b c"},
      {"", "ZelvoSvc: "},
  };
  for (const auto& row : rows) EXPECT_EQ(SystemLogEchoLine(row.text), row.line);
}

TEST(System, ExceptionClassNameIsReadable) {
  EXPECT_EQ(ExceptionClassName(Exception("x")), "Exception");
  EXPECT_EQ(ExceptionClassName(std::runtime_error("x")), "std::runtime_error");
}

TEST(System, NotifySendsOneDatagramToAPathOrAnAbstractSocket) {
  for (bool abstract : {false, true}) {
    SCOPED_TRACE(abstract ? "abstract" : "path");
    NotifyListener listener(abstract);
    setenv("NOTIFY_SOCKET", listener.Address().c_str(), 1);
    NotifyServiceManager("READY=1\nSTATUS=Running");
    unsetenv("NOTIFY_SOCKET");
    EXPECT_TRUE(listener.WaitFor("READY=1\nSTATUS=Running", 5s));
    EXPECT_EQ(listener.Messages().size(), 1u);
  }
}

TEST(System, NotifyWithoutOrWithAnUnusableSocketDoesNothing) {
  NotifyListener listener(false);
  const std::vector<std::string> unusable = {"",  "relative/path",   "@",
                                             "/", "/no/such/socket", std::string(200, '/')};
  unsetenv("NOTIFY_SOCKET");
  NotifyServiceManager("READY=1");  // no variable at all
  for (const auto& value : unusable) {
    setenv("NOTIFY_SOCKET", value.c_str(), 1);
    NotifyServiceManager("READY=1");
  }
  unsetenv("NOTIFY_SOCKET");
  EXPECT_TRUE(listener.Messages().empty());
}
