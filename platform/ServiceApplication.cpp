// The application side of the service framework: the INSTALL, UNINSTALL and
// SILENT switches with their boxes, the connection as a service process, and
// the framework thread that turns signals into control codes for the worker.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "platform/CommandLine.h"
#include "platform/Files.h"
#include "platform/Service.h"
#include "platform/System.h"
#include "platform/SystemdUnit.h"

namespace {

constexpr const char* kAlreadyExists = "The specified service already exists.";
constexpr const char* kDoesNotExist =
    "The specified service does not exist as an installed service.";
constexpr const char* kUnsafePath =
    "The program's path holds a character that a unit file cannot carry.";
constexpr const char* kNotConnected =
    "ZelvoSvc was not started by systemd and the /RUN switch was not given: "
    "the service does not run.";

sigset_t ControlSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : {SIGTERM, SIGINT, SIGTSTP, SIGCONT, SIGHUP}) sigaddset(&set, sig);
  return set;
}

bool StartedBySystemd() {
  for (const char* name : {"NOTIFY_SOCKET", "INVOCATION_ID"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

void ShowFailure(const std::string& displayName, const char* action, const std::string& why) {
  MessageBoxA(
      "Service \"" + displayName + "\" failed to " + action + " with error: \"" + why + "\"",
      "Error", MB_OK | MB_ICONERROR);
}

void ShowSuccess(const char* text, bool silent) {
  if (!silent) MessageBoxA(text, "Information", MB_OK | MB_ICONINFORMATION);
}

// Serves `service` on a worker thread while this thread waits for the
// control signals, which stay blocked in every thread. The worker wakes this
// thread when it has ended, so the process exits without a further hop.
void ServeWithSignalThread(TService& service) {
  sigset_t set = ControlSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  const pthread_t self = pthread_self();
  std::atomic<bool> done{false};
  std::thread worker([&service, &done, self] {
    service.RunWorker();
    done = true;
    pthread_kill(self, SIGTERM);
  });
  while (!done) {
    int sig = 0;
    if (sigwait(&set, &sig) != 0 || done) continue;
    TControlCode code;
    if (ControlCodeForSignal(sig, code)) service.Control(code);
  }
  worker.join();
}

}  // namespace

TServiceApplication::~TServiceApplication() {
  if (service_) service_->DoDestroy();
}

void TServiceApplication::CreateService(TService* service) { service_.reset(service); }

void TServiceApplication::Run(const std::vector<std::string>& args) {
  if (!service_) return;
  bool silent = FindCmdLineSwitch(args, "SILENT");
  if (FindCmdLineSwitch(args, "INSTALL")) {
    Install(silent);
  } else if (FindCmdLineSwitch(args, "UNINSTALL")) {
    Uninstall(silent);
  } else {
    RunAsServiceProcess(args);
  }
}

void TServiceApplication::Install(bool silent) {
  std::string dir = UnitDirectory();
  switch (InstallUnit(dir, service_->Name, service_->DisplayName, ExecutablePath())) {
    case TUnitResult::Ok:
      if (!ReloadServiceManager(dir)) {
        WriteSystemLog("systemctl daemon-reload failed after the installation",
                       EVENTLOG_WARNING_TYPE);
      }
      ShowSuccess("Service installed successfully", silent);
      return;
    case TUnitResult::UnsafePath:
      ShowFailure(service_->DisplayName, "install", kUnsafePath);
      return;
    default:
      ShowFailure(service_->DisplayName, "install", kAlreadyExists);
      return;
  }
}

void TServiceApplication::Uninstall(bool silent) {
  std::string dir = UnitDirectory();
  if (UninstallUnit(dir, service_->Name) != TUnitResult::Ok) {
    ShowFailure(service_->DisplayName, "uninstall", kDoesNotExist);
    return;
  }
  if (!ReloadServiceManager(dir)) {
    WriteSystemLog("systemctl daemon-reload failed after the removal", EVENTLOG_WARNING_TYPE);
  }
  ShowSuccess("Service uninstalled successfully", silent);
}

void TServiceApplication::RunAsServiceProcess(const std::vector<std::string>& args) {
  bool bySystemd = StartedBySystemd();
  if (!bySystemd && !FindCmdLineSwitch(args, "RUN")) {
    WriteSystemLog(kNotConnected, EVENTLOG_ERROR_TYPE);
    return;
  }
  // In the foreground the system-log entries are shown on the terminal too.
  SetSystemLogEcho(!bySystemd);
  ServeWithSignalThread(*service_);
}
