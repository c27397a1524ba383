// Processing runs over an application folder held in memory: control file,
// default template and the field files a test adds.
#pragma once

#include <string>

#include "output/DefaultTemplate.h"
#include "output/Workbook.h"
#include "reduction/ProcessField.h"
#include "tests/support/MemoryFileSystem.h"

namespace vireo::testing {

struct MemoryRun {
  MemoryFileSystem fs;
  AppFolder app{"/app"};
  MemoryRun() {
    fs.files[app.ControlFile()] = "YAcme Levels\r\nPJo Bloggs\r\nE4\r\n";
    fs.files[app.Template()] = DefaultTemplateBytes();
  }
  // Processes `content` as "Field Data/<name>"; the RL prompt is answered No.
  ProcessResult Run(const std::string& name, const std::string& content) {
    fs.files[app.FieldData() + "/" + name] = content;
    RunSurroundings no;
    return ProcessField(app.FieldData() + "/" + name, app, no, fs);
  }
  Workbook Report(const ProcessResult& result) const {
    return Workbook::OpenFromBytes(fs.files.at(result.workbookPath), result.workbookPath);
  }
};

}  // namespace vireo::testing
