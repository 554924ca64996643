// STUB: replaced by the received body work.
#include "service/Main.h"

std::string TZelvoSvc::GetReceivedBody(THttpClient& c) { return c.InputFileMode ? std::string() : c.Body; }
