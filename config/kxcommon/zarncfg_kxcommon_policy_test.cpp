#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "zarncfg_kxcommon.h"
#include "zarncfg_kxcommon_fixture.h"

namespace {

using Lines = std::vector<std::string>;

const std::filesystem::path kPolicyDir = ZARN_POLICY_DIR;
constexpr std::array<const char*, 5> kPolicyFiles = {"brevik.once-only", "brevik.once-only.u3800",
                                                     "brevik.once-only.u4100", "brevik.per-policy",
                                                     "brevik.per-machine"};

// The command lines of a shipped file, cleaned as the program reads them.
Lines commands_of(const char* name) {
  std::ifstream in(kPolicyDir / name);
  Lines commands;
  for (std::string line; std::getline(in, line);) {
    line = zarncfg_kxadmin_clean_line(line);
    if (!line.empty()) commands.push_back(line);
  }
  return commands;
}

// Between them the files must exercise every command, every ACL entry kind
// in both forms and every placeholder, so that applying them tests it all.
TEST(KxPolicyFiles, UseTheWholeVocabulary) {
  std::set<std::string> words, kinds, placeholders;
  for (const char* name : kPolicyFiles) {
    for (std::string line : commands_of(name)) {
      for (std::string_view p : kxadmin_subs) {
        if (line.find(p) != std::string::npos) placeholders.insert(std::string(p));
      }
      ASSERT_EQ(zarncfg_quotes_to_word(line), 1) << line;
      AdminCommand cmd;
      ASSERT_EQ(zarncfg_parse_kxadmin(cmd, line, name), 0) << line;
      words.insert(cmd.command);
      if (cmd.command != "acl_modify") continue;
      const std::string kind = cmd.fields[4];
      const bool user_or_group = kind == "user" || kind == "group";
      const bool with_value = zarncfg_get_field(cmd.fields, user_or_group || kind == "attribute" ? 6 : 5).has_value();
      kinds.insert(kind + (with_value ? "+" : "-"));
    }
  }
  EXPECT_EQ(words.size(), zarncfg_kxadmin_command_usage.size());
  EXPECT_EQ(kinds, (std::set<std::string>{"user+", "user-", "group+", "group-", "any-other+", "any-other-",
                                          "unauthenticated+", "unauthenticated-", "attribute+", "attribute-"}));
  EXPECT_EQ(placeholders.size(), kxadmin_subs.size());
}

class KxDefaultPolicy : public KxStoreTest {
 protected:
  void SetUp() override {
    KxStoreTest::SetUp();
    std::array<char, 256> host{};
    ASSERT_EQ(gethostname(host.data(), host.size() - 1), 0);
    machine_ = std::string("zarnd/") + host.data();
    register_machine();
  }

  // What the registration of the machine's daemon leaves on the server.
  void register_machine() {
    on_store([&](kx::Store& s) {
      kx::Outcome r = s.user_create({.name = machine_, .dn = "cn=zarnd", .cn = "zarnd", .sn = "zarnd", .password = "p"}, {});
      if (r.ok()) r = s.user_set_account_valid(machine_, true);
      return r;
    });
  }

  // A new machine of the same name: the old one's entries go with it.
  void replace_machine() {
    on_store([&](kx::Store& s) { return s.user_delete(machine_); });
    register_machine();
  }

  // Applies the files in order as the configuration would, stopping at the
  // first failure; the output must show one dot per command.
  vd_msgid_t apply_files(std::initializer_list<const char*> names) {
    vd_msgid_t status = 0;
    std::string expected;
    testing::internal::CaptureStdout();
    for (const char* name : names) {
      zarncfg_process_kxadmin_file((kPolicyDir / name).string(), record_, "zarncfg", status);
      if (status != 0) break;
      expected += std::string(commands_of(name).size(), '.') + "\n";
    }
    const std::string out = stdout_text();
    if (status == 0) {
      EXPECT_EQ(out, expected);
    }
    return status;
  }

