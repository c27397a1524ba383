// Streaming read and write of the worksheet part. The XML is parsed with
// expat piece by piece and never held as a tree: cells go into the compact
// SheetStore, the bytes around <sheetData> are kept as they are.

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/CharConv.h"
#include "common/Error.h"
#include "common/Parallel.h"
#include "common/Text.h"
#include "output/internal/Sheet.h"
#include "output/internal/StreamingXml.h"
#include "output/internal/Zip.h"

namespace vireo::xlsx {
namespace {

constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;

std::string_view LocalName(std::string_view name) {
  auto colon = name.rfind(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

// `_xHHHH_` at text[i].
bool EscapeAt(std::string_view text, std::size_t i) {
  return i + 6 < text.size() && text[i] == '_' && text[i + 1] == 'x' && IsHex(text[i + 2]) &&
         IsHex(text[i + 3]) && IsHex(text[i + 4]) && IsHex(text[i + 5]) && text[i + 6] == '_';
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

void AppendHex4(std::string& out, unsigned value) {
  static const char kDigits[] = "0123456789ABCDEF";
  out += "_x";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kDigits[(value >> shift) & 0xF]);
  out.push_back('_');
}

std::string_view TrimXmlSpace(std::string_view s) {
  auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

template <typename T>
bool ParseWhole(std::string_view s, T& value) {
  s = TrimXmlSpace(s);
  if (s.empty()) return false;
  if (s.front() == '+') s.remove_prefix(1);
  auto [ptr, ec] = FromChars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && ptr == s.data() + s.size();
}

bool ParseDouble(std::string_view s, double& value) {
  return ParseWhole(s, value) && std::isfinite(value);
}

// "AB12" → column 28 (the row digits are not needed: the row says it).
int ParseColumn(std::string_view ref) {
  int column = 0;
  std::size_t i = 0;
  while (i < ref.size() && ref[i] >= 'A' && ref[i] <= 'Z' && i < 3) {
    column = column * 26 + (ref[i] - 'A' + 1);
    ++i;
  }
  if (i == 0 || column > kMaxColumns) return 0;
  for (std::size_t k = i; k < ref.size(); ++k)
    if (ref[k] < '0' || ref[k] > '9') return 0;
  return column;
}

class SheetReader {
 public:
  SheetReader(const std::vector<std::string>& sst, const std::string& file, const std::string& part,
              SheetFrame& frame, SheetStore& store, int lastRow)
      : sst_(sst),
        file_(file),
        part_(part),
        frame_(frame),
        store_(store),
        xml_(*this, file, part),
        stopAfter_(lastRow) {}

  void Feed(std::string_view piece, bool last) {
    if (xml_.Stopped()) return;
    if (window_.empty() && windowBase_ == 0 && piece.size() >= 2) {
      unsigned char a = static_cast<unsigned char>(piece[0]),
                    b = static_cast<unsigned char>(piece[1]);
      if ((a == 0xFF && b == 0xFE) || (a == 0xFE && b == 0xFF))
        throw Error(file_, "read workbook", part_ + " is not UTF-8");
    }
    window_.append(piece);
    xml_.Parse(piece, last);
    if (!xml_.Stopped()) Trim();
  }

  bool Stopped() const { return xml_.Stopped(); }

  void Finish() {
    Feed({}, true);
    if (xml_.Stopped()) {
      // The head keeps the sheet's own extent; the rest follows unread.
      frame_.headRows = stopAfter_;
      if (frame_.dimensionAt != std::string::npos) {
        frame_.head.insert(frame_.dimensionAt, dimensionXml_);
        frame_.dimensionAt = std::string::npos;
      }
      frame_.tail.clear();
      return;
    }
    if (!sawSheetData_ || phase_ != Phase::Tail)
      throw Error(file_, "read workbook", part_ + " has no <sheetData>");
    frame_.tail = window_.substr(static_cast<std::size_t>(sheetDataEnd_ - windowBase_));
  }

 private:
  enum class Phase { Head, Data, Tail };

  friend class StreamingXml<SheetReader>;

  void Text(const XML_Char* text, std::size_t length) {
    if (inValue_)
      value_.append(text, length);
    else if (inInlineText_)
      inline_.append(text, length);
  }

  [[noreturn]] void Fail(const std::string& what) {
    throw Error(file_, "read workbook",
                what + " in " + part_ + " at line " + std::to_string(xml_.Line()));
  }

  std::uint64_t EventStart() const { return xml_.EventStart(); }
  std::uint64_t EventEnd() const { return xml_.EventStart() + xml_.EventLength(); }

  std::string_view WindowSlice(std::uint64_t from, std::uint64_t to) const {
    return std::string_view(window_).substr(static_cast<std::size_t>(from - windowBase_),
                                            static_cast<std::size_t>(to - from));
  }

  // Drops input no later event can need.
  void Trim() {
    std::uint64_t keep = lastEventEnd_;
    if (phase_ == Phase::Head) keep = 0;
    if (phase_ == Phase::Tail) keep = sheetDataEnd_;
    if (inCell_) keep = std::min(keep, cellStart_);
    if (keep > windowBase_) {
      window_.erase(0, static_cast<std::size_t>(keep - windowBase_));
      windowBase_ = keep;
    }
  }

  void Start(const XML_Char* qname, const XML_Char** attrs) {
    const std::uint64_t start = EventStart();
    lastStartEnd_ = EventEnd();
    lastEventEnd_ = std::max(lastEventEnd_, lastStartEnd_);
    ++depth_;
    std::string_view name = LocalName(qname);
    if (depth_ == 1) {
      if (name != "worksheet") Fail("<" + std::string(qname) + "> is not a worksheet");
      std::string_view q(qname);
      frame_.prefix = std::string(q.substr(0, q.size() - name.size()));
      return;
    }
    switch (phase_) {
      case Phase::Head:
        if (depth_ == 2 && name == "dimension") {
          dimensionStart_ = start;
        } else if (depth_ == 2 && name == "cols") {
          inCols_ = true;
        } else if (depth_ == 3 && inCols_ && name == "col") {
          ReadColumnStyle(attrs);
        } else if (depth_ == 2 && name == "sheetData") {
          sawSheetData_ = true;
          frame_.head = window_.substr(0, static_cast<std::size_t>(start - windowBase_));
          if (dimensionStart_ != kNone && dimensionEnd_ != kNone) {
            dimensionXml_ =
                frame_.head.substr(static_cast<std::size_t>(dimensionStart_),
                                   static_cast<std::size_t>(dimensionEnd_ - dimensionStart_));
            frame_.head.erase(static_cast<std::size_t>(dimensionStart_),
                              static_cast<std::size_t>(dimensionEnd_ - dimensionStart_));
            frame_.dimensionAt = static_cast<std::size_t>(dimensionStart_);
          }
          phase_ = Phase::Data;
        }
        break;
      case Phase::Data:
        if (depth_ == 3 && name == "row")
          StartRow(start, attrs);
        else if (depth_ == 4 && name == "c" && inRow_)
          StartCell(start, qname, attrs);
        else if (inCell_)
          StartCellChild(name);
        break;
      case Phase::Tail:
        break;
    }
  }

  void End(const XML_Char* qname) {
    const std::uint64_t end = xml_.EventLength() == 0 ? lastStartEnd_ : EventEnd();
    lastEventEnd_ = std::max(lastEventEnd_, end);
    std::string_view name = LocalName(qname);
    if (phase_ == Phase::Head) {
      if (depth_ == 2 && name == "dimension") dimensionEnd_ = end;
      if (depth_ == 2 && name == "cols") inCols_ = false;
    } else if (phase_ == Phase::Data) {
      if (depth_ == 2 && name == "sheetData") {
        sheetDataEnd_ = end;
        phase_ = Phase::Tail;
      } else if (depth_ == 3 && name == "row") {
        if (inRow_) FinishRow();
        inRow_ = false;
      } else if (depth_ == 4 && inCell_) {
        FinishCell(end);
      } else if (inCell_) {
        EndCellChild(name);
      }
    }
    --depth_;
  }

  void ReadColumnStyle(const XML_Char** attrs) {
    int min = 0, max = 0;
    unsigned style = 0;
    bool hasStyle = false;
    for (int i = 0; attrs[i]; i += 2) {
      std::string_view key = attrs[i], value = attrs[i + 1];
      if (key == "min")
        ParseWhole(value, min);
      else if (key == "max")
        ParseWhole(value, max);
      else if (key == "style")
        hasStyle = ParseWhole(value, style);
    }
    if (hasStyle && style > 0 && style <= 0xFFFF && min >= 1 && max >= min)
      frame_.columnStyles.push_back(
          {min, std::min(max, kMaxColumns), static_cast<std::uint16_t>(style)});
  }

  void StartRow(std::uint64_t start, const XML_Char** attrs) {
    int number = 0;
    bool hasNumber = false;
    unsigned style = 0;
    bool hasStyle = false, customFormat = false;
    std::string attributes;
    for (int i = 0; attrs[i]; i += 2) {
      std::string_view key = attrs[i], value = attrs[i + 1];
      if (key == "r") {
        hasNumber = true;
        if (!ParseWhole(value, number)) number = 0;
        continue;
      }
      if (key == "spans") continue;  // stale once cells change
      if (key == "s") hasStyle = ParseWhole(value, style) && style <= 0xFFFF;
      if (key == "customFormat") customFormat = value == "1" || value == "true";
      attributes += ' ';
      attributes += key;
      attributes += "=\"";
      AppendEscapedAttribute(attributes, value);
      attributes += '"';
    }
    if (!hasNumber) number = lastRow_ + 1;
    if (number < 1 || number > kMaxRows) Fail("row number outside 1..1048576");
    if (stopAfter_ > 0 && number > stopAfter_) {
      frame_.restAt = start;
      xml_.Stop();
      return;
    }
    Row& row = store_.GetRow(number);
    // Long tables repeat their rows' shapes (the report's back-sight and
    // fore-sight rows alternate): room for as many cells as two rows up.
    if (row.cells.empty() && store_.rows.size() > 2 && &row == &store_.rows.back())
      row.cells.reserve(store_.rows[store_.rows.size() - 3].cells.size());
    if (!attributes.empty()) {
      store_.rowAttributes.push_back(std::move(attributes));
      row.attributes = static_cast<std::uint32_t>(store_.rowAttributes.size());
    }
    if (hasStyle && customFormat) {
      row.style = static_cast<std::uint16_t>(style);
      row.hasStyle = true;
    }
    rowNumber_ = number;
    lastRow_ = number;
    lastColumn_ = 0;
    inRow_ = true;
  }

  // A row held with much more room than cells gives the room back: a long
  // sheet is held for the whole adjustment.
  void FinishRow() {
    std::vector<Cell>& cells = store_.rows[RowIndex()].cells;
    if (cells.capacity() - cells.size() > cells.size() / 4) cells.shrink_to_fit();
  }

  void StartCell(std::uint64_t start, const XML_Char* qname, const XML_Char** attrs) {
    inCell_ = true;
    cellStart_ = start;
    cellQName_ = qname;
    hasRef_ = false;
    forceRaw_ = false;
    column_ = 0;
    style_ = 0;
    type_.clear();
    hasFormula_ = hasValue_ = hasInline_ = rich_ = other_ = false;
    value_.clear();
    inline_.clear();
    for (int i = 0; attrs[i]; i += 2) {
      std::string_view key = attrs[i], value = attrs[i + 1];
      if (key == "r") {
        hasRef_ = true;
        column_ = ParseColumn(value);
        if (column_ == 0) Fail("bad cell reference \"" + std::string(value) + "\"");
      } else if (key == "s") {
        unsigned s = 0;
        if (!ParseWhole(value, s) || s > 0xFFFF)
          forceRaw_ = true;
        else
          style_ = static_cast<std::uint16_t>(s);
      } else if (key == "t") {
        type_ = value;
      } else {
        forceRaw_ = true;  // cm, vm, ph...: keep them by keeping the XML
      }
    }
    if (!hasRef_) column_ = lastColumn_ + 1;
    if (column_ > kMaxColumns) Fail("cell beyond column XFD");
    lastColumn_ = column_;
  }

  void StartCellChild(std::string_view name) {
    if (depth_ == 5) {
      if (name == "v") {
        hasValue_ = true;
        inValue_ = true;
      } else if (name == "f") {
        hasFormula_ = true;
      } else if (name == "is") {
        hasInline_ = true;
      } else {
        other_ = true;
      }
    } else if (depth_ == 6 && hasInline_) {
      if (name == "t")
        inInlineText_ = true;
      else if (name == "r")
        rich_ = true;
      else if (name == "rPh")
        inPhonetic_ = true;
    } else if (depth_ == 7 && rich_ && !inPhonetic_ && name == "t") {
      inInlineText_ = true;
    }
  }

  void EndCellChild(std::string_view name) {
    if (name == "v") inValue_ = false;
    if (name == "t") inInlineText_ = false;
    if (depth_ == 6 && name == "rPh") inPhonetic_ = false;
  }

  void FinishCell(std::uint64_t end) {
    inCell_ = false;
    inValue_ = inInlineText_ = inPhonetic_ = false;
    Row& row = store_.rows[RowIndex()];
    Cell& cell = SheetStore::GetCell(row, column_, style_);
    cell.style = style_;
    const bool plain = !hasFormula_ && !other_ && !forceRaw_;
    double number = 0;
    if (plain && (type_.empty() || type_ == "n") && !hasInline_) {
      if (!hasValue_ || TrimXmlSpace(value_).empty()) {
        cell.SetKind(CellKind::Empty);
        return;
      }
      if (ParseDouble(value_, number)) {
        cell.SetKind(CellKind::Number);
        cell.number = number;
        return;
      }
    } else if (plain && type_ == "inlineStr" && hasInline_ && !rich_ && !hasValue_) {
      store_.SetText(cell, DecodeEscapes(inline_));
      cell.SetKind(CellKind::Text);
      return;
    }
    // Everything else is written back exactly as the template has it.
    Cell value(column_, CellKind::Empty, style_);
    if (type_ == "s") {
      std::size_t index = 0;
      if (ParseWhole(value_, index) && index < sst_.size()) {
        store_.SetText(value, sst_[index]);
        value.SetKind(CellKind::Text);
      }
    } else if (type_ == "b") {
      if (hasValue_) {
        std::string_view v = TrimXmlSpace(value_);
        value.number = (v == "1" || v == "true") ? 1.0 : 0.0;
        value.SetKind(CellKind::Number);
      }
    } else if (type_ == "inlineStr") {
      store_.SetText(value, DecodeEscapes(inline_));
      value.SetKind(CellKind::Text);
    } else if (type_.empty() || type_ == "n") {
      if (ParseDouble(value_, number)) {
        value.number = number;
        value.SetKind(CellKind::Number);
      }
    } else if (hasValue_) {
      store_.SetText(value, DecodeEscapes(value_));
      value.SetKind(CellKind::Text);
    }
    RawCell raw{store_.pool.size(), 0, value};
    std::string_view xml = WindowSlice(cellStart_, end);
    if (!hasRef_) {
      // Give the cell its reference so it stays put when cells are added
      // before it.
      std::size_t nameEnd = 1 + cellQName_.size();
      store_.pool.append(xml.substr(0, nameEnd));
      store_.pool += " r=\"";
      AppendColumnName(store_.pool, column_);
      AppendInt(store_.pool, static_cast<unsigned>(rowNumber_));
      store_.pool += '"';
      store_.pool.append(xml.substr(nameEnd));
    } else {
      store_.pool.append(xml);
    }
    raw.xmlLength = static_cast<std::uint32_t>(store_.pool.size() - raw.xmlOffset);
    cell.offset = store_.raws.size();
    cell.SetKind(CellKind::Raw);
    store_.raws.push_back(raw);
  }

  std::size_t RowIndex() {
    // Rows mostly arrive in order: the current row is then the last one.
    if (!store_.rows.empty() && store_.rows.back().number == static_cast<std::uint32_t>(rowNumber_))
      return store_.rows.size() - 1;
    return static_cast<std::size_t>(store_.FindRow(rowNumber_) - store_.rows.data());
  }

  static constexpr std::uint64_t kNone = std::numeric_limits<std::uint64_t>::max();

  const std::vector<std::string>& sst_;
  const std::string& file_;
  const std::string& part_;
  SheetFrame& frame_;
  SheetStore& store_;
  StreamingXml<SheetReader> xml_;

  std::string window_;  // input from windowBase_ on
  std::uint64_t windowBase_ = 0;
  std::uint64_t lastEventEnd_ = 0;
  std::uint64_t lastStartEnd_ = 0;

  Phase phase_ = Phase::Head;
  int depth_ = 0;
  bool inCols_ = false;
  bool sawSheetData_ = false;
  std::uint64_t dimensionStart_ = kNone, dimensionEnd_ = kNone;
  std::uint64_t sheetDataEnd_ = 0;

  bool inRow_ = false;
  int rowNumber_ = 0, lastRow_ = 0, lastColumn_ = 0;
  int stopAfter_ = 0;  // read no row below it (0: read all)
  std::string dimensionXml_;

  bool inCell_ = false;
  std::uint64_t cellStart_ = 0;
  std::string cellQName_;
  bool hasRef_ = false, forceRaw_ = false;
  int column_ = 0;
  std::uint16_t style_ = 0;
  std::string type_;
  bool hasFormula_ = false, hasValue_ = false, hasInline_ = false, rich_ = false, other_ = false;
  bool inValue_ = false, inInlineText_ = false, inPhonetic_ = false;
  std::string value_, inline_;
};

struct Bounds {
  int minRow = 0, maxRow = 0, minColumn = 0, maxColumn = 0;
};

Bounds CellBounds(const SheetStore& store) {
  Bounds b;
  for (const Row& row : store.rows) {
    if (row.cells.empty()) continue;
    const int r = static_cast<int>(row.number);
    if (b.minRow == 0) b.minRow = r;
    b.maxRow = r;
    const int first = row.cells.front().Column(), last = row.cells.back().Column();
    if (b.minColumn == 0 || first < b.minColumn) b.minColumn = first;
    b.maxColumn = std::max(b.maxColumn, last);
  }
  return b;
}

}  // namespace

std::size_t SheetStore::RowIndex(std::uint32_t n) const {
  // Rows are mostly visited in order, or near the end of the sheet: try the
  // row found last and the one after it, then the last two rows, before
  // searching.
  const std::size_t size = rows.size();
  for (std::size_t i : {hint_, hint_ + 1})
    if (i < size && rows[i].number >= n && (i == 0 || rows[i - 1].number < n)) return hint_ = i;
  if (size > 0 && rows[size - 1].number < n) return size;
  if (size > 1 && rows[size - 2].number < n) return hint_ = size - 1;
  hint_ = static_cast<std::size_t>(
      std::lower_bound(rows.begin(), rows.end(), n,
                       [](const Row& r, std::uint32_t k) { return r.number < k; }) -
      rows.begin());
  return hint_;
}

Row* SheetStore::FindRow(int number) {
  const auto n = static_cast<std::uint32_t>(number);
  const std::size_t i = RowIndex(n);
  return i < rows.size() && rows[i].number == n ? &rows[i] : nullptr;
}

const Row* SheetStore::FindRow(int number) const {
  return const_cast<SheetStore*>(this)->FindRow(number);
}

Row& SheetStore::GetRow(int number) {
  const auto n = static_cast<std::uint32_t>(number);
  if (rows.empty() || rows.back().number < n) {
    rows.emplace_back().number = n;
    return rows.back();
  }
  const std::size_t i = RowIndex(n);
  if (rows[i].number == n) return rows[i];
  auto it = rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(i), Row{});
  it->number = n;
  return *it;
}

Cell* SheetStore::FindCell(Row& row, int column) {
  if (row.cells.empty() || row.cells.back().Column() < column) return nullptr;
  auto it = std::lower_bound(row.cells.begin(), row.cells.end(), column,
                             [](const Cell& c, int k) { return c.Column() < k; });
  return it != row.cells.end() && it->Column() == column ? &*it : nullptr;
}

const Cell* SheetStore::FindCell(const Row& row, int column) {
  return FindCell(const_cast<Row&>(row), column);
}

Cell& SheetStore::GetCell(Row& row, int column, std::uint16_t style) {
  // Grow by half from room for 4 cells (4, 6, 9, 13...) rather than by
  // doubling from 1: a profile row of 4 cells takes one allocation, a
  // report row of 9 cells exactly 9 cells' room, one of 10 cells 13.
  if (row.cells.size() == row.cells.capacity())
    row.cells.reserve(row.cells.empty() ? 4 : row.cells.size() + row.cells.size() / 2);
  if (row.cells.empty() || row.cells.back().Column() < column) {
    row.cells.emplace_back(column, CellKind::Empty, style);
    return row.cells.back();
  }
  auto it = std::lower_bound(row.cells.begin(), row.cells.end(), column,
                             [](const Cell& c, int k) { return c.Column() < k; });
  if (it != row.cells.end() && it->Column() == column) return *it;
  return *row.cells.insert(it, Cell(column, CellKind::Empty, style));
}

void SheetStore::SetText(Cell& cell, std::string_view text) {
  cell.offset = pool.size();
  cell.length = static_cast<std::uint32_t>(text.size());
  pool.append(text);
}

namespace {

// "00" to "99".
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// `n` / 10^decimals in fixed notation.
char* PutFixed(char* at, long long n, int decimals) {
  if (n < 0) *at++ = '-';
  auto u = static_cast<unsigned long long>(n < 0 ? -n : n);
  char digits[24];  // filled from the end, two at a time
  char* first = digits + sizeof digits;
  for (; u >= 100; u /= 100)
    first = static_cast<char*>(std::memcpy(first - 2, kDigitPairs + 2 * (u % 100), 2));
  if (u >= 10)
    first = static_cast<char*>(std::memcpy(first - 2, kDigitPairs + 2 * u, 2));
  else
    *--first = static_cast<char>('0' + u);
  while (digits + sizeof digits - first <= decimals) *--first = '0';  // the 0 before the point
  const auto whole = static_cast<std::size_t>(digits + sizeof digits - first - decimals);
  at = static_cast<char*>(std::memcpy(at, first, whole)) + whole;
  if (decimals > 0) {
    *at++ = '.';
    at = static_cast<char*>(std::memcpy(at, first + whole, static_cast<std::size_t>(decimals))) +
         decimals;
  }
  return at;
}

}  // namespace

char* PutShortest(char* at, char* end, double value) {
  // A value of 0.001 to 10^6 with at most nine decimals is n / 10^9 for an
  // n of at most 15 digits. Decimals of 15 digits stand for distinct
  // doubles, so n is the only such decimal that reads back as the value,
  // and without its trailing zeros it is the shortest one: the text
  // to_chars writes (which takes fixed notation over the exponent at
  // these magnitudes, except for a whole number ending in 0).
  const double magnitude = std::fabs(value);
  if (magnitude >= 0.001 && magnitude < 1e6) {
    // Rounded by hand (llround is a call): the check below takes n only
    // when it reads back as the value, however a tie was broken.
    const double scaled = value * 1e9;
    const auto n = static_cast<long long>(scaled + (scaled < 0 ? -0.5 : 0.5));
    if (static_cast<double>(n) / 1e9 == value) {
      long long shortest = n;
      int decimals = 9;
      for (; decimals > 0 && shortest % 10 == 0; --decimals) shortest /= 10;
      if (decimals > 0 || shortest % 10 != 0) return PutFixed(at, shortest, decimals);
    }
  }
  return ToChars(at, end, value).ptr;
}

void AppendNumber(std::string& out, double value) {
  char buffer[32];
  out.append(buffer, PutShortest(buffer, buffer + sizeof buffer, value));
}

void AppendInt(std::string& out, unsigned value) {
  char buffer[16];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

CellView ViewCell(const SheetStore& store, int row, int column) {
  const Row* r = store.FindRow(row);
  const Cell* cell = r ? SheetStore::FindCell(*r, column) : nullptr;
  if (!cell) return {};
  if (cell->Kind() == CellKind::Raw) cell = &store.raws[cell->offset].value;
  switch (cell->Kind()) {
    case CellKind::Number:
      return {CellKind::Number, cell->number, {}};
    case CellKind::Text:
      return {CellKind::Text, 0.0, store.Text(*cell)};
    default:
      return {};
  }
}

std::string DecodeEscapes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    auto next = text.find("_x", i);
    if (next == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, next - i));
    i = next;
    if (!EscapeAt(text, i)) {
      out.push_back('_');
      ++i;
      continue;
    }
    char32_t cp = 0;
    for (int k = 2; k < 6; ++k) cp = cp * 16 + static_cast<char32_t>(HexValue(text[i + k]));
    i += 7;
    if (cp >= 0xD800 && cp <= 0xDBFF && EscapeAt(text, i)) {
      char32_t low = 0;
      for (int k = 2; k < 6; ++k) low = low * 16 + static_cast<char32_t>(HexValue(text[i + k]));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        i += 7;
      }
    }
    if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;  // a lone surrogate
    AppendUtf8(out, cp);
  }
  return out;
}

