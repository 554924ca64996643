// The service framework on Linux: the command-line switches, the systemd unit
// written and removed, the connection as a service process (systemd or /RUN),
// a framework thread turning signals into queued control codes, and the worker
// thread that runs the service's handlers and serves those codes.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Control codes queued to the worker thread.
enum class TControlCode { Stop, Pause, Continue, Interrogate, Shutdown };

// Status of the service as reported to the service manager.
enum class TServiceState {
  Stopped,
  StartPending,
  Running,
  PausePending,
  Paused,
  ContinuePending,
  StopPending
};

// The control code a signal stands for: SIGTERM/SIGINT stop, SIGTSTP pause,
// SIGCONT continue, SIGHUP interrogate; false for any other signal.
bool ControlCodeForSignal(int signal, TControlCode& code);

// The STATUS= text reported for a state ("Running", "Paused", ...).
std::string StatusText(TServiceState state);

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

  // Runs the worker: OnStart, OnExecute, the last serving; reports the states.
  // Returns when the service has stopped. Used by the framework and tests.
  void RunWorker();

  // Calls OnDestroy once; the owner calls it before the object goes away.
  void DoDestroy();

 private:
  struct Impl;
  void ProcessRequests(bool allowPause);
  void Act(TControlCode code, bool allowPause);
  void Report(TServiceState state, const std::string& extra = "");
  bool Guard(const char* step, const std::function<void()>& handler);

  std::unique_ptr<Impl> impl_;
  std::atomic<bool> terminated_{false};
  std::atomic<TServiceState> status_{TServiceState::Stopped};
  bool destroyed_ = false;
};

// The service application: owns the one service, parses the switches,
// installs, uninstalls or runs it.
class TServiceApplication {
 public:
  TServiceApplication() = default;
  // Destroys the service: its OnDestroy first, then the object.
  ~TServiceApplication();
  TServiceApplication(const TServiceApplication&) = delete;
  TServiceApplication& operator=(const TServiceApplication&) = delete;

  void Initialize() {}
  std::string Title;
  // Takes ownership of the one service object.
  void CreateService(TService* service);
  // Acts on INSTALL (wins over UNINSTALL), UNINSTALL and SILENT; else connects
  // as the service process (systemd, or /RUN) and serves the service until it
  // has stopped. Throws Exception when the unit folder cannot be reached.
  void Run(const std::vector<std::string>& args);

 private:
  void Install(bool silent);
  void Uninstall(bool silent);
  void RunAsServiceProcess(const std::vector<std::string>& args);
  std::unique_ptr<TService> service_;
};

// Process exit code shared by the entry and the start handler (initially 1).
extern int ExitCode;
