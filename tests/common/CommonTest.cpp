// Number and text conversions, and the file-system seam's temporary names
// and refusals. Locale independence, DecimalText and ToUtf8 are checked
// through the workbook and the golden report; the seam's atomic replacement
// by the fault injection (FaultInjectionTest).
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "common/Error.h"
#include "common/FileSystem.h"
#include "common/Parallel.h"
#include "common/Text.h"
#include "tests/support/TempFolder.h"

using namespace vireo;
using namespace vireo::testing;

// Each text read, shown to 15 digits, one blank after each.
std::string ReadEach(std::initializer_list<const char*> texts) {
  std::string shown;
  for (const char* text : texts) shown += DecimalText(NumberFromText(text)) + " ";
  return shown;
}

TEST(NumberFromText, reads_the_leading_number_and_ignores_the_rest) {
  // Blanks inside are skipped, an exponent needs digits, "." is the only
  // decimal point, and exponents too long for any integer keep their sign.
  EXPECT_EQ(ReadEach({"12.345 m", "  -1.5e2x", "1 2 3", "\t4\n.5", ".5", "7e", "", "m 12", "1,5",
                      "1e-400", "1e-99999999999999999999", "-0.001e-99999999999999999999",
                      "0e99999999999999999999"}),
            "12.345 -150 123 4.5 0.5 7 0 0 1 0 0 0 0 ");
  for (const char* text : {"1e400", "1e+99999999999999999999"})
    EXPECT_EQ(NumberFromText(text), HUGE_VAL) << text;
  // Complete numbers only, where a keyed level is read.
  EXPECT_EQ(StrictNumber(" 1.23456 "), 1.23456);
  for (const char* text : {"1.23456 m", "", "   ", "1e999", "abc"})
    EXPECT_FALSE(StrictNumber(text)) << text;
}

TEST(NumberFromText, reads_every_plain_decimal_to_the_double_from_chars_gives) {
  // Plain decimals take a shortcut past from_chars; the double must be the
  // same to the last bit, signed zeros and 15-digit values included.
  std::mt19937_64 random(7);
  for (int n = 0; n < 200000; ++n) {
    const int digits = 1 + static_cast<int>(random() % 15);
    std::string text = random() % 3 == 0 ? "-" : (random() % 7 == 0 ? "+" : "");
    const int point = static_cast<int>(random() % static_cast<unsigned>(digits + 1));
    for (int d = 0; d < digits; ++d) {
      if (d == point) text += '.';
      text += static_cast<char>('0' + random() % 10);
    }
    double expected = 0;
    std::string normal = text.substr(text[0] == '+' ? 1 : 0);
    if (normal[0] == '.' || normal.starts_with("-.")) normal.insert(normal.find('.'), "0");
    std::from_chars(normal.data(), normal.data() + normal.size(), expected);
    const double read = NumberFromText(text);
    ASSERT_EQ(std::memcmp(&read, &expected, sizeof read), 0) << text;
  }
}

TEST(FormatFixed, rounds_half_away_from_zero_on_the_exact_value_and_never_shows_minus_zero) {
  // 0.125 is an exact tie; 2.675 is 2.67499999... in binary, 1.000005 a
  // little above the tie.
  std::string two, five;
  for (double v : {0.125, -0.125, 2.675, -0.0, -0.004}) two += FormatFixed(v, 2) + " ";
  for (double v : {1.000005, 0.299990000001, 9.999996, -0.000004, -0.000005})
    five += FormatFixed(v, 5) + " ";
  EXPECT_EQ(two, "0.13 -0.13 2.67 0.00 0.00 ");
  EXPECT_EQ(five, "1.00001 0.29999 10.00000 0.00000 -0.00001 ");
  EXPECT_EQ(FormatFixed(0.5, 0), "1");
}

TEST(LineSplitter, takes_crlf_lf_and_lone_cr_also_across_chunks) {
  std::vector<std::string> lines;
  long last = 0;
  auto take = [&](std::string_view text, long n) { lines.emplace_back(text), last = n; };
  LineSplitter splitter;
  splitter.Feed("a\r", take);
  splitter.Feed("\nb\rc\n\nd", take);
  splitter.Finish(take);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c", "", "d"}));
  EXPECT_EQ(last, 5);

  // Any chunking gives the lines of the whole text, a line over the bound
  // handed out empty and marked cut.
  std::mt19937 random(3);
  for (int round = 0; round < 200; ++round) {
    std::string text;
    for (int i = 0; i < 60; ++i) text += "ab\r\n"[random() % 5];
    auto split = [&](std::size_t chunk) {
      std::string out;
      LineSplitter bounded(3);
      auto take = [&](std::string_view t, long n) {
        out += std::to_string(n) + (bounded.LineWasCut() ? "!" : ":") + std::string(t) + "|";
      };
      for (std::size_t at = 0; at < text.size(); at += chunk)
        bounded.Feed(std::string_view(text).substr(at, chunk), take);
      bounded.Finish(take);
      return out;
    };
    ASSERT_EQ(split(1 + random() % 7), split(text.size())) << text;
  }
}

