// Expansion of an update server's "URL" setting: the address is put in place of
// each "%s" specifier. Pure text in, text out; errors are thrown as Exception.
#include "update/UrlFormat.h"

#include <algorithm>
#include <climits>

#include "platform/Exception.h"

namespace {

// The longest specifier text an error message quotes.
constexpr size_t kMaxQuotedSpec = 31;

// One parsed specifier, from its "%" to its conversion character.
struct TSpec {
  size_t Start = 0;       // position of the "%"
  size_t End = 0;         // position of the conversion character
  bool Complete = false;  // false: the text ended inside the specifier
  int Index = 0;          // argument it takes
  bool Left = false;
  int Width = 0;
  int Precision = -1;  // -1: no cut
  bool Star = false;   // a "*" asked for a number argument
  char Conversion = 0;
};

// Reads a "*" or a run of decimal digits at `pos` (none gives 0); a number too
// large for an int saturates at INT_MAX.
int ReadNumber(const std::string& text, size_t& pos, TSpec& spec) {
  if (pos < text.size() && text[pos] == '*') {
    spec.Star = true;
    ++pos;
    return 0;
  }
  int value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    const int digit = text[pos] - '0';
    value = value > (INT_MAX - digit) / 10 ? INT_MAX : value * 10 + digit;
    ++pos;
  }
  return value;
}

// Parses the specifier whose "%" is at `start` (not "%%"); `argIndex` is the
// argument an index-less specifier takes.
TSpec ParseSpec(const std::string& text, size_t start, int argIndex) {
  TSpec spec;
  spec.Start = start;
  spec.Index = argIndex;
  size_t pos = start + 1;
  int number = 0;
  for (;;) {  // "index:" may repeat; each round may start with "-"
    if (pos >= text.size()) return spec;
    spec.Left = text[pos] == '-';
    if (spec.Left) ++pos;
    number = ReadNumber(text, pos, spec);
    if (pos >= text.size()) return spec;
    if (text[pos] != ':') break;
    spec.Index = number;
    ++pos;
  }
  spec.Width = number;
  if (text[pos] == '.') {
    ++pos;
    spec.Precision = ReadNumber(text, pos, spec);
    if (pos >= text.size()) return spec;
  }
  spec.Conversion = text[pos];
  spec.End = pos;
  spec.Complete = true;
  return spec;
}

[[noreturn]] void ThrowFormatError(const char* before, const char* after, const std::string& text,
                                   const TSpec& spec) {
  const size_t length = std::min(spec.End - spec.Start + 1, kMaxQuotedSpec);
  throw Exception(std::string(before) + text.substr(spec.Start, length) + after);
}

// The argument as the specifier shapes it, or the error the specifier raises.
std::string Convert(const std::string& text, const TSpec& spec, const std::string& arg) {
  if (spec.Index != 0) ThrowFormatError("No argument for format '", "'", text, spec);
  const bool isText = spec.Conversion == 's' || spec.Conversion == 'S';
  if (!isText || spec.Star || spec.Width > kMaxUrlFormatWidth) {
    ThrowFormatError("Format '", "' invalid or incompatible with argument", text, spec);
  }
  std::string value = arg;
  if (spec.Precision >= 0 && value.size() > static_cast<size_t>(spec.Precision)) {
    value.resize(static_cast<size_t>(spec.Precision));
  }
  const size_t width = static_cast<size_t>(spec.Width);
  if (value.size() < width) {
    const std::string pad(width - value.size(), ' ');
    value = spec.Left ? value + pad : pad + value;
  }
  return value;
}

}  // namespace

std::string ExpandUrl(const std::string& format, const std::string& arg) {
  std::string result;
  int argIndex = 0;
  size_t pos = 0;
  while (pos < format.size()) {
    const size_t percent = format.find('%', pos);
    if (percent == std::string::npos) {
      result.append(format, pos, std::string::npos);
      break;
    }
    result.append(format, pos, percent - pos);
    if (percent + 1 < format.size() && format[percent + 1] == '%') {
      result += '%';
      pos = percent + 2;
      continue;
    }
    const TSpec spec = ParseSpec(format, percent, argIndex);
    if (!spec.Complete) break;  // a "%" or an unfinished specifier at the end
    result += Convert(format, spec, arg);
    argIndex = spec.Index + 1;
    pos = spec.End + 1;
  }
  return result;
}
