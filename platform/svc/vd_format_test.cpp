#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "vd_svc.h"

namespace {

template <class... A>
std::string fmt(std::string_view format, const A&... a) {
  const std::vector<vd_insert> inserts = {vd_insert(a)...};
  return vd_format(format, inserts);
}

TEST(VdFormat, ConversionsMatchingTheirInserts) {
  EXPECT_EQ(fmt("%s has begun.\n", "zarncfg"), "zarncfg has begun.\n");
  EXPECT_EQ(fmt("between %d and %d", 0, 65535), "between 0 and 65535");
  EXPECT_EQ(fmt("code %x", 0x132120C8u), "code 132120c8");
  EXPECT_EQ(fmt("returned %ld.", -1L), "returned -1.");
  EXPECT_EQ(fmt("%-20s|", "-audit_level"), "-audit_level        |");
  EXPECT_EQ(fmt("%3.3s", "yesterday"), "yes");
  EXPECT_EQ(fmt("100%% sure"), "100% sure");
  EXPECT_EQ(fmt("%d", 4294967295u), "4294967295");
  EXPECT_EQ(fmt("%x", -1), "ffffffff");
}

TEST(VdFormat, MismatchedInsertsShowMarkers) {
  struct Case {
    std::string got;
    std::string want;
  };
  const std::string bad(VD_BAD_INSERT);
  const std::string missing(VD_MISSING_INSERT);
  const Case cases[] = {
      {fmt("%s", 42), bad},
      {fmt("%d", "text"), bad},
      {fmt("%s and %s", "one"), "one and " + missing},
      {fmt("%n", 1), bad},
      {fmt("%f", 1), bad},
      {fmt("%p", "x"), bad},
      {fmt("trailing %"), "trailing " + bad},
      {fmt("%s", static_cast<const char*>(nullptr)), "(null)"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.got, c.want);
}

// Plain conversions take a short path of their own; it must print what the
// general path (and printf) prints.
TEST(VdFormat, PlainConversionsPrintAsPrintfDoes) {
  EXPECT_EQ(fmt("%d|%i|%ld", INT64_MIN, INT64_MAX, 0L),
            std::to_string(INT64_MIN) + "|" + std::to_string(INT64_MAX) + "|0");
  EXPECT_EQ(fmt("[%s][%s]", "", "a%sb"), "[][a%sb]");
  EXPECT_EQ(fmt("%d", 18446744073709551615ull), "18446744073709551615");
  EXPECT_EQ(fmt("%u %u", -1, 7), "4294967295 7");
  EXPECT_EQ(fmt("%5d|%-4s|%05i", -42, "ab", 7), "  -42|ab  |00007");
  EXPECT_EQ(fmt("no conversions at all"), "no conversions at all");
}

TEST(VdFormat, HugeWidthIsBounded) {
  const std::string out = fmt("%999999999999s", "x");
  EXPECT_LE(out.size(), 4097u);
}

TEST(VdFormat, ExtraInsertsAreIgnored) { EXPECT_EQ(fmt("plain", "unused", 3), "plain"); }

}  // namespace
