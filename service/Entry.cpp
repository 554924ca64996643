// Program entry: creates the one service object and runs the service application.
#include "service/Main.h"

int main(int argc, char** argv) {
  TServiceApplication app;
  app.Initialize();
  app.Title = "Zelvo Service";
  ZelvoSvc = new TZelvoSvc();
  app.Run(*ZelvoSvc, argc, argv);
  delete ZelvoSvc;
  return ExitCode;
}
