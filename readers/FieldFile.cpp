#include "readers/FieldFile.h"

#include "common/Error.h"
#include "readers/DiniFormat.h"
#include "readers/GsiFormat.h"

namespace vireo {
namespace {

// A DiNi REC 500 line has no "For M5|" and writes its codes beside their
// values ("Rb 2.384 HD 23.21") or text lines ("Start-Line BFFB 101"); a
// total station's GSI block carries angles (words 21 and 22).
OtherLayout LayoutOf(std::string_view text) {
  if (!text.starts_with("For M5|")) {
    auto has = [&](std::string_view mark) { return text.find(mark) != std::string_view::npos; };
    if (has("Start-Line") || has("End-Line") || ((has(" Rb ") || has(" Rf ")) && has(" HD ")))
      return OtherLayout::DiniRec500;
  }
  if (const std::optional<GsiBlock> block = ParseGsiBlock(text))
    if (block->Find(21) || block->Find(22)) return OtherLayout::TotalStation;
  return OtherLayout::None;
}

}  // namespace

const char* FormatName(FieldFormat format) {
  switch (format) {
    case FieldFormat::DiniM5:
      return "DiNi M5";
    case FieldFormat::Gsi:
      return "Leica GSI";
    case FieldFormat::Unknown:
      break;
  }
  return "unknown";
}

void FieldRecordReader::Feed(std::string_view bytes, const Handler& handler) {
  splitter_.Feed(bytes, [&](std::string_view text, long number) { Line(text, number, handler); });
}

void FieldRecordReader::Finish(const Handler& handler) {
  // A last line without its line end may be a record the transfer cut short.
  splitter_.Finish([&](std::string_view text, long number) {
    if (CutShort(text)) {
      warnings_.push_back({number,
                           "the file ends inside this record (the transfer may have been cut "
                           "short); it is not reduced"});
      FieldRecord damaged;
      damaged.line = number;
      damaged.skippedReading = NotReducedReason::DamagedRecord;
      Hand(damaged, handler);
      return;
    }
    Line(text, number, handler);
  });
  gsi_.Finish([&](FieldRecord& record) { Hand(record, handler); });
  if (longLines_ == 1)
    warnings_.push_back(
        {firstLongLine_, "the line is over 64 KiB, too long to be a record; it is skipped"});
  else if (longLines_ > 1)
    warnings_.push_back(
        {firstLongLine_,
         std::to_string(longLines_) +
             " lines over 64 KiB, too long to be records, are skipped: " + longLineNumbers_});
}

void FieldRecordReader::Line(std::string_view text, long number, const Handler& handler) {
  if (splitter_.LineWasCut()) {
    constexpr long kListed = 10;
    if (longLines_ == 0) firstLongLine_ = number;
    if (++longLines_ <= kListed)
      longLineNumbers_ += (longLines_ > 1 ? ", " : "") + std::to_string(number);
    else if (longLines_ == kListed + 1)
      longLineNumbers_ += ", \u2026";
    return;
  }
  if (number == 1) text = WithoutByteOrderMark(text);
  if (format_ == FieldFormat::Unknown && looksLike_ == OtherLayout::None)
    looksLike_ = LayoutOf(text);
  if (format_ != FieldFormat::Gsi) {
    FieldRecord record = ClassifyDiniLine(text);
    OutOfColumn skipped = FindOutOfColumn(text, record);
    if (!skipped.warning.empty()) {
      warnings_.push_back({number, std::move(skipped.warning)});
      if (skipped.reading) {
        FieldRecord lost;
        lost.line = number;
        lost.skippedReading = NotReducedReason::OutOfColumn;
        Hand(lost, handler);
      }
    } else if (std::string unknown = UnknownCodeWarning(text, record); !unknown.empty())
      warnings_.push_back({number, std::move(unknown)});
    if (record.IsRecord()) {
      FixFormat(FieldFormat::DiniM5, number);
      record.line = number;
      if (record.reading) record.reading->line = number;
      Hand(record, handler);
      return;
    }
    if (format_ == FieldFormat::DiniM5) {
      if (!warnedOtherFormat_) WarnOtherFormat(text, number);
      return;
    }
  } else if (!warnedOtherFormat_ && !ParseGsiBlock(text) && ClassifyDiniLine(text).IsRecord()) {
    WarnOtherFormat(text, number);
    return;
  }
  // The GSI reader gives each record its own line: a set-up's readings are
  // handed out together once the last of them is read.
  if (gsi_.Line(text, number, [&](FieldRecord& record) { Hand(record, handler); }))
    FixFormat(FieldFormat::Gsi, number);
}

bool FieldRecordReader::CutShort(std::string_view text) const {
  if (splitter_.LineWasCut()) return false;
  const std::string_view trimmed = TrimBlanks(text);
  if (trimmed.empty()) return false;
  if (format_ != FieldFormat::Gsi && trimmed.starts_with("For M5|")) return trimmed.back() != '|';
  if (format_ != FieldFormat::Gsi) return false;
  const std::optional<GsiBlock> block = ParseGsiBlock(text);
  if (!block) return true;
  const GsiWord& last = block->words.back();
  if (last.data.empty() || last.data.find(' ') != std::string_view::npos) return true;
  // Text words (271 line name, 508 label) are not padded to the width.
  const bool textWord = last.index == 271 || last.index == 508;
  return !textWord && last.data.size() < static_cast<std::size_t>(block->dataWidth);
}

void FieldRecordReader::FixFormat(FieldFormat format, long number) {
  if (format_ != FieldFormat::Unknown) return;
  format_ = format;
  formatLine_ = number;
}

void FieldRecordReader::WarnOtherFormat(std::string_view text, long number) {
  const bool dini = format_ == FieldFormat::DiniM5;
  if (dini) {
    const std::optional<GsiBlock> block = ParseGsiBlock(text);
    if (!block || !(block->Find(41) || block->Find(11))) return;
  }
  warnedOtherFormat_ = true;
  warnings_.push_back(
      {number, std::string("the line is ") + (dini ? "a Leica GSI block" : "a DiNi M5 record") +
                   ", but the file is a " + FormatName(format_) + " file (from its line " +
                   std::to_string(formatLine_) + "); it is skipped, as is every line of " +
                   (dini ? "GSI" : "DiNi") + " after it"});
}

void FieldRecordReader::Hand(FieldRecord& record, const Handler& handler) {
  sawReading_ = sawReading_ || record.reading.has_value();
  sawLineStart_ = sawLineStart_ || record.lineStart;
  handler(record);
}

void ReadFieldRecords(InputStream& in, const std::string& path, FieldRecordReader& reader,
                      const FieldRecordReader::Handler& handler) {
  try {
    char buffer[1 << 16];
    for (;;) {
      const std::size_t n = in.Read(buffer, sizeof buffer);
      if (n == 0) break;
      reader.Feed(std::string_view(buffer, n), handler);
    }
    reader.Finish(handler);
  } catch (const Error& e) {
    if (e.File() == path || e.File().empty()) throw Error(path, e.Operation(), e.Cause());
    throw;
  }
}

}  // namespace vireo
