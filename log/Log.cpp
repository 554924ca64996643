// STUB: replaced by the log writer work.
#include "service/Main.h"

void TZelvoSvc::WriteLog(const std::string& f, const std::string& a1, const std::string& a2, const std::string& a3) { WriteLogLevel(1, f, a1, a2, a3); }
void TZelvoSvc::WriteLogLevel(int, const std::string&, const std::string&, const std::string&, const std::string&) {}
