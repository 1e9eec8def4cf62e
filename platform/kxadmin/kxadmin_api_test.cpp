#include <functional>

#include "kx_codes.h"
#include "kx_test_support.h"

namespace {

using kxtest::StoreTest;

using Call = std::function<int(const kxadmin_context*, kxadmin_response_t&)>;

struct RoundTrip {
  const char* kind;
  Call setup;    // what the object needs first, or none
  Call create;
  Call remove;
  const char* dump_fragment;  // shows in the dump while the object exists
};

int nothing(const kxadmin_context*, kxadmin_response_t&) { return 1; }

const std::vector<std::string> NO_NAMES;

std::vector<RoundTrip> round_trips() {
  return {
      {"objectspace", nothing,
       [](auto c, auto& r) { return kxadmin_objectspace_create(c, "/BREVIK", 14, "Zarn product", r); },
       [](auto c, auto& r) { return kxadmin_objectspace_delete(c, "/BREVIK", r); },
       "objectspace name=\"/BREVIK\" type=14 description=\"Zarn product\""},
      {"protobj", nothing, [](auto c, auto& r) { return kxadmin_protobj_create(c, "/BREVIK/x", 0, std::nullopt, r); },
       [](auto c, auto& r) { return kxadmin_protobj_delete(c, "/BREVIK/x", r); },
       "protobj name=\"/BREVIK/x\" type=0 description=none acl=none"},
      {"acl", nothing, [](auto c, auto& r) { return kxadmin_acl_create(c, "brevik-admin", r); },
       [](auto c, auto& r) { return kxadmin_acl_delete(c, "brevik-admin", r); }, "acl name=\"brevik-admin\""},
      {"action", nothing, [](auto c, auto& r) { return kxadmin_action_create(c, "X", "exec", "brevik", r); },
       [](auto c, auto& r) { return kxadmin_action_delete(c, "X", r); },
       "action name=\"X\" label=\"exec\" type=\"brevik\""},
      {"action in group", [](auto c, auto& r) { return kxadmin_action_group_create(c, "brevik", r); },
       [](auto c, auto& r) { return kxadmin_action_create_in_group(c, "X", "exec", "t", "brevik", r); },
       [](auto c, auto& r) { return kxadmin_action_delete_from_group(c, "X", "brevik", r); },
       "action_group_member grp=\"brevik\" name=\"X\""},
      {"action group", nothing, [](auto c, auto& r) { return kxadmin_action_group_create(c, "brevik", r); },
       [](auto c, auto& r) { return kxadmin_action_group_delete(c, "brevik", r); }, "action_group name=\"brevik\""},
      {"group", nothing,
       [](auto c, auto& r) { return kxadmin_group_create2(c, "zarn-admin", "cn=za,o=z", "za", std::nullopt, r); },
       [](auto c, auto& r) { return kxadmin_group_delete2(c, "zarn-admin", 1, r); },
       "grp name=\"zarn-admin\" dn=\"cn=za,o=z\" cn=\"za\""},
      {"user", nothing,
       [](auto c, auto& r) { return kxadmin_user_create3(c, "zarnd/h1", "cn=h1", "h1", "zarnd", "pw", 0, NO_NAMES, 1, 1, r); },
       [](auto c, auto& r) { return kxadmin_user_delete2(c, "zarnd/h1", 1, r); },
       "user name=\"zarnd/h1\" dn=\"cn=h1\" cn=\"h1\" sn=\"zarnd\" password_hash=<hash> sso=1 account_valid=0"},
  };
}

class RoundTripTest : public kxtest::OnEachBackendAndRow<kxtest::StoreTestBase> {};
class ApiTest : public kxtest::StoreTest {};

TEST_P(RoundTripTest, CreateDuplicateDeleteAndDeleteAgain) {
  const RoundTrip row = round_trips()[this->row()];
  SCOPED_TRACE(row.kind);
  ASSERT_EQ(row.setup(ctx.get(), rsp), 1);
  const std::string before = dump();

  ASSERT_EQ(row.create(ctx.get(), rsp), 1) << kxadmin_response_getmessage(rsp.get(), 0);
  EXPECT_EQ(rsp, nullptr);
  EXPECT_NE(dump().find(row.dump_fragment), std::string::npos) << dump();

  EXPECT_EQ(row.create(ctx.get(), rsp), 0);
  EXPECT_EQ(code(), kx::CODE_EXISTS);
  EXPECT_EQ(kxadmin_response_getreason(rsp.get()), 0);
  EXPECT_NE(kxadmin_response_getmessage(rsp.get(), 0).find("already exists"), std::string::npos);

  ASSERT_EQ(row.remove(ctx.get(), rsp), 1) << kxadmin_response_getmessage(rsp.get(), 0);
  EXPECT_EQ(dump(), before);

  EXPECT_EQ(row.remove(ctx.get(), rsp), 0);
  EXPECT_EQ(code(), kx::CODE_NOT_FOUND);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, RoundTripTest,
                         ::testing::Combine(kxtest::all_backends(),
                                            ::testing::Range<std::size_t>(0, round_trips().size())),
                         kxtest::BackendAndRowName());

TEST(ContextTest, WrongPasswordAndUnknownUserGiveTheSameCode) {
  kxtest::TempDir dir;
  kx::Outcome error;
  ASSERT_NE(kx::Store::create(dir.file("p.db"), kxtest::SEC_MASTER_PWD, false, error), nullptr);
  kxadmin_set_store_path(dir.file("p.db"));
  for (const char* user : {"sec_master", "root"}) {
    kxadmin_context_t ctx;
    kxadmin_response_t rsp;
    const char* password = std::string_view(user) == "root" ? kxtest::SEC_MASTER_PWD : "wrong";
    EXPECT_EQ(kxadmin_context_createdefault(user, password, ctx, rsp), 0);
    EXPECT_EQ(kxadmin_response_getcode(rsp.get(), 0), 0x132120C8u) << user;
    EXPECT_EQ(kxadmin_response_getmessage(rsp.get(), 0).find(password), std::string::npos);
    EXPECT_EQ(ctx, nullptr);
  }
  kxadmin_set_store_path(std::nullopt);
}

TEST(ContextTest, MissingStoreFailsWithItsOwnCode) {
  kxtest::TempDir dir;
  kxadmin_set_store_path(dir.file("absent.db"));
  kxadmin_context_t ctx;
  kxadmin_response_t rsp;
  EXPECT_EQ(kxadmin_context_createdefault("sec_master", "x", ctx, rsp), 0);
  EXPECT_EQ(kxadmin_response_getcode(rsp.get(), 0), kx::CODE_STORE_UNAVAILABLE);
  EXPECT_NE(kxadmin_response_getmessage(rsp.get(), 0).find("absent.db"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir.file("absent.db")));
  kxadmin_set_store_path(std::nullopt);
}

TEST(ResponseTest, AbsentResponseReadsAsEmpty) {
  kxadmin_response_t rsp;
  EXPECT_EQ(kxadmin_response_getcount(nullptr), 0u);
  EXPECT_EQ(kxadmin_response_getcode(nullptr, 0), 0u);
  EXPECT_EQ(kxadmin_response_getmodifier(nullptr, 0), 0u);
  EXPECT_EQ(kxadmin_response_getmessage(nullptr, 3), "");
  EXPECT_EQ(kxadmin_response_getreason(nullptr), 0);
  kxadmin_free(rsp);
  EXPECT_EQ(rsp, nullptr);
}

// Calls made without a context, and calls missing a required argument.
struct BadCall {
  const char* what;
  Call call;
};

std::vector<BadCall> calls_missing_an_argument() {
  const std::vector<std::string> one{"u"};
  return {
      {"objectspace name", [](auto c, auto& r) { return kxadmin_objectspace_create(c, std::nullopt, 0, "d", r); }},
      {"protobj name", [](auto c, auto& r) { return kxadmin_protobj_delete(c, std::nullopt, r); }},
      {"empty acl name", [](auto c, auto& r) { return kxadmin_acl_create(c, "", r); }},
      {"attach acl", [](auto c, auto& r) { return kxadmin_protobj_attachacl(c, "/o", std::nullopt, r); }},
      {"permissions", [](auto c, auto& r) { return kxadmin_acl_setuser(c, "a", "u", std::nullopt, r); }},
      {"any-other perms", [](auto c, auto& r) { return kxadmin_acl_setanyother(c, "a", std::nullopt, r); }},
      {"attribute", [](auto c, auto& r) { return kxadmin_acl_attrput(c, "a", std::nullopt, "v", r); }},
      {"action label", [](auto c, auto& r) { return kxadmin_action_create(c, "X", std::nullopt, "t", r); }},
      {"action group", [](auto c, auto& r) { return kxadmin_action_delete_from_group(c, "X", std::nullopt, r); }},
      {"group dn", [](auto c, auto& r) { return kxadmin_group_create2(c, "g", std::nullopt, "cn", "x", r); }},
      {"member count", [one](auto c, auto& r) { return kxadmin_group_addmembers(c, "g", 2, one, r); }},
      {"user password",
       [](auto c, auto& r) { return kxadmin_user_create3(c, "u", "d", "c", "s", std::nullopt, 0, NO_NAMES, 0, 1, r); }},
      {"group count", [one](auto c, auto& r) { return kxadmin_user_create3(c, "u", "d", "c", "s", "p", -1, one, 0, 1, r); }},
      {"user name", [](auto c, auto& r) { return kxadmin_user_setaccountvalid(c, std::nullopt, 1, r); }},
  };
}

TEST_P(ApiTest, AbsentRequiredArgumentsAreRejected) {
  const std::string before = dump();
  for (const BadCall& bad : calls_missing_an_argument()) {
    EXPECT_EQ(bad.call(ctx.get(), rsp), 0) << bad.what;
    EXPECT_EQ(code(), kx::CODE_BAD_ARGUMENT) << bad.what;
  }
  unsigned long count = 7;
  std::vector<std::string> names{"stale"};
  EXPECT_EQ(kxadmin_user_list(ctx.get(), std::nullopt, 0, count, names, rsp), 0);
  EXPECT_EQ(code(), kx::CODE_BAD_ARGUMENT);
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(dump(), before);
}

TEST(NoContextTest, EveryCallFailsAndListsAreEmpty) {
  kxadmin_response_t rsp;
  for (const RoundTrip& row : round_trips()) {
    EXPECT_EQ(row.create(nullptr, rsp), 0) << row.kind;
    EXPECT_EQ(kxadmin_response_getcode(rsp.get(), 0), kx::CODE_NO_CONTEXT) << row.kind;
  }
  unsigned long count = 5;
  std::vector<std::string> names{"stale"};
  EXPECT_EQ(kxadmin_objectspace_list(nullptr, count, names, rsp), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(names.empty());
  count = 5;
  EXPECT_EQ(kxadmin_acl_list(nullptr, count, names, rsp), 0);
  EXPECT_EQ(count, 0u);
  count = 5;
  EXPECT_EQ(kxadmin_user_list(nullptr, "zarnd/*", 0, count, names, rsp), 0);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(kxadmin_response_getcode(rsp.get(), 0), kx::CODE_NO_CONTEXT);
}

TEST_P(ApiTest, UserListMatchesPrefixPatternsAndExactNames) {
  for (const char* name : {"zarnd/hostb", "zarnd/hosta", "zarnd/host", "zarnd", "zarndx/hosta", "sec_master2"}) {
    ASSERT_EQ(kxadmin_user_create3(ctx.get(), name, "dn", "cn", "sn", "pw", 0, NO_NAMES, 0, 1, rsp), 1) << name;
  }
  struct Case {
    const char* pattern;
    int max;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases{
      {"zarnd/host*", 0, {"zarnd/host", "zarnd/hosta", "zarnd/hostb"}},
      {"zarnd/host", 0, {"zarnd/host"}},
      {"zarnd/hosta*", 0, {"zarnd/hosta"}},
      {"zarnd/hostc*", 0, {}},
      {"zarnd*", 2, {"zarnd", "zarnd/host"}},
      {"*", 0, {"sec_master2", "zarnd", "zarnd/host", "zarnd/hosta", "zarnd/hostb", "zarndx/hosta"}},
      {"zarnd/", 0, {}},
  };
  for (const Case& c : cases) {
    unsigned long count = 99;
    std::vector<std::string> names;
    EXPECT_EQ(kxadmin_user_list(ctx.get(), c.pattern, c.max, count, names, rsp), 1) << c.pattern;
    EXPECT_EQ(names, c.expected) << c.pattern;
    EXPECT_EQ(count, c.expected.size()) << c.pattern;
  }
}

TEST_P(ApiTest, ListsAreSorted) {
  for (const char* name : {"/b", "/BREVIK/p1", "/BREVIK", "/a"}) {
    ASSERT_EQ(kxadmin_objectspace_create(ctx.get(), name, 0, "", rsp), 1);
    ASSERT_EQ(kxadmin_acl_create(ctx.get(), name + 1, rsp), 1);
  }
  unsigned long count = 0;
  std::vector<std::string> names;
  ASSERT_EQ(kxadmin_objectspace_list(ctx.get(), count, names, rsp), 1);
  EXPECT_EQ(names, (std::vector<std::string>{"/BREVIK", "/BREVIK/p1", "/a", "/b"}));
  EXPECT_EQ(count, 4u);
  ASSERT_EQ(kxadmin_acl_list(ctx.get(), count, names, rsp), 1);
  EXPECT_EQ(names, (std::vector<std::string>{"BREVIK", "BREVIK/p1", "a", "b"}));
}

INSTANTIATE_TEST_SUITE_P(Backends, ApiTest, kxtest::all_backends(), kxtest::BackendName());

}  // namespace
