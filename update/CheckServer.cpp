// STUB: the update scheduling arrives with the record update work.
#include "service/Main.h"

void TZelvoSvc::CheckServer(const std::string&) {}
void TZelvoSvc::UpdateServer(const std::string&) {}
void TZelvoSvc::httpDstAboutToSend(THttpClient&) {}
