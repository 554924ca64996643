// Expansion of an update server's "URL" setting: a format text whose "%s"
// specifiers stand for the recorded address, with the rules of the classic
// Pascal Format routine for one text argument.
#pragma once

#include <string>

// Longest width a specifier may ask for; wider ones are rejected as invalid so
// that a typo cannot make the service build a URL of gigabytes.
constexpr int kMaxUrlFormatWidth = 4096;

// Expands `format` with `arg` as argument 0: "%[index:][-][width][.precision]s"
// gives `arg` (index only 0, any number of times; "-" pads on the right; the
// precision cuts `arg`), "%%" gives "%", a "%" or unfinished specifier at the
// end is dropped. Throws Exception("No argument for format '<specifier>'") when a
// specifier names an argument past 0 (a second "%s" without index), and
// Exception("Format '<specifier>' invalid or incompatible with argument") for any
// other conversion, a "*" width or a width above kMaxUrlFormatWidth; <specifier>
// runs from the "%" to the conversion character, cut to 31 characters.
std::string ExpandUrl(const std::string& format, const std::string& arg);
