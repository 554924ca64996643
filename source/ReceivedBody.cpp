// The body of either HTTP client's last answer: its Body text, or the bytes of
// its body file with every NUL left out (a missing file reads as "").
#include "source/ReceivedBody.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "service/Main.h"

namespace {

constexpr std::streamsize kStep = 4096;

// After a step that filled all 4096 characters: consumes a delimiter that
// follows at once; true when it did (the piece ends there).
bool ConsumeDelimiter(std::istream& stream, char delimiter) {
  std::istream::int_type next = stream.peek();
  if (next == std::istream::traits_type::eof()) return false;
  if (std::istream::traits_type::to_char_type(next) != delimiter) return false;
  stream.ignore(1);
  return true;
}

}  // namespace

std::string ReadStreamLine(std::istream& stream, char delimiter) {
  std::string piece;
  char step[kStep + 1];
  while (stream.good()) {
    stream.get(step, kStep + 1, delimiter);
    const std::streamsize n = stream.gcount();
    piece.append(step, static_cast<size_t>(n));
    if (stream.bad() || stream.eof()) break;
    if (n == kStep) {
      if (ConsumeDelimiter(stream, delimiter)) break;
      continue;  // the same piece goes on (or the end is met next step)
    }
    // Stopped before the delimiter; an empty step also sets the fail state.
    stream.clear(stream.rdstate() & ~std::ios::failbit);
    stream.ignore(1);
    break;
  }
  return piece;
}

std::string TZelvoSvc::GetReceivedBody(THttpClient& client) {
  if (!client.InputFileMode) return client.Body;
  // Only a regular file is read: a FIFO would block the worker in open until
  // a writer came, a device such as /dev/zero would never end.
  std::error_code err;
  if (!std::filesystem::is_regular_file(client.Body, err)) return std::string();
  std::ifstream file(client.Body, std::ios::in | std::ios::binary);
  if (!file.is_open()) return std::string();
  std::string body;
  while (file.good()) body += ReadStreamLine(file, '\0');
  return body;
}
