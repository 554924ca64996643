// The service framework on Linux: the command-line switches, the systemd unit
// written and removed, the connection as a service process (systemd or /RUN),
// a framework thread turning signals into queued control codes, and the worker
// thread that runs the service's handlers and serves those codes.
#pragma once

#include <atomic>
#include <functional>
#include <string>

// Control codes queued to the worker thread.
enum class TControlCode { Stop, Pause, Continue, Interrogate, Shutdown };

// Status of the service as reported to the service manager.
enum class TServiceState { Stopped, StartPending, Running, PausePending, Paused,
                           ContinuePending, StopPending };

class TService {
 public:
  TService();
  virtual ~TService();
  TService(const TService&) = delete;
  TService& operator=(const TService&) = delete;

  // Identity and settings.
  std::string Name;
  std::string DisplayName;
  int WaitHint = 1000;
  bool AllowStop = true;
  bool AllowPause = true;

  // Events, attached by the service class.
  std::function<void(TService& sender, bool& started)> OnStart;
  std::function<void(TService& sender)> OnExecute;
  std::function<void(TService& sender)> OnDestroy;

  // Worker thread only: acts on every queued control code, in order; a pause
  // blocks here until a continue or stop arrives. Never blocks otherwise.
  void ServiceThreadProcessRequests();
  // Worker thread only: sleeps until `timeoutMs` passes (negative: no limit)
  // or a control code is queued; takes nothing from the queue.
  void WaitForControlRequest(int64_t timeoutMs);
  // The terminate request: set when a stop or shutdown is served.
  bool Terminated() const { return terminated_; }
  void DoTerminate() { terminated_ = true; }
  TServiceState Status() const { return status_; }

  // Writes an entry to the system log under the service's Name.
  void LogMessage(const std::string& message, int eventType);

  // Queues a control code (any thread). Used by the signal thread.
  void Control(TControlCode code);

  // Internal to the framework.
  struct Impl;
  Impl* impl_ = nullptr;
  std::atomic<bool> terminated_{false};
  std::atomic<TServiceState> status_{TServiceState::Stopped};
};

// The service application: parses switches, installs, uninstalls or runs.
class TServiceApplication {
 public:
  void Initialize() {}
  std::string Title;
  // Acts on INSTALL/UNINSTALL/SILENT/RUN for `service`, else connects as the
  // service process and serves it until it has stopped.
  void Run(TService& service, int argc, char** argv);
};

// Process exit code shared by the entry and the start handler (initially 1).
extern int ExitCode;
