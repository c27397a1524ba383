#include <gtest/gtest.h>

#include "common/Error.h"
#include "readers/FieldFile.h"
#include "readers/GsiFormat.h"

using namespace vireo;

namespace {

GsiWord Word(const std::optional<GsiBlock>& block, std::size_t i) {
  return block.value().words.at(i);
}

struct Read {
  std::vector<FieldRecord> records;
  std::vector<RunWarning> warnings;
  FieldFormat format = FieldFormat::Unknown;
};

Read ReadAll(const std::string& text) {
  Read read;
  FieldRecordReader reader(read.warnings);
  auto take = [&](FieldRecord& record) { read.records.push_back(record); };
  reader.Feed(text, take);
  reader.Finish(take);
  read.format = reader.Format();
  return read;
}

std::string Codes(const Read& read) {
  std::string codes;
  for (const FieldRecord& r : read.records)
    codes += r.lineStart ? "S" : r.height ? "H" : r.reading ? r.reading->code : "?";
  return codes;
}

bool Warned(const Read& read, long line, const std::string& part) {
  for (const RunWarning& w : read.warnings)
    if (w.line == line && w.message.find(part) != std::string::npos) return true;
  return false;
}

// GSI-8 blocks as an LS10 writes them: a set-up read B1 F1 F2 B2, its
// result block with a running length past 999.99999 m (nine digits), a
// closing block whose unpadded text word holds a blank and a Latin-1 byte.
const std::string kGsi8 =
    "410001+?......2 \r\n"
    "110002+000000E6 83..08+00097812 \r\n"
    "110003+000000E6 32...8+01824930 331.08+00159977 390...+00000002 \r\n"
    "110004+00000017 32...8+00193447 332.08+00138073 390...+00000002 \r\n"
    "110005+00000017 32...8+00193452 336.08+00138071 390...+00000002 \r\n"
    "110006+000000E6 32...8+00182538 335.08+00159980 390...+00000002 391.00+00000000 \r\n"
    "110007+00000017 571.08-00000000 572.08-00000005 573..8-00010933 574.28+101251687 "
    "83..08+00119718 \r\n"
    "505.08-00000000 506.08+00000712 508...+Cierre R\xe1pido 509...+000000E6 512...+00000017 \r\n";

}  // namespace

TEST(GsiBlock, gsi8_words_split_only_where_a_word_head_follows_a_blank) {
  const auto result = ParseGsiBlock(
      "110007+00000017 571.08-00000000 572.08-00000005 573..8-00010933 574.28+101251687 "
      "83..08+00119718 ");
  ASSERT_TRUE(result);
  ASSERT_EQ(result->words.size(), 6u);
  EXPECT_EQ(result->dataWidth, 8);
  std::string problem;
  EXPECT_EQ(Word(result, 4).index, 574);
  EXPECT_EQ(Word(result, 4).data, "101251687");
  EXPECT_EQ(GsiMetresText(Word(result, 4), 8, 0, problem), "1012.51687");
  EXPECT_EQ(GsiMetresText(Word(result, 5), 8, 5, problem), "1.19718");

  const auto closing =
      ParseGsiBlock("505.08-00000000 508...+Cierre R\xe1pido 509...+000000E6 512...+00000017 ");
  ASSERT_TRUE(closing);
  ASSERT_EQ(closing->words.size(), 4u);
  EXPECT_EQ(Word(closing, 1).index, 508);
  EXPECT_EQ(Word(closing, 1).data, "Cierre R\xe1pido");
  EXPECT_EQ(GsiPointId(Word(closing, 3)), "17");

  for (const std::string& notBlock :
       {std::string(), std::string("*"), std::string("*4"), std::string("*410001"),
        std::string("41000\x01+?......2"), std::string(" 410001+?......2"),
        std::string("For M5|Adr     1|TO  Start-Line"),
        std::string("41\0"
                    "001+?......2",
                    14)})
    EXPECT_FALSE(ParseGsiBlock(notBlock)) << notBlock;
}

TEST(GsiBlock, length_words_become_decimal_metres_only_when_whole) {
  struct Case {
    const char* block;  // one word
    int decimals;
    const char* text;  // empty: the word cannot be read
  } cases[] = {
      {"*331.08+0000000000159977", 0, "1.59977"},
      {"*83..08-0000000000046698", 5, "-0.46698"},
      {"*571.08-0000000000000000", 5, "0.00000"},  // negative zero
      {"*83..58+0000000000000000", 5, "0.00000"},
      {"331.08+00159977", 0, "1.59977"},
      {"331.00+00001599", 0, "1.599"},
      {"83..00+00100123", 5, "100.12300"},
      {"331.06+00015997", 0, "1.5997"},
      {"83..08+123456789", 5, "1234.56789"},  // a GSI-8 value past its 8 digits
      {"331.08+000159977", 0, ""},            // longer, but only by padding
      {"*331.08+00000000000000159977", 0, ""},
      {"*331.08+00000000159977", 0, ""},  // truncated
      {"331.08+0159977", 0, ""},
      {"331.0x+00159977", 0, ""},  // unit not a digit
      {"331...+00159977", 0, ""},
      {"331.02+00159977", 0, ""},  // gon
      {"331.08+0015997A", 0, ""},
      {"331.08+", 0, ""},
  };
  for (const Case& c : cases) {
    const auto block = ParseGsiBlock(c.block);
    ASSERT_TRUE(block) << c.block;
    std::string problem;
    EXPECT_EQ(GsiMetresText(Word(block, 0), block->dataWidth, c.decimals, problem), c.text)
        << c.block;
    EXPECT_EQ(problem.empty(), *c.text != '\0') << c.block;
  }
  struct Id {
    const char* block;
    const char* id;
  } ids[] = {{"*110002+000000000000000G", "G"},
             {"*110002+0000000000000017", "17"},
             {"*110002+0000000000000000", "0"},
             {"110002+0BNE0603", "BNE0603"},
             {"110002+", ""},
             {"*110002+00000000000000000017", ""}};
  for (const Id& c : ids) EXPECT_EQ(GsiPointId(Word(ParseGsiBlock(c.block), 0)), c.id) << c.block;
}

