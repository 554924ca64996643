// A scripted HTTP server on 127.0.0.1 for the tests. It records every raw
// request it receives and answers each connection with the next step of its
// script (or the default answer when the script is used up).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ScriptedReply {
  // Raw bytes sent after the request has been read, e.g.
  // "HTTP/1.0 200 OK\r\nSet-Cookie: a=b\r\n\r\nbody". Use Ok()/Status() helpers.
  std::string Raw;
  std::chrono::milliseconds DelayBefore{0};  // wait before answering
  bool OneByteAtATime = false;               // with ByteDelay between bytes
  std::chrono::milliseconds ByteDelay{0};
  bool HangAfter = false;    // keep the connection open after sending (until stopped)
  bool Reset = false;        // close with RST instead of sending (after DelayBefore)
  bool CloseEarly = false;   // close without answering (after DelayBefore)
  bool Endless = false;      // after Raw, send filler bytes until the peer goes away
  uint64_t FillerBytes = 0;  // after Raw, send this many filler bytes, then close

  static ScriptedReply Ok(const std::string& body, const std::string& extraHeaders = "");
  static ScriptedReply Status(int code, const std::string& reason, const std::string& body,
                              const std::string& extraHeaders = "");
};

class TestServer {
 public:
  TestServer();   // listens on 127.0.0.1, a free port
  ~TestServer();  // stops, closing every connection
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  int Port() const { return port_; }
  std::string Url(const std::string& path = "/") const;  // "http://127.0.0.1:<port><path>"

  void Push(const ScriptedReply& reply);        // appended to the script
  void SetDefault(const ScriptedReply& reply);  // answer once the script is used up
  // Raw requests received so far (request line and headers up to the empty line).
  std::vector<std::string> Requests() const;
  size_t RequestCount() const;
  bool WaitForRequests(size_t count, std::chrono::milliseconds limit) const;

 private:
  struct Worker {
    std::thread Thread;
    std::shared_ptr<std::atomic<bool>> Done;
  };
  void Serve();
  void ReapFinishedWorkers();
  void Answer(int fd);
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::deque<ScriptedReply> script_;
  ScriptedReply default_;
  std::vector<std::string> requests_;
  std::thread thread_;
  std::vector<Worker> workers_;  // touched by the listening thread only
};
