// The active sheet in memory: a compact cell store instead of an XML tree,
// plus the bytes of the worksheet part around <sheetData>, which are written
// back unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "output/Workbook.h"

namespace vireo {

// Lets the sheet writer make the RowWriter of a streamed row.
struct RowWriterAccess {
  static RowWriter Make(std::string& out, const std::string& prefix, int row, int lastColumn,
                        bool compact);
};

}  // namespace vireo

namespace vireo::xlsx {

class Deflater;

enum class CellKind : std::uint8_t {
  Empty = 0,   // no value, maybe a style
  Number = 1,  // `number`
  Text = 2,    // `offset`/`length` in the text pool
  Raw = 3,     // kept as the template's XML: `offset` indexes the raw table
};

// 16 bytes per cell.
struct Cell {
  union {
    double number;
    std::uint64_t offset;
  };
  std::uint32_t length;
  std::uint16_t style;
  std::uint16_t columnKind;  // (column - 1) << 2 | kind

  Cell() : offset(0), length(0), style(0), columnKind(0) {}
  Cell(int column, CellKind kind, std::uint16_t s) : offset(0), length(0), style(s) {
    columnKind = static_cast<std::uint16_t>(((column - 1) << 2) | static_cast<int>(kind));
  }
  int Column() const { return (columnKind >> 2) + 1; }
  CellKind Kind() const { return static_cast<CellKind>(columnKind & 3); }
  void SetKind(CellKind kind) {
    columnKind = static_cast<std::uint16_t>((columnKind & ~3u) | static_cast<unsigned>(kind));
  }
};
static_assert(sizeof(void*) != 8 || sizeof(Cell) == 16);

// 40 bytes (on 64-bit systems), plus its cells.
struct Row {
  std::uint32_t number = 0;
  std::uint16_t style = 0;
  bool hasStyle = false;         // s with customFormat="1": the style of new cells
  std::uint32_t attributes = 0;  // 1 + index in SheetStore::rowAttributes; 0: none
  std::vector<Cell> cells;       // ascending by column
};
static_assert(sizeof(void*) != 8 || sizeof(Row) == 40);

// A template cell whose XML is written back as it was (shared strings,
// formulas, booleans, errors, rich text). `value` is what Get shows.
struct RawCell {
  std::uint64_t xmlOffset;
  std::uint32_t xmlLength;
  Cell value;
};

struct ColumnStyle {
  int min, max;
  std::uint16_t style;
};

class SheetStore {
 public:
  std::vector<Row> rows;  // ascending by number
  std::string pool;       // texts and raw XML
  std::vector<RawCell> raws;
  // A template row's attributes besides r and spans, serialized; few rows
  // have any.
  std::vector<std::string> rowAttributes;

  Row* FindRow(int number);
  const Row* FindRow(int number) const;
  Row& GetRow(int number);  // creates it
  static Cell* FindCell(Row& row, int column);
  static const Cell* FindCell(const Row& row, int column);
  // The cell at `column`, created with `style` if absent.
  static Cell& GetCell(Row& row, int column, std::uint16_t style);

  void SetText(Cell& cell, std::string_view text);
  std::string_view Text(const Cell& cell) const { return {pool.data() + cell.offset, cell.length}; }
  std::string_view RawXml(const RawCell& raw) const {
    return {pool.data() + raw.xmlOffset, raw.xmlLength};
  }

 private:
  // Where row `n` is or would be inserted.
  std::size_t RowIndex(std::uint32_t n) const;
  mutable std::size_t hint_ = 0;  // the index RowIndex found last
};

// The worksheet part minus its cells.
struct SheetFrame {
  std::string prefix;                           // namespace prefix of the root element, e.g. "x:"
  std::string head;                             // bytes before <sheetData>, without <dimension>
  std::size_t dimensionAt = std::string::npos;  // where <dimension> stood in head
  std::string tail;                             // bytes after </sheetData>
  std::vector<ColumnStyle> columnStyles;
  // A sheet read only down to row headRows: the part's bytes from restAt on
  // (the first row below, to the end of the part) are written back as they
  // stand, and head keeps its own <dimension>.
  int headRows = 0;  // 0: the sheet was read whole
  std::uint64_t restAt = 0;
};

// Rows written at save time (Worksheet::StreamRows).
struct StreamedRows {
  int firstRow = 0, count = 0, lastColumn = 0;
  std::function<void(int, RowWriter&)> row;
  bool compact = false;     // cells that follow the previous one without a reference
  bool concurrent = false;  // `row` may be called on several threads at once
};

// What a cell shows, its text viewed in the store's pool.
struct CellView {
  CellKind kind = CellKind::Empty;  // Empty, Number or Text
  double number = 0.0;
  std::string_view text;
};
CellView ViewCell(const SheetStore& store, int row, int column);

// Reads a worksheet part fed in pieces. `feed` calls its argument for each
// piece of the inflated XML. Shared strings resolve `t="s"` cells. With
// `lastRow` > 0 reading stops at the first row below it (see SheetFrame).
// Throws Error(file, ...) naming `part` for broken XML.
void ReadSheet(const std::function<void(const std::function<void(std::string_view)>&)>& feed,
               const std::vector<std::string>& sharedStrings, const std::string& file,
               const std::string& part, SheetFrame& frame, SheetStore& store, int lastRow = 0);

// Writes the worksheet part: the frame with a fresh <dimension> and the
// cells, then the streamed rows, if any. For a sheet read only down to some
// row, `rest` hands out the part's inflated bytes again; they are copied
// from frame.restAt on. Given the `coder` that `out` writes to, streamed
// rows written on several threads are deflated there too and go to the
// coder directly.
void WriteSheet(const SheetFrame& frame, const SheetStore& store,
                const std::function<void(std::string_view)>& out,
                const StreamedRows* streamed = nullptr,
                const std::function<void(const std::function<void(std::string_view)>&)>& rest = {},
                Deflater* coder = nullptr);

// Cell text with `_xHHHH_` escapes decoded.
std::string DecodeEscapes(std::string_view text);
// Appends `text` (valid UTF-8) escaped for XML character data, with the
// characters XML cannot hold written as `_xHHHH_`.
void AppendEscapedText(std::string& out, std::string_view text);
// Appends an attribute value escaped for a double-quoted attribute.
void AppendEscapedAttribute(std::string& out, std::string_view value);
// The shortest text that reads back as exactly `value`, locale-free.
void AppendNumber(std::string& out, double value);
// The shortest text that reads back as `value`, exactly as std::to_chars
// writes it, into `at`; quicker for values with a few decimals.
char* PutShortest(char* at, char* end, double value);
void AppendInt(std::string& out, unsigned value);
// Characters as Excel counts them: UTF-16 code units.
std::size_t Utf16LengthOf(std::string_view utf8);
// "A", "Z", "AA", ... "XFD".
void AppendColumnName(std::string& out, int column);

}  // namespace vireo::xlsx
