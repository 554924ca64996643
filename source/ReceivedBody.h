// Reading of the body of an HTTP client's last answer from its body file:
// the piece reader that splits a stream at a delimiter character.
#pragma once

#include <istream>
#include <string>

// The next piece of `stream` up to `delimiter` (consumed, not returned), read
// in steps of at most 4096 characters; a piece of any length comes back whole.
// At the end of the stream the eof state is set; a read error sets the bad
// state. An empty piece before the end leaves the stream good.
std::string ReadStreamLine(std::istream& stream, char delimiter);
