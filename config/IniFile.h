// The INI file object: configuration and state in one file. Every operation
// reads the file anew (nothing is cached); a write replaces the file
// atomically and keeps every other line byte for byte.
//
// Format rules beyond names, blanks, quotes and the 2,047 cut: lines end with
// LF or CR LF (a lone CR is an ordinary byte); "[name]" opens a section (name
// up to the last "]"); lines starting with ";" or "#", blank lines, lines
// without "=" and keys before the first section are ignored. Only the first
// section of a name counts, and in it the first line of a key, for reads and
// writes alike. Any byte, NUL included, is ordinary text.
#pragma once

#include <cstdint>
#include <string>

// Converts an INI integer: leading blanks, optional sign and decimal digits in
// the signed 32-bit range, or "$"/"x"/"X" (also "0x"/"0X" when the text is
// longer than two characters) with up to eight hex digits; else `def`.
int32_t StrToIntDef(const std::string& text, int32_t def);

// Parses `content` and returns the value of `key` in `section` (names without
// regard to case, value trimmed, one pair of quotes removed, cut to 2,047
// characters); `found` tells whether the key is listed.
std::string IniLookup(const std::string& content, const std::string& section,
                      const std::string& key, bool& found);

// True when `section` lists at least one key in `content`.
bool IniSectionHasKeys(const std::string& content, const std::string& section);

// Returns `content` with `key` in `section` set to `value`, creating the
// section (at the end) and the key (after the section's last key) as needed,
// with the file's line end; every other line stays byte for byte. Names and
// value are cut at their first CR or LF so the file keeps its structure.
std::string IniReplace(const std::string& content, const std::string& section,
                       const std::string& key, const std::string& value);

class TIniFile {
 public:
  explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}
  const std::string& FileName() const { return fileName_; }

  // The key's value, or `def` when it is absent (or the file is missing).
  std::string ReadText(const std::string& section, const std::string& key,
                       const std::string& def) const;
  // The key's value as an integer (StrToIntDef), or `def`.
  int32_t ReadNumber(const std::string& section, const std::string& key, int32_t def) const;
  // Stores the value durably; throws Exception("Unable to write to <path>").
  void WriteText(const std::string& section, const std::string& key, const std::string& value);
  // True when the section lists at least one key.
  bool HasSection(const std::string& section) const;
  // True when the section lists the key, an empty value included.
  bool HasKey(const std::string& section, const std::string& key) const;

 private:
  std::string fileName_;
};
