// The limits of the double run's checks, kept in the settings file
// checks.ini in the application folder: "key = value" lines, values in the
// unit the key names, 0 switching a check off. A missing file gives the
// defaults; a line that cannot be read is reported and its default kept.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "common/AppFolder.h"
#include "common/FileSystem.h"
#include "common/Warning.h"

namespace vireo {

struct CheckLimits {
  double stationDifferenceMm = 0.5;     // |(BS1 - FS1) - (BS2 - FS2)|
  double repeatDifferenceMm = 1.0;      // |BS1 - BS2| and |FS1 - FS2|
  double sightLengthM = 60;             // longest of the four sights
  double setupImbalanceM = 5;           // |back Ave_Dist - fore Ave_Dist|
  double lineImbalanceM = 10;           // |sum of the set-up imbalances of a line|
  double staffMinM = 0;                 // lowest reading allowed (0: off)
  double staffMaxM = 0;                 // highest reading allowed (0: off)
  double instrumentAgreementMm = 0.05;  // instrument's height step against the rise or fall
};

struct CheckLimitKey {
  const char* key;  // as in checks.ini and in `vireo-cli set check.<key>`
  double CheckLimits::*member;
  const char* label;  // for the window and the Checks sheet
};

inline constexpr std::array<CheckLimitKey, 8> kCheckLimitKeys{{
    {"station_difference_mm", &CheckLimits::stationDifferenceMm, "Station difference (mm)"},
    {"repeat_difference_mm", &CheckLimits::repeatDifferenceMm, "Repeat difference (mm)"},
    {"sight_length_m", &CheckLimits::sightLengthM, "Sight length (m)"},
    {"setup_imbalance_m", &CheckLimits::setupImbalanceM, "Set-up imbalance (m)"},
    {"line_imbalance_m", &CheckLimits::lineImbalanceM, "Line imbalance (m)"},
    {"staff_min_m", &CheckLimits::staffMinM, "Lowest staff reading (m)"},
    {"staff_max_m", &CheckLimits::staffMaxM, "Highest staff reading (m)"},
    {"instrument_agreement_mm", &CheckLimits::instrumentAgreementMm,
     "Agreement with the instrument (mm)"},
}};

// The key's entry, or null for a key that is not a limit.
const CheckLimitKey* FindCheckLimitKey(std::string_view key);

// A limit as the settings take it: a finite number, 0 or more; nothing else.
bool IsUsableLimit(double value);

// The limits a checks.ini text gives; `file` names it in the warnings.
CheckLimits CheckLimitsFromText(std::string_view text, const std::string& file, Warnings& warnings);
// The text with `key`'s line set to `value` (appended when it has none);
// every other line is kept as it stands.
std::string RewriteCheckLimitText(std::string_view text, std::string_view key, double value);

// Read afresh from the application folder; a missing file gives defaults.
// A file that exists but cannot be read throws Error naming it.
CheckLimits ReadCheckLimits(const AppFolder& app, Warnings& warnings,
                            FileSystem& fs = RealFileSystem());
// The operation of the Error that a failed save of checks.ini throws.
inline constexpr const char* kSaveCheckLimitsOperation = "save the check limits";

// Changes one limit in checks.ini, written atomically. A key that is not a
// limit or a value that is not usable is refused with Error; nothing is
// written then.
void SetCheckLimit(const AppFolder& app, std::string_view key, double value,
                   FileSystem& fs = RealFileSystem());

}  // namespace vireo
