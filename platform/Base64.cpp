// Base64 encoding of the RFC 4648 alphabet with "=" padding, without line
// breaks, as HTTP basic authentication wants it.
#include "platform/Base64.h"

#include <cstdint>

std::string Base64Encode(const std::string& data) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  for (size_t i = 0; i < data.size(); i += 3) {
    size_t n = data.size() - i < 3 ? data.size() - i : 3;
    uint32_t group = 0;
    for (size_t k = 0; k < 3; ++k) {
      uint32_t byte = k < n ? static_cast<unsigned char>(data[i + k]) : 0u;
      group = (group << 8) | byte;
    }
    for (size_t k = 0; k < 4; ++k) {
      out.push_back(k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=');
    }
  }
  return out;
}
