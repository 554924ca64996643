// The INI file: a line parser for sections and keys, the integer conversion,
// and a writer that changes one line (or adds one) and replaces the file
// atomically, leaving every other byte as it was.
#include "config/IniFile.h"

#include <cstdint>
#include <string_view>

#include "platform/Exception.h"
#include "platform/Files.h"

namespace {

constexpr size_t kMaxValueLength = 2047;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// One line of the file: [begin, end) is its text without the line end, and
// `next` is where the following line starts.
struct Line {
  size_t begin = 0;
  size_t end = 0;
  size_t next = 0;
};

// The line starting at `pos`; LF and CR LF end a line, a lone CR does not.
Line LineAt(const std::string& content, size_t pos) {
  Line line;
  line.begin = pos;
  size_t lf = content.find('\n', pos);
  if (lf == std::string::npos) {
    line.end = line.next = content.size();
    return line;
  }
  line.next = lf + 1;
  line.end = lf > pos && content[lf - 1] == '\r' ? lf - 1 : lf;
  return line;
}

enum class LineKind { Other, Section, Key };

// What a line is: "[name]" (up to the last "]") opens a section; "name=value"
// with a non-empty name is a key; comments (";", "#"), blank lines and lines
// without "=" are neither.
struct ParsedLine {
  LineKind kind = LineKind::Other;
  std::string_view name;
  size_t valueOffset = 0;  // offset of the text after "=" within the line
};

ParsedLine ParseLine(std::string_view text) {
  ParsedLine parsed;
  std::string_view body = Trim(text);
  if (body.empty() || body.front() == ';' || body.front() == '#') return parsed;
  if (body.front() == '[') {
    size_t close = body.rfind(']');
    if (close != std::string_view::npos) {
      parsed.kind = LineKind::Section;
      parsed.name = Trim(body.substr(1, close - 1));
      return parsed;
    }
  }
  size_t equals = text.find('=');
  if (equals == std::string_view::npos) return parsed;
  parsed.name = Trim(text.substr(0, equals));
  if (parsed.name.empty()) return parsed;
  parsed.kind = LineKind::Key;
  parsed.valueOffset = equals + 1;
  return parsed;
}

// Value of a key line: blanks around it removed, then one pair of enclosing
// quotes, then cut to 2,047 characters.
std::string CleanValue(std::string_view raw) {
  std::string_view value = Trim(raw);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return std::string(value.substr(0, kMaxValueLength));
}

// Where a section and a key stand in the file. Only the first section of a
// name counts; within it, the first line of a key counts.
struct Location {
  bool sectionFound = false;
  bool hasKeys = false;
  bool keyFound = false;
  Line keyLine;            // the key's line when keyFound
  size_t valueOffset = 0;  // of the key line
  Line lastLine;           // header or last key line of the section
};

Location Locate(const std::string& content, std::string_view section, std::string_view key) {
  Location where;
  bool inSection = false;
  for (size_t pos = 0; pos < content.size();) {
    Line line = LineAt(content, pos);
    pos = line.next;
    ParsedLine parsed =
        ParseLine(std::string_view(content).substr(line.begin, line.end - line.begin));
    if (parsed.kind == LineKind::Section) {
      if (inSection) break;  // the first section of the name has ended
      inSection = SameName(parsed.name, section);
      if (inSection) {
        where.sectionFound = true;
        where.lastLine = line;
      }
    } else if (parsed.kind == LineKind::Key && inSection) {
      where.hasKeys = true;
      where.lastLine = line;
      if (!where.keyFound && !key.empty() && SameName(parsed.name, key)) {
        where.keyFound = true;
        where.keyLine = line;
        where.valueOffset = parsed.valueOffset;
      }
    }
  }
  return where;
}

// The line end the file uses (that of its first line); LF for a new file.
std::string LineEndOf(const std::string& content) {
  size_t lf = content.find('\n');
  return lf != std::string::npos && lf > 0 && content[lf - 1] == '\r' ? "\r\n" : "\n";
}

// A name or value cut at its first line break, so that it stays on one line.
std::string OneLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

// `content` with `text` inserted after `line`, which gets a line end first
// when it is the last line of the file and has none.
std::string InsertAfter(const std::string& content, const Line& line, const std::string& text,
                        const std::string& eol) {
  std::string head = content.substr(0, line.next);
  if (line.next == line.end) head += eol;
  return head + text + content.substr(line.next);
}

// True when `text` (which ends with a line end) ends with a blank line.
bool EndsWithBlankLine(const std::string& text) {
  size_t end = text.size() - 1;
  if (end > 0 && text[end - 1] == '\r') --end;
  size_t start = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
  start = start == std::string::npos ? 0 : start + 1;
  return Trim(std::string_view(text).substr(start, end - start)).empty();
}

// `content` with a new section holding one key line added at its end, after
// a blank line.
std::string AppendSection(const std::string& content, const std::string& section,
                          const std::string& keyLine, const std::string& eol) {
  std::string result = content;
  if (!result.empty() && result.back() != '\n') result += eol;
  if (!result.empty() && !EndsWithBlankLine(result)) result += eol;
  return result + "[" + section + "]" + eol + keyLine + eol;
}

int32_t ParseHex(std::string_view digits, int32_t def) {
  if (digits.empty()) return def;
  uint64_t value = 0;
  for (char c : digits) {
    c = LowerAscii(c);
    int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (digit < 0) return def;
    value = value * 16 + static_cast<uint64_t>(digit);
    if (value > 0xFFFFFFFFu) return def;
  }
  // Eight hex digits are a 32-bit pattern: FFFFFFFF is -1.
  return static_cast<int32_t>(static_cast<uint32_t>(value));
}

int32_t ParseDecimal(std::string_view text, int32_t def) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return def;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return def;
    value = value * 10 + (c - '0');
    if (value > 2147483648LL) return def;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return def;
  return static_cast<int32_t>(value);
}

}  // namespace

