#include "common/AppFolderChoice.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "common/Error.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;

void CopyIfMissing(const fs::path& from, const fs::path& to) {
  std::error_code error;
  if (fs::exists(to, error) || !fs::is_regular_file(from, error)) return;
  fs::copy_file(from, to, error);
  if (error) throw Error(to.string(), "copy from " + from.string(), error.message());
}

}  // namespace

std::string UserDataFolder(const char* xdgDataHome, const char* home) {
  if (xdgDataHome && xdgDataHome[0] == '/') return std::string(xdgDataHome) + "/Vireo";
  if (home && home[0] != '\0') return std::string(home) + "/.local/share/Vireo";
  return {};
}

std::string ChooseAppFolderRoot(const std::string& homeOverride,
                                const std::string& executableFolder, bool executableFolderWritable,
                                const std::string& userDataFolder) {
  if (!homeOverride.empty()) return homeOverride;
  if (executableFolderWritable || userDataFolder.empty()) return executableFolder;
  return userDataFolder;
}

void SeedAppFolder(const std::string& installFolder, const std::string& root) {
  std::error_code error;
  const fs::path target(root);
  fs::create_directories(target / "Field Data", error);
  if (error) throw Error(root, "create the application folder", error.message());
  const fs::path source(installFolder);
  CopyIfMissing(source / "ctlini.dat", target / "ctlini.dat");
  CopyIfMissing(source / "Existing.xlsx", target / "Existing.xlsx");
  const fs::path samples = source / "Field Data";
  if (!fs::is_directory(samples, error)) return;
  for (const auto& entry : fs::directory_iterator(samples, error))
    CopyIfMissing(entry.path(), target / "Field Data" / entry.path().filename());
}

vireo::AppFolder ResolveAppFolder(const std::string& homeOverride) {
  const std::string executableFolder = vireo::ExecutableFolder();
  const bool writable = access(executableFolder.c_str(), W_OK) == 0;
  const std::string userData = UserDataFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
  const std::string root = ChooseAppFolderRoot(homeOverride, executableFolder, writable, userData);
  if (homeOverride.empty() && root != executableFolder) SeedAppFolder(executableFolder, root);
  return vireo::MakeAppFolder(root);
}

}  // namespace vireo
