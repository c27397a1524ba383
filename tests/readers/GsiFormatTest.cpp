// The Leica GSI reader: words split where GSI-8 puts a head after a blank,
// lengths and point ids only from whole words, and what the double run cannot
// take skipped with a warning naming its line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "readers/FieldFile.h"
#include "readers/GsiFormat.h"

using namespace vireo;

namespace {

// The records of a file, "S" line start, "H" height, "Rb"/"Rf" reading,
// each with its point, value and line, "x" a reading not handed on, with its
// reason; then the warnings, "line: text".
std::string Read(const std::string& text) {
  Warnings warnings;
  FieldRecordReader reader(warnings);
  std::string out;
  auto take = [&](FieldRecord& r) {
    out += r.lineStart ? "S" : r.height ? "H" + r.heightText : "";
    if (r.lineEnd)
      out += "E" + (r.lineEnd->setups ? std::to_string(*r.lineEnd->setups) : "") + "/" +
             r.lineEnd->endHeightText + "/" + r.lineEnd->endPoint;
    if (r.reading)
      out += r.reading->code + r.reading->pointId + "=" + FormatFixed(r.reading->value, 5);
    if (r.skippedReading) out += std::string("x(") + ReasonText(*r.skippedReading) + ")";
    out += "@" + std::to_string(r.line) + " ";
  };
  reader.Feed(text, take);
  reader.Finish(take);
  for (const RunWarning& w : warnings) out += "| " + std::to_string(w.line) + ": " + w.message;
  return out;
}

}  // namespace

TEST(GsiReader, a_gsi8_job_splits_its_words_where_a_head_follows_a_blank) {
  // A set-up read B1 F1 F2 B2; its result block holds a running length
  // past 999.99999 m (nine digits); the closing block an unpadded text
  // word with a blank and a Latin-1 byte.
  const std::string closing =
      "505.08-00000000 506.08+00000712 508...+Cierre R\xe1pido 509...+000000E6 512...+00000017 ";
  EXPECT_EQ(Read("410001+?......2 \r\n110002+000000E6 83..08+00097812 \r\n"
                 "110003+000000E6 32...8+01824930 331.08+00159977 390...+00000002 \r\n"
                 "110004+00000017 32...8+01934470 332.08+00138073 \r\n"
                 "110005+00000017 32...8+01934520 336.08+00138071 \r\n"
                 "110006+000000E6 32...8+01825380 335.08+00159980 391.00+00000000 \r\n"
                 "110007+00000017 571.08-00000000 574.28+101251687 83..08+00119718 \r\n" +
                 closing + "\r\n"),
            "S@1 H0.97812@2 RbE6=1.59977@3 Rf17=1.38073@4 Rf17=1.38071@5 RbE6=1.59980@6 "
            "H1.19718@7 E//17@8 ");
  // The level's own figures: its count of set-ups and the end height.
  EXPECT_EQ(Read("410001+?......2 \r\n513.08+00119718 290...+00000001 512...+00000017 \r\n"),
            "S@1 E1/1.19718/17@2 ");
  const auto block = ParseGsiBlock(closing);
  ASSERT_EQ(block->words.size(), 5u);
  EXPECT_EQ(block->words[2].data, "Cierre R\xe1pido");
}

TEST(GsiReader, lengths_become_decimal_metres_only_from_whole_words) {
  const std::pair<const char*, const char*> cases[] = {
      {"*571.08-0000000000000000", "0.00000"},
      {"331.00+00001599", "1.59900"},
      {"331.06+00015997", "1.59970"},
      {"83..08+123456789", "1234.56789"},
      {"331.08+000159977", ""},  // longer only by padding
      {"*331.08+00000000159977", ""},
      {"331.02+00159977", ""}};
  for (const auto& [word, metres] : cases) {
    const auto block = ParseGsiBlock(word);
    std::string problem;
    EXPECT_EQ(GsiMetresText(block->words[0], block->dataWidth, 5, problem), metres) << word;
  }
  const std::pair<const char*, const char*> ids[] = {
      {"*110002+000000000000000G", "G"}, {"*110002+0000000000000017", "17"},
      {"*110002+0000000000000000", "0"}, {"110002+0BNE0603", "BNE0603"},
      {"110002+0BN\0010603", ""},        {"*110002+00000000000000000017", ""}};
  for (const auto& [word, id] : ids) EXPECT_EQ(GsiPointId(ParseGsiBlock(word)->words[0]), id);
}

