// Undo records: every change made under a run tag is rolled back exactly,
// however the roll-back is cut short and whatever other runs did meanwhile.
#include <functional>

#include "kx_codes.h"
#include "kx_test_support.h"

namespace {

using Call = std::function<int(const kxadmin_context*, kxadmin_response_t&)>;

const kxadmin_run_tag RUN{"h1", 4242, 1700000000};
const kxadmin_run_tag OTHER_RUN{"h1", 4343, 1700000000};
const std::vector<std::string> NO_NAMES;

// The policy every case starts from, made without a run tag: something for
// each call to add to, replace or delete.
const std::vector<Call>& base_policy() {
  static const std::vector<Call> calls{
      [](auto c, auto& r) { return kxadmin_objectspace_create(c, "/S", 14, "space", r); },
      [](auto c, auto& r) { return kxadmin_protobj_create(c, "/S/o", 0, "object", r); },
      [](auto c, auto& r) { return kxadmin_protobj_create(c, "/S/p", 3, std::nullopt, r); },
      [](auto c, auto& r) { return kxadmin_acl_create(c, "a", r); },
      [](auto c, auto& r) { return kxadmin_acl_create(c, "b", r); },
      [](auto c, auto& r) { return kxadmin_group_create2(c, "g1", "cn=g1", "g1", std::nullopt, r); },
      [](auto c, auto& r) { return kxadmin_group_create2(c, "g2", "cn=g2", "g2", std::nullopt, r); },
      [](auto c, auto& r) {
        const std::vector<std::string> g1{"g1"};
        return kxadmin_user_create3(c, "u1", "cn=u1", "u1", "one", "pw1", 1, g1, 1, 1, r);
      },
      [](auto c, auto& r) { return kxadmin_user_create3(c, "u2", "cn=u2", "u2", "two", "pw2", 0, NO_NAMES, 0, 1, r); },
      [](auto c, auto& r) { return kxadmin_user_setaccountvalid(c, "u1", 1, r); },
      [](auto c, auto& r) { return kxadmin_acl_setuser(c, "a", "u1", "Tr", r); },
      [](auto c, auto& r) { return kxadmin_acl_setuser(c, "a", "u2", "r", r); },
      [](auto c, auto& r) { return kxadmin_acl_setgroup(c, "a", "g1", "T", r); },
      [](auto c, auto& r) { return kxadmin_acl_setanyother(c, "a", "x", r); },
      [](auto c, auto& r) { return kxadmin_acl_setunauth(c, "a", "y", r); },
      [](auto c, auto& r) { return kxadmin_acl_attrput(c, "a", "k", "v", r); },
      [](auto c, auto& r) { return kxadmin_acl_attrput(c, "a", "n", std::nullopt, r); },
      [](auto c, auto& r) { return kxadmin_protobj_attachacl(c, "/S/o", "a", r); },
      [](auto c, auto& r) { return kxadmin_action_group_create(c, "ag", r); },
      [](auto c, auto& r) { return kxadmin_action_create_in_group(c, "X", "exec", "file", "ag", r); },
      [](auto c, auto& r) { return kxadmin_action_create(c, "Y", "read", "brevik", r); },
  };
  return calls;
}

struct Change {
  const char* what;
  Call call;
};

// Every call that changes policy, on new and on existing entries.
const std::vector<Change>& every_change() {
  static const std::vector<Change> changes{
      {"objectspace create", [](auto c, auto& r) { return kxadmin_objectspace_create(c, "/T", 14, "t", r); }},
      {"objectspace delete", [](auto c, auto& r) { return kxadmin_objectspace_delete(c, "/S", r); }},
      {"protobj create", [](auto c, auto& r) { return kxadmin_protobj_create(c, "/S/q", 1, "q", r); }},
      {"protobj delete with ACL", [](auto c, auto& r) { return kxadmin_protobj_delete(c, "/S/o", r); }},
      {"attach replacing", [](auto c, auto& r) { return kxadmin_protobj_attachacl(c, "/S/o", "b", r); }},
      {"attach to bare object", [](auto c, auto& r) { return kxadmin_protobj_attachacl(c, "/S/p", "a", r); }},
      {"detach", [](auto c, auto& r) { return kxadmin_protobj_detachacl(c, "/S/o", r); }},
      {"acl create", [](auto c, auto& r) { return kxadmin_acl_create(c, "c", r); }},
      {"acl delete with everything", [](auto c, auto& r) { return kxadmin_acl_delete(c, "a", r); }},
      {"setuser replacing", [](auto c, auto& r) { return kxadmin_acl_setuser(c, "a", "u1", "TrX", r); }},
      {"setuser new", [](auto c, auto& r) { return kxadmin_acl_setuser(c, "b", "u2", "r", r); }},
      {"setgroup replacing", [](auto c, auto& r) { return kxadmin_acl_setgroup(c, "a", "g1", "Tr", r); }},
      {"setgroup new", [](auto c, auto& r) { return kxadmin_acl_setgroup(c, "b", "g2", "", r); }},
      {"removeuser", [](auto c, auto& r) { return kxadmin_acl_removeuser(c, "a", "u2", r); }},
      {"removegroup", [](auto c, auto& r) { return kxadmin_acl_removegroup(c, "a", "g1", r); }},
      {"setanyother replacing", [](auto c, auto& r) { return kxadmin_acl_setanyother(c, "a", "z", r); }},
      {"setanyother new", [](auto c, auto& r) { return kxadmin_acl_setanyother(c, "b", "z", r); }},
      {"setunauth replacing", [](auto c, auto& r) { return kxadmin_acl_setunauth(c, "a", "w", r); }},
      {"setunauth new", [](auto c, auto& r) { return kxadmin_acl_setunauth(c, "b", "w", r); }},
      {"removeanyother", [](auto c, auto& r) { return kxadmin_acl_removeanyother(c, "a", r); }},
      {"removeunauth", [](auto c, auto& r) { return kxadmin_acl_removeunauth(c, "a", r); }},
      {"attrput replacing", [](auto c, auto& r) { return kxadmin_acl_attrput(c, "a", "k", "w", r); }},
      {"attrput over none", [](auto c, auto& r) { return kxadmin_acl_attrput(c, "a", "n", "now set", r); }},
      {"attrput none", [](auto c, auto& r) { return kxadmin_acl_attrput(c, "a", "k", std::nullopt, r); }},
      {"attrput new", [](auto c, auto& r) { return kxadmin_acl_attrput(c, "b", "k", "v", r); }},
      {"attrdelete", [](auto c, auto& r) { return kxadmin_acl_attrdelete(c, "a", "k", r); }},
      {"action create", [](auto c, auto& r) { return kxadmin_action_create(c, "Z", "z", "t", r); }},
      {"action create in group", [](auto c, auto& r) { return kxadmin_action_create_in_group(c, "Z", "z", "t", "ag", r); }},
      {"action delete", [](auto c, auto& r) { return kxadmin_action_delete(c, "Y", r); }},
      {"action delete from group", [](auto c, auto& r) { return kxadmin_action_delete_from_group(c, "X", "ag", r); }},
      {"action group create", [](auto c, auto& r) { return kxadmin_action_group_create(c, "ag2", r); }},
      {"action group delete with actions", [](auto c, auto& r) { return kxadmin_action_group_delete(c, "ag", r); }},
      {"group create", [](auto c, auto& r) { return kxadmin_group_create2(c, "g3", "cn=g3", "g3", "x", r); }},
      {"group delete with members and entries", [](auto c, auto& r) { return kxadmin_group_delete2(c, "g1", 1, r); }},
      {"addmembers",
       [](auto c, auto& r) {
         const std::vector<std::string> users{"u1", "u2"};
         return kxadmin_group_addmembers(c, "g2", 2, users, r);
       }},
      {"removemembers",
       [](auto c, auto& r) {
         const std::vector<std::string> users{"u1"};
         return kxadmin_group_removemembers(c, "g1", 1, users, r);
       }},
      {"user create in groups",
       [](auto c, auto& r) {
         const std::vector<std::string> groups{"g1", "g2", "g1"};
         return kxadmin_user_create3(c, "u4", "cn=u4", "u4", "four", "pw4", 3, groups, 0, 1, r);
       }},
      {"user delete with memberships and entries", [](auto c, auto& r) { return kxadmin_user_delete2(c, "u1", 1, r); }},
      {"account invalid", [](auto c, auto& r) { return kxadmin_user_setaccountvalid(c, "u1", 0, r); }},
      {"account valid", [](auto c, auto& r) { return kxadmin_user_setaccountvalid(c, "u2", 1, r); }},
  };
  return changes;
}

class UndoTest : public kxtest::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    for (const Call& call : base_policy()) ASSERT_EQ(call(ctx.get(), rsp), 1) << message();
  }

  std::string message() const { return kxadmin_response_getmessage(rsp.get(), 0); }
  void tag(const kxadmin_context* c, const std::optional<kxadmin_run_tag>& run) {
    ASSERT_EQ(kxadmin_context_setruntag(const_cast<kxadmin_context*>(c), run, rsp), 1) << message();
  }
  std::vector<kxadmin_run_info> runs() {
    std::vector<kxadmin_run_info> list;
    EXPECT_EQ(kxadmin_run_list(ctx.get(), std::nullopt, list, rsp), 1) << message();
    return list;
  }
  // The stored password hashes, which the dump masks.
  std::vector<std::string> hashes() {
    kx::Outcome error;
    auto store = kx::Store::open(path, error);
    std::vector<std::string> found;
    if (store) {
      (void)store->query("SELECT name || ' ' || password_hash FROM \"user\" ORDER BY name", {},
                         [&](const kx::Row& row) { found.push_back(row.text(0).value_or("")); });
    }
    return found;
  }
  // A second context on the same store, as another process would have.
  kxadmin_context_t another_context() {
    kxadmin_context_t other;
    EXPECT_EQ(kxadmin_context_createdefault("sec_master", kxtest::SEC_MASTER_PWD, other, rsp), 1);
    return other;
  }
  void inject(const kx::Fault& fault) {
    kx::Outcome error;
    auto store = kx::Store::open(path, error);
    ASSERT_NE(store, nullptr);
    ASSERT_TRUE(store->write([&] { return store->fault_add(fault); }).ok());
  }
};

