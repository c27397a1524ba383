// Which folder is the application folder. Qt-free, so that every front end
// applies the same rule:
//   1. a folder given on the command line (--home DIR);
//   2. else the executable's folder, when the program may write there (a
//      build tree or a self-contained installed folder);
//   3. else (installed read-only, e.g. under /opt/vireo) the surveyor's own
//      data folder "$XDG_DATA_HOME/Vireo" or "~/.local/share/Vireo", seeded
//      on first start with the control file, the template and the sample
//      field data files that are installed beside the executable.
#pragma once

#include <string>

#include "common/AppFolder.h"

namespace vireo {

// "$XDG_DATA_HOME/Vireo" when XDG_DATA_HOME is an absolute path, else
// "$HOME/.local/share/Vireo"; empty when neither is set. Arguments may be null.
std::string UserDataFolder(const char* xdgDataHome, const char* home);

// The rule above, without touching the file system.
std::string ChooseAppFolderRoot(const std::string& homeOverride,
                                const std::string& executableFolder, bool executableFolderWritable,
                                const std::string& userDataFolder);

// Creates `root` and copies into it, from `installFolder`, each of
// ctlini.dat, Existing.xlsx and the files of "Field Data" that `root` does
// not have yet; files already there are left alone. Throws Error.
void SeedAppFolder(const std::string& installFolder, const std::string& root);

// The whole rule for the running program: the executable's folder from
// /proc/self/exe, its writability, the environment, and seeding when the
// user data folder is chosen. Throws Error.
vireo::AppFolder ResolveAppFolder(const std::string& homeOverride);

}  // namespace vireo
