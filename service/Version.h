// The program's version, compiled in.
#pragma once

constexpr const char* kFileVersion = "1.3.3.0";
constexpr const char* kProductVersion = "1.3.3";
// Contact address sent in the "From" and "User-Agent" headers of updates.
constexpr const char* kContactAddress = "zelvo@users.noreply.github.com";
