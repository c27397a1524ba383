// The application folder: every file and folder the program uses is a fixed
// name inside it. By default it is the folder that holds the executable.
#pragma once

#include <string>

namespace vireo {

struct AppFolder {
  std::string root;  // without a trailing "/"

  std::string ControlFile() const { return root + "/ctlini.dat"; }
  std::string CheckSettingsFile() const { return root + "/checks.ini"; }
  std::string Template() const { return root + "/Existing.xlsx"; }
  std::string FieldData() const { return root + "/Field Data"; }
  std::string ProcessedFiles() const { return root + "/Processed Files"; }
  std::string StarNetFolder() const { return root + "/StarNet Format"; }
  std::string ProcessedWorkbook(const std::string& baseName) const {
    return ProcessedFiles() + "/" + baseName + ".xlsx";
  }
  std::string LevelDataFile(const std::string& baseName) const {
    return StarNetFolder() + "/SN_" + baseName + ".dat";
  }
  std::string AdjustedNetworks() const { return root + "/Adjusted Networks"; }
  // The workbook of the network adjustment called `name`.
  std::string AdjustedNetworkWorkbook(const std::string& name) const {
    return AdjustedNetworks() + "/" + name + ".xlsx";
  }
  // What a run and the RL adjustment lock (FileSystem::Lock) while they
  // replace the outputs of one base name; no file of this name is made.
  std::string OutputsLock(const std::string& baseName) const {
    return root + "/" + baseName + ".outputs";
  }
};

// The output name of an input file: its file name (after the last "/" or
// "\") without its last extension. Empty when nothing is left.
std::string BaseNameOf(const std::string& path);

// The folder of the running executable (from /proc/self/exe).
std::string ExecutableFolder();

// An AppFolder for `root`, with a trailing "/" removed.
AppFolder MakeAppFolder(std::string root);

}  // namespace vireo
