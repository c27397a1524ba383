// The report workbook: a real .xlsx package opened from a template or made
// new, its worksheets read and written cell by cell, sheets added with their
// page setup and charts, and saved under a new path. Parts of the package
// that are not changed are copied untouched.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/FileSystem.h"
#include "output/SheetLayout.h"

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

// How a cell's content stands across it; Keep leaves the cell's own.
enum class Align : std::uint8_t { Keep, Left, Right, Center };

// What a written cell looks like, added to the look it has (or, for a new
// cell, takes from its row or column). The parts combine; formats are added
// to the styles once and reused.
struct CellFormat {
  std::string_view numberFormat = {};  // such as "0.00000"; empty keeps the cell's own
  bool bold = false;
  bool redFill = false;    // a solid light-red fill
  bool ruleBelow = false;  // a thin rule under the cell
  Align align = Align::Keep;
  int indent = 0;  // with an alignment: steps of about one character (0..15) from its edge
};

class Worksheet;

// How Worksheet::StreamRows writes its rows.
struct StreamedLayout {
  // A long table of the program's own: a cell right after the previous one
  // of its row is written without its reference (readers take it as the
  // next column), and a sheet added by the program is compressed by a fast
  // coder (about twice as fast as zlib's fastest level, for a fifth more
  // bytes). The report's sheets keep every reference and zlib.
  bool compact = false;
  // The row function only reads, so rows may be written on several threads
  // at once (in blocks, joined in order): a long table is saved in about
  // half the time on two cores.
  bool concurrent = false;
};

// A look registered with the workbook's styles for cells that are written
// at save time (see Worksheet::StreamRows); 0 is the plain look.
using CellStyleId = std::uint16_t;

// The cells of one row written at save time, in ascending columns. A value
// that cannot be stored (NaN, infinity, text longer than a cell holds) is
// an Error that fails the save.
class RowWriter {
 public:
  void Number(int column, double value, CellStyleId style = 0);
  void Text(int column, std::string_view text, CellStyleId style = 0);  // bytes as SetText
  void Empty(int column, CellStyleId style);  // a cell with a look and no value
  bool Wrote() const { return column_ > 0; }

 private:
  friend struct RowWriterAccess;
  RowWriter(std::string& out, const std::string& prefix, int row, int lastColumn, bool compact)
      : out_(out), prefix_(prefix), row_(row), lastColumn_(lastColumn), compact_(compact) {}
  bool Open(int column);                      // true when `column` directly follows the last one
  bool Start(int column, CellStyleId style);  // true: the cell is still to be written whole
  std::string& out_;
  const std::string& prefix_;
  int row_;
  int lastColumn_;
  bool compact_;
  int column_ = 0;  // the last column written
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
  // A new workbook with empty sheets of these names, the first one active.
  // Names: 1 to 31 characters, none of : \ / ? * [ ], unique ignoring case.
  static Workbook Create(const std::vector<std::string>& sheetNames);

  Workbook(Workbook&&) noexcept;
  Workbook& operator=(Workbook&&) noexcept;
  ~Workbook();

  // The sheets, in the order of their tabs.
  std::vector<std::string> SheetNames() const;
  bool HasSheet(std::string_view name) const;
  // A worksheet by name (ignoring case), read on first use. No such sheet,
  // or a chart sheet: Error. The handle stays valid while the workbook lives.
  Worksheet Sheet(std::string_view name);
  Worksheet ActiveSheet();
  // Adds an empty worksheet after the last sheet; the active sheet stays
  // active. A name that is taken or unusable: Error.
  Worksheet AddSheet(std::string_view name);
  // Makes a sheet this program added the one the workbook opens on and the
  // active sheet: its tab selected, the earlier active sheet's not. Does
  // nothing for any other sheet.
  void OpenOn(std::string_view name);
  // The rows 1..lastRow of a worksheet, to read and change; the rows below
  // are neither read nor held in memory and are saved as they stand. For a
  // few cells at the top of a long sheet. Writing below lastRow is an
  // Error. A sheet already read whole is given whole.
  Worksheet SheetHead(std::string_view name, int lastRow);

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
  struct SheetState;

 private:
  explicit Workbook(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// One worksheet of a workbook: the same cells as the active sheet's
// methods above, plus formats and, on sheets this program added, layout.
class Worksheet {
 public:
  const std::string& Name() const;

  CellValue Get(int row, int column) const;
  void SetNumber(int row, int column, double value);
  void SetNumber(int row, int column, double value, std::string_view numberFormat);
  void SetNumber(int row, int column, double value, const CellFormat& format);
  void SetText(int row, int column, std::string_view text);
  void SetText(int row, int column, std::string_view text, const CellFormat& format);
  void Clear(int row, int column);  // keeps the cell's style
  void Set(int row, int column, const CellValue& value);
  // Adds `format` to the cell's look and keeps its value; an absent cell is
  // made empty with that look.
  void SetFormat(int row, int column, const CellFormat& format);
  // Gives the cell the look cell (fromRow, fromColumn) has, or would have
  // when written.
  void CopyFormat(int fromRow, int fromColumn, int row, int column);
  int LastRow() const;
  // A sheet read from a file keeps the layout it was saved with.
  bool KeepsItsLayout() const;

  // Layout, only on a sheet added by AddSheet or Create (a template's own
  // sheet keeps its layout): Error otherwise. Widths in characters; new
  // cells in the columns take `format`.
  void SetColumns(int first, int last, double width, const CellFormat& format = {});
  void SetPageSetup(const PageSetup& page);
  // Shows the cells firstRow..lastRow x firstColumn..lastColumn as one cell
  // with the first one's value and look (give them all the same look, as
  // spreadsheets do). An area that overlaps an earlier one is an Error.
  void MergeCells(int firstRow, int firstColumn, int lastRow, int lastColumn);
  void AddChart(const ScatterChart& chart);
  // Rows firstRow..firstRow+count-1, columns up to lastColumn, written at
  // save time by `row(r, writer)` instead of being held in memory: a long
  // table costs no memory however many rows it has. A row given no cell is
  // not written. Below every row the sheet holds, and the sheet must stay
  // so; Get, LastRow and the charts do not see them until the workbook is
  // saved and read again. Not on a sheet read only in part (SheetHead).
  void StreamRows(int firstRow, int count, int lastColumn,
                  std::function<void(int row, RowWriter& writer)> row,
                  StreamedLayout layout = {});
  // The look a new cell of `column` with `format` gets, for streamed rows
  // and long tables.
  CellStyleId StyleFor(int column, const CellFormat& format);
  // The look the cell has, or would have when written.
  CellStyleId StyleAt(int row, int column) const;
  // A cell with a look StyleFor gave, without working it out again.
  void SetNumberWithStyle(int row, int column, double value, CellStyleId style);
  void SetTextWithStyle(int row, int column, std::string_view text, CellStyleId style);

 private:
  friend class Workbook;
  Worksheet(Workbook::Impl* book, Workbook::SheetState* sheet) : book_(book), sheet_(sheet) {}
  Workbook::Impl* book_;
  Workbook::SheetState* sheet_;
};

}  // namespace vireo
