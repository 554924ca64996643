// The retry and proceed rules of the source chain as pure functions of the
// failure's message, the attempt count and the body received.
#include "source/RetryRule.h"

#include <string_view>

bool IsRetryableSocketError(const std::string& message) {
  const std::string needle = message.substr(0, 5) + "/";
  return std::string_view(kRetryableSocketErrors).find(needle) != std::string_view::npos;
}

bool ShouldRetrySource(const std::string& message, int failedAttempts) {
  return failedAttempts < kMaxSourceAttempts && IsRetryableSocketError(message);
}

bool ProceedsWithPartialBody(const std::string& message, const std::string& body) {
  return message == "Socket capture aborted" && !body.empty();
}