  std::string machine_;
};

TEST_F(KxDefaultPolicy, FirstMachineOnAFreshServerAndItsRollBack) {
  const std::string before = dump();
  ASSERT_EQ(apply_files({kPolicyFiles[0], kPolicyFiles[1], kPolicyFiles[2], kPolicyFiles[3], kPolicyFiles[4]}), 0u)
      << log_text();
  Lines spaces;
  on_store([&](kx::Store& s) { return s.objectspace_names(spaces); });
  EXPECT_EQ(spaces, (Lines{"/BREVIK", "/BREVIK/b1"}));
  EXPECT_EQ(acl_entries("brevik-b1-hosts"),
            (Lines{"group brevik-admins TArwxLS", "group brevik-servers Tr", "user " + machine_ + " Tr"}));
  EXPECT_EQ(acl_entries("brevik-login-acl"), Lines{"group brevik-admins TLS"});
  EXPECT_EQ(zarncfg_acl_exists("brevik-exec-open"), 1);
  EXPECT_EQ(zarncfg_acl_exists("brevik-default-password"), 1);
  EXPECT_EQ(zarncfg_acl_exists("brevik-exec"), 0);
  EXPECT_EQ(log_text().find("Pw-"), std::string::npos);

  testing::internal::CaptureStdout();
  EXPECT_EQ(zarncfg_kxadmin_roll_back(), 0u);
  stdout_text();
  EXPECT_EQ(dump(), before);
}

TEST_F(KxDefaultPolicy, SecondMachineOnTheSameBranch) {
  ASSERT_EQ(apply_files({kPolicyFiles[0], kPolicyFiles[1], kPolicyFiles[2], kPolicyFiles[3], kPolicyFiles[4]}), 0u);
  zarncfg_kxadmin_reset_undo_stack();
  replace_machine();
  EXPECT_EQ(apply_files({kPolicyFiles[4]}), 0u) << log_text();
}

TEST_F(KxDefaultPolicy, NewBranchOnAServerThatHoldsTheProduct) {
  ASSERT_EQ(apply_files({kPolicyFiles[0]}), 0u);
  record_[IDX_BRANCH].value = "b2";
  EXPECT_EQ(apply_files({kPolicyFiles[1], kPolicyFiles[2], kPolicyFiles[3], kPolicyFiles[4]}), 0u) << log_text();
  // A third branch finds both updates applied and needs only its own files.
  replace_machine();
  record_[IDX_BRANCH].value = "b3";
  EXPECT_EQ(apply_files({kPolicyFiles[3], kPolicyFiles[4]}), 0u) << log_text();
}

class KxContext : public KxStoreTest {};

TEST_F(KxContext, WrongPassword) {
  ctx.reset();
  record_[IDX_SEC_MASTER_PWD].value = "Wr0ng-Secret";
  vd_msgid_t status = 0;
  testing::internal::CaptureStdout();
  zarncfg_initialize_kxadmin_context(record_, "zarncfg", status);
  EXPECT_EQ(stdout_text(),
            "Initializing the Varden Policy Server context. \n"
            "ZRNCF1352E   Varden Policy Server context could not be established. \n"
            "ZRNCF1377E   The security master password specified was invalid.\n");
  EXPECT_EQ(status, msg_id(1377));
  EXPECT_FALSE(ctx);
  EXPECT_EQ(log_text().find("Wr0ng-Secret"), std::string::npos);
}

TEST_F(KxContext, AConfiguredHostNeitherLogsInNorApplies) {
  ctx.reset();
  record_[IDX_CONFIG_STATE].flags = CFG_CURRENT | CFG_SET;
  record_[IDX_CONFIG_STATE].value = "on";
  vd_msgid_t status = 0;
  testing::internal::CaptureStdout();
  zarncfg_initialize_kxadmin_context(record_, "zarncfg", status);
  EXPECT_FALSE(ctx);
  zarncfg_define_default_policies(record_, status);
  EXPECT_EQ(stdout_text(), "");
  EXPECT_EQ(status, 0u);
  // Files 1, 4 and 5 at least; the updates too when they are installed.
  EXPECT_GE(log_lines("The configuration process has been run previously.").size(), 3u);
  EXPECT_EQ(zarncfg_kxadmin_undo_depth(), 0u);
}

TEST_F(KxContext, AclExistsComparesWholeNames) {
  on_store([](kx::Store& s) { return s.acl_create("brevik-exec-open2"); });
  EXPECT_EQ(zarncfg_acl_exists("brevik-exec-open"), 0);
  EXPECT_EQ(zarncfg_acl_exists("brevik-exec-open2"), 1);
  ctx.reset();
  EXPECT_EQ(zarncfg_acl_exists("brevik-exec-open2"), 0);
}

// A preview reads the files as a run would, counts each file's commands
// and leaves the server as it was, although the daemon's registration that
// the machine file names was never made.
TEST_F(KxContext, PreviewCountsTheCommandsAndChangesNothing) {
  ctx.reset();
  const std::string before = dump();
  PolicyPreview preview;
  zarncfg_kxadmin_preview(&preview);
  vd_msgid_t status = 0;
  testing::internal::CaptureStdout();
  zarncfg_initialize_kxadmin_context(record_, "zarncfg", status);
  EXPECT_EQ(status, 0u);
  for (const char* name : kPolicyFiles) {
    if (status == 0) zarncfg_process_kxadmin_file((kPolicyDir / name).string(), record_, "zarncfg", status);
  }
  stdout_text();
  zarncfg_kxadmin_preview(nullptr);
  EXPECT_EQ(status, 0u) << log_text();
  ASSERT_EQ(preview.files.size(), kPolicyFiles.size());
  for (std::size_t i = 0; i < preview.files.size(); ++i) {
    EXPECT_EQ(preview.files[i].path, (kPolicyDir / kPolicyFiles[i]).string());
    EXPECT_EQ(preview.files[i].commands, commands_of(kPolicyFiles[i]).size()) << kPolicyFiles[i];
  }
  EXPECT_EQ(zarncfg_kxadmin_undo_depth(), 0u);
  EXPECT_EQ(dump(), before);
}

}  // namespace
