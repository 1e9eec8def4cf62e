// The text form of undo records.
#include "kx_undo.h"

#include <gtest/gtest.h>

namespace {

using kx::RowValue;
using kx::UndoStep;

UndoStep step(UndoStep::Kind kind, std::string_view table, std::vector<RowValue> values) {
  return UndoStep{kind, kx::policy_table(table), std::move(values)};
}

bool same(const std::vector<UndoStep>& a, const std::vector<UndoStep>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].kind != b[i].kind || a[i].table != b[i].table || a[i].values != b[i].values) return false;
  }
  return true;
}

TEST(UndoTextTest, EveryValueSurvivesTheRoundTrip) {
  const std::vector<UndoStep> steps{
      step(UndoStep::Kind::restore, "user",
           {"zarnd/h \"1\"", "cn=a\\b", "line\nbreak\ttab", "\x01\x7f", "$y$hash", std::int64_t{1}, std::int64_t{0}}),
      step(UndoStep::Kind::restore, "protobj", {"/S/o", std::int64_t{-14}, RowValue(), "a"}),
      step(UndoStep::Kind::restore, "acl_attribute", {"a", "none", RowValue()}),
      step(UndoStep::Kind::remove, "acl_user", {"a", "\xc3\xa9t\xc3\xa9"}),
      step(UndoStep::Kind::restore, "grp_member", {"", "u"}),
  };
  const std::string text = kx::encode_undo_steps(steps);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4) << text;
  std::vector<UndoStep> back;
  ASSERT_TRUE(kx::decode_undo_steps(text, back)) << text;
  EXPECT_TRUE(same(back, steps)) << text;
  EXPECT_TRUE(kx::decode_undo_steps("", back));
  EXPECT_TRUE(back.empty());
}

TEST(UndoTextTest, TheDumpMasksPasswordHashes) {
  const UndoStep user =
      step(UndoStep::Kind::restore, "user", {"u", "d", "c", "s", "$y$secret", std::int64_t{0}, std::int64_t{1}});
  EXPECT_EQ(kx::undo_step_line(user, true),
            "restore user name=\"u\" dn=\"d\" cn=\"c\" sn=\"s\" password_hash=<hash> sso=0 account_valid=1");
  EXPECT_NE(kx::undo_step_line(user, false).find("$y$secret"), std::string::npos);
}

TEST(UndoTextTest, MalformedRecordsAreRefused) {
  for (const char* text : {
           "restore",
           "undo acl name=\"a\"",
           "remove nosuchtable name=\"a\"",
           "restore meta key=\"schema_version\" value=\"3\"",
           "restore sec_master password_hash=\"x\"",
           "remove acl nom=\"a\"",
           "remove acl name=\"a\" extra=1",
           "remove acl name=\"a",
           "remove acl name=\"a\\q\"",
           "remove acl name=\"\\x4\"",
           "remove acl name=a",
           "remove acl_user acl=\"a\"",
           "restore acl_user acl=\"a\" user=\"u\"",
           "remove acl name=\"a\"\n\nremove acl name=\"b\"",
       }) {
    std::vector<UndoStep> steps;
    EXPECT_FALSE(kx::decode_undo_steps(text, steps)) << text;
  }
}

TEST(UndoTextTest, StatementsNameEveryColumnOfTheirTable) {
  const UndoStep restore = step(UndoStep::Kind::restore, "acl_user", {"a", "u", "r"});
  EXPECT_EQ(kx::apply_step_sql(restore),
            "INSERT INTO \"acl_user\"(\"acl\", \"user\", \"perms\") VALUES(?, ?, ?) ON CONFLICT(\"acl\", \"user\") "
            "DO UPDATE SET \"perms\" = excluded.\"perms\"");
  EXPECT_EQ(kx::apply_step_sql(step(UndoStep::Kind::restore, "grp_member", {"g", "u"})),
            "INSERT INTO \"grp_member\"(\"grp\", \"user\") VALUES(?, ?) ON CONFLICT(\"grp\", \"user\") DO NOTHING");
  EXPECT_EQ(kx::apply_step_sql(step(UndoStep::Kind::remove, "acl_user", {"a", "u"})),
            "DELETE FROM \"acl_user\" WHERE \"acl\" = ? AND \"user\" = ?");
  EXPECT_EQ(kx::select_row_sql(*kx::policy_table("acl")), "SELECT \"name\" FROM \"acl\" WHERE \"name\" = ?");
}

}  // namespace