class EveryChangeTest : public UndoTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(EveryChangeTest, RollsBackToTheSameStore) {
  const Change& change = every_change()[GetParam()];
  SCOPED_TRACE(change.what);
  const std::string before = dump(true);
  const std::string policy_before = dump();
  const std::vector<std::string> hashes_before = hashes();
  tag(ctx.get(), RUN);
  ASSERT_EQ(change.call(ctx.get(), rsp), 1) << message();
  EXPECT_NE(dump(), policy_before) << "the call changed nothing";
  ASSERT_EQ(runs().size(), 1u);
  EXPECT_EQ(runs()[0].tag, RUN);
  EXPECT_EQ(runs()[0].undo_records, 1u);

  ASSERT_EQ(kxadmin_run_rollback(ctx.get(), RUN, rsp), 1) << message();
  EXPECT_EQ(dump(true), before);
  EXPECT_EQ(hashes(), hashes_before);
  EXPECT_TRUE(runs().empty());
}

INSTANTIATE_TEST_SUITE_P(Undo, EveryChangeTest, ::testing::Range<std::size_t>(0, every_change().size()));

// Calls that build on one another: a later call changes what an earlier
// one made, and deletes take earlier changes with them.
const std::vector<Call>& a_run() {
  static const std::vector<Call> calls{
      [](auto c, auto& r) { return kxadmin_acl_create(c, "c", r); },
      [](auto c, auto& r) { return kxadmin_acl_setuser(c, "c", "u1", "r", r); },
      [](auto c, auto& r) { return kxadmin_acl_attrput(c, "c", "k", "v", r); },
      [](auto c, auto& r) { return kxadmin_protobj_attachacl(c, "/S/p", "c", r); },
      [](auto c, auto& r) { return kxadmin_acl_setuser(c, "a", "u2", "rw", r); },
      [](auto c, auto& r) { return kxadmin_user_create3(c, "u5", "cn=u5", "u5", "five", "pw5", 0, NO_NAMES, 0, 1, r); },
      [](auto c, auto& r) {
        const std::vector<std::string> users{"u5"};
        return kxadmin_group_addmembers(c, "g2", 1, users, r);
      },
      [](auto c, auto& r) { return kxadmin_acl_setuser(c, "c", "u5", "T", r); },
      [](auto c, auto& r) { return kxadmin_user_setaccountvalid(c, "u5", 1, r); },
      [](auto c, auto& r) { return kxadmin_acl_delete(c, "a", r); },
      [](auto c, auto& r) { return kxadmin_user_delete2(c, "u2", 1, r); },
      [](auto c, auto& r) { return kxadmin_protobj_attachacl(c, "/S/o", "c", r); },
      [](auto c, auto& r) { return kxadmin_acl_delete(c, "c", r); },
      [](auto c, auto& r) { return kxadmin_group_delete2(c, "g2", 1, r); },
  };
  return calls;
}

