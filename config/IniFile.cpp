// STUB: replaced by the INI work.
#include "config/IniFile.h"

int32_t StrToIntDef(const std::string&, int32_t def) { return def; }
std::string TIniFile::ReadText(const std::string&, const std::string&, const std::string& def) const { return def; }
int32_t TIniFile::ReadNumber(const std::string&, const std::string&, int32_t def) const { return def; }
void TIniFile::WriteText(const std::string&, const std::string&, const std::string&) {}
bool TIniFile::HasSection(const std::string&) const { return false; }
bool TIniFile::HasKey(const std::string&, const std::string&) const { return false; }
