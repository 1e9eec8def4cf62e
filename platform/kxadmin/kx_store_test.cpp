#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "kx_codes.h"
#include "kx_test_support.h"

namespace {

using kxtest::StoreTest;
using kxtest::TempDir;
using kxtest::acl_lines;

const std::vector<std::string> NO_NAMES;

TEST(StoreFileTest, OpenRejectsMissingAndForeignFiles) {
  TempDir dir;
  kx::Outcome error;
  EXPECT_EQ(kx::Store::open(dir.file("none.db"), error), nullptr);
  EXPECT_EQ(error.code, kx::CODE_STORE_UNAVAILABLE);
  EXPECT_FALSE(std::filesystem::exists(dir.file("none.db")));

  std::ofstream(dir.file("text")) << "not a database\n";
  error = {};
  EXPECT_EQ(kx::Store::open(dir.file("text"), error), nullptr);
  EXPECT_EQ(error.code, kx::CODE_STORE_UNAVAILABLE);
}

TEST(StoreFileTest, CreateKeepsAnExistingStoreUnlessReplacing) {
  TempDir dir;
  const std::string path = dir.file("sub/dir/p.db");
  kx::Outcome error;
  auto first = kx::Store::create(path, "one", false, error);
  ASSERT_NE(first, nullptr) << error.message;
  ASSERT_TRUE(first->write([&] { return first->acl_create("kept"); }).ok());
  first.reset();

  EXPECT_EQ(kx::Store::create(path, "two", false, error), nullptr);
  EXPECT_EQ(error.code, kx::CODE_EXISTS);
  auto reopened = kx::Store::open(path, error);
  ASSERT_NE(reopened, nullptr);
  EXPECT_TRUE(reopened->sec_master_password_matches("one"));

  auto replaced = kx::Store::create(path, "two", true, error);
  ASSERT_NE(replaced, nullptr);
  EXPECT_TRUE(replaced->sec_master_password_matches("two"));
  EXPECT_FALSE(replaced->sec_master_password_matches("one"));
  std::vector<std::string> acls;
  ASSERT_TRUE(replaced->acl_names(acls).ok());
  EXPECT_TRUE(acls.empty());

  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(StoreFileTest, FailedWriteLeavesNothingBehind) {
  TempDir dir;
  kx::Outcome error;
  auto store = kx::Store::create(dir.file("p.db"), "pw", false, error);
  ASSERT_NE(store, nullptr);
  const kx::Outcome r = store->write([&] {
    kx::Outcome first = store->acl_create("made-first");
    return first.ok() ? store->acl_delete("never-made") : first;
  });
  EXPECT_EQ(r.code, kx::CODE_NOT_FOUND);
  std::vector<std::string> acls;
  ASSERT_TRUE(store->acl_names(acls).ok());
  EXPECT_TRUE(acls.empty());
}

TEST_F(StoreTest, AclEntriesAreSetReplacedAndRemoved) {
  ASSERT_EQ(kxadmin_acl_create(ctx.get(), "a", rsp), 1);
  ASSERT_EQ(kxadmin_user_create3(ctx.get(), "u", "d", "c", "s", "p", 0, NO_NAMES, 0, 1, rsp), 1);
  ASSERT_EQ(kxadmin_group_create2(ctx.get(), "g", "d", "c", std::nullopt, rsp), 1);
  ASSERT_EQ(kxadmin_acl_setuser(ctx.get(), "a", "u", "T", rsp), 1);
  ASSERT_EQ(kxadmin_acl_setuser(ctx.get(), "a", "u", "Tr", rsp), 1);
  ASSERT_EQ(kxadmin_acl_setgroup(ctx.get(), "a", "g", "rx", rsp), 1);
  ASSERT_EQ(kxadmin_acl_setanyother(ctx.get(), "a", "T", rsp), 1);
  ASSERT_EQ(kxadmin_acl_setunauth(ctx.get(), "a", "", rsp), 1);
  ASSERT_EQ(kxadmin_acl_attrput(ctx.get(), "a", "mode", "warn", rsp), 1);
  ASSERT_EQ(kxadmin_acl_attrput(ctx.get(), "a", "flag", std::nullopt, rsp), 1);
  EXPECT_EQ(acl_lines(path, "a"), (std::vector<std::string>{"any-other T", "attribute flag", "attribute mode warn",
                                                            "group g rx", "unauthenticated", "user u Tr"}));

  ASSERT_EQ(kxadmin_acl_removeuser(ctx.get(), "a", "u", rsp), 1);
  ASSERT_EQ(kxadmin_acl_removegroup(ctx.get(), "a", "g", rsp), 1);
  ASSERT_EQ(kxadmin_acl_removeanyother(ctx.get(), "a", rsp), 1);
  ASSERT_EQ(kxadmin_acl_removeunauth(ctx.get(), "a", rsp), 1);
  EXPECT_EQ(acl_lines(path, "a"), (std::vector<std::string>{"attribute flag", "attribute mode warn"}));

  EXPECT_EQ(kxadmin_acl_removeuser(ctx.get(), "a", "u", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NOT_PRESENT);
  EXPECT_EQ(kxadmin_acl_removeanyother(ctx.get(), "a", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NOT_PRESENT);
  EXPECT_EQ(kxadmin_acl_setuser(ctx.get(), "a", "nobody", "T", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_REFERENCE_MISSING);
  EXPECT_EQ(kxadmin_acl_setgroup(ctx.get(), "missing", "g", "T", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NOT_FOUND);
}

TEST_F(StoreTest, AttachingReplacesAndDetachingNeedsAnAcl) {
  ASSERT_EQ(kxadmin_protobj_create(ctx.get(), "/o", 0, "d", rsp), 1);
  ASSERT_EQ(kxadmin_acl_create(ctx.get(), "a1", rsp), 1);
  ASSERT_EQ(kxadmin_acl_create(ctx.get(), "a2", rsp), 1);
  EXPECT_EQ(kxadmin_protobj_detachacl(ctx.get(), "/o", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NOT_PRESENT);
  EXPECT_EQ(kxadmin_protobj_attachacl(ctx.get(), "/o", "nope", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_REFERENCE_MISSING);
  EXPECT_EQ(kxadmin_protobj_attachacl(ctx.get(), "/nope", "a1", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NOT_FOUND);
  ASSERT_EQ(kxadmin_protobj_attachacl(ctx.get(), "/o", "a1", rsp), 1);
  ASSERT_EQ(kxadmin_protobj_attachacl(ctx.get(), "/o", "a2", rsp), 1);
  EXPECT_NE(dump().find("protobj name=\"/o\" type=0 description=\"d\" acl=\"a2\""), std::string::npos);
  ASSERT_EQ(kxadmin_protobj_detachacl(ctx.get(), "/o", rsp), 1);
  EXPECT_NE(dump().find("acl=none"), std::string::npos);
}

TEST_F(StoreTest, MembersAreAddedAllOrNothing) {
  ASSERT_EQ(kxadmin_group_create2(ctx.get(), "g", "d", "c", std::nullopt, rsp), 1);
  ASSERT_EQ(kxadmin_user_create3(ctx.get(), "u1", "d", "c", "s", "p", 0, NO_NAMES, 0, 1, rsp), 1);
  const std::vector<std::string> u1_and_ghost{"u1", "ghost"};
  EXPECT_EQ(kxadmin_group_addmembers(ctx.get(), "g", 2, u1_and_ghost, rsp), 0);
  EXPECT_EQ(code(), kx::CODE_REFERENCE_MISSING);
  EXPECT_EQ(dump().find("grp_member"), std::string::npos);

  ASSERT_EQ(kxadmin_group_addmembers(ctx.get(), "g", 1, u1_and_ghost, rsp), 1);
  EXPECT_EQ(kxadmin_group_addmembers(ctx.get(), "g", 1, u1_and_ghost, rsp), 0);
  EXPECT_EQ(code(), kx::CODE_EXISTS);
  ASSERT_EQ(kxadmin_group_removemembers(ctx.get(), "g", 1, u1_and_ghost, rsp), 1);
  EXPECT_EQ(kxadmin_group_removemembers(ctx.get(), "g", 1, u1_and_ghost, rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NOT_PRESENT);
}

TEST_F(StoreTest, UserCreatedInGroupsAndMadeValid) {
  ASSERT_EQ(kxadmin_group_create2(ctx.get(), "g", "d", "c", std::nullopt, rsp), 1);
  const std::vector<std::string> groups{"g", "missing"};
  EXPECT_EQ(kxadmin_user_create3(ctx.get(), "u", "d", "c", "s", "p", 2, groups, 0, 1, rsp), 0);
  EXPECT_EQ(code(), kx::CODE_REFERENCE_MISSING);
  EXPECT_EQ(dump().find("user name="), std::string::npos);

  ASSERT_EQ(kxadmin_user_create3(ctx.get(), "u", "d", "c", "s", "p", 1, groups, 0, 1, rsp), 1);
  EXPECT_NE(dump().find("grp_member grp=\"g\" user=\"u\""), std::string::npos);
  ASSERT_EQ(kxadmin_user_setaccountvalid(ctx.get(), "u", 1, rsp), 1);
  EXPECT_NE(dump().find("sso=0 account_valid=1"), std::string::npos);
  EXPECT_EQ(kxadmin_user_setaccountvalid(ctx.get(), "ghost", 1, rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NOT_FOUND);
}

TEST_F(StoreTest, PasswordsAreStoredOnlyAsSaltedHashes) {
  ASSERT_EQ(kxadmin_user_create3(ctx.get(), "u1", "d", "c", "s", "same-pw", 0, NO_NAMES, 0, 1, rsp), 1);
  ASSERT_EQ(kxadmin_user_create3(ctx.get(), "u2", "d", "c", "s", "same-pw", 0, NO_NAMES, 0, 1, rsp), 1);
  kx::Outcome error;
  auto store = kx::Store::open(path, error);
  ASSERT_NE(store, nullptr);
  std::vector<std::string> hashes;
  ASSERT_TRUE(store->query("SELECT password_hash FROM user UNION ALL SELECT password_hash FROM sec_master", {},
                           [&](const kx::Row& row) { hashes.push_back(row.text(0).value_or("")); })
                  .ok());
  ASSERT_EQ(hashes.size(), 3u);
  EXPECT_NE(hashes[0], hashes[1]);
  for (const std::string& hash : hashes) {
    EXPECT_EQ(hash.find("same-pw"), std::string::npos);
    EXPECT_EQ(hash.find(kxtest::SEC_MASTER_PWD), std::string::npos);
  }
}

// What refers to a deleted object goes with it (docs/policy-server.md).
TEST_F(StoreTest, DeletingRemovesWhatRefersToIt) {
  ASSERT_EQ(kxadmin_acl_create(ctx.get(), "a", rsp), 1);
  ASSERT_EQ(kxadmin_protobj_create(ctx.get(), "/o", 0, "d", rsp), 1);
  ASSERT_EQ(kxadmin_protobj_attachacl(ctx.get(), "/o", "a", rsp), 1);
  ASSERT_EQ(kxadmin_group_create2(ctx.get(), "g", "d", "c", std::nullopt, rsp), 1);
  const std::vector<std::string> g{"g"};
  ASSERT_EQ(kxadmin_user_create3(ctx.get(), "u", "d", "c", "s", "p", 1, g, 0, 1, rsp), 1);
  ASSERT_EQ(kxadmin_acl_setuser(ctx.get(), "a", "u", "T", rsp), 1);
  ASSERT_EQ(kxadmin_acl_setgroup(ctx.get(), "a", "g", "T", rsp), 1);
  ASSERT_EQ(kxadmin_action_group_create(ctx.get(), "ag", rsp), 1);
  ASSERT_EQ(kxadmin_action_create_in_group(ctx.get(), "X", "l", "t", "ag", rsp), 1);

  ASSERT_EQ(kxadmin_user_delete2(ctx.get(), "u", 1, rsp), 1);
  EXPECT_EQ(acl_lines(path, "a"), (std::vector<std::string>{"group g T"}));
  EXPECT_EQ(dump().find("grp_member"), std::string::npos);
  ASSERT_EQ(kxadmin_group_delete2(ctx.get(), "g", 1, rsp), 1);
  EXPECT_TRUE(acl_lines(path, "a").empty());
  ASSERT_EQ(kxadmin_acl_delete(ctx.get(), "a", rsp), 1);
  EXPECT_NE(dump().find("protobj name=\"/o\" type=0 description=\"d\" acl=none"), std::string::npos);
  ASSERT_EQ(kxadmin_action_group_delete(ctx.get(), "ag", rsp), 1);
  EXPECT_EQ(dump().find("action_group_member"), std::string::npos);
}

}  // namespace
