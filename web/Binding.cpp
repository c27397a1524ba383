// What the page's script calls in the core beside the command line's main.
#include <emscripten/emscripten.h>

#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "common/Error.h"
#include "common/FileSystem.h"
#include "output/DefaultTemplate.h"
#include "output/Workbook.h"
#include "report/ProfileSheet.h"

// Writes the bundled report template to `path`, as the native build's
// vireo-make-template does. 0 when written.
extern "C" EMSCRIPTEN_KEEPALIVE int vireo_write_default_template(const char* path) {
  try {
    const std::string bytes = vireo::DefaultTemplateBytes();
    vireo::ReplaceFile(vireo::RealFileSystem(), path,
                       [&](vireo::OutputStream& out) { out.Write(bytes); });
  } catch (const vireo::Error& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}

// The command line's standard output is a terminal in the page, and so
// line-buffered: a JSON object of 100,000 set-ups reached the page in
// 800,000 pieces. Buffered in blocks it takes a thousand; the worker calls
// this once, and vireo_flush_stdout after every command.
extern "C" EMSCRIPTEN_KEEPALIVE void vireo_buffer_stdout() {
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

extern "C" EMSCRIPTEN_KEEPALIVE void vireo_flush_stdout() {
  std::cout.flush();
  std::fflush(stdout);
}

namespace {

nlohmann::json LevelOf(const vireo::CellValue& cell) {
  return cell.kind == vireo::CellValue::Kind::Number ? nlohmann::json(cell.number) : nullptr;
}

}  // namespace

// The sheet "Profile" of the report workbook at `path`, as the page draws
// it: {"points": [{"point", "distance", "cal", "adj"}]} in the sheet's
// order, the levels null where its cell is empty; no points when the
// workbook has no such sheet (or a template's own sheet of that name). The text lives until the
// next call; null (the message on standard error) when the workbook cannot be read.
extern "C" EMSCRIPTEN_KEEPALIVE const char* vireo_profile(const char* path) {
  static std::string text;
  try {
    vireo::Workbook workbook = vireo::Workbook::Open(path);
    nlohmann::json points = nlohmann::json::array();
    if (workbook.HasSheet(vireo::kProfileSheet) &&
        workbook.Sheet(vireo::kProfileSheet).Get(1, 2) == vireo::CellValue::Text("Distance (m)")) {
      const vireo::Worksheet sheet = workbook.Sheet(vireo::kProfileSheet);
      for (int row = 2; row <= sheet.LastRow(); ++row) {
        const vireo::CellValue distance = sheet.Get(row, 2);
        if (distance.kind != vireo::CellValue::Kind::Number) continue;
        points.push_back({{"point", sheet.Get(row, 1).text},
                          {"distance", distance.number},
                          {"cal", LevelOf(sheet.Get(row, 3))},
                          {"adj", LevelOf(sheet.Get(row, 4))}});
      }
    }
    text = nlohmann::json{{"points", points}}.dump(-1, ' ', false,
                                                   nlohmann::json::error_handler_t::replace);
  } catch (const vireo::Error& e) {
    std::cerr << e.what() << "\n";
    return nullptr;
  }
  return text.c_str();
}