void AppendEscapedText(std::string& out, std::string_view text) {
  std::size_t run = 0;  // start of the bytes not yet copied
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const char* replacement = nullptr;
    unsigned escape = 0x10000;  // none
    std::size_t skip = 0;
    if (c < 0x20) {
      if (c == '\t' || c == '\n') continue;
      escape = c;  // CR too: a raw CR would come back as LF
    } else if (c == '&') {
      replacement = "&amp;";
    } else if (c == '<') {
      replacement = "&lt;";
    } else if (c == '>') {
      replacement = "&gt;";
    } else if (c == '_') {
      if (!EscapeAt(text, i)) continue;
      escape = '_';  // a literal "_xHHHH_" must not read back as an escape
    } else if (c == 0xEF && i + 2 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) == 0xBF &&
               (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE) {
      escape = 0xFFFE | (static_cast<unsigned char>(text[i + 2]) & 1);
      skip = 2;
    } else {
      continue;
    }
    out.append(text.substr(run, i - run));
    if (replacement)
      out += replacement;
    else
      AppendHex4(out, escape);
    i += skip;
    run = i + 1;
  }
  out.append(text.substr(run));
}

void AppendEscapedAttribute(std::string& out, std::string_view value) {
  for (char ch : value) {
    switch (ch) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out.push_back(ch);
    }
  }
}

