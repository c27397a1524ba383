// The limits of the double run's checks, kept in the settings file
// checks.ini in the application folder: "key = value" lines, values in the
// unit the key names, 0 switching a check off. A missing file gives the
// defaults; a line that cannot be read, or holds a value outside the key's
// range, is reported and its default kept.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>
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
  // The values that make sense, in the key's unit; a limit outside them is
  // a slip of the keyboard, not a tolerance.
  double lowest;
  double highest;
};

// A staff is a few metres long: its readings lie within +-10 m.
inline constexpr std::array<CheckLimitKey, 8> kCheckLimitKeys{{
    {"station_difference_mm", &CheckLimits::stationDifferenceMm, "Station difference (mm)", 0, 100},
    {"repeat_difference_mm", &CheckLimits::repeatDifferenceMm, "Repeat difference (mm)", 0, 100},
    {"sight_length_m", &CheckLimits::sightLengthM, "Sight length (m)", 0, 1000},
    {"setup_imbalance_m", &CheckLimits::setupImbalanceM, "Set-up imbalance (m)", 0, 1000},
    {"line_imbalance_m", &CheckLimits::lineImbalanceM, "Line imbalance (m)", 0, 10000},
    {"staff_min_m", &CheckLimits::staffMinM, "Lowest staff reading (m)", -10, 10},
    {"staff_max_m", &CheckLimits::staffMaxM, "Highest staff reading (m)", -10, 10},
    {"instrument_agreement_mm", &CheckLimits::instrumentAgreementMm,
     "Agreement with the instrument (mm)", 0, 1000},
}};

// The key's entry, or null for a key that is not a limit.
const CheckLimitKey* FindCheckLimitKey(std::string_view key);

// Whether `value` is a limit `key` may have: a finite number in its range.
bool IsUsableLimit(const CheckLimitKey& key, double value);
// "a number from 0 to 1000", for messages.
std::string LimitRangeText(const CheckLimitKey& key);
// Why the limits cannot stand together (the lowest staff reading not below
// the highest, when both are set); empty when they can.
std::string LimitsConflict(const CheckLimits& limits);

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

// Changes limits in checks.ini, written atomically in one rewrite. A key
// that is not a limit, a value that is not usable, or limits that then
// conflict (LimitsConflict) are refused with Error (operation
// kSetCheckLimitOperation); nothing is written then.
inline constexpr const char* kSetCheckLimitOperation = "set a check limit";
void SetCheckLimits(const AppFolder& app,
                    const std::vector<std::pair<std::string, double>>& changes,
                    FileSystem& fs = RealFileSystem());
void SetCheckLimit(const AppFolder& app, std::string_view key, double value,
                   FileSystem& fs = RealFileSystem());

}  // namespace vireo
