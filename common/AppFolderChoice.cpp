#include "common/AppFolderChoice.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "common/Error.h"
#include "common/FileSystem.h"

namespace vireo {
namespace {

namespace fs = std::filesystem;

// Copies under a temporary name and renames, so a copy cut short (a full
// disk) leaves no partial file that a later start would take as complete.
void CopyIfMissing(const fs::path& from, const fs::path& to) {
  std::error_code error;
  if (fs::exists(to, error) || !fs::is_regular_file(from, error)) return;
  FileSystem& files = RealFileSystem();
  try {
    const std::string content = ReadWholeFile(files, from.string());
    ReplaceFile(files, to.string(), [&](OutputStream& out) { out.Write(content); });
  } catch (const Error& e) {
    throw Error(to.string(), "copy from " + from.string(), e.Cause());
  }
}

}  // namespace

std::string UserDataFolder(const char* xdgDataHome, const char* home) {
  if (xdgDataHome && xdgDataHome[0] == '/') return std::string(xdgDataHome) + "/Vireo";
  if (home && home[0] != '\0') return std::string(home) + "/.local/share/Vireo";
  return {};
}

bool IsSystemFolder(const std::string& folder) {
  const std::string path = fs::path(folder).lexically_normal().string() + "/";
  // Sources built in place under /usr/src are no installation.
  if (path.starts_with("/usr/src/") || path.starts_with("/usr/local/src/")) return false;
  return path.starts_with("/opt/") || path.starts_with("/usr/");
}

std::string ChooseAppFolderRoot(const std::string& homeOverride,
                                const std::string& executableFolder, bool executableFolderWritable,
                                const std::string& userDataFolder) {
  if (!homeOverride.empty()) return homeOverride;
  const bool installed = IsSystemFolder(executableFolder);
  if (!installed && (executableFolderWritable || userDataFolder.empty())) return executableFolder;
  if (userDataFolder.empty())
    throw Error(executableFolder, "choose the application folder",
                "the program is installed for every user, and neither HOME nor XDG_DATA_HOME "
                "names a folder of this user's; give one with --home DIR");
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
  // The sample field files are only examples: one that cannot be copied is
  // left out (and tried again at the next start) rather than stopping the
  // program.
  for (const auto& entry : fs::directory_iterator(samples, error)) {
    try {
      CopyIfMissing(entry.path(), target / "Field Data" / entry.path().filename());
    } catch (const Error&) {
    }
  }
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
