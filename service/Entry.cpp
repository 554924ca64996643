// Program entry: creates the one service object, runs the service application
// (install, uninstall, or serve the service), shows the help box when asked,
// and returns the process exit code.
#include <cstdio>
#include <exception>

#include "platform/CommandLine.h"
#include "platform/System.h"
#include "service/Main.h"
#include "service/Version.h"

namespace {

constexpr const char* kHelpText =
    "Command options:\r\r  /INSTALL   - installs Zelvo service\r  /UNINSTALL - removes service "
    "from known services list\r\rBefore Zelvo service is started, its INI file must be set "
    "up!\rSee the manual for more infomation.";

void ShowHelpBox() { MessageBoxA(kHelpText, "ZelvoSvc", MB_SERVICE_NOTIFICATION); }

void ShowExceptionBox(const std::exception& e) {
  MessageBoxA(ExceptionClassName(e) + ": " + e.what(), "Application Error",
              MB_TASKMODAL | MB_ICONERROR);
}

// --help and --version answer at once and end with 0.
bool AnswerInfoOption(const std::vector<std::string>& args) {
  switch (FindInfoOption(args)) {
    case TInfoOption::Help:
      ShowHelpBox();
      return true;
    case TInfoOption::Version:
      std::printf("ZelvoSvc %s\n", kFileVersion);
      return true;
    case TInfoOption::None:
      break;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  IgnoreWriteFailureSignals();
  if (AnswerInfoOption(args)) return 0;
  {
    TServiceApplication app;
    try {
      app.Initialize();
      app.Title = "Zelvo Service";
      ZelvoSvc = new TZelvoSvc();
      app.CreateService(ZelvoSvc);
      app.Run(args);
    } catch (const std::exception& e) {
      ShowExceptionBox(e);
      ExitCode = 2;
    } catch (...) {
      MessageBoxA("Unknown exception", "Application Error", MB_TASKMODAL | MB_ICONERROR);
      ExitCode = 2;
    }
    if (ExitCode == 1 && FirstArgumentAsksForHelp(args)) ShowHelpBox();
  }  // the application destroys the service: ServiceDestroy, then its fields
  return ExitCode;
}
