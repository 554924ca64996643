// The received body: the NUL-delimited piece reader on streams, and the body
// of a client read from its text or its body file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "service/Main.h"
#include "source/ReceivedBody.h"
#include "support/Harness.h"

namespace {

const std::string kNul(1, '\0');

// Every piece ReadStreamLine gives until the stream is no longer good.
std::vector<std::string> Pieces(const std::string& data, char delimiter) {
  std::istringstream in(data);
  std::vector<std::string> pieces;
  for (int guard = 0; guard < 1000 && in.good(); ++guard)
    pieces.push_back(ReadStreamLine(in, delimiter));
  EXPECT_TRUE(in.eof());
  return pieces;
}

TEST(ReadStreamLine, SplitsAtTheDelimiterInAnyLength) {
  const std::string a4096(4096, 'a');
  const std::string b5000(5000, 'b');
  const std::string c8192(8192, 'c');
  struct Row {
    std::string name;
    std::string data;
    std::vector<std::string> pieces;
  };
  const std::vector<Row> rows = {
      {"empty", "", {""}},
      {"no delimiter", "abc", {"abc"}},
      {"CR LF kept", "a\r\nb", {"a\r\nb"}},
      {"one NUL", "a" + kNul + "b", {"a", "b"}},
      {"NUL at the end", "a" + kNul, {"a", ""}},
      {"NULs first and twice", kNul + kNul + "a", {"", "", "a"}},
      {"NULs only", kNul + kNul, {"", "", ""}},
      {"exactly one step", a4096, {a4096}},
      {"step then NUL", a4096 + kNul + "x", {a4096, "x"}},
      {"step then more", a4096 + "x" + kNul + "y", {a4096 + "x", "y"}},
      {"two steps", c8192 + kNul, {c8192, ""}},
      {"long piece", b5000, {b5000}},
      {"one short of a step", std::string(4095, 'd') + kNul + "e", {std::string(4095, 'd'), "e"}},
  };
  for (const Row& row : rows) EXPECT_EQ(Pieces(row.data, '\0'), row.pieces) << row.name;
  EXPECT_EQ(Pieces("a\nb", '\n'), (std::vector<std::string>{"a", "b"}));
}

TEST(GetReceivedBody, TextModeReturnsBodyUnchanged) {
  TZelvoSvc svc;
  svc.httpDst.InputFileMode = false;
  svc.httpDst.Body = std::string("line1\r\nline2\r\n\0x", 16);
  EXPECT_EQ(svc.GetReceivedBody(svc.httpDst), svc.httpDst.Body);
}

TEST(GetReceivedBody, FileModeReadsTheFileWithoutNuls) {
  TempDir dir;
  const std::string big = std::string(4096, 'a') + "\r\n" + std::string(6000, 'b');
  struct Row {
    std::string name;
    std::string content;
    std::string body;
  };
  const std::vector<Row> rows = {
      {"plain", "<p>IP 1.2.3.4</p>\r\n", "<p>IP 1.2.3.4</p>\r\n"},
      {"NULs inside", "ab" + kNul + "cd" + kNul + kNul + "e" + kNul, "abcde"},
      {"over 4096", big, big},
      {"NUL after a full step", std::string(4096, 'x') + kNul + "y", std::string(4096, 'x') + "y"},
      {"NULs only", std::string(5000, '\0'), ""},
      {"empty", "", ""},
      {"high bytes", "\xff\xfe\x80", "\xff\xfe\x80"},
  };
  TZelvoSvc svc;
  svc.httpSrc.InputFileMode = true;
  svc.httpSrc.Body = dir.File("body.htm");
  for (const Row& row : rows) {
    WriteFileOrDie(dir.File("body.htm"), row.content);
    EXPECT_EQ(svc.GetReceivedBody(svc.httpSrc), row.body) << row.name;
  }
}

TEST(GetReceivedBody, MissingOrUnreadableFileGivesEmptyText) {
  TempDir dir;
  TZelvoSvc svc;
  svc.httpSrc.InputFileMode = true;
  for (const std::string& name : {dir.File("missing.htm"), dir.Path(), std::string()}) {
    svc.httpSrc.Body = name;
    EXPECT_EQ(svc.GetReceivedBody(svc.httpSrc), "") << name;
  }
}

// A FIFO named as the body file gives the empty text at once instead of
// blocking in open until some program writes to it. Should the read block,
// a helper opens the write end after a few seconds, so the test still ends.
TEST(GetReceivedBody, FifoGivesEmptyTextWithoutWaiting) {
  using Clock = std::chrono::steady_clock;
  TempDir dir;
  const std::string fifo = dir.File("body.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::mutex mutex;
  std::condition_variable done;
  bool returned = false;
  std::thread releaser([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (done.wait_for(lock, std::chrono::seconds(3), [&] { return returned; })) return;
    int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) close(fd);
  });
  TZelvoSvc svc;
  svc.httpSrc.InputFileMode = true;
  svc.httpSrc.Body = fifo;
  const Clock::time_point start = Clock::now();
  const std::string body = svc.GetReceivedBody(svc.httpSrc);
  const auto elapsed = Clock::now() - start;
  {
    std::lock_guard<std::mutex> lock(mutex);
    returned = true;
  }
  done.notify_all();
  releaser.join();
  EXPECT_EQ(body, "");
  EXPECT_LT(elapsed, std::chrono::seconds(2)) << "waited for a writer of the FIFO";
}

}  // namespace
