// A field data file of either instrument family, read line by line into
// records. The format is recognised by content, not by the file name: the
// first line that a format's reader takes fixes the format of the file.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/FileSystem.h"
#include "common/Text.h"
#include "common/Warning.h"
#include "readers/FieldRecord.h"
#include "readers/GsiFormat.h"

namespace vireo {

enum class FieldFormat { Unknown, DiniM5, Gsi };

// What a file that holds no record looks like, so that the refusal can say
// what to do: an older DiNi format, or a total station's file.
enum class OtherLayout { None, DiniRec500, TotalStation };

// "DiNi M5", "Leica GSI" or "unknown".
const char* FormatName(FieldFormat format);

class FieldRecordReader {
 public:
  // A record is about 120 bytes (GSI-16 blocks reach about 200); a longer
  // line is not a record and is skipped without being kept.
  static constexpr std::size_t kMaxLineLength = 65536;
  using Handler = std::function<void(FieldRecord&)>;

  explicit FieldRecordReader(Warnings& warnings) : warnings_(warnings), gsi_(warnings) {}

  // Feed bytes as they arrive; each record is handed out once complete.
  void Feed(std::string_view bytes, const Handler& handler);
  // Hands out the records of a last line without line end and reports what
  // the last lines left incomplete, and the lines too long to be records.
  void Finish(const Handler& handler);

  FieldFormat Format() const { return format_; }
  bool SawReading() const { return sawReading_; }
  bool SawLineStart() const { return sawLineStart_; }
  OtherLayout LooksLike() const { return looksLike_; }

 private:
  void Line(std::string_view text, long number, const Handler& handler);
  void Hand(FieldRecord& record, const Handler& handler);
  void FixFormat(FieldFormat format, long number);
  // A last line without a line end that stops inside a record: a DiNi
  // record before its closing bar, a GSI block in the middle of a word.
  bool CutShort(std::string_view text) const;
  // The first line of the format the file is not in: named once.
  void WarnOtherFormat(std::string_view text, long number);

  Warnings& warnings_;
  LineSplitter splitter_{kMaxLineLength};
  GsiReader gsi_;
  FieldFormat format_ = FieldFormat::Unknown;
  bool sawReading_ = false;
  bool sawLineStart_ = false;
  long formatLine_ = 0;  // the line of the first record
  bool warnedOtherFormat_ = false;
  OtherLayout looksLike_ = OtherLayout::None;
  long longLines_ = 0;
  long firstLongLine_ = 0;
  std::string longLineNumbers_;  // the first few, for the warning
};

// Reads `in` to its end through `reader`. A failed read throws Error naming
// `path`.
void ReadFieldRecords(InputStream& in, const std::string& path, FieldRecordReader& reader,
                      const FieldRecordReader::Handler& handler);

}  // namespace vireo
