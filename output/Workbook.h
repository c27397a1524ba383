// The report workbook: a real .xlsx package opened from a template, its
// active sheet read and written cell by cell, and saved under a new path.
// Parts of the package that are not changed are copied untouched.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "common/FileSystem.h"

namespace vireo {

// What one cell holds. A number is read back bit-exact as it was written.
struct CellValue {
  enum class Kind { Empty, Number, Text };
  Kind kind = Kind::Empty;
  double number = 0.0;
  std::string text;  // UTF-8

  bool IsEmpty() const { return kind == Kind::Empty; }
  static CellValue Empty() { return {}; }
  static CellValue Number(double v) { return {Kind::Number, v, {}}; }
  static CellValue Text(std::string t) { return {Kind::Text, 0.0, std::move(t)}; }
  bool operator==(const CellValue&) const = default;
};

class Workbook {
 public:
  static constexpr int kMaxRows = 1048576;
  static constexpr int kMaxColumns = 16384;
  static constexpr int kMaxTextLength = 32767;

  // Opens a package by path. Throws Error naming the file: not a zip, no
  // workbook, no usable active sheet, broken XML, a part too large.
  static Workbook Open(const std::string& path, FileSystem& fs = RealFileSystem());
  // The same from bytes in memory; `name` stands for the file in errors.
  static Workbook OpenFromBytes(std::string bytes, const std::string& name);
  // A blank workbook with one empty sheet "Sheet1".
  static Workbook CreateBlank();

  Workbook(Workbook&&) noexcept;
  Workbook& operator=(Workbook&&) noexcept;
  ~Workbook();

  // Cells of the active sheet, rows and columns counted from 1. Outside the
  // grid: Error. Reading a cell never written gives Empty.
  CellValue Get(int row, int column) const;
  void SetNumber(int row, int column, double value);  // NaN/infinity: Error
  // A number shown with a number format such as "0.00000".
  void SetNumber(int row, int column, double value, std::string_view numberFormat);
  // Text longer than kMaxTextLength characters: Error. Invalid UTF-8 bytes
  // are taken as Windows-1252.
  void SetText(int row, int column, std::string_view text);
  void Clear(int row, int column);  // keeps the cell's style
  void Set(int row, int column, const CellValue& value);

  // The highest row that holds a cell (0 for an empty sheet).
  int LastRow() const;
  std::string ActiveSheetName() const;

  // Saves atomically: written beside `path` under a temporary name, flushed,
  // renamed over `path`. A failure leaves an existing `path` as it was.
  void Save(const std::string& path, FileSystem& fs = RealFileSystem()) const;
  // Saves to exactly this temporary file and renames it over `path`
  // (ReplaceOptions says what happens when the rename fails).
  void Save(const std::string& path, FileSystem& fs, const ReplaceOptions& options) const;
  // The package into `out`, as Save writes it (for a StagedFile).
  void Write(OutputStream& out) const;
  // The package bytes as Save would write them.
  std::string SaveToBytes() const;

  class Impl;

 private:
  explicit Workbook(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace vireo
