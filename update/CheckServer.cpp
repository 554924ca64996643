// The update decision for one server section, made every polling cycle from
// the stamps in the INI file: minimum interval, maximum interval, change.
#include "service/Main.h"
#include "update/Schedule.h"

namespace {

// A stored stamp as a date-time value; "" (missing) is never, 0.
double ReadStamp(TZelvoSvc& svc, const std::string& section, const std::string& key) {
  const std::string text = svc.IniFile->ReadText(section, key, "");
  return text.empty() ? 0.0 : svc.ParseTimeStamp(text);
}

}  // namespace

// Each value is read at the step that uses it, so a rule that ends the check
// leaves the later stamps unread (and an unreadable one unreported).
void TZelvoSvc::CheckServer(const std::string& section) {
  const double lastAttempt = ReadStamp(*this, section, "LastAttmpt");
  const int minInterval = IniFile->ReadNumber(section, "MinInterval", 0);
  if (MinIntervalHolds(lastAttempt, minInterval, Now())) return;

  const double lastUpdate = ReadStamp(*this, section, "LastUpdate");
  const int maxInterval = IniFile->ReadNumber(section, "MaxInterval", 0);
  if (MaxIntervalPassed(lastUpdate, maxInterval, Now())) {
    WriteLog("[%s] MaxInterval passed - force update", section);
    UpdateServer(section);
    return;
  }

  const double changed = ReadStamp(*this, "Status", "Changed");
  if (ChangedSinceUpdate(changed, lastUpdate)) UpdateServer(section);
}