void AppendColumnName(std::string& out, int column) {
  char letters[4];
  int n = 0;
  while (column > 0 && n < 4) {
    int digit = (column - 1) % 26;
    letters[n++] = static_cast<char>('A' + digit);
    column = (column - 1) / 26;
  }
  while (n > 0) out.push_back(letters[--n]);
}

void ReadSheet(const std::function<void(const std::function<void(std::string_view)>&)>& feed,
               const std::vector<std::string>& sharedStrings, const std::string& file,
               const std::string& part, SheetFrame& frame, SheetStore& store, int lastRow) {
  SheetReader reader(sharedStrings, file, part, frame, store, lastRow);
  // Once the rows wanted are read, the rest need not even be inflated.
  struct Enough {};
  try {
    feed([&](std::string_view piece) {
      reader.Feed(piece, false);
      if (reader.Stopped()) throw Enough{};
    });
  } catch (const Enough&) {
  }
  reader.Finish();
  store.rows.shrink_to_fit();
}

std::size_t Utf16LengthOf(std::string_view utf8) {
  std::size_t units = 0;
  for (char c : utf8) {
    const auto b = static_cast<unsigned char>(c);
    if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;
  }
  return units;
}

namespace {

// `<c r="B7" s="3"`: a cell's start, its value still to come.
void AppendCellStart(std::string& out, const std::string& prefix, int column, unsigned row,
                     std::uint16_t style) {
  out += '<';
  out += prefix;
  out += "c r=\"";
  AppendColumnName(out, column);
  AppendInt(out, row);
  out += '"';
  if (style != 0) {
    out += " s=\"";
    AppendInt(out, style);
    out += '"';
  }
}

// The rest of a number cell: `><v>1.5</v></c>`.
void AppendNumberRest(std::string& out, const std::string& prefix, double value) {
  out += "><";
  out += prefix;
  out += "v>";
  AppendNumber(out, value);
  out += "</";
  out += prefix;
  out += "v></";
  out += prefix;
  out += "c>";
}

// The rest of an inline text cell, edge blanks kept.
void AppendTextRest(std::string& out, const std::string& prefix, std::string_view text) {
  out += " t=\"inlineStr\"><";
  out += prefix;
  out += "is><";
  out += prefix;
  out += 't';
  auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  if (!text.empty() && (isSpace(text.front()) || isSpace(text.back())))
    out += " xml:space=\"preserve\"";
  out += '>';
  AppendEscapedText(out, text);
  out += "</";
  out += prefix;
  out += "t></";
  out += prefix;
  out += "is></";
  out += prefix;
  out += "c>";
}

// Rows first..last of `streamed` appended to `out`.
void AppendStreamedRows(const StreamedRows& streamed, const std::string& p, int first, int last,
                        std::string& out) {
  const std::string rowOpen = "<" + p + "row r=\"";
  const std::string rowClose = "</" + p + "row>";
  for (int r = first; r <= last; ++r) {
    const std::size_t rowStart = out.size();
    out += rowOpen;
    AppendInt(out, static_cast<unsigned>(r));
    out += "\">";
    RowWriter writer = RowWriterAccess::Make(out, p, r, streamed.lastColumn, streamed.compact);
    streamed.row(r, writer);
    if (!writer.Wrote()) {  // a row without cells is not written, as a stored one
      out.resize(rowStart);
      continue;
    }
    out += rowClose;
  }
}

// The streamed rows after `buffer`, handed to `out` in pieces. Rows that
// may be written on any thread are put together in blocks on worker
// threads, a few blocks ahead of the one handed out; given a `coder`, the
// worker deflates its block as well and the block goes to the coder as a
// piece coded apart. An Error of a row comes out in its order, as on one
// thread.
void WriteStreamedRows(const StreamedRows& streamed, const std::string& p, std::string& buffer,
                       const std::function<void(std::string_view)>& out, Deflater* coder) {
  constexpr int kBlockRows = 4096;
  const int end = streamed.firstRow + streamed.count;
  if (!streamed.concurrent || streamed.count <= kBlockRows) {
    for (int r = streamed.firstRow; r < end; r += 64) {
      AppendStreamedRows(streamed, p, r, std::min(end, r + 64) - 1, buffer);
      if (buffer.size() >= (1 << 16)) {
        out(buffer);
        buffer.clear();
      }
    }
    return;
  }
  out(buffer);
  buffer.clear();
  const int level = coder ? coder->Level() : 0;
  // Room for a block: a guess, then what the blocks before took, so that a
  // block of a few megabytes is not copied as it grows.
  std::atomic<std::size_t> room = std::size_t{kBlockRows} * 64;
  const auto blocks = static_cast<std::size_t>((streamed.count + kBlockRows - 1) / kBlockRows);
  InOrderOnWorkers(
      blocks,
      [&](std::size_t b) {
        const int first = streamed.firstRow + static_cast<int>(b) * kBlockRows;
        std::string block;
        block.reserve(room.load(std::memory_order_relaxed));
        AppendStreamedRows(streamed, p, first, std::min(end, first + kBlockRows) - 1, block);
        if (coder) return Deflater::CodeApart(level, block);
        const std::size_t size = block.size();
        return Deflater::Piece{std::move(block), 0, size};
      },
      [&](Deflater::Piece block) {
        if (block.size + block.size / 8 > room.load(std::memory_order_relaxed))
          room.store(block.size + block.size / 8, std::memory_order_relaxed);
        if (coder)
          coder->Append(std::move(block));
        else
          out(block.data);
      });
}

}  // namespace

