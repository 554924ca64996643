// The pieces of the host system the service talks to directly: the system log
// (the event log of the service), message boxes printed to the terminal, and
// the service manager's status notifications (the sd_notify protocol).
#pragma once

#include <exception>
#include <string>

constexpr int EVENTLOG_ERROR_TYPE = 1;
constexpr int EVENTLOG_WARNING_TYPE = 2;
constexpr int EVENTLOG_INFORMATION_TYPE = 4;

constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr unsigned MB_TASKMODAL = 0x2000;
constexpr unsigned MB_SERVICE_NOTIFICATION = 0x00200000;
// Our own flag: print the box on standard error although it has no error icon.
constexpr unsigned MB_TO_STDERR = 0x80000000;

// Writes one entry to syslog(3), ident "ZelvoSvc", facility daemon; an error
// entry at LOG_ERR, a warning at LOG_WARNING, anything else at LOG_INFO.
void WriteSystemLog(const std::string& text, int eventType);

// Also prints every system-log entry on standard error, as one line (for a
// service run in the foreground with /RUN). Off by default.
void SetSystemLogEcho(bool echo);

// The one line printed on standard error for an echoed system-log entry:
// "ZelvoSvc: " and the text with CR/LF runs turned into single blanks, trimmed.
std::string SystemLogEchoLine(const std::string& text);

// The box as printed: the caption, a line break, then the text with every CR
// turned into a line break, and a final line break.
std::string MessageBoxText(const std::string& text, const std::string& caption);

// Prints the caption, then the text with every CR turned into a line break;
// error boxes (MB_ICONERROR or MB_TO_STDERR) go to standard error, the rest to
// standard output. Returns at once; a failed write is ignored.
void MessageBoxA(const std::string& text, const std::string& caption, unsigned type);

// Sends `state` (e.g. "READY=1\nSTATUS=Running") to $NOTIFY_SOCKET; nothing
// happens without that variable. Never fails visibly.
void NotifyServiceManager(const std::string& state);

// The readable class name of an exception ("Exception", "std::bad_alloc").
std::string ExceptionClassName(const std::exception& e);

// A write to a closed pipe, or past a file-size limit, returns an error
// instead of ending the process (the log writer handles failed writes).
void IgnoreWriteFailureSignals();
