#include "readers/FieldFile.h"

#include "common/Error.h"
#include "readers/DiniFormat.h"
#include "readers/GsiFormat.h"

namespace vireo {

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
  splitter_.Finish([&](std::string_view text, long number) { Line(text, number, handler); });
  gsi_.Finish([&](FieldRecord& record) { Hand(record, handler); });
}

void FieldRecordReader::Line(std::string_view text, long number, const Handler& handler) {
  if (splitter_.LineWasCut()) {
    if (!warnedLongLine_)
      warnings_.push_back({number, "the line is longer than " + std::to_string(kMaxLineLength) +
                                       " bytes, so it is no record; it is skipped"});
    warnedLongLine_ = true;
    return;
  }
  if (format_ != FieldFormat::Gsi) {
    FieldRecord record = ClassifyDiniLine(text);
    if (OutOfColumn skipped = FindOutOfColumn(text, record); !skipped.warning.empty()) {
      warnings_.push_back({number, std::move(skipped.warning)});
      if (skipped.reading) {
        FieldRecord lost;
        lost.line = number;
        lost.skippedReading = NotReducedReason::OutOfColumn;
        Hand(lost, handler);
      }
    }
    if (record.IsRecord()) {
      format_ = FieldFormat::DiniM5;
      record.line = number;
      if (record.reading) record.reading->line = number;
      Hand(record, handler);
      return;
    }
    if (format_ == FieldFormat::DiniM5) return;
  }
  // The GSI reader gives each record its own line: a set-up's readings are
  // handed out together once the last of them is read.
  if (gsi_.Line(text, number, [&](FieldRecord& record) { Hand(record, handler); }))
    format_ = FieldFormat::Gsi;
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