void WriteSheet(const SheetFrame& frame, const SheetStore& store,
                const std::function<void(std::string_view)>& out, const StreamedRows* streamed,
                const std::function<void(const std::function<void(std::string_view)>&)>& rest,
                Deflater* coder) {
  const std::string& p = frame.prefix;
  const std::string rowOpen = "<" + p + "row r=\"";
  const std::string rowClose = "</" + p + "row>";

  std::string buffer;
  buffer.reserve(1 << 17);
  if (frame.dimensionAt != std::string::npos) {
    out(std::string_view(frame.head).substr(0, frame.dimensionAt));
    Bounds b = CellBounds(store);
    if (streamed && streamed->count > 0) {
      const int last = streamed->firstRow + streamed->count - 1;
      if (b.minRow == 0 || streamed->firstRow < b.minRow) b.minRow = streamed->firstRow;
      b.maxRow = std::max(b.maxRow, last);
      b.minColumn = 1;
      b.maxColumn = std::max(b.maxColumn, streamed->lastColumn);
    }
    buffer += "<" + p + "dimension ref=\"";
    if (b.minRow == 0) {
      buffer += "A1";
    } else {
      AppendColumnName(buffer, b.minColumn);
      AppendInt(buffer, static_cast<unsigned>(b.minRow));
      if (b.maxRow != b.minRow || b.maxColumn != b.minColumn) {
        buffer += ':';
        AppendColumnName(buffer, b.maxColumn);
        AppendInt(buffer, static_cast<unsigned>(b.maxRow));
      }
    }
    buffer += "\"/>";
    buffer.append(frame.head, frame.dimensionAt, std::string::npos);
  } else {
    buffer += frame.head;
  }
  buffer += "<" + p + "sheetData>";

  for (const Row& row : store.rows) {
    if (row.cells.empty() && row.attributes == 0) continue;
    buffer += rowOpen;
    AppendInt(buffer, row.number);
    buffer += '"';
    if (row.attributes != 0) buffer += store.rowAttributes[row.attributes - 1];
    if (row.cells.empty()) {
      buffer += "/>";
      continue;
    }
    buffer += '>';
    for (const Cell& cell : row.cells) {
      const CellKind kind = cell.Kind();
      if (kind == CellKind::Raw) {
        buffer += store.RawXml(store.raws[cell.offset]);
        continue;
      }
      AppendCellStart(buffer, p, cell.Column(), row.number, cell.style);
      if (kind == CellKind::Empty)
        buffer += "/>";
      else if (kind == CellKind::Number)
        AppendNumberRest(buffer, p, cell.number);
      else
        AppendTextRest(buffer, p, store.Text(cell));
    }
    buffer += rowClose;
    if (buffer.size() >= (1 << 16)) {
      out(buffer);
      buffer.clear();
    }
  }
  if (streamed) WriteStreamedRows(*streamed, p, buffer, out, coder);
  if (frame.headRows > 0) {
    // The rows below the head, and everything after them, as they stood.
    out(buffer);
    std::uint64_t at = 0;
    rest([&](std::string_view piece) {
      const std::uint64_t end = at + piece.size();
      if (end > frame.restAt)
        out(at >= frame.restAt ? piece : piece.substr(static_cast<std::size_t>(frame.restAt - at)));
      at = end;
    });
    return;
  }
  buffer += "</" + p + "sheetData>";
  buffer += frame.tail;
  out(buffer);
}

}  // namespace vireo::xlsx