TEST(GsiReader, what_the_double_run_cannot_take_is_skipped_with_a_warning_naming_its_line) {
  const std::string start =
      "*410001+00000000?......2 \n*110002+000000000000000A 83..08+0000000010000000 \n";
  const std::string setup =  // lines 3 to 7 after the start
      "*110010+000000000000000A 32...8+0000000002000000 331.08+0000000000150000 \n"
      "*110011+000000000000000B 32...8+0000000002100000 332.08+0000000000120000 \n"
      "*110012+000000000000000B 32...8+0000000002100000 336.08+0000000000120004 \n"
      "*110013+000000000000000A 32...8+0000000002000000 335.08+0000000000150002 \n"
      "*110014+000000000000000B 571.08+0000000000000000 83..08+0000000010029999 \n";
  const std::string reduced =
      "RbA=1.50000@3 RfB=1.20000@4 RfB=1.20004@5 RbA=1.50002@6 H100.29999@7 ";
  auto with = [&](const std::string& from, const std::string& to) {
    std::string s = setup;
    return s.replace(s.find(from), from.size(), to);
  };
  const std::pair<std::string, std::string> cases[] = {
      {start + setup, "S@1 H100.00000@2 " + reduced},
      {"*410001+00000000?......1 \n" + setup,
       "S@1 RbA=1.50000@2 RfB=1.20000@3 x(single-run line)@4 x(single-run line)@5 H100.29999@6 "
       "| 4: the block holds a reading of a double run (B2 or F2) in a single-run line"},
      {"*410001+00000000?......9 \n" + setup,
       "RbA=1.50002@5 H100.29999@6 | 1: the line names no known measuring method"},
      {start + setup +
           "*110015+00000000000000I1 333.08+0000000000210000 \n"
           "*110016+00000000000000I1 83..08+0000000009938999 \n",
       "H100.29999@7 x(intermediate sight)@8 | 8: the intermediate sight (word 333) on I1 is no "
       "part of the double run"},
      {start + with("332.08", "332.0x"),
       "S@1 H100.00000@2 x(not a number)@4 x(GSI set-up incomplete)@3 x(GSI set-up incomplete)@5 "
       "x(GSI set-up incomplete)@6 H100.29999@7 | 4: the reading word 332.0x+0000000000120000 "
       "cannot be read (its unit x is no unit of metres); the reading is skipped| 3: the set-up "
       "lacks its reading(s) F1, so its 3 reading(s) are not reduced"},
      {start + with("A 32...8+0000000002000000 335", "X 32...8+0000000002000000 335"),
       "H100.00000@2 x(GSI set-up reads two points for one sight)@3 x(GSI set-up reads two points "
       "for one sight)@4 x(GSI set-up reads two points for one sight)@5 x(GSI set-up reads two "
       "points for one sight)@6 H100.29999@7 | 3: the set-up reads B1 on A but B2 on X"},
      {start + with("*110011+000000000000000B ", ""),
       "x(no point id)@4 x(GSI set-up incomplete)@3 x(GSI set-up incomplete)@5 x(GSI set-up "
       "incomplete)@6 H100.29999@7 | 4: the block has no point id"},
      {start + setup.substr(0, setup.find("*110013")), "| 3: the set-up lacks its reading(s) B2"},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_THAT(Read(text), ::testing::HasSubstr(expected));
}

// A file saved by an editor that writes a UTF-8 byte-order mark reads as
// without it: a GSI job still starts at its height block's height.
TEST(FieldRecord, a_byte_order_mark_before_the_first_line_is_skipped) {
  EXPECT_EQ(Read("\xEF\xBB\xBF*410001+00000000?......2 \r\n"
                 "*110002+0000000000000BM1 83..58+0000000013140627 \r\n"),
            "S@1 H131.40627@2 ");
}

// Every line too long to be a record is counted in one warning at the
// first of them, the first ten by their numbers.
TEST(FieldRecord, every_line_too_long_to_be_a_record_is_counted) {
  std::string text = "410001+?......2 \r\n";
  for (int i = 0; i < 12; ++i)
    text += std::string(FieldRecordReader::kMaxLineLength + 1, 'x') + "\r\n\r\n";
  EXPECT_EQ(Read(text),
            "S@1 | 2: 12 lines over 64 KiB, too long to be records, are skipped: 2, 4, 6, 8, 10, "
            "12, 14, 16, 18, 20, \u2026");
  EXPECT_EQ(Read("410001+?......2 \r\n" + std::string(70000, 'x')),
            "S@1 | 2: the line is over 64 KiB, too long to be a record; it is skipped");
}

// The first record fixes the format; the first line of the other format is
// named, with the line that fixed it.
TEST(FieldRecord, a_line_of_the_other_format_is_named_once) {
  const std::string dini =
      "For M5|Adr     4|KD1      BM1      08:00:32    1|Rb        2.32827 m   |HD         14.707 m "
      "  |                      |\r\n";
  const std::string gsi = "110002+000000E6 83..08+00097812 \r\n";
  EXPECT_EQ(Read(dini + gsi + gsi),
            "RbBM1=2.32827@1 | 2: the line is a Leica GSI block, but the file is a DiNi M5 file "
            "(from its line 1); it is skipped, as is every line of GSI after it");
  EXPECT_EQ(Read("410001+?......2 \r\n" + gsi + dini + dini),
            "S@1 H0.97812@2 | 3: the line is a DiNi M5 record, but the file is a Leica GSI file "
            "(from its line 1); it is skipped, as is every line of DiNi after it| 4: the line is "
            "not a GSI block; it is skipped");
}
