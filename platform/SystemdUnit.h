// The systemd unit of the service: its text (hardened as far as the program
// allows), and its installation and removal with the enable link in
// multi-user.target.wants/, in /etc/systemd/system or $ZELVOSVC_UNIT_DIR.
#pragma once

#include <string>

// Outcome of an installation or removal that reached the unit folder.
enum class TUnitResult { Ok, AlreadyExists, NotInstalled, UnsafePath };

// The unit folder: $ZELVOSVC_UNIT_DIR when set and not empty, else
// "/etc/systemd/system".
std::string UnitDirectory();

// True when `path` can be written into a unit file: absolute, and free of
// control characters, double quotes and backslashes.
bool IsSafeUnitPath(const std::string& path);

// `path` as a unit-file word (a program path or a ReadWritePaths entry): "%"
// doubled, the whole quoted when it holds blanks. Expects IsSafeUnitPath(path).
std::string QuoteUnitPath(const std::string& path);

// The unit file's text for the executable at `exePath` (a safe path).
std::string UnitFileText(const std::string& description, const std::string& exePath);

// Writes `<name>.service` (atomically, never over an existing unit) and its
// enable link. AlreadyExists when a unit is there, UnsafePath for an exe path
// a unit cannot carry. Throws Exception when the folder is missing or cannot
// be written (nothing is left behind).
TUnitResult InstallUnit(const std::string& unitDir, const std::string& name,
                        const std::string& description, const std::string& exePath);

// Removes the enable link and the unit. NotInstalled when there is no unit.
// Throws Exception when the folder is missing or cannot be written.
TUnitResult UninstallUnit(const std::string& unitDir, const std::string& name);

// Runs "systemctl daemon-reload" when systemd runs (/run/systemd/system) and
// `unitDir` is the real /etc/systemd/system; never for another folder.
// Returns false when a reload was due and failed.
bool ReloadServiceManager(const std::string& unitDir);
