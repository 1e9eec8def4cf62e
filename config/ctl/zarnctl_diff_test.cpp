#include "zarnctl_diff.h"

#include <gtest/gtest.h>

namespace {

struct DiffCase {
  const char* name;
  const char* before;
  const char* after;
  const char* diff;  // without the two header lines
};

// The hunks diff -u prints for the same texts.
const DiffCase kCases[] = {
    {"Equal", "a\nb\n", "a\nb\n", nullptr},
    {"NewFile", "", "[zarnd]\nport = 1\n", "@@ -0,0 +1,2 @@\n+[zarnd]\n+port = 1\n"},
    {"RemovedFile", "x\n", "", "@@ -1 +0,0 @@\n-x\n"},
    {"ChangedLineWithContext", "1\n2\n3\n4\n5\n6\n7\n8\n", "1\n2\n3\n4\nfive\n6\n7\n8\n",
     "@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+five\n 6\n 7\n 8\n"},
    {"FarApartChangesMakeTwoHunks", "a\n1\n2\n3\n4\n5\n6\n7\nb\n", "A\n1\n2\n3\n4\n5\n6\n7\nB\n",
     "@@ -1,4 +1,4 @@\n-a\n+A\n 1\n 2\n 3\n@@ -6,4 +6,4 @@\n 5\n 6\n 7\n-b\n+B\n"},
    {"NearChangesShareAHunk", "a\n1\n2\n3\n4\n5\n6\nb\n", "A\n1\n2\n3\n4\n5\n6\nB\n",
     "@@ -1,8 +1,8 @@\n-a\n+A\n 1\n 2\n 3\n 4\n 5\n 6\n-b\n+B\n"},
    {"AppendedStanza", "[a]\nx = 1\n", "[a]\nx = 1\n\n[b]\ny = 2\n", "@@ -1,2 +1,5 @@\n [a]\n x = 1\n+\n+[b]\n+y = 2\n"},
    {"MissingFinalNewline", "a\nb", "a\nb\nc\n",
     "@@ -1,2 +1,3 @@\n a\n-b\n\\ No newline at end of file\n+b\n+c\n"},
};

class UnifiedDiff : public testing::TestWithParam<DiffCase> {};

TEST_P(UnifiedDiff, MatchesDiff) {
  const DiffCase& c = GetParam();
  const std::string diff = unified_diff(c.before, c.after, "/f", "/f");
  EXPECT_EQ(diff, c.diff == nullptr ? "" : std::string("--- /f\n+++ /f\n") + c.diff);
}

INSTANTIATE_TEST_SUITE_P(Cases, UnifiedDiff, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<DiffCase>& info) { return std::string(info.param.name); });

}  // namespace