TEST_F(UndoTest, ALongRunRollsBackNewestFirst) {
  const std::string before = dump(true);
  tag(ctx.get(), RUN);
  for (const Call& call : a_run()) ASSERT_EQ(call(ctx.get(), rsp), 1) << message();
  EXPECT_EQ(runs()[0].undo_records, a_run().size());
  ASSERT_EQ(kxadmin_run_rollback(ctx.get(), RUN, rsp), 1) << message();
  EXPECT_EQ(dump(true), before);
}

TEST_F(UndoTest, ARollBackCutShortIsFinishedByTheNext) {
  const std::string before = dump(true);
  tag(ctx.get(), RUN);
  for (const Call& call : a_run()) ASSERT_EQ(call(ctx.get(), rsp), 1) << message();
  const std::string applied = dump();

  // A fault of reason 0 stops the roll-back before its first record.
  inject({"kxadmin_run_rollback", std::string("h1"), 0x77, 0, 1});
  EXPECT_EQ(kxadmin_run_rollback(ctx.get(), RUN, rsp), 0);
  EXPECT_EQ(kxadmin_response_getcode(rsp.get(), 0), 0x77u);
  EXPECT_EQ(dump(), applied);
  EXPECT_EQ(runs()[0].undo_records, a_run().size());

  // Reason 1: one record is rolled back, then the call fails.
  inject({"kxadmin_run_rollback", std::nullopt, 0x78, 1, 1});
  EXPECT_EQ(kxadmin_run_rollback(ctx.get(), RUN, rsp), 0);
  EXPECT_EQ(kxadmin_response_getreason(rsp.get()), 1);
  EXPECT_EQ(runs()[0].undo_records, a_run().size() - 1);
  EXPECT_NE(dump(), applied);

  // Another process (its own context, no tag) finishes it.
  kxadmin_context_t other = another_context();
  ASSERT_EQ(kxadmin_run_rollback(other.get(), RUN, rsp), 1) << message();
  EXPECT_EQ(dump(true), before);
}

