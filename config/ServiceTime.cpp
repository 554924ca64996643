// STUB: replaced by the time stamp work.
#include "service/Main.h"

double TZelvoSvc::Now() { return 0; }
std::string TZelvoSvc::TimeStampNow() { return "2000.01.01 00:00:00"; }
double TZelvoSvc::ParseTimeStamp(const std::string&) { return 0; }