// Runs that write one target at once each get their own temporary file; a
// later run sweeps away only what a dead run left, never a file a live run
// still writes, nor a surveyor's own file.
TEST(ReplaceFile, temporary_names_are_private_and_stale_ones_are_swept) {
  TempFolder folder;
  const std::string target = folder / "LINE7.xlsx";
  const std::string stale[] = {TemporaryName(target, "0123456789ab"), target + ".vireo-tmp"};
  const std::string own[] = {folder / "TEMP.xlsx", folder / "temp.dat", target + ".backup",
                             folder / "LINE8.xlsx.vireo-tmp"};
  for (const auto& file : stale) WriteFile(file, "a killed run's");
  for (const auto& file : own) WriteFile(file, "the surveyor's");
  StagedFile live(RealFileSystem(), target);
  live.Out().Write("a run at work");
  live.Commit();
  ReplaceFile(RealFileSystem(), target, [](OutputStream& out) { out.Write("new"); });
  EXPECT_EQ(ReadFile(target), "new");
  for (const auto& file : stale) EXPECT_FALSE(std::filesystem::exists(file)) << file;
  for (const auto& file : own) EXPECT_EQ(ReadFile(file), "the surveyor's");
  live.Install();
  EXPECT_EQ(ReadFile(target), "a run at work");
}

// Opening a FIFO for reading would wait for a writer, a device may never
// end: neither is read.
TEST(RealFileSystem, only_regular_files_are_read) {
  TempFolder folder;
  ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0644), 0);
  for (const auto& [path, cause] : std::vector<std::pair<std::string, std::string>>{
           {folder / "fifo", "named pipe"}, {"/dev/zero", "device"}, {folder.Path(), "folder"}}) {
    EXPECT_THAT([&] { RealFileSystem().OpenForReading(path); },
                ::testing::ThrowsMessage<Error>(::testing::HasSubstr(cause + ", not a file")));
  }
}

// A file without any write permission is protected even from a run as
// root; CliTest runs every command on read-only files as an ordinary user.
TEST(RealFileSystem, a_file_without_write_permission_is_read_only) {
  TempFolder folder;
  const std::string target = folder / "checks.ini";
  WriteFile(target, "sight_length_m = 50\r\n");
  EXPECT_FALSE(RealFileSystem().IsReadOnly(target));
  ASSERT_EQ(chmod(target.c_str(), 0444), 0);
  EXPECT_TRUE(RealFileSystem().IsReadOnly(target));
  EXPECT_FALSE(RealFileSystem().IsReadOnly(folder / "missing"));
}

// A NUL or a line break inside a quoted value cannot end or split the
// message that quotes it.
// Every piece of work is done once, and prefaulting changes nothing that
// memory holds, the room after a vector's contents or the contents
// themselves: a hint that discarded pages would zero them.
TEST(Parallel, each_piece_runs_once_and_prefaulting_keeps_what_memory_holds) {
  std::vector<int> runs(1000, 0);
  ForEachOnAllCores(runs.size(), [&runs](std::size_t i) { ++runs[i]; });
  EXPECT_EQ(std::count(runs.begin(), runs.end(), 1), 1000);

  std::vector<char> held;
  held.reserve(std::size_t{48} << 20);
  held.resize((std::size_t{24} << 20) + 1234, 'x');
  Prefault({{held.data() + held.size(), held.capacity() - held.size()},
            {held.data() + (1 << 20), std::size_t{20} << 20}});
  EXPECT_EQ(std::count(held.begin(), held.end(), 'x'), static_cast<long>(held.size()));
  held.resize(held.capacity(), 'y');
  EXPECT_EQ(held.back(), 'y');
}

TEST(Error, control_bytes_in_a_message_are_escaped) {
  const Error e("a.csv", "read", std::string("line 2: \"A\0B\r\n\"", 15));
  EXPECT_EQ(std::string(e.what()), "a.csv: read (line 2: \"A\\x00B\\x0d\\x0a\")");
  EXPECT_EQ(EscapeControlBytes(e.what()), e.what());
}