TEST(GsiReader, a_gsi8_job_gives_the_records_of_a_double_run) {
  const Read read = ReadAll(kGsi8);
  EXPECT_EQ(read.format, FieldFormat::Gsi);
  EXPECT_TRUE(read.warnings.empty());
  ASSERT_EQ(Codes(read), "SHRbRfRfRbH");
  EXPECT_EQ(read.records[1].heightText, "0.97812");
  const Reading& b1 = *read.records[2].reading;
  EXPECT_EQ(b1.pointId, "E6");
  EXPECT_EQ(b1.value, 1.59977);  // the double the DiNi text "1.59977" gives
  EXPECT_EQ(b1.distance, "18.24930");
  EXPECT_EQ(b1.line, 3);
  EXPECT_EQ(read.records[5].reading->line, 6);
  EXPECT_EQ(read.records[6].heightText, "1.19718");
  EXPECT_EQ(read.records[6].line, 7);
}

TEST(GsiReader, what_the_double_run_cannot_take_is_skipped_with_a_warning) {
  const std::string setup =  // B1 F1 F2 B2 on A and B, then the result block
      "*110010+000000000000000A 32...8+0000000002000000 331.08+0000000000150000 \n"
      "*110011+000000000000000B 32...8+0000000002100000 332.08+0000000000120000 \n"
      "*110012+000000000000000B 32...8+0000000002100000 336.08+0000000000120004 \n"
      "*110013+000000000000000A 32...8+0000000002000000 335.08+0000000000150002 \n"
      "*110014+000000000000000B 571.08+0000000000000000 83..08+0000000010029999 \n";
  const std::string start =
      "*410001+00000000?......2 \n*110002+000000000000000A 83..08+0000000010000000 \n";

  // A single-run line (BF) gives a line start and nothing else.
  Read bf = ReadAll("*410001+00000000?......1 \n" + setup);
  EXPECT_EQ(Codes(bf), "S");
  EXPECT_TRUE(Warned(bf, 1, "single-run (method 1, BF)"));
  EXPECT_EQ(bf.warnings.size(), 1u);

  // An unknown method: set-ups with both runs are still reduced.
  Read unknown = ReadAll("*410001+00000000?......9 \n" + setup);
  EXPECT_EQ(Codes(unknown), "SRbRfRfRbH");
  EXPECT_TRUE(Warned(unknown, 1, "no known measuring method"));

  // An intermediate sight and its own height block between two set-ups.
  Read intermediate =
      ReadAll(start + setup +
              "*110015+00000000000000I1 32...8+0000000000900000 333.08+0000000000210000 \n"
              "*110016+00000000000000I1 83..08+0000000009938999 \n" +
              setup);
  EXPECT_EQ(Codes(intermediate), "SHRbRfRfRbHRbRfRfRbH");
  EXPECT_TRUE(Warned(intermediate, 8, "intermediate sight (word 333) on I1"));
  EXPECT_EQ(intermediate.warnings.size(), 1u);

  // A reading word that cannot be read costs its own set-up, not the next.
  std::string broken = setup;
  broken.replace(broken.find("332.08"), 6, "332.0x");
  Read lost = ReadAll(start + broken + setup);
  EXPECT_EQ(Codes(lost), "SHHRbRfRfRbH");
  EXPECT_TRUE(Warned(lost, 4, "cannot be read"));
  EXPECT_TRUE(Warned(lost, 3, "lacks its reading(s) F1, so its 3 reading(s)"));
  EXPECT_EQ(lost.records[3].reading->line, 8);

  // Two back readings on different points make no set-up.
  std::string moved = setup;
  moved.replace(moved.find("000A 32...8+0000000002000000 335"), 4, "000X");
  Read mismatch = ReadAll(start + moved);
  EXPECT_EQ(Codes(mismatch), "SHH");
  EXPECT_TRUE(Warned(mismatch, 3, "reads B1 on A but B2 on X"));

  // The file ends inside a set-up.
  Read cut = ReadAll(start + setup.substr(0, setup.find("*110013")));
  EXPECT_EQ(Codes(cut), "SH");
  EXPECT_TRUE(Warned(cut, 3, "lacks its reading(s) B2"));
}

TEST(GsiReader, a_file_in_feet_is_refused) {
  for (const char* word : {"331.01+00159977", "32...7+00182493", "83..01+00097812"}) {
    std::vector<RunWarning> warnings;
    FieldRecordReader reader(warnings);
    try {
      reader.Feed("410001+?......2 \n110002+000000E6 " + std::string(word) + " \n",
                  [](FieldRecord&) {});
      ADD_FAILURE() << word;
    } catch (const Error& e) {
      EXPECT_NE(e.Cause().find("line 2 gives"), std::string::npos) << e.Cause();
      EXPECT_NE(e.Cause().find("in feet"), std::string::npos) << e.Cause();
    }
  }
}
