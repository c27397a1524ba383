// vireo-cli settings and set: the control file's settings.
#include "settings/SettingsCommands.h"

#include <cmath>
#include <iostream>

#include "checks/CheckLimits.h"
#include "cli/Commands.h"
#include "common/Error.h"
#include "common/Text.h"
#include "settings/ControlFile.h"

namespace vireo::cli {

int ShowSettings(const std::string& home) {
  try {
    const AppFolder app = HomeFolder(home);
    const auto settings = ReadSettings(app);
    std::cout << "company:      " << settings.companyName << "\n"
              << "personnel:    " << settings.personnelName << "\n"
              << "error factor: "
              << (settings.errorFactor.empty() ? "(missing)" : settings.errorFactor) << "\n";
    if (auto warning = ErrorFactorWarning(app, settings.errorFactor))
      std::cerr << "warning: " << *warning << "\n";
    Warnings warnings;
    const CheckLimits limits = ReadCheckLimits(app, warnings);
    std::cout << "check limits (checks.ini; 0 is off):\n";
    for (const CheckLimitKey& key : kCheckLimitKeys)
      std::cout << "  check." << key.key << std::string(26 - std::string(key.key).size(), ' ')
                << DecimalText(limits.*(key.member)) << "\n";
    for (const RunWarning& w : warnings) std::cerr << "warning: " << w.message << "\n";
    return kExitOk;
  } catch (const Error& e) {
    std::cerr << "vireo-cli: " << e.what() << "\n";
    return kExitRefused;
  }
}

int SetSetting(const std::string& name, const std::string& value, const std::string& home) {
  try {
    const AppFolder app = HomeFolder(home);
    if (name.rfind("check.", 0) == 0) {
      const std::string key = name.substr(6);
      const auto limit = StrictNumber(value);
      if (!FindCheckLimitKey(key) || !limit || !IsUsableLimit(*limit)) {
        std::cerr << "vireo-cli: "
                  << (FindCheckLimitKey(key)
                          ? "the limit must be a number of 0 or more, not \"" + value + "\""
                          : "\"" + key + "\" is not a check limit")
                  << "\n";
        return kExitRefused;
      }
      SetCheckLimit(app, key, *limit);
      std::cout << name << " set to " << DecimalText(*limit) << "\n";
      return kExitOk;
    }
    if (name == "error-factor") {
      auto factor = StrictNumber(value);
      if (!factor || !(*factor >= 2 && *factor <= 10) || *factor != std::floor(*factor) ||
          !IsErrorFactorChoice(static_cast<int>(*factor))) {
        std::cerr << "vireo-cli: the error factor must be 2, 4, 6, 8 or 10, not \"" << value
                  << "\"\n";
        return kExitRefused;
      }
      ChooseErrorFactor(static_cast<int>(*factor), app);
      std::cout << "error factor set to " << static_cast<int>(*factor) << "\n";
      return kExitOk;
    }
    if (name == "company" ? SetCompanyName(app, value) : SetPersonnelName(app, value))
      std::cout << name << " set to \"" << value << "\"\n";
    else
      std::cout << name << " unchanged\n";
    return kExitOk;
  } catch (const Error& e) {
    std::cerr << "vireo-cli: " << e.what() << "\n";
    // Only a failed save means an output could not be written; a control
    // file that cannot be read, or a value refused, is refused input.
    return e.Operation() == kSaveSettingsOperation || e.Operation() == kSaveCheckLimitsOperation
               ? kExitOutputFailed
               : kExitRefused;
  }
}

}  // namespace vireo::cli
