#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <string>
#include <vector>

#include "zarncfg_kxcommon.h"
#include "zarncfg_kxcommon_fixture.h"

namespace {

// A process id that no process has right now: a child that has ended.
std::int64_t ended_process() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  return child;
}

std::int64_t now() { return static_cast<std::int64_t>(std::time(nullptr)); }

TEST(KxRunAlive, ByProcessAndStart) {
  const std::int64_t self = getpid();
  const std::string host = zarncfg_kxadmin_host_name();
  EXPECT_TRUE(zarncfg_kxadmin_run_is_alive({host, self, now()}));
  // This process started after that run did: the id was used again.
  EXPECT_FALSE(zarncfg_kxadmin_run_is_alive({host, self, now() - 100000}));
  EXPECT_FALSE(zarncfg_kxadmin_run_is_alive({host, ended_process(), now()}));
  EXPECT_FALSE(zarncfg_kxadmin_run_is_alive({host, 0, now()}));
}

class KxKilledRuns : public KxStoreTest {
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

  std::string finish(std::span<const kxadmin_run_tag> recorded, bool expected = true) {
    vd_msgid_t status = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(zarncfg_kxadmin_finish_killed_runs(record_, recorded, status), expected);
    EXPECT_EQ(status, expected ? 0u : msg_id(1423));
    return stdout_text();
  }

  const std::string host_ = zarncfg_kxadmin_host_name();
};

TEST_F(KxKilledRuns, OnlyTheDeadRunsOfThisHostAreRolledBack) {
  const kxadmin_run_tag killed{host_, ended_process(), now()};
  const kxadmin_run_tag live{host_, static_cast<std::int64_t>(getppid()), now()};
  const kxadmin_run_tag elsewhere{host_ + "-other", ended_process(), now()};
  apply_as(killed, {"acl create k1", "acl modify k1 set any-other T"});
  apply_as(live, {"acl create l1"});
  apply_as(elsewhere, {"acl create e1"});
  apply_as(zarncfg_kxadmin_run_tag(), {"acl create own"});
  const std::string out = finish({});
  EXPECT_EQ(out, "ZRNCF1422W   Run " + std::to_string(killed.process_id) +
                     " on this host ended before it completed.\nRolling back its 2 Varden commands. \n..\n");
  EXPECT_EQ(log_lines("ZRNCF1422W").size(), 1u);
  std::vector<std::string> acls;
  on_store([&](kx::Store& s) { return s.acl_names(acls); });
  EXPECT_EQ(acls, (std::vector<std::string>{"e1", "l1", "own"}));
  EXPECT_EQ(runs().size(), 3u);
  // Once done, nothing is left to do.
  EXPECT_EQ(finish({}), "");
}

TEST_F(KxKilledRuns, TheRunTheHostRecordNamesIsRolledBackUnderItsOldName) {
  const std::string before = dump();
  const kxadmin_run_tag renamed{"old-name", ended_process(), now()};
  apply_as(renamed, {"acl create r1", "acl create r2", "acl create r3"});
  const std::vector<kxadmin_run_tag> recorded = {renamed};
  EXPECT_EQ(finish(recorded), "ZRNCF1422W   Run " + std::to_string(renamed.process_id) +
                                  " on this host ended before it completed.\nRolling back its 3 Varden commands. \n"
                                  "...\n");
  EXPECT_EQ(dump(), before);
  EXPECT_TRUE(runs().empty());
}

TEST_F(KxKilledRuns, NothingWithoutThePasswordOrTheServer) {
  const kxadmin_run_tag killed{host_, ended_process(), now()};
  apply_as(killed, {"acl create k1"});
  for (const std::string password : {"", "   ", "Wr0ng-Secret"}) {
    record_[IDX_SEC_MASTER_PWD].value = password;
    EXPECT_EQ(finish({}), "") << password;
  }
  record_[IDX_SEC_MASTER_PWD].value = "secret";
  on_store([&](kx::Store& s) { return s.fault_add({.api = "kxadmin_run_list", .name = host_}); });
  EXPECT_EQ(finish({}), "");
  EXPECT_EQ(runs().size(), 1u);
  EXPECT_EQ(log_text().find("Wr0ng-Secret"), std::string::npos);
}

TEST_F(KxKilledRuns, AFailedRollBackStopsTheRunAndIsFinishedLater) {
  const std::string before = dump();
  const kxadmin_run_tag killed{host_, ended_process(), now()};
  apply_as(killed, {"acl create k1", "acl create k2"});
  on_store([&](kx::Store& s) {
    return s.fault_add({.api = "kxadmin_run_rollback", .name = host_, .code = kx::CODE_INJECTED_FAULT, .reason = 1});
  });
  const std::string pid = std::to_string(killed.process_id);
  EXPECT_EQ(finish({}, false), "ZRNCF1422W   Run " + pid +
                                   " on this host ended before it completed.\nRolling back its 2 Varden commands. \n"
                                   ".\nZRNCF1423E   The Varden commands of run " + pid +
                                   " could not be rolled back.\n");
  EXPECT_EQ(log_lines("ZRNCF1423E").size(), 1u);
  EXPECT_EQ(finish({}), "ZRNCF1422W   Run " + pid +
                            " on this host ended before it completed.\nRolling back its 1 Varden commands. \n.\n");
  EXPECT_EQ(dump(), before);
}

}  // namespace
