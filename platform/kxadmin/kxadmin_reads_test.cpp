// The reads of present state and the attribute delete.
#include "kx_codes.h"
#include "kx_test_support.h"

namespace {

class ReadsTest : public kxtest::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    const std::vector<std::string> none;
    for (int result : {kxadmin_acl_create(ctx.get(), "a", rsp), kxadmin_acl_create(ctx.get(), "empty", rsp),
                       kxadmin_group_create2(ctx.get(), "g", "cn=g", "g", std::nullopt, rsp),
                       kxadmin_user_create3(ctx.get(), "u2", "d", "c", "s", "p", 0, none, 0, 1, rsp),
                       kxadmin_user_create3(ctx.get(), "u1", "d", "c", "s", "p", 0, none, 0, 1, rsp),
                       kxadmin_acl_setuser(ctx.get(), "a", "u2", "r", rsp),
                       kxadmin_acl_setuser(ctx.get(), "a", "u1", "", rsp),
                       kxadmin_acl_setgroup(ctx.get(), "a", "g", "T", rsp),
                       kxadmin_acl_setunauth(ctx.get(), "a", "x", rsp),
                       kxadmin_acl_attrput(ctx.get(), "a", "k", "v w", rsp),
                       kxadmin_acl_attrput(ctx.get(), "a", "flag", std::nullopt, rsp)}) {
      ASSERT_EQ(result, 1) << kxadmin_response_getmessage(rsp.get(), 0);
    }
  }
  void inject(const kx::Fault& fault) {
    kx::Outcome error;
    auto store = kx::Store::open(path, error);
    ASSERT_NE(store, nullptr);
    ASSERT_TRUE(store->write([&] { return store->fault_add(fault); }).ok());
  }
};

TEST_F(ReadsTest, AclEntriesComeBackSortedAndComplete) {
  kxadmin_acl_entries entries;
  ASSERT_EQ(kxadmin_acl_getentries(ctx.get(), "a", entries, rsp), 1);
  kxadmin_acl_entries expected;
  expected.users = {{"u1", ""}, {"u2", "r"}};
  expected.groups = {{"g", "T"}};
  expected.unauthenticated = "x";
  expected.attributes = {{"flag", std::nullopt}, {"k", "v w"}};
  EXPECT_EQ(entries, expected);

  ASSERT_EQ(kxadmin_acl_getentries(ctx.get(), "empty", entries, rsp), 1);
  EXPECT_EQ(entries, kxadmin_acl_entries{});

  entries = expected;
  EXPECT_EQ(kxadmin_acl_getentries(ctx.get(), "nope", entries, rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NOT_FOUND);
  EXPECT_EQ(entries, kxadmin_acl_entries{});
}

TEST_F(ReadsTest, AnAttributeIsPresentWithOrWithoutAValue) {
  struct Case {
    const char* attribute;
    int present;
    std::optional<std::string> value;
  };
  for (const Case& c : {Case{"k", 1, "v w"}, Case{"flag", 1, std::nullopt}, Case{"absent", 0, std::nullopt}}) {
    int present = 7;
    std::optional<std::string> value = "stale";
    ASSERT_EQ(kxadmin_acl_attrget(ctx.get(), "a", c.attribute, present, value, rsp), 1) << c.attribute;
    EXPECT_EQ(present, c.present) << c.attribute;
    EXPECT_EQ(value, c.value) << c.attribute;
  }
  int present = 7;
  std::optional<std::string> value;
  EXPECT_EQ(kxadmin_acl_attrget(ctx.get(), "nope", "k", present, value, rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NOT_FOUND);
  EXPECT_EQ(present, 0);
}

TEST_F(ReadsTest, AccountStateFollowsSetAccountValid) {
  int valid = 7;
  ASSERT_EQ(kxadmin_user_getaccountvalid(ctx.get(), "u1", valid, rsp), 1);
  EXPECT_EQ(valid, 0);
  ASSERT_EQ(kxadmin_user_setaccountvalid(ctx.get(), "u1", 1, rsp), 1);
  ASSERT_EQ(kxadmin_user_getaccountvalid(ctx.get(), "u1", valid, rsp), 1);
  EXPECT_EQ(valid, 1);
  EXPECT_EQ(kxadmin_user_getaccountvalid(ctx.get(), "nobody", valid, rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NOT_FOUND);
  EXPECT_EQ(valid, 0);
}

TEST_F(ReadsTest, AttributeDeleteRemovesOneAttribute) {
  ASSERT_EQ(kxadmin_acl_attrdelete(ctx.get(), "a", "flag", rsp), 1);
  EXPECT_EQ(kxtest::acl_lines(path, "a"),
            (std::vector<std::string>{"attribute k v w", "group g T", "unauthenticated x", "user u1", "user u2 r"}));
  EXPECT_EQ(kxadmin_acl_attrdelete(ctx.get(), "a", "flag", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NOT_PRESENT);
  EXPECT_EQ(kxadmin_acl_attrdelete(ctx.get(), "nope", "k", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NOT_FOUND);
}

TEST_F(ReadsTest, ArgumentsContextAndFaultsAreCheckedLikeOtherCalls) {
  kxadmin_acl_entries entries;
  int flag = 0;
  std::optional<std::string> value;
  EXPECT_EQ(kxadmin_acl_getentries(nullptr, "a", entries, rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NO_CONTEXT);
  EXPECT_EQ(kxadmin_acl_attrget(ctx.get(), "a", "", flag, value, rsp), 0);
  EXPECT_EQ(code(), kx::CODE_BAD_ARGUMENT);
  EXPECT_EQ(kxadmin_acl_attrdelete(ctx.get(), std::nullopt, "k", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_BAD_ARGUMENT);
  EXPECT_EQ(kxadmin_user_getaccountvalid(ctx.get(), "", flag, rsp), 0);
  EXPECT_EQ(code(), kx::CODE_BAD_ARGUMENT);

  inject({"acl_getentries", std::string("a"), 0x55, 0, 1});
  EXPECT_EQ(kxadmin_acl_getentries(ctx.get(), "a", entries, rsp), 0);
  EXPECT_EQ(code(), 0x55u);
  EXPECT_EQ(entries, kxadmin_acl_entries{});
  // Reason 1: the read is done and still reported as failed.
  inject({"user_getaccountvalid", std::nullopt, 0x56, 1, 1});
  ASSERT_EQ(kxadmin_user_setaccountvalid(ctx.get(), "u2", 1, rsp), 1);
  EXPECT_EQ(kxadmin_user_getaccountvalid(ctx.get(), "u2", flag, rsp), 0);
  EXPECT_EQ(kxadmin_response_getreason(rsp.get()), 1);
  EXPECT_EQ(flag, 1);
}

}  // namespace