TEST_F(UndoTest, ARunThatEndsNormallyDiscardsItsRecords) {
  tag(ctx.get(), RUN);
  for (const Call& call : a_run()) ASSERT_EQ(call(ctx.get(), rsp), 1) << message();
  const std::string applied = dump();
  ASSERT_EQ(kxadmin_run_discard(ctx.get(), RUN, rsp), 1) << message();
  EXPECT_TRUE(runs().empty());
  EXPECT_EQ(dump(true), applied);
  // Nothing is left to roll back; discarding again is harmless.
  EXPECT_EQ(kxadmin_run_rollback(ctx.get(), RUN, rsp), 1);
  EXPECT_EQ(kxadmin_run_discard(ctx.get(), RUN, rsp), 1);
  EXPECT_EQ(dump(true), applied);
}

TEST_F(UndoTest, TwoRunsInterleavedRollBackIndependently) {
  const std::string before = dump(true);
  kxadmin_context_t other = another_context();
  tag(ctx.get(), RUN);
  tag(other.get(), OTHER_RUN);
  // Both change ACL a, on different entries, in turns.
  const std::vector<std::pair<const kxadmin_context*, Call>> turns{
      {ctx.get(), [](auto c, auto& r) { return kxadmin_acl_setuser(c, "a", "u1", "mine", r); }},
      {other.get(), [](auto c, auto& r) { return kxadmin_acl_setgroup(c, "a", "g1", "theirs", r); }},
      {ctx.get(), [](auto c, auto& r) { return kxadmin_acl_create(c, "c", r); }},
      {other.get(), [](auto c, auto& r) { return kxadmin_acl_create(c, "d", r); }},
      {ctx.get(), [](auto c, auto& r) { return kxadmin_protobj_attachacl(c, "/S/p", "c", r); }},
      {other.get(), [](auto c, auto& r) { return kxadmin_acl_attrput(c, "a", "k", "theirs", r); }},
      {ctx.get(), [](auto c, auto& r) { return kxadmin_acl_removeuser(c, "a", "u2", r); }},
  };
  for (const auto& [context, call] : turns) ASSERT_EQ(call(context, rsp), 1) << message();

  ASSERT_EQ(kxadmin_run_rollback(ctx.get(), RUN, rsp), 1) << message();
  const std::vector<std::string> a_entries = kxtest::acl_lines(path, "a");
  EXPECT_EQ(a_entries, (std::vector<std::string>{"any-other x", "attribute k theirs", "attribute n", "group g1 theirs",
                                                 "unauthenticated y", "user u1 Tr", "user u2 r"}));
  std::vector<kxadmin_run_info> left = runs();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].tag, OTHER_RUN);
  EXPECT_EQ(left[0].undo_records, 3u);

  ASSERT_EQ(kxadmin_run_rollback(other.get(), OTHER_RUN, rsp), 1) << message();
  EXPECT_EQ(dump(true), before);
}

