#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zarncfg_kxcommon.h"
#include "zarncfg_kxcommon_fixture.h"

namespace {

class KxRollBack : public KxStoreTest {
 protected:
  std::string roll_back() {
    testing::internal::CaptureStdout();
    zarncfg_kxadmin_roll_back();
    return stdout_text();
  }
};

TEST_F(KxRollBack, EmptyStackPrintsOnlyANewline) {
  EXPECT_EQ(roll_back(), "\n");
  EXPECT_EQ(roll_back(), "\n");
}

TEST_F(KxRollBack, FourthCommandOfAFileFails) {
  const std::string before = dump();
  const std::string path = write_file("commands",
                                      "acl create a1\n"
                                      "object create /o \"an object\" 0 x y   # the second\n"
                                      "acl attach /o a1\n"
                                      "acl attach /missing a1\n"
                                      "acl create a5\n");
  vd_msgid_t status = 0;
  testing::internal::CaptureStdout();
  zarncfg_process_kxadmin_file(path, record_, "zarncfg", status);
  EXPECT_EQ(stdout_text(), "...\nZRNCF1353E   Varden command acl_attach failed. \n");
  EXPECT_EQ(status, msg_id(1353));
  EXPECT_EQ(zarncfg_kxadmin_undo_depth(), 3u);
  EXPECT_NE(dump(), before);

  const std::size_t mark = log_size();
  EXPECT_EQ(roll_back(), "...\n");
  const std::vector<std::string> inverses = log_lines("Executing ", mark);
  EXPECT_EQ(inverses, (std::vector<std::string>{"Executing protobj_detachacl API. ", "Executing protobj_delete API. ",
                                                "Executing acl_delete API. "}));
  const std::vector<std::string> locations = log_lines("Rolling back Varden call at location");
  ASSERT_EQ(locations.size(), 3u);
  EXPECT_EQ(locations.front(), "Rolling back Varden call at location 2. ");
  EXPECT_EQ(dump(), before);
  EXPECT_EQ(roll_back(), "\n");
}

TEST_F(KxRollBack, MoreThanFiveHundredTwelveCommands) {
  const std::string before = dump();
  std::string content;
  constexpr int kCommands = 520;
  for (int i = 0; i < kCommands; ++i) content += "acl create acl-" + std::to_string(i) + "\n";
  vd_msgid_t status = 0;
  testing::internal::CaptureStdout();
  zarncfg_process_kxadmin_file(write_file("many", content), record_, "zarncfg", status);
  EXPECT_EQ(stdout_text(), std::string(kCommands, '.') + "\n");
  ASSERT_EQ(status, 0u);
  EXPECT_EQ(zarncfg_kxadmin_undo_depth(), static_cast<std::size_t>(kCommands));
  EXPECT_EQ(roll_back(), std::string(kCommands, '.') + "\n");
  EXPECT_EQ(dump(), before);
}

// Entries of every row and of lengths up to the longest line, across the
// stack's chunks, come back whole and newest first.
TEST_F(KxRollBack, TheStackGivesBackEveryEntryAsPushed) {
  std::vector<AdminCommand> pushed;
  for (int i = 0; i < 400; ++i) {
    AdminCommand cmd;
    cmd.index = i % static_cast<int>(zarncfg_kxadmin_command_usage.size());
    cmd.fields = {"acl", "create", std::string(static_cast<std::size_t>(i * 37 % 2040), 'n') + std::to_string(i)};
    if (i % 3 == 0) cmd.fields.push_back(std::string("quoted") + WORD_JOINER + "words");
    cmd.command = cmd.fields[0] + "_" + cmd.fields[1];
    std::string line;
    for (const auto& field : cmd.fields) line += (line.empty() ? "" : " ") + field;
    ASSERT_EQ(zarncfg_kxadmin_push(cmd, line), 0);
    pushed.push_back(cmd);
  }
  EXPECT_EQ(zarncfg_kxadmin_undo_depth(), pushed.size());
  for (auto expected = pushed.rbegin(); expected != pushed.rend(); ++expected) {
    AdminCommand newest;
    ASSERT_TRUE(zarncfg_kxadmin_pop(newest));
    EXPECT_EQ(newest.index, expected->index);
    EXPECT_EQ(newest.command, expected->command);
    EXPECT_EQ(newest.fields, expected->fields);
  }
  AdminCommand none;
  EXPECT_FALSE(zarncfg_kxadmin_pop(none));
  EXPECT_EQ(zarncfg_kxadmin_undo_depth(), 0u);
}

TEST_F(KxRollBack, UndoesTheCommandAsAppliedWithItsPlaceholdersFilled) {
  record_[IDX_BRANCH].value = "east";
  const std::string path = write_file("branch", "acl create brevik-%POLICY%-hosts\n");
  vd_msgid_t status = 0;
  testing::internal::CaptureStdout();
  zarncfg_process_kxadmin_file(path, record_, "zarncfg", status);
  stdout_text();
  ASSERT_EQ(status, 0u);
  record_[IDX_BRANCH].value = "west";  // the inverse does not look again
  EXPECT_EQ(roll_back(), ".\n");
  std::vector<std::string> acls;
  on_store([&](kx::Store& s) { return s.acl_names(acls); });
  EXPECT_TRUE(acls.empty());
}

}  // namespace
