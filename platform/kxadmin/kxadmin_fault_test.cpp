#include "kx_codes.h"
#include "kx_test_support.h"

namespace {

class FaultTest : public kxtest::StoreTest {
 protected:
  void inject(kx::Fault fault) {
    kx::Outcome error;
    auto store = kx::Store::open(path, error);
    ASSERT_NE(store, nullptr);
    ASSERT_TRUE(store->write([&] { return store->fault_add(fault); }).ok());
  }
  std::vector<std::string> acls() {
    unsigned long count = 0;
    std::vector<std::string> names;
    kxadmin_response_t list_rsp;
    kxadmin_acl_list(ctx.get(), count, names, list_rsp);
    return names;
  }
};

TEST_P(FaultTest, FailsTheNextCountCallsAndChangesNothing) {
  inject({"acl_create", std::nullopt, 0x1234, 0, 2});
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(kxadmin_acl_create(ctx.get(), "a", rsp), 0);
    EXPECT_EQ(code(), 0x1234u);
    EXPECT_EQ(kxadmin_response_getreason(rsp.get()), 0);
  }
  EXPECT_TRUE(acls().empty());
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), "a", rsp), 1);
  EXPECT_EQ(acls(), std::vector<std::string>{"a"});
}

TEST_P(FaultTest, NamedFaultHitsOnlyThatObject) {
  inject({"kxadmin_acl_create", std::string("b"), kx::CODE_INJECTED_FAULT, 0, 1});
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), "a", rsp), 1);
  EXPECT_EQ(kxadmin_acl_delete(ctx.get(), "b", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NOT_FOUND);
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), "b", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_INJECTED_FAULT);
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), "b", rsp), 1);
}

TEST_P(FaultTest, ReasonOneMakesTheChangeAndStillFails) {
  inject({"objectspace_create", std::nullopt, 0x99, 1, 1});
  EXPECT_EQ(kxadmin_objectspace_create(ctx.get(), "/BREVIK", 14, "d", rsp), 0);
  EXPECT_EQ(code(), 0x99u);
  EXPECT_EQ(kxadmin_response_getreason(rsp.get()), 1);
  unsigned long count = 0;
  std::vector<std::string> names;
  ASSERT_EQ(kxadmin_objectspace_list(ctx.get(), count, names, rsp), 1);
  EXPECT_EQ(names, std::vector<std::string>{"/BREVIK"});
}

TEST_P(FaultTest, ReasonOneOnAFailingChangeReportsTheRealFailure) {
  ASSERT_EQ(kxadmin_acl_create(ctx.get(), "a", rsp), 1);
  inject({"acl_create", std::nullopt, 0x99, 1, 1});
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), "a", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_EXISTS);
  EXPECT_EQ(kxadmin_response_getreason(rsp.get()), 0);
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), "b", rsp), 1);
}

TEST_P(FaultTest, ListsFailEmptyOrFullByReason) {
  ASSERT_EQ(kxadmin_acl_create(ctx.get(), "a", rsp), 1);
  inject({"acl_list", std::nullopt, 0x77, 0, 1});
  inject({"acl_list", std::nullopt, 0x78, 1, 1});
  unsigned long count = 9;
  std::vector<std::string> names;
  EXPECT_EQ(kxadmin_acl_list(ctx.get(), count, names, rsp), 0);
  EXPECT_EQ(code(), 0x77u);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(kxadmin_acl_list(ctx.get(), count, names, rsp), 0);
  EXPECT_EQ(code(), 0x78u);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(names, std::vector<std::string>{"a"});
}

TEST_P(FaultTest, UserListFaultMatchesThePattern) {
  inject({"user_list", std::string("zarnd/h*"), 0x55, 0, 1});
  unsigned long count = 0;
  std::vector<std::string> names;
  EXPECT_EQ(kxadmin_user_list(ctx.get(), "other*", 0, count, names, rsp), 1);
  EXPECT_EQ(kxadmin_user_list(ctx.get(), "zarnd/h*", 0, count, names, rsp), 0);
  EXPECT_EQ(code(), 0x55u);
}

TEST_P(FaultTest, ContextCreationTakesFaults) {
  inject({"context_createdefault", std::nullopt, 0x66, 0, 1});
  inject({"context_createdefault", std::nullopt, 0x67, 1, 1});
  kxadmin_context_t other;
  EXPECT_EQ(kxadmin_context_createdefault("sec_master", kxtest::SEC_MASTER_PWD, other, rsp), 0);
  EXPECT_EQ(code(), 0x66u);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(kxadmin_context_createdefault("sec_master", kxtest::SEC_MASTER_PWD, other, rsp), 0);
  EXPECT_EQ(code(), 0x67u);
  EXPECT_EQ(kxadmin_response_getreason(rsp.get()), 1);
  EXPECT_NE(other, nullptr);
}

TEST_P(FaultTest, MalformedCallsDoNotUseUpAFault) {
  inject({"acl_create", std::nullopt, 0x11, 0, 1});
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), std::nullopt, rsp), 0);
  EXPECT_EQ(code(), kx::CODE_BAD_ARGUMENT);
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), "a", rsp), 0);
  EXPECT_EQ(code(), 0x11u);
}

TEST_P(FaultTest, ClearRemovesEveryFaultAndUnknownApisAreRefused) {
  inject({"acl_create", std::nullopt, 0x11, 0, 5});
  kx::Outcome error;
  auto store = kx::Store::open(path, error);
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(store->write([&] { return store->fault_add({"acl_creat", std::nullopt, 1, 0, 1}); }).code,
            kx::CODE_BAD_ARGUMENT);
  EXPECT_EQ(store->write([&] { return store->fault_add({"kxadmin_response_getcode", std::nullopt, 1, 0, 1}); }).code,
            kx::CODE_BAD_ARGUMENT);
  ASSERT_TRUE(store->write([&] { return store->faults_clear(); }).ok());
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), "a", rsp), 1);
}

INSTANTIATE_TEST_SUITE_P(Backends, FaultTest, kxtest::all_backends(), kxtest::BackendName());

}  // namespace

namespace {

// A read-only context sees the store as it is, leaves its faults for the
// calls that change it, and cannot change anything itself.
TEST_P(FaultTest, ReadOnlyContextNeitherUsesFaultsNorChangesTheStore) {
  ASSERT_EQ(kxadmin_acl_create(ctx.get(), "a", rsp), 1);
  inject({"acl_list", std::nullopt, 0x77, 0, 1});
  kxadmin_context_t look;
  ASSERT_EQ(kxadmin_context_createreadonly("sec_master", kxtest::SEC_MASTER_PWD, look, rsp), 1);
  unsigned long count = 0;
  std::vector<std::string> names;
  EXPECT_EQ(kxadmin_acl_list(look.get(), count, names, rsp), 1);
  EXPECT_EQ(names, std::vector<std::string>{"a"});
  EXPECT_EQ(kxadmin_acl_create(look.get(), "b", rsp), 0);
  EXPECT_EQ(code(), kx::CODE_STORE_ERROR);
  EXPECT_EQ(kxadmin_acl_list(ctx.get(), count, names, rsp), 0);
  EXPECT_EQ(code(), 0x77u);
  EXPECT_EQ(acls(), std::vector<std::string>{"a"});
  kxadmin_context_t refused;
  EXPECT_EQ(kxadmin_context_createreadonly("sec_master", "wrong", refused, rsp), 0);
  EXPECT_EQ(code(), KXADMIN_CODE_BAD_PASSWORD);
  EXPECT_EQ(refused, nullptr);
}

}  // namespace