TEST_F(UndoTest, OnlyChangesThatWereMadeLeaveRecords) {
  tag(ctx.get(), RUN);
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), "a", rsp), 0);  // exists
  EXPECT_EQ(kxadmin_acl_removeuser(ctx.get(), "b", "u1", rsp), 0);  // no such entry
  inject({"kxadmin_acl_create", std::nullopt, 0x99, 0, 1});
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), "c", rsp), 0);
  unsigned long count = 0;
  std::vector<std::string> names;
  EXPECT_EQ(kxadmin_acl_list(ctx.get(), count, names, rsp), 1);
  EXPECT_TRUE(runs().empty());

  // Reason 1: the change is made, so it is undone too.
  const std::string before = dump(true);
  inject({"kxadmin_acl_create", std::nullopt, 0x99, 1, 1});
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), "c", rsp), 0);
  EXPECT_EQ(kxadmin_response_getreason(rsp.get()), 1);
  ASSERT_EQ(runs().size(), 1u);
  ASSERT_EQ(kxadmin_run_rollback(ctx.get(), RUN, rsp), 1);
  EXPECT_EQ(dump(true), before);

  // Without a tag nothing is recorded.
  tag(ctx.get(), std::nullopt);
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), "e", rsp), 1);
  EXPECT_TRUE(runs().empty());
}

TEST_F(UndoTest, RollingBackWritesNoRecordsOfItsOwn) {
  kxadmin_context_t other = another_context();
  tag(other.get(), OTHER_RUN);
  ASSERT_EQ(kxadmin_acl_create(other.get(), "c", rsp), 1);
  tag(ctx.get(), RUN);
  ASSERT_EQ(kxadmin_run_rollback(ctx.get(), OTHER_RUN, rsp), 1);
  EXPECT_TRUE(runs().empty());
}

// Another run deleted the user whose entry this run removed: the entry
// cannot come back, and the roll-back still finishes.
TEST_F(UndoTest, AnEntryWhoseUserIsGoneIsNotRestored) {
  tag(ctx.get(), RUN);
  ASSERT_EQ(kxadmin_acl_removeuser(ctx.get(), "a", "u2", rsp), 1);
  kxadmin_context_t other = another_context();
  ASSERT_EQ(kxadmin_user_delete2(other.get(), "u2", 1, rsp), 1);
  const std::string after_delete = dump();
  ASSERT_EQ(kxadmin_run_rollback(ctx.get(), RUN, rsp), 1) << message();
  EXPECT_EQ(dump(true), after_delete);
}

