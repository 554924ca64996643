// STUB: replaced by the service framework work.
#include "platform/Service.h"

int ExitCode = 1;
TService::TService() {}
TService::~TService() {}
void TService::ServiceThreadProcessRequests() {}
void TService::WaitForControlRequest(int64_t) {}
void TService::LogMessage(const std::string&, int) {}
void TService::Control(TControlCode) {}
void TServiceApplication::Run(TService&, int, char**) {}
