// Field data lines and ready application folders for the run's tests.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "common/AppFolder.h"
#include "examples/FieldFileWriter.h"
#include "output/Workbook.h"
#include "reduction/SurveyBuilder.h"
#include "report/ProcessField.h"
#include "tests/support/MemoryFileSystem.h"
#include "tests/support/TempFolder.h"

namespace vireo::testing {

// The survey of a field data file's `text`, read as "F.dat".
inline Survey SurveyOfText(const std::string& text, Warnings& warnings) {
  MemoryFileSystem fs;
  fs.files["F.dat"] = text;
  return ReadSurvey("F.dat", warnings, fs);
}

inline std::string Fixed5(double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.5f", v);
  return buffer;
}

// A DiNi reading line: "Rb" or "Rf" on a point with its distance.
inline std::string ReadingLine(const std::string& point, const std::string& code, double value,
                               const std::string& distance) {
  return examples::M5Line(0, examples::KindAndPoint("KD1", point, "08:00:00", 1), code,
                          Fixed5(value), "HD", distance, "");
}
// One set-up's four reading lines, CR LF after each, in back, fore, fore,
// back order; back sights at distance `db`, fore sights at `df`.
inline std::string SetupLines(const std::string& back, const std::string& fore, double bs1,
                              double bs2, double fs1, double fs2, const std::string& db = "5",
                              const std::string& df = "6") {
  return ReadingLine(back, "Rb", bs1, db) + "\r\n" + ReadingLine(fore, "Rf", fs1, df) + "\r\n" +
         ReadingLine(fore, "Rf", fs2, df) + "\r\n" + ReadingLine(back, "Rb", bs2, db) + "\r\n";
}
inline std::string HeightLine(const std::string& point, const std::string& height) {
  return examples::M5Line(0, examples::KindAndPoint("KD1", point, "", 1), "", "", "", "", height);
}
inline std::string StartLine() {
  return examples::M5Line(0, "TO  Start-Line       BFFB     1", "", "", "", "", "");
}
// The level's end of a line: the KD2 end record (its count of set-ups in
// the time columns, empty for none) and the End-Line record, CR LF after each.
inline std::string EndLines(const std::string& point, const std::string& setups = "",
                            const std::string& height = "") {
  const std::string count = setups.empty() ? "" : std::string(8 - setups.size(), ' ') + setups;
  return examples::M5Line(0, examples::KindAndPoint("KD2", point, count, 1), "Db", "0.00", "Df",
                          "0.00", height) +
         "\r\n" + examples::M5Line(0, "TO  End-Line                  1", "", "", "", "", "") +
         "\r\n";
}

// The real Leica DNA03 job of the test data: 32 lines, 336 set-ups.
inline const std::string kRealGsiJob =
    std::string(VIREO_FIXTURES) + "/gsi/OSGeoLabBp_tutorials_test.gsi";

// The report's cells of rows `first` to 40, read by the workbook reader,
// which refuses anything but a whole package: for comparing workbooks by
// content (the package bytes carry the time of saving).
inline std::vector<CellValue> ReportCells(const std::string& workbook, int first = 1) {
  const Workbook w = Workbook::Open(workbook);
  std::vector<CellValue> cells;
  for (int row = first; row <= 40; ++row)
    for (int column = 1; column <= 14; ++column) cells.push_back(w.Get(row, column));
  return cells;
}

// An application folder in a temporary folder: control file, blank
// template, "Field Data".
struct AppFixture {
  TempFolder folder;
  AppFolder app{folder.Path()};
  explicit AppFixture(const std::string& control = "YAcme Levels\r\nPJo Bloggs\r\nE4\r\n") {
    WriteFile(app.ControlFile(), control);
    Workbook::CreateBlank().Save(app.Template());
    std::filesystem::create_directory(app.FieldData());
  }
  std::string AddFieldFile(const std::string& name, const std::string& content) const {
    const std::string path = app.FieldData() + "/" + name;
    WriteFile(path, content);
    return path;
  }
  // Processes `content` as "Field Data/<name>".
  ProcessResult Process(const std::string& name, const std::string& content) const {
    return ProcessField(AddFieldFile(name, content), app);
  }
};

}  // namespace vireo::testing
