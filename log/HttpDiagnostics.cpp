// STUB: replaced by the HTTP diagnostics work.
#include "service/Main.h"

void TZelvoSvc::httpStatus(THttpClient&, const std::string&) {}
void TZelvoSvc::httpSrcFailure(int) {}
void TZelvoSvc::httpDstFailure(int) {}
void TZelvoSvc::httpSrcAuthenticationNeeded(THttpClient&) {}
void TZelvoSvc::httpDstAuthenticationNeeded(THttpClient&) {}
void TZelvoSvc::LogReceivedData(THttpClient&, bool) {}
std::string StripLineBreaks(const std::string& t) { return t; }
