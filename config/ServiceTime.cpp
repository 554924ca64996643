// The service's clock operations: now as a date-time value, the time stamp of
// now, and the reading of a stored stamp, which logs and raises when the stamp
// gives no valid date and time.
#include "config/TimeStamp.h"
#include "platform/Clock.h"
#include "platform/Exception.h"
#include "service/Main.h"

double TZelvoSvc::Now() { return DateTimeOf(LocalNow()); }

std::string TZelvoSvc::TimeStampNow() { return FormatTimeStamp(LocalNow(), ':'); }

double TZelvoSvc::ParseTimeStamp(const std::string& text) {
  double value = 0;
  TStampParse result = DecodeTimeStamp(text, value);
  if (result == TStampParse::Ok) return value;
  WriteLog("Invalid timestamp format: '%s' (must be 'YYYY.MM.DD HH:MM:SS'", text);
  throw Exception(result == TStampParse::InvalidDate ? "Invalid argument to date encode"
                                                     : "Invalid argument to time encode");
}
