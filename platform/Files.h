// File-system access for the service: whole-file reads, the atomic and durable
// replacement of a file, deletion, and the working directory.
#pragma once

#include <string>

// Reads the whole file into `out`; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& out);

// Like ReadWholeFile, but a file that does not exist reads as empty; false only
// when an existing file (or a folder in the way) cannot be read.
bool ReadFileOrMissing(const std::string& path, std::string& out);

// Replaces the file at `path` (a symbolic link is followed) with `content`:
// temporary file in the same folder, fsync, rename, fsync of the folder. The
// file keeps its mode and owner; a new file gets mode 0600 unless `newMode`
// says otherwise. Returns false when the write cannot be made, including a
// file without any write permission bit (read-only, even for root), a file
// that is not a regular file, and an owner that cannot be kept.
bool ReplaceFileAtomically(const std::string& path, const std::string& content,
                           unsigned newMode = 0600);

// Removes a file; false when it did not exist or could not be removed.
bool DeleteFileIfExists(const std::string& path);

// True when the file exists (any kind).
bool FileExists(const std::string& path);

// True when the file exists and its mode lets group or others read it.
bool IsReadableByOthers(const std::string& path);

// chdir; false on failure.
bool SetCurrentDir(const std::string& path);

// The full path of the running executable (/proc/self/exe resolved).
std::string ExecutablePath();

// `path` with its extension (from the last "." after the last "/") replaced by
// `ext` (which includes the dot); a name without one gets `ext` appended.
std::string ChangeFileExt(const std::string& path, const std::string& ext);

// The folder part of `path` up to and including its last "/"; "" when none.
std::string ExtractFilePath(const std::string& path);
