#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zarncfg_kxcommon.h"
#include "zarncfg_kxcommon_fixture.h"

namespace {

class KxKilledRun : public KxStoreTest {
 protected:
  // Applies the lines as the run of that tag would have.
  void apply_as(const kxadmin_run_tag& tag, std::initializer_list<std::string> lines) {
    kxadmin_response_t response;
    ASSERT_EQ(kxadmin_context_setruntag(ctx.get(), tag, response), 1);
    for (const auto& line : lines) ASSERT_EQ(apply(line), 0) << line;
    ASSERT_EQ(kxadmin_context_setruntag(ctx.get(), zarncfg_kxadmin_run_tag(), response), 1);
    zarncfg_kxadmin_reset_undo_stack();
  }

  std::vector<kxadmin_run_info> runs() {
    std::vector<kxadmin_run_info> found;
    kxadmin_response_t response;
    EXPECT_EQ(kxadmin_run_list(ctx.get(), std::nullopt, found, response), 1);
    return found;
  }

  std::string roll_back(const kxadmin_run_tag& tag, bool expected = true) {
    vd_msgid_t status = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(zarncfg_kxadmin_roll_back_killed_run(record_, tag, status), expected);
    EXPECT_EQ(status, expected ? 0u : msg_id(1423));
    return stdout_text();
  }

  static std::string announced(const kxadmin_run_tag& tag, int commands) {
    return "ZRNCF1422W   Run " + std::to_string(tag.process_id) + " on this host ended before it completed.\n" +
           "Rolling back its " + std::to_string(commands) + " Varden commands. \n";
  }

  const std::string host_ = zarncfg_kxadmin_run_tag().host;
};

// Only the run named: the others, this run's own among them, keep their
// records and their policy.
TEST_F(KxKilledRun, OnlyTheNamedRunIsRolledBack) {
  const kxadmin_run_tag killed{host_, 4242, 1000};
  const kxadmin_run_tag earlier{host_, 4242, 900};
  const kxadmin_run_tag elsewhere{host_ + "-other", 4242, 1000};
  apply_as(killed, {"acl create k1", "acl modify k1 set any-other T"});
  apply_as(earlier, {"acl create l1"});
  apply_as(elsewhere, {"acl create e1"});
  apply_as(zarncfg_kxadmin_run_tag(), {"acl create own"});
  EXPECT_EQ(roll_back(killed), announced(killed, 2) + "..\n");
  EXPECT_EQ(log_lines("ZRNCF1422W").size(), 1u);
  std::vector<std::string> acls;
  on_store([&](kx::Store& s) { return s.acl_names(acls); });
  EXPECT_EQ(acls, (std::vector<std::string>{"e1", "l1", "own"}));
  EXPECT_EQ(runs().size(), 3u);
  // Once done, nothing is left to do and nothing is said.
  EXPECT_EQ(roll_back(killed), "");
}

// The host's name may have changed since: the tag the record keeps counts.
TEST_F(KxKilledRun, TheRunIsRolledBackUnderItsOldName) {
  const std::string before = dump();
  const kxadmin_run_tag renamed{"old-name", 77, 1000};
  apply_as(renamed, {"acl create r1", "acl create r2", "acl create r3"});
  EXPECT_EQ(roll_back(renamed), announced(renamed, 3) + "...\n");
  EXPECT_EQ(dump(), before);
  EXPECT_TRUE(runs().empty());
}

// A wrong password or a server that does not answer: the run stops before
// its own steps, and the records stay for the next run.
TEST_F(KxKilledRun, WithoutAnAnswerTheRunStops) {
  const kxadmin_run_tag killed{host_, 4242, 1000};
  apply_as(killed, {"acl create k1"});
  const std::string refused = "ZRNCF1423E   The Varden commands of run 4242 could not be rolled back.\n";
  record_[IDX_SEC_MASTER_PWD].value = "Wr0ng-Secret";
  EXPECT_EQ(roll_back(killed, false), refused);
  record_[IDX_SEC_MASTER_PWD].value = "secret";
  on_store([&](kx::Store& s) { return s.fault_add({.api = "kxadmin_run_list", .name = host_}); });
  EXPECT_EQ(roll_back(killed, false), refused);
  EXPECT_EQ(runs().size(), 1u);
  EXPECT_EQ(log_text().find("Wr0ng-Secret"), std::string::npos);
  EXPECT_EQ(roll_back(killed), announced(killed, 1) + ".\n");
}

TEST_F(KxKilledRun, ARollBackCutShortStopsTheRunAndIsFinishedLater) {
  const std::string before = dump();
  const kxadmin_run_tag killed{host_, 4242, 1000};
  apply_as(killed, {"acl create k1", "acl create k2"});
  on_store([&](kx::Store& s) {
    return s.fault_add({.api = "kxadmin_run_rollback", .name = host_, .code = kx::CODE_INJECTED_FAULT, .reason = 1});
  });
  EXPECT_EQ(roll_back(killed, false),
            announced(killed, 2) + ".\nZRNCF1423E   The Varden commands of run 4242 could not be rolled back.\n");
  EXPECT_EQ(log_lines("ZRNCF1423E").size(), 1u);
  EXPECT_EQ(roll_back(killed), announced(killed, 1) + ".\n");
  EXPECT_EQ(dump(), before);
}

}  // namespace