namespace vireo {

using namespace xlsx;

RowWriter RowWriterAccess::Make(std::string& out, const std::string& prefix, int row,
                                int lastColumn, bool compact) {
  return RowWriter(out, prefix, row, lastColumn, compact);
}

bool RowWriter::Open(int column) {
  if (column <= column_ || column > lastColumn_)
    throw Error("", "write row " + std::to_string(row_),
                "column " + std::to_string(column) + " is not after column " +
                    std::to_string(column_) + " and within 1.." + std::to_string(lastColumn_));
  const bool next = column == column_ + 1;
  column_ = column;
  return next;
}

namespace {

template <std::size_t N>
char* Put(char* at, const char (&literal)[N]) {
  std::memcpy(at, literal, N - 1);
  return at + N - 1;
}

// `<c s="3"` without a reference, into `at`.
char* PutPlainCellStart(char* at, CellStyleId style) {
  at = Put(at, "<c");
  if (style != 0) {
    at = Put(at, " s=\"");
    at = std::to_chars(at, at + 8, static_cast<unsigned>(style)).ptr;
    *at++ = '"';
  }
  return at;
}

bool EdgeBlank(std::string_view text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  return !text.empty() && (blank(text.front()) || blank(text.back()));
}

}  // namespace

// In a compact table a cell right after the previous one of its row needs
// no reference: a reader takes it as the next column. Long tables are a
// third shorter, and such a cell (without a namespace prefix) is put
// together in one piece: true means nothing of it is written yet.
bool RowWriter::Start(int column, CellStyleId style) {
  const bool next = Open(column) && compact_;
  if (next && prefix_.empty()) return true;
  if (next) {
    out_ += '<';
    out_ += prefix_;
    out_ += 'c';
    if (style != 0) {
      out_ += " s=\"";
      AppendInt(out_, style);
      out_ += '"';
    }
  } else {
    AppendCellStart(out_, prefix_, column, static_cast<unsigned>(row_), style);
  }
  return false;
}

void RowWriter::Number(int column, double value, CellStyleId style) {
  if (!std::isfinite(value))
    throw Error("", "write row " + std::to_string(row_), "a cell cannot hold NaN or infinity");
  if (!Start(column, style)) {
    AppendNumberRest(out_, prefix_, value);
    return;
  }
  char cell[96];
  char* at = Put(PutPlainCellStart(cell, style), "><v>");
  at = PutShortest(at, cell + sizeof cell, value);
  at = Put(at, "</v></c>");
  out_.append(cell, static_cast<std::size_t>(at - cell));
}

void RowWriter::Empty(int column, CellStyleId style) {
  Open(column);
  AppendCellStart(out_, prefix_, column, static_cast<unsigned>(row_), style);
  out_ += "/>";
}

void RowWriter::Text(int column, std::string_view text, CellStyleId style) {
  // Plain ASCII needs no conversion, and a cell holds it when it is short.
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  std::string converted;
  if (!ascii) text = converted = ToUtf8(text);
  if (text.size() > static_cast<std::size_t>(Workbook::kMaxTextLength) &&
      Utf16LengthOf(text) > static_cast<std::size_t>(Workbook::kMaxTextLength))
    throw Error("", "write row " + std::to_string(row_),
                "text longer than " + std::to_string(Workbook::kMaxTextLength) + " characters");
  const bool whole = Start(column, style);
  if (!whole || EdgeBlank(text)) {
    if (whole) {
      char head[24];
      out_.append(head, static_cast<std::size_t>(PutPlainCellStart(head, style) - head));
    }
    AppendTextRest(out_, prefix_, text);  // with xml:space for the edge blanks
    return;
  }
  char head[48];
  const char* end = Put(PutPlainCellStart(head, style), " t=\"inlineStr\"><is><t>");
  out_.append(head, static_cast<std::size_t>(end - head));
  AppendEscapedText(out_, text);
  out_.append("</t></is></c>");
}

}  // namespace vireo
