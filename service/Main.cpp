// STUB: replaced by the service host work.
#include "service/Main.h"

TZelvoSvc* ZelvoSvc = nullptr;
TZelvoSvc::TZelvoSvc() {}
TZelvoSvc::~TZelvoSvc() {}
void TZelvoSvc::ServiceStart(TService&, bool&) {}
void TZelvoSvc::ServiceExecute(TService&) {}
void TZelvoSvc::ServiceDestroy(TService&) {}
void TZelvoSvc::Suspend(int) {}
std::string TZelvoSvc::GetFileVersion() { return "1.3.3.0"; }