int32_t StrToIntDef(const std::string& text, int32_t def) {
  std::string_view s = text;
  // "0x" or "0X" in front of a longer text counts as "$".
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
    return ParseHex(s.substr(2), def);
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  if (!s.empty() && (s.front() == '$' || s.front() == 'x' || s.front() == 'X'))
    return ParseHex(s.substr(1), def);
  return ParseDecimal(s, def);
}

std::string IniLookup(const std::string& content, const std::string& section,
                      const std::string& key, bool& found) {
  Location where = Locate(content, section, key);
  found = where.keyFound;
  if (!found) return "";
  const Line& line = where.keyLine;
  size_t start = line.begin + where.valueOffset;
  return CleanValue(std::string_view(content).substr(start, line.end - start));
}

bool IniSectionHasKeys(const std::string& content, const std::string& section) {
  return Locate(content, section, "").hasKeys;
}

std::string IniReplace(const std::string& content, const std::string& section,
                       const std::string& key, const std::string& value) {
  const std::string eol = LineEndOf(content);
  const std::string name = OneLine(key);
  const std::string text = OneLine(value);
  Location where = Locate(content, OneLine(section), name);
  if (where.keyFound) {
    // Keep the key's own spelling and everything up to the value.
    size_t valueStart = where.keyLine.begin + where.valueOffset;
    while (valueStart < where.keyLine.end && IsBlank(content[valueStart])) ++valueStart;
    return content.substr(0, valueStart) + text + content.substr(where.keyLine.end);
  }
  if (where.sectionFound) return InsertAfter(content, where.lastLine, name + "=" + text + eol, eol);
  return AppendSection(content, OneLine(section), name + "=" + text, eol);
}

std::string TIniFile::ReadText(const std::string& section, const std::string& key,
                               const std::string& def) const {
  std::string content;
  if (!ReadWholeFile(fileName_, content)) return def;
  bool found = false;
  std::string value = IniLookup(content, section, key, found);
  return found ? value : def;
}

int32_t TIniFile::ReadNumber(const std::string& section, const std::string& key,
                             int32_t def) const {
  return StrToIntDef(ReadText(section, key, ""), def);
}

void TIniFile::WriteText(const std::string& section, const std::string& key,
                         const std::string& value) {
  std::string content;
  // An existing file that cannot be read must not be replaced by one key.
  if (!ReadFileOrMissing(fileName_, content) ||
      !ReplaceFileAtomically(fileName_, IniReplace(content, section, key, value)))
    throw Exception("Unable to write to " + fileName_);
}

bool TIniFile::HasSection(const std::string& section) const {
  std::string content;
  return ReadWholeFile(fileName_, content) && IniSectionHasKeys(content, section);
}

bool TIniFile::HasKey(const std::string& section, const std::string& key) const {
  std::string content;
  if (!ReadWholeFile(fileName_, content)) return false;
  bool found = false;
  IniLookup(content, section, key, found);
  return found;
}
