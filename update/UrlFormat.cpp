// Expansion of an update server's "URL" setting: the address is put in place of
// each "%s" specifier. Pure text in, text out; errors are thrown as Exception.
#include "update/UrlFormat.h"

#include <algorithm>
#include <climits>

#include "platform/Exception.h"

namespace {

// The longest specifier text an error message quotes.
constexpr size_t kMaxQuotedSpecifier = 31;

// One parsed specifier, from its "%" to its conversion character.
struct TSpecifier {
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
int ReadNumber(const std::string& text, size_t& pos, TSpecifier& specifier) {
  if (pos < text.size() && text[pos] == '*') {
    specifier.Star = true;
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
TSpecifier ParseSpecifier(const std::string& text, size_t start, int argIndex) {
  TSpecifier specifier;
  specifier.Start = start;
  specifier.Index = argIndex;
  size_t pos = start + 1;
  int number = 0;
  for (;;) {  // "index:" may repeat; each round may start with "-"
    if (pos >= text.size()) return specifier;
    specifier.Left = text[pos] == '-';
    if (specifier.Left) ++pos;
    number = ReadNumber(text, pos, specifier);
    if (pos >= text.size()) return specifier;
    if (text[pos] != ':') break;
    specifier.Index = number;
    ++pos;
  }
  specifier.Width = number;
  if (text[pos] == '.') {
    ++pos;
    specifier.Precision = ReadNumber(text, pos, specifier);
    if (pos >= text.size()) return specifier;
  }
  specifier.Conversion = text[pos];
  specifier.End = pos;
  specifier.Complete = true;
  return specifier;
}

[[noreturn]] void ThrowFormatError(const char* before, const char* after, const std::string& text,
                                   const TSpecifier& specifier) {
  const size_t length = std::min(specifier.End - specifier.Start + 1, kMaxQuotedSpecifier);
  throw Exception(std::string(before) + text.substr(specifier.Start, length) + after);
}

// The argument as the specifier shapes it, or the error the specifier raises.
std::string Convert(const std::string& text, const TSpecifier& specifier, const std::string& arg) {
  if (specifier.Index != 0) ThrowFormatError("No argument for format '", "'", text, specifier);
  const bool isText = specifier.Conversion == 's' || specifier.Conversion == 'S';
  if (!isText || specifier.Star || specifier.Width > kMaxUrlFormatWidth) {
    ThrowFormatError("Format '", "' invalid or incompatible with argument", text, specifier);
  }
  std::string value = arg;
  if (specifier.Precision >= 0 && value.size() > static_cast<size_t>(specifier.Precision)) {
    value.resize(static_cast<size_t>(specifier.Precision));
  }
  const size_t width = static_cast<size_t>(specifier.Width);
  if (value.size() < width) {
    const std::string pad(width - value.size(), ' ');
    value = specifier.Left ? value + pad : pad + value;
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
    const TSpecifier specifier = ParseSpecifier(format, percent, argIndex);
    if (!specifier.Complete) break;  // a "%" or an unfinished specifier at the end
    result += Convert(format, specifier, arg);
    argIndex = specifier.Index + 1;
    pos = specifier.End + 1;
  }
  return result;
}