TEST_F(UndoTest, RecordsDumpInAStableForm) {
  tag(ctx.get(), RUN);
  ASSERT_EQ(kxadmin_acl_create(ctx.get(), "c", rsp), 1);
  ASSERT_EQ(kxadmin_acl_setuser(ctx.get(), "c", "u1", "r", rsp), 1);
  ASSERT_EQ(kxadmin_user_setaccountvalid(ctx.get(), "u2", 1, rsp), 1);
  const std::string policy = dump();
  const std::string with_undo = dump(true);
  ASSERT_EQ(with_undo.rfind(policy, 0), 0u);
  const std::string head = "undo host=\"h1\" pid=4242 started=1700000000 ";
  EXPECT_EQ(with_undo.substr(policy.size()),
            "run host=\"h1\" pid=4242 started=1700000000 undo_records=3\n" + head +
                "seq=1 api=\"kxadmin_acl_create\" name=\"c\" step=1 remove acl name=\"c\"\n" + head +
                "seq=2 api=\"kxadmin_acl_setuser\" name=\"c\" step=1 remove acl_user acl=\"c\" user=\"u1\"\n" + head +
                "seq=3 api=\"kxadmin_user_setaccountvalid\" name=\"u2\" step=1 restore user name=\"u2\" dn=\"cn=u2\" "
                "cn=\"u2\" sn=\"two\" password_hash=<hash> sso=0 account_valid=0\n");
}

TEST_F(UndoTest, RunsAreListedByHostAndSorted) {
  kxadmin_context_t other = another_context();
  tag(other.get(), kxadmin_run_tag{"h0", 9, 1});
  ASSERT_EQ(kxadmin_acl_create(other.get(), "c", rsp), 1);
  tag(ctx.get(), OTHER_RUN);
  ASSERT_EQ(kxadmin_acl_create(ctx.get(), "d", rsp), 1);
  tag(ctx.get(), RUN);
  ASSERT_EQ(kxadmin_acl_create(ctx.get(), "e", rsp), 1);
  ASSERT_EQ(kxadmin_acl_delete(ctx.get(), "e", rsp), 1);

  const std::vector<kxadmin_run_info> all = runs();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].tag.host, "h0");
  EXPECT_EQ(all[1].tag, RUN);
  EXPECT_EQ(all[1].undo_records, 2u);
  EXPECT_EQ(all[2].tag, OTHER_RUN);
  std::vector<kxadmin_run_info> h1;
  ASSERT_EQ(kxadmin_run_list(ctx.get(), "h1", h1, rsp), 1);
  EXPECT_EQ(h1.size(), 2u);
  EXPECT_EQ(kxadmin_run_list(ctx.get(), "", h1, rsp), 0);
  EXPECT_EQ(kxadmin_response_getcode(rsp.get(), 0), kx::CODE_BAD_ARGUMENT);
  EXPECT_TRUE(h1.empty());
}

TEST_F(UndoTest, RunTagsAreChecked) {
  kxadmin_response_t r;
  EXPECT_EQ(kxadmin_context_setruntag(nullptr, RUN, r), 0);
  EXPECT_EQ(kxadmin_response_getcode(r.get(), 0), kx::CODE_NO_CONTEXT);
  EXPECT_EQ(kxadmin_context_setruntag(ctx.get(), kxadmin_run_tag{"", 1, 1}, r), 0);
  EXPECT_EQ(kxadmin_response_getcode(r.get(), 0), kx::CODE_BAD_ARGUMENT);
  for (const auto& call : std::vector<std::function<int()>>{
           [&] { return kxadmin_run_rollback(ctx.get(), kxadmin_run_tag{"", 1, 1}, r); },
           [&] { return kxadmin_run_discard(ctx.get(), kxadmin_run_tag{"", 1, 1}, r); }}) {
    EXPECT_EQ(call(), 0);
    EXPECT_EQ(kxadmin_response_getcode(r.get(), 0), kx::CODE_BAD_ARGUMENT);
  }
  EXPECT_EQ(kxadmin_run_rollback(nullptr, RUN, r), 0);
  EXPECT_EQ(kxadmin_response_getcode(r.get(), 0), kx::CODE_NO_CONTEXT);
}

}  // namespace
