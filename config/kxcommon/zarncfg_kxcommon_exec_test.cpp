#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zarncfg_kxcommon.h"
#include "zarncfg_kxcommon_fixture.h"

namespace {

using Lines = std::vector<std::string>;

class KxExec : public KxStoreTest {
 protected:
  void SetUp() override {
    KxStoreTest::SetUp();
    on_store([](kx::Store& s) {
      kx::Outcome r = s.acl_create("a");
      if (r.ok()) r = s.user_create({.name = "u", .dn = "d", .cn = "c", .sn = "s", .password = "p"}, {});
      if (r.ok()) r = s.group_create("g", "dn", "cn");
      if (r.ok()) r = s.action_group_create("ag");
      return r;
    });
  }
};

struct AclCase {
  std::string line;
  Lines entries;
};

// Each line runs after the ones before it.
TEST_F(KxExec, AclModifyKinds) {
  const AclCase cases[] = {
      {"acl modify a set user u Tr", {"user u Tr"}},
      {"acl modify a set group g Trw", {"group g Trw", "user u Tr"}},
      {"acl modify a set user u", {"group g Trw"}},
      {"acl modify a set group g", {}},
      {"acl modify a set any-other Tx", {"any-other Tx"}},
      {"acl modify a set any-other \"\"", {}},
      {"acl modify a set unauthenticated T", {"unauthenticated T"}},
      {"acl modify a set unauthenticated \"\"", {}},
      {"acl modify a set attribute level \"permit deny\"", {"attribute level permit deny"}},
      {"acl modify a set attribute level", {"attribute level"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(apply(c.line), 0) << c.line;
    EXPECT_EQ(acl_entries("a"), c.entries) << c.line;
  }
  // The roll-back takes every change back, newest first.
  testing::internal::CaptureStdout();
  EXPECT_EQ(zarncfg_kxadmin_roll_back(), 0u);
  EXPECT_EQ(stdout_text(), std::string(std::size(cases), '.') + "\n");
  EXPECT_EQ(acl_entries("a"), Lines{});
}

TEST_F(KxExec, AclModifyRejectsUnknownWords) {
  for (const std::string line : {"acl modify a put user u Tr", "acl modify a set owner u Tr", "acl modify a set User u Tr"}) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(apply(line), 1) << line;
    EXPECT_EQ(stdout_text(), "ZRNCF1358E   The ACL modify command could not be determined.\n");
  }
  EXPECT_EQ(zarncfg_kxadmin_undo_depth(), 0u);
}

TEST_F(KxExec, GroupModifyIsUndoneByRemovingTheMember) {
  EXPECT_EQ(apply("group modify g add u"), 0);
  Lines details;
  on_store([&](kx::Store& s) { return s.group_details("g", details); });
  EXPECT_EQ(details, (Lines{"dn dn", "cn cn", "member u"}));
  testing::internal::CaptureStdout();
  EXPECT_EQ(zarncfg_kxadmin_roll_back(), 0u);
  stdout_text();
  on_store([&](kx::Store& s) { return s.group_details("g", details); });
  EXPECT_EQ(details, (Lines{"dn dn", "cn cn"}));
}

TEST_F(KxExec, ActionInAGroupIsDeletedFromThatGroup) {
  EXPECT_EQ(apply("action create r \"read file\" file ag"), 0);
  EXPECT_EQ(apply("action create T traverse brevik"), 0);
  Lines actions;
  on_store([&](kx::Store& s) { return s.action_entries(actions); });
  EXPECT_EQ(actions, (Lines{"T", "r ag"}));
  testing::internal::CaptureStdout();
  EXPECT_EQ(zarncfg_kxadmin_roll_back(), 0u);
  stdout_text();
  on_store([&](kx::Store& s) { return s.action_entries(actions); });
  EXPECT_TRUE(actions.empty());
}

TEST_F(KxExec, ReasonOneCountsAsApplied) {
  on_store([](kx::Store& s) {
    return s.fault_add({.api = "kxadmin_acl_create", .name = "x", .code = kx::CODE_INJECTED_FAULT, .reason = 1});
  });
  EXPECT_EQ(apply("acl create x"), 0);
  EXPECT_EQ(zarncfg_kxadmin_undo_depth(), 1u);
  EXPECT_EQ(log_lines("The Varden command returned the response, injected fault").size(), 1u);
  testing::internal::CaptureStdout();
  EXPECT_EQ(zarncfg_kxadmin_roll_back(), 0u);
  EXPECT_EQ(stdout_text(), ".\n");
  Lines acls;
  on_store([&](kx::Store& s) { return s.acl_names(acls); });
  EXPECT_EQ(acls, Lines{"a"});
}

TEST_F(KxExec, AFailedCommandIsNotPushed) {
  on_store([](kx::Store& s) { return s.fault_add({.api = "kxadmin_acl_create", .name = "x"}); });
  EXPECT_EQ(apply("acl create x"), 1);
  EXPECT_EQ(apply("acl create a"), 1);  // exists already
  EXPECT_EQ(zarncfg_kxadmin_undo_depth(), 0u);
}

TEST_F(KxExec, RejectionsThatAreOnlyLogged) {
  struct Case {
    std::string line;
    unsigned message;
  };
  const Case cases[] = {
      {"group modify g remove u", 1359},
      {"user modify u lock yes", 1360},
      {"action group delete ag", 1357},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(apply(c.line), 1) << c.line;
    EXPECT_EQ(stdout_text(), "") << c.line;
  }
  EXPECT_EQ(log_lines("ZRNCF1359E").size(), 1u);
  EXPECT_EQ(log_lines("ZRNCF1360E").size(), 1u);
  EXPECT_EQ(log_lines("ZRNCF1357E").size(), 1u);
}

TEST_F(KxExec, UnknownIndexIsNoCall) {
  AdminCommand cmd;
  cmd.command = "acl_create";
  cmd.fields = {"acl", "create", "q"};
  cmd.index = 11;
  EXPECT_EQ(zarncfg_execute_kxadmin_command(cmd), 1);
  EXPECT_EQ(log_lines("ZRNCF1357E").size(), 1u);
  EXPECT_TRUE(log_lines("Executing").empty());
}

TEST_F(KxExec, ARollBackWithoutTheServerLeavesEverythingForTheNextRun) {
  ASSERT_EQ(apply("acl create x"), 0);
  ASSERT_EQ(apply("acl create y"), 0);
  const kxadmin_context_t kept(ctx.release());
  testing::internal::CaptureStdout();
  EXPECT_EQ(zarncfg_kxadmin_roll_back(), 2u);
  EXPECT_EQ(stdout_text(),
            "\nZRNCF1421W   The roll back stopped with 2 Varden commands left.\n"
            "The next configuration on this host with the security master password completes it.\n");
  Lines acls;
  on_store([&](kx::Store& s) { return s.acl_names(acls); });
  EXPECT_EQ(acls, (Lines{"a", "x", "y"}));
}

// Someone else removed what the run made: the roll-back finds nothing to
// remove and goes on.
TEST_F(KxExec, WhatOthersRemovedMeanwhileIsNoFailure) {
  const std::string before = dump();
  EXPECT_EQ(apply("objectspace create /S d 14"), 0);
  EXPECT_EQ(apply("acl create s"), 0);
  on_store([](kx::Store& s) { return s.objectspace_delete("/S"); });
  testing::internal::CaptureStdout();
  EXPECT_EQ(zarncfg_kxadmin_roll_back(), 0u);
  EXPECT_EQ(stdout_text(), "..\n");
  EXPECT_EQ(dump(), before);
}

// A decimal field reads as a C decimal conversion reads it.
TEST_F(KxExec, DecimalFieldsOfACommand) {
  EXPECT_EQ(apply("objectspace create /A d +14"), 0);
  EXPECT_EQ(apply("objectspace create /B d \" 7\""), 0);
  EXPECT_EQ(apply("object create /o d 12abc x y"), 0);
  const std::string text = dump();
  EXPECT_NE(text.find("objectspace name=\"/A\" type=14 "), std::string::npos) << text;
  EXPECT_NE(text.find("objectspace name=\"/B\" type=7 "), std::string::npos) << text;
  EXPECT_NE(text.find("protobj name=\"/o\" type=12 "), std::string::npos) << text;
}

}  // namespace
