#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "zarncfg_kxcommon.h"
#include "zarncfg_kxcommon_fixture.h"
#include "zarncfg_run_record.h"

namespace {

class KxRollBack : public KxStoreTest {
 protected:
  std::string roll_back() {
    testing::internal::CaptureStdout();
    left_ = zarncfg_kxadmin_roll_back();
    return stdout_text();
  }
  // What the last roll-back left on the policy server.
  std::size_t left_ = 0;
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
  // Newest first, each with its place on the stack; the policy server
  // takes them back from their undo records in one call.
  EXPECT_EQ(log_lines("The Varden Policy Server index is", mark),
            (std::vector<std::string>{"The Varden Policy Server index is 1 and the command is acl_attach.",
                                      "The Varden Policy Server index is 0 and the command is object_create.",
                                      "The Varden Policy Server index is 2 and the command is acl_create."}));
  EXPECT_EQ(log_lines("Executing ", mark), std::vector<std::string>{"Executing run_rollback API. "});
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

// The stack keeps a command's row only, the store its undo record: every
// row comes back newest first, named as the command table names it.
TEST_F(KxRollBack, TheStackGivesBackEveryRowAsPushed) {
  std::vector<int> pushed;
  for (int i = 0; i < 400; ++i) {
    AdminCommand cmd;
    cmd.index = i % static_cast<int>(zarncfg_kxadmin_command_usage.size());
    cmd.command = std::string(zarncfg_kxadmin_command_usage[static_cast<std::size_t>(cmd.index)].command);
    cmd.fields = {"acl", "create", "acl-" + std::to_string(i)};
    zarncfg_kxadmin_push(cmd);
    pushed.push_back(cmd.index);
  }
  EXPECT_EQ(zarncfg_kxadmin_undo_depth(), pushed.size());
  for (auto expected = pushed.rbegin(); expected != pushed.rend(); ++expected) {
    AdminCommand newest;
    ASSERT_TRUE(zarncfg_kxadmin_pop(newest));
    EXPECT_EQ(newest.index, *expected);
    EXPECT_EQ(newest.command, zarncfg_kxadmin_command_usage[static_cast<std::size_t>(*expected)].command);
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


// Changes to what was there before the run, every kind of command: the
// roll-back puts each row back as it was.
TEST_F(KxRollBack, ChangesOfObjectsThatWereThereBeforeAreTakenBack) {
  on_store([](kx::Store& s) {
    kx::Outcome r = s.acl_create("shared");
    if (r.ok()) r = s.user_create({.name = "u", .dn = "d", .cn = "c", .sn = "s", .password = "p"}, {});
    if (r.ok()) r = s.user_create({.name = "v", .dn = "d", .cn = "c", .sn = "s", .password = "p"}, {});
    if (r.ok()) r = s.group_create("g", "dn", "cn");
    if (r.ok()) r = s.acl_set_user("shared", "u", "Tr");
    if (r.ok()) r = s.acl_set_group("shared", "g", "T");
    if (r.ok()) r = s.acl_set_special("shared", kx::AclSpecial::any_other, "Tx");
    if (r.ok()) r = s.acl_put_attribute("shared", "level", std::string("low"));
    if (r.ok()) r = s.user_set_account_valid("v", true);
    return r;
  });
  const std::string before = dump();
  const std::string lines[] = {
      "acl modify shared set user u TrwxLS",
      "acl modify shared set user v T",
      "acl modify shared set group g",
      "acl modify shared set any-other \"\"",
      "acl modify shared set unauthenticated T",
      "acl modify shared set attribute level high",
      "acl modify shared set attribute other",
      "user modify u account-valid yes",
      "user modify v account-valid no",
      "group modify g add u",
  };
  for (const auto& line : lines) ASSERT_EQ(apply(line), 0) << line << log_text();
  EXPECT_NE(dump(), before);
  EXPECT_EQ(roll_back(), std::string(std::size(lines), '.') + "\n");
  EXPECT_EQ(dump(), before);
}

TEST_F(KxRollBack, ARollBackCutShortLeavesTheRestOnTheServer) {
  const std::string before = dump();
  for (const std::string line : {"acl create a1", "acl create a2", "acl create a3"}) ASSERT_EQ(apply(line), 0);
  // Reason 1: the newest record is applied, then the call stops.
  const std::string host = zarncfg_kxadmin_run_tag().host;
  on_store([&](kx::Store& s) {
    return s.fault_add({.api = "kxadmin_run_rollback", .name = host, .code = kx::CODE_INJECTED_FAULT, .reason = 1});
  });
  EXPECT_EQ(roll_back(),
            ".\nZRNCF1421W   The roll back stopped with 2 Varden commands left.\n"
            "The next configuration on this host with the security master password completes it.\n");
  EXPECT_EQ(left_, 2u);
  EXPECT_EQ(zarncfg_kxadmin_undo_depth(), 0u);
  EXPECT_EQ(log_lines("ZRNCF1421W").size(), 1u);
  std::vector<std::string> acls;
  on_store([&](kx::Store& s) { return s.acl_names(acls); });
  EXPECT_EQ(acls, (std::vector<std::string>{"a1", "a2"}));
  // Any later caller finishes it.
  kxadmin_response_t response;
  ASSERT_EQ(kxadmin_run_rollback(ctx.get(), zarncfg_kxadmin_run_tag(), response), 1);
  EXPECT_EQ(dump(), before);
}

TEST_F(KxRollBack, ANormalEndDropsTheRecordsAndKeepsThePolicy) {
  ASSERT_EQ(apply("acl create kept"), 0);
  const std::string after = dump();
  vd_msgid_t status = 0;
  ASSERT_TRUE(zarncfg_kxadmin_end_run(status));
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(zarncfg_kxadmin_undo_depth(), 0u);
  std::vector<kxadmin_run_info> runs;
  kxadmin_response_t response;
  ASSERT_EQ(kxadmin_run_list(ctx.get(), std::nullopt, runs, response), 1);
  EXPECT_TRUE(runs.empty());
  EXPECT_EQ(roll_back(), "\n");
  EXPECT_EQ(dump(), after);
}

TEST_F(KxRollBack, RecordsThatCannotBeDroppedFailTheRun) {
  ASSERT_EQ(apply("acl create kept"), 0);
  const std::string host = zarncfg_kxadmin_run_tag().host;
  on_store([&](kx::Store& s) { return s.fault_add({.api = "kxadmin_run_discard", .name = host}); });
  vd_msgid_t status = 0;
  testing::internal::CaptureStdout();
  EXPECT_FALSE(zarncfg_kxadmin_end_run(status));
  EXPECT_EQ(stdout_text(),
            "ZRNCF1424E   The roll back information of this run could not be removed from the Varden Policy Server.\n");
  EXPECT_EQ(status, msg_id(1424));
  // The records are still there, so the failed run can take its policy back.
  EXPECT_EQ(roll_back(), ".\n");
}

TEST_F(KxRollBack, EveryCommandCarriesThisRunsTag) {
  // The host's run record and the policy server name the run alike.
  const kxadmin_run_tag& tag = zarncfg_kxadmin_run_tag();
  const RunTag& recorded = zarncfg_this_run_tag();
  EXPECT_EQ(tag.host, recorded.host);
  EXPECT_EQ(tag.process_id, static_cast<std::int64_t>(getpid()));
  EXPECT_EQ(tag.start_time, recorded.started);
  ASSERT_EQ(apply("acl create a"), 0);
  ASSERT_EQ(apply("acl modify a set any-other T"), 0);
  std::vector<kxadmin_run_info> runs;
  kxadmin_response_t response;
  ASSERT_EQ(kxadmin_run_list(ctx.get(), std::nullopt, runs, response), 1);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].tag, tag);
  EXPECT_EQ(runs[0].undo_records, 2u);
}

}  // namespace
