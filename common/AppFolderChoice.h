// Which folder is the application folder. Qt-free, so that every front end
// applies the same rule:
//   1. a folder given on the command line (--home DIR);
//   2. else the executable's folder, when the program may write there and
//      it is not a system folder (a build tree or a portable copy);
//   3. else (installed for every user under /opt or /usr, or read-only) the
//      user's own data folder "$XDG_DATA_HOME/Vireo" or
//      "~/.local/share/Vireo" (root's too: an installed program never
//      writes into its own folder), seeded on first start with the control
//      file, the template and the sample field data files that are
//      installed beside the executable.
#pragma once

#include <string>

#include "common/AppFolder.h"

namespace vireo {

// "$XDG_DATA_HOME/Vireo" when XDG_DATA_HOME is an absolute path, else
// "$HOME/.local/share/Vireo"; empty when neither is set. Arguments may be null.
std::string UserDataFolder(const char* xdgDataHome, const char* home);

// Whether `folder` lies in the folders of programs installed for every
// user: /opt, /usr (and /usr/local), but not the sources under /usr/src.
bool IsSystemFolder(const std::string& folder);

// The rule above, without touching the file system. Throws Error when the
// program is installed in a system folder and no user data folder is known.
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
