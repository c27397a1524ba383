// The control file ctlini.dat: one setting per line, keyed by the line's
// first character ("Y" company name, "P" personnel name, "E" error factor).
// The value is the rest of the line, untrimmed; the last line of a key wins.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/AppFolder.h"
#include "common/FileSystem.h"

namespace vireo {

struct Settings {
  std::string companyName;    // "Y"
  std::string personnelName;  // "P"
  std::string errorFactor;    // "E": "2", "4", "6", "8" or "10" as written by the program
};

// The value of the last line keyed `key`; empty when no line has it.
// A missing or unreadable control file: Error naming it.
std::string ReadControlValue(const AppFolder& app, char key, FileSystem& fs = RealFileSystem());

// The three settings in one pass, by the same rule.
Settings ReadSettings(const AppFolder& app, FileSystem& fs = RealFileSystem());

// The error factor must be one of the texts the Error Settings menu writes:
// "2", "4", "6", "8" or "10". Otherwise (also when it is missing) a warning
// naming the control file; nothing when it is one of them.
std::optional<std::string> ErrorFactorWarning(const AppFolder& app, const std::string& errorFactor);

// The error factor n as a number, for tolerances n * sqrt(k) worked out
// outside the processing run (the network's sections and loops). A factor
// that is not one of the choices gives `warning` (as ErrorFactorWarning);
// one that is no number above 0, or a control file that cannot be read,
// gives kDefaultErrorFactor with a warning that says so.
inline constexpr double kDefaultErrorFactor = 4;
double ErrorFactorForTolerances(const AppFolder& app, std::optional<std::string>& warning,
                                FileSystem& fs = RealFileSystem());

// Replaces every line keyed `key` by `newLine`; when no line has the key,
// `newLine` is appended so the setting is not lost. Other lines are copied
// byte for byte, every line written ends with CR LF. The rewrite holds the
// file's lock, so a concurrent change by another run is not lost, and the
// new file is written under a temporary name, flushed and renamed over
// ctlini.dat: a failure at any step leaves ctlini.dat as it was. Throws
// Error; its operation is kSaveSettingsOperation only when the lock or the
// save failed, otherwise (unreadable file, a value with a line break)
// nothing was written.
inline constexpr const char* kSaveSettingsOperation = "save the settings";
void RewriteControlFile(const AppFolder& app, char key, std::string_view newLine,
                        FileSystem& fs = RealFileSystem());

// The same on the text of a control file (for tests and the rewrite).
std::string ValueFromControlText(std::string_view text, char key);
std::string RewriteControlText(std::string_view text, char key, std::string_view newLine);

}  // namespace vireo
