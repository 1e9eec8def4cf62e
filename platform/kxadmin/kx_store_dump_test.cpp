#include "kx_test_support.h"

namespace {

using kxtest::TempDir;

const std::vector<std::string> NO_NAMES;

using Step = void (*)(const kxadmin_context*);

void make_acl(const kxadmin_context* c) {
  kxadmin_response_t r;
  kxadmin_acl_create(c, "a", r);
  kxadmin_acl_attrput(c, "a", "note", "two words \"quoted\"", r);
  kxadmin_acl_setanyother(c, "a", "T", r);
}
void make_user(const kxadmin_context* c) {
  kxadmin_response_t r;
  kxadmin_group_create2(c, "g", "cn=g", "g", std::nullopt, r);
  const std::vector<std::string> g{"g"};
  kxadmin_user_create3(c, "zarnd/h", "cn=h", "h", "zarnd", "pw", 1, g, 0, 1, r);
}
void make_objects(const kxadmin_context* c) {
  kxadmin_response_t r;
  kxadmin_objectspace_create(c, "/BREVIK", 14, "product", r);
  kxadmin_protobj_create(c, "/BREVIK/p", 0, std::nullopt, r);
  kxadmin_action_group_create(c, "ag", r);
  kxadmin_action_create_in_group(c, "X", "exec", "brevik", "ag", r);
  kxadmin_action_create(c, "Y", "read", "brevik", r);
}
void make_junk_and_remove_it(const kxadmin_context* c) {
  kxadmin_response_t r;
  kxadmin_acl_create(c, "junk", r);
  kxadmin_acl_delete(c, "junk", r);
}

std::string build_and_dump(const TempDir& dir, const std::string& name, std::initializer_list<Step> steps) {
  kx::Outcome error;
  auto store = kx::Store::create(dir.file(name), name, false, error);
  if (!store) return error.message;
  kxadmin_set_store_path(dir.file(name));
  kxadmin_context_t ctx;
  kxadmin_response_t rsp;
  kxadmin_context_createdefault("sec_master", name, ctx, rsp);
  for (Step step : steps) step(ctx.get());
  kxadmin_set_store_path(std::nullopt);
  std::string text;
  store->dump(text);
  return text;
}

TEST(DumpTest, SamePolicyBuiltInAnotherOrderDumpsAlike) {
  TempDir dir;
  const std::string one = build_and_dump(dir, "one.db", {make_acl, make_user, make_objects});
  const std::string two = build_and_dump(dir, "two.db", {make_objects, make_junk_and_remove_it, make_user, make_acl});
  EXPECT_EQ(one, two);
  EXPECT_NE(one.find("acl_attribute acl=\"a\" name=\"note\" value=\"two words \\\"quoted\\\"\""), std::string::npos)
      << one;
  EXPECT_NE(one.find("action name=\"Y\" label=\"read\" type=\"brevik\""), std::string::npos);
  EXPECT_NE(one.find("protobj name=\"/BREVIK/p\" type=0 description=none acl=none"), std::string::npos);
  EXPECT_NE(one.find("sec_master password_hash=<hash>"), std::string::npos);
  EXPECT_EQ(one.find('$'), std::string::npos) << "a hash leaked into the dump";
}

TEST(DumpTest, FaultsAreLeftOut) {
  TempDir dir;
  const std::string before = build_and_dump(dir, "p.db", {make_acl});
  kx::Outcome error;
  auto store = kx::Store::open(dir.file("p.db"), error);
  ASSERT_NE(store, nullptr);
  ASSERT_TRUE(store->write([&] { return store->fault_add({"acl_create", std::nullopt, 1, 0, 1}); }).ok());
  std::string after;
  ASSERT_TRUE(store->dump(after).ok());
  EXPECT_EQ(before, after);
}

}  // namespace
