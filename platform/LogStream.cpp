// STUB
#include "platform/LogStream.h"
TLogStream::~TLogStream() {}
void TLogStream::Open(const std::string&) {}
void TLogStream::Write(const std::string&) {}
void TLogStream::Flush() {}
void TLogStream::Close() {}
