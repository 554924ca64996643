// The pieces of the log writer that need no service object: the message
// formatting and the stream rules for one line, so tests can drive them alone.
#pragma once

#include <cstdint>
#include <string>

#include "platform/LogStream.h"

// `format` with each "%s" replaced in order by a1, a2, a3 (an empty text past
// the third); arguments are inserted literally, every other "%" is kept.
std::string FormatLogMessage(const std::string& format, const std::string& a1,
                             const std::string& a2, const std::string& a3);

// Applies the rules of one line of `level` under the "Log" `setting`: 0 closes
// a good stream, a setting below the level leaves it alone, a failed stream is
// reopened on `fileName`. True when the line is admitted and should be written.
bool PrepareLogStream(TLogStream& stream, const std::string& fileName, int32_t setting, int level);

// Writes `line` and its LF and flushes; a failure marks the stream failed and
// closes it.
void WriteLogText(TLogStream& stream, const std::string& line);
