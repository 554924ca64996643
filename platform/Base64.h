// Base64 encoding (RFC 4648 alphabet, padded, one line) for HTTP basic
// authentication.
#pragma once

#include <string>

// The Base64 text of the bytes of `data`; never fails.
std::string Base64Encode(const std::string& data);
