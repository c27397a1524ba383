// The bounded list of a run's warnings: every warning counted, the first
// thousand of each kind kept, one "and N more" line for the rest.
#include <gtest/gtest.h>

#include <string>

#include "common/Warning.h"

using namespace vireo;

namespace {

// Letters only, so that each `i` gives a kind of its own.
std::string Letters(int i) {
  std::string text;
  for (; i > 0; i /= 26) text += static_cast<char>('a' + i % 26);
  return text;
}

}  // namespace

TEST(WarningList, keeps_the_first_thousand_of_a_kind_and_counts_the_rest_in_one_line) {
  Warnings warnings;
  for (long line = 1; line <= 5000; ++line) {
    warnings.push_back({line, "reading " + std::to_string(line) + " \"R" + std::to_string(line) +
                                  "\" is not a number"});
    if (line == 1500) warnings.push_back({0, "a note of its own"});
  }
  EXPECT_EQ(warnings.Count(), 5001u);
  ASSERT_EQ(warnings.size(), 1002u);
  EXPECT_EQ(warnings[999].line, 1000);
  EXPECT_EQ(warnings[1000].message,
            "and 4000 more of this kind, lines 1001 to 5000: reading 1 \"R1\" is not a number");
  EXPECT_EQ(warnings[1001].message, "a note of its own");

  // Joined lists keep the counts; sorted, the "and N more" line stands at
  // its first dropped line.
  Warnings first;
  first.push_back({7000, "before the rest"});
  warnings.Prepend(first);
  EXPECT_EQ(warnings.Count(), 5002u);
  EXPECT_EQ(warnings[0].message, "before the rest");
  EXPECT_EQ(warnings[1001].message.substr(0, 24), "and 4000 more of this ki");
  WarningList<RunWarning> copy;
  copy.Append(warnings, [](const RunWarning& w) { return RunWarning{w.line + 1, w.message}; });
  copy.SortByLine();
  EXPECT_EQ(copy.Count(), 5002u);
  EXPECT_EQ(copy[0].message, "a note of its own");
  EXPECT_EQ(copy[1001].message.substr(0, 24), "and 4000 more of this ki");
  EXPECT_EQ(copy[1002].message, "before the rest");
}

TEST(WarningList, many_kinds_share_one_bounded_other_kind) {
  Warnings warnings;
  for (int i = 1; i <= 3000; ++i) warnings.push_back({i, "the point " + Letters(i) + " is odd"});
  EXPECT_EQ(warnings.Count(), 3000u);
  ASSERT_EQ(warnings.size(), Warnings::kKinds + Warnings::kKeptPerKind + 1);
  EXPECT_EQ(warnings[warnings.size() - 1].message,
            "and " + std::to_string(3000 - Warnings::kKinds - Warnings::kKeptPerKind) +
                " more of other kinds, lines " +
                std::to_string(Warnings::kKinds + Warnings::kKeptPerKind + 1) + " to 3000");
  // Digits and quoted text do not make a kind.
  EXPECT_EQ(WarningKind("line 12: \"A 7\" and 3.5"), "line : \"\" and .");
}
