// The log writer: the "Log" level read for every line, the open/closed and
// good/failed stream rules, and each admitted line written through to the file
// as "<time stamp> <message>" with an LF.
#include "log/LogWriter.h"
#include "service/Main.h"

std::string FormatLogMessage(const std::string& format, const std::string& a1,
                             const std::string& a2, const std::string& a3) {
  const std::string* args[] = {&a1, &a2, &a3};
  std::string message;
  message.reserve(format.size() + a1.size() + a2.size() + a3.size());
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's') {
      if (next < 3) message += *args[next];
      ++next;
      ++i;
    } else {
      message += format[i];
    }
  }
  return message;
}

bool PrepareLogStream(TLogStream& stream, const std::string& fileName, int32_t setting, int level) {
  if (setting == 0) {
    if (stream.Good()) stream.Close();
    return false;
  }
  if (setting < level) return false;
  if (!stream.Good()) {
    stream.ClearFailed();
    stream.Open(fileName);
  }
  // A line admitted while the stream is closed and good is lost here (the
  // write marks the stream failed), and the next admitted line opens the file.
  return true;
}

void WriteLogText(TLogStream& stream, const std::string& line) {
  stream.Write(line + "\n");
  stream.Flush();
}

void TZelvoSvc::WriteLog(const std::string& format, const std::string& a1, const std::string& a2,
                         const std::string& a3) {
  WriteLogLevel(1, format, a1, a2, a3);
}

void TZelvoSvc::WriteLogLevel(int level, const std::string& format, const std::string& a1,
                              const std::string& a2, const std::string& a3) {
  try {
    int32_t setting = IniFile ? IniFile->ReadNumber("Source", "Log", 0) : 0;
    if (!PrepareLogStream(LogStream, LogFileName, setting, level)) return;
    WriteLogText(LogStream, TimeStampNow() + " " + FormatLogMessage(format, a1, a2, a3));
  } catch (...) {
    // A log line never changes what the service does: nothing is raised.
  }
}
