// Runs the built kxadmin tool as a user would.
#include <fcntl.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "kx_codes.h"
#include "kx_store_v1_fixture.h"
#include "kx_test_support.h"
#include "sys_child.h"
#include "sys_fd.h"

namespace {

using kxtest::TempDir;

struct RunResult {
  int exit_status = -1;
  std::string out, err;
};

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The tool on a store of the backend a subclass chooses.
class ToolFixture : public ::testing::Test {
 protected:
  virtual kxtest::Backend backend() const = 0;
  void SetUp() override {
    spot = std::make_unique<kxtest::StoreSpot>(backend(), dir.path(), "policy.db");
    ASSERT_EQ(spot->problem(), "");
    store = spot->location();
  }

  RunResult run(std::vector<std::string> args, const std::string& input = "") {
    std::ofstream(dir.file("stdin")) << input;
    args.insert(args.begin(), KXADMIN_TOOL_PATH);
    const sys::UniqueFd in = sys::open_fd(dir.file("stdin"), O_RDONLY);
    const sys::UniqueFd out = sys::open_fd(dir.file("stdout"), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const sys::UniqueFd err = sys::open_fd(dir.file("stderr"), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    sys::ChildSpec setup(args.front(), args);
    setup.stdin_fd = in.get();
    setup.stdout_fd = out.get();
    setup.stderr_fd = err.get();
    RunResult result;
    std::optional<sys::Child> child = sys::Child::start(setup);
    const std::optional<sys::ExitStatus> end = child ? child->wait() : std::nullopt;
    if (!end) return result;
    result.exit_status = end->code;
    result.out = read_file(dir.file("stdout"));
    result.err = read_file(dir.file("stderr"));
    return result;
  }

  RunResult run_on_store(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"--store", store});
    return run(std::move(args), input);
  }

  void init_store() { ASSERT_EQ(run_on_store({"init", "--sec-master-pwd", kxtest::SEC_MASTER_PWD}).exit_status, 0); }
  // A sec_master context on the tool's store, as a program would have.
  kxadmin_context_t logged_in() {
    kxadmin_set_store_path(store);
    kxadmin_context_t ctx;
    kxadmin_response_t rsp;
    EXPECT_EQ(kxadmin_context_createdefault("sec_master", kxtest::SEC_MASTER_PWD, ctx, rsp), 1);
    kxadmin_set_store_path(std::nullopt);
    return ctx;
  }

  TempDir dir;
  std::unique_ptr<kxtest::StoreSpot> spot;
  std::string store;
};

class ToolTest : public kxtest::OnEachBackend<ToolFixture> {};

// What only a store file has: a version 1 store made by an older program,
// a file that is no store, and the tool's use, which needs no store.
class SqliteToolTest : public ToolFixture {
 protected:
  kxtest::Backend backend() const override { return kxtest::Backend::sqlite; }
};

TEST_F(SqliteToolTest, WrongUseGivesOneUsageLineAndStatusTwo) {
  const std::vector<std::vector<std::string>> wrong_uses{
      {},
      {"bogus"},
      {"acl"},
      {"acl", "show"},
      {"acl", "list", "extra"},
      {"user", "list", "a*", "b*"},
      {"init", "--bogus"},
      {"dump", "extra"},
      {"fault"},
      {"fault", "clear", "extra"},
      {"fault", "acl_create", "--count", "0"},
      {"fault", "acl_create", "--reason", "x"},
      {"fault", "acl_create", "--code"},
      {"fault", "acl_create", "a", "b"},
      {"fault", "no_such_api"},
      {"--store"},
      {"dump", "--undo", "extra"},
      {"migrate", "extra"},
      {"run"},
      {"run", "list", "h", "extra"},
      {"run", "rollback", "h", "1"},
      {"run", "rollback", "h", "1", "x"},
      {"run", "discard", "", "1", "2"},
      {"run", "bogus"},
  };
  for (const auto& args : wrong_uses) {
    const RunResult r = run(args);
    std::string joined;
    for (const auto& arg : args) joined += arg + " ";
    EXPECT_EQ(r.exit_status, 2) << joined;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << joined << r.err;
    EXPECT_TRUE(r.out.empty()) << joined;
  }
  EXPECT_EQ(run({}).err.rfind("usage: kxadmin", 0), 0u);
}

TEST_P(ToolTest, MissingStoreIsAClearError) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"dump"}, {"acl", "list"}, {"fault", "clear"}, {"user", "list"}}) {
    const RunResult r = run_on_store(args);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_NE(r.err.find(store), std::string::npos) << r.err;
  }
  if (GetParam() == kxtest::Backend::sqlite) {
    EXPECT_FALSE(std::filesystem::exists(store));
  }
}

TEST_P(ToolTest, InitRefusesToOverwriteUnlessForced) {
  init_store();
  RunResult r = run_on_store({"init", "--sec-master-pwd", "other"});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_NE(r.err.find("--force"), std::string::npos);
  r = run_on_store({"init", "--force"}, "from stdin\nignored\n");
  EXPECT_EQ(r.exit_status, 0) << r.err;
  kx::Outcome error;
  auto opened = kx::Store::open(store, error);
  ASSERT_NE(opened, nullptr);
  EXPECT_TRUE(opened->sec_master_password_matches("from stdin"));
  EXPECT_EQ(run_on_store({"init", "--force"}, "").exit_status, 1);
}

TEST_P(ToolTest, ListingsPrintSortedNames) {
  init_store();
  kxadmin_context_t ctx = logged_in();
  ASSERT_NE(ctx, nullptr);
  kxadmin_response_t rsp;
  kxadmin_acl_create(ctx.get(), "zeta", rsp);
  kxadmin_acl_create(ctx.get(), "alpha", rsp);
  kxadmin_group_create2(ctx.get(), "g", "cn=g", "g", std::nullopt, rsp);
  const std::vector<std::string> g{"g"};
  kxadmin_user_create3(ctx.get(), "zarnd/h2", "d", "c", "s", "p", 1, g, 0, 1, rsp);
  kxadmin_user_create3(ctx.get(), "zarnd/h1", "d", "c", "s", "p", 1, g, 0, 1, rsp);
  kxadmin_acl_setgroup(ctx.get(), "alpha", "g", "Tr", rsp);
  kxadmin_action_create(ctx.get(), "X", "l", "t", rsp);

  EXPECT_EQ(run_on_store({"acl", "list"}).out, "alpha\nzeta\n");
  EXPECT_EQ(run_on_store({"acl", "show", "alpha"}).out, "group g Tr\n");
  EXPECT_EQ(run_on_store({"user", "list", "zarnd/*"}).out, "zarnd/h1\nzarnd/h2\n");
  EXPECT_EQ(run_on_store({"group", "show", "g"}).out, "dn cn=g\ncn g\nmember zarnd/h1\nmember zarnd/h2\n");
  EXPECT_EQ(run_on_store({"action", "list"}).out, "X\n");
  EXPECT_EQ(run_on_store({"objectspace", "list"}).out, "");
  const RunResult missing = run_on_store({"group", "show", "nope"});
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_NE(missing.err.find("nope"), std::string::npos);
  EXPECT_NE(run_on_store({"dump"}).out.find("acl name=\"zeta\"\n"), std::string::npos);
}

// The fault is set by the tool in its own process and met by the library here.
TEST_P(ToolTest, FaultsReachTheLibraryInAnotherProcess) {
  init_store();
  ASSERT_EQ(run_on_store({"fault", "kxadmin_acl_create", "b", "--code", "0x1357", "--reason", "1", "--count", "2"})
                .exit_status,
            0);
  EXPECT_EQ(run_on_store({"fault", "list"}).out, "kxadmin_acl_create b --code 0x00001357 --reason 1 --count 2\n");
  kxadmin_context_t ctx = logged_in();
  ASSERT_NE(ctx, nullptr);
  kxadmin_response_t rsp;
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), "a", rsp), 1);
  EXPECT_EQ(kxadmin_acl_create(ctx.get(), "b", rsp), 0);
  EXPECT_EQ(kxadmin_response_getcode(rsp.get(), 0), 0x1357u);
  EXPECT_EQ(kxadmin_response_getreason(rsp.get()), 1);
  EXPECT_EQ(run_on_store({"acl", "list"}).out, "a\nb\n");
  EXPECT_EQ(run_on_store({"fault", "list"}).out, "kxadmin_acl_create b --code 0x00001357 --reason 1 --count 1\n");

  ASSERT_EQ(run_on_store({"fault", "clear"}).exit_status, 0);
  EXPECT_EQ(run_on_store({"fault", "list"}).out, "");
}

TEST_P(ToolTest, RunsAndTheirUndoRecordsCanBeListedRolledBackAndDiscarded) {
  init_store();
  const std::string before = run_on_store({"dump"}).out;
  kxadmin_context_t ctx = logged_in();
  ASSERT_NE(ctx, nullptr);
  kxadmin_response_t rsp;
  for (const kxadmin_run_tag& tag : {kxadmin_run_tag{"h2", 7, 100}, kxadmin_run_tag{"h1", 8, 200}}) {
    ASSERT_EQ(kxadmin_context_setruntag(ctx.get(), tag, rsp), 1);
    ASSERT_EQ(kxadmin_acl_create(ctx.get(), tag.host, rsp), 1);
  }
  ASSERT_EQ(kxadmin_acl_attrput(ctx.get(), "h1", "k", "v", rsp), 1);

  EXPECT_EQ(run_on_store({"run", "list"}).out,
            "run host=\"h1\" pid=8 started=200 undo_records=2\n"
            "run host=\"h2\" pid=7 started=100 undo_records=1\n");
  EXPECT_EQ(run_on_store({"run", "list", "h2"}).out, "run host=\"h2\" pid=7 started=100 undo_records=1\n");
  const std::string policy = run_on_store({"dump"}).out;
  EXPECT_EQ(policy.find("undo"), std::string::npos);
  const std::string with_undo = run_on_store({"dump", "--undo"}).out;
  EXPECT_EQ(with_undo.rfind(policy, 0), 0u);
  EXPECT_NE(with_undo.find("undo host=\"h1\" pid=8 started=200 seq=2 api=\"kxadmin_acl_attrput\" name=\"h1\" "
                           "step=1 remove acl_attribute acl=\"h1\" name=\"k\"\n"),
            std::string::npos)
      << with_undo;

  ASSERT_EQ(run_on_store({"run", "rollback", "h1", "8", "200"}).exit_status, 0);
  ASSERT_EQ(run_on_store({"run", "discard", "h2", "7", "100"}).exit_status, 0);
  EXPECT_EQ(run_on_store({"run", "list"}).out, "");
  EXPECT_EQ(run_on_store({"dump", "--undo"}).out, run_on_store({"dump"}).out);
  EXPECT_EQ(run_on_store({"acl", "list"}).out, "h2\n");
}

TEST_P(ToolTest, LeasesAreListedWithTheirOwnersAndExpiry) {
  init_store();
  EXPECT_EQ(run_on_store({"lease", "list"}).out, "");
  kxadmin_context_t ctx = logged_in();
  ASSERT_NE(ctx, nullptr);
  kxadmin_response_t rsp;
  std::optional<kxadmin_lease> other;
  ASSERT_EQ(kxadmin_context_setruntag(ctx.get(), kxadmin_run_tag{"h1", 8, 200}, rsp), 1);
  ASSERT_EQ(kxadmin_lease_take(ctx.get(), "/B", 600000, other, rsp), 1);
  ASSERT_EQ(kxadmin_context_setruntag(ctx.get(), kxadmin_run_tag{"h2", 7, 100}, rsp), 1);
  ASSERT_EQ(kxadmin_lease_take(ctx.get(), "/A", 1, other, rsp), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // past the expiry of /A
  const std::string listed = run_on_store({"lease", "list"}).out;
  EXPECT_TRUE(std::regex_match(listed, std::regex("lease name=\"/A\" host=\"h2\" pid=7 started=100 expires=[0-9]+ expired\n"
                                                  "lease name=\"/B\" host=\"h1\" pid=8 started=200 expires=[0-9]+\n")))
      << listed;
  EXPECT_EQ(run_on_store({"lease", "list", "x"}).exit_status, 2);
  EXPECT_EQ(run_on_store({"lease"}).exit_status, 2);
}

TEST_F(SqliteToolTest, MigrateBringsAVersion1StoreUp) {
  ASSERT_TRUE(kxtest::make_version1_store(store, "old pw"));
  RunResult r = run_on_store({"dump"});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_NE(r.err.find("kxadmin migrate"), std::string::npos) << r.err;

  r = run_on_store({"migrate"});
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(r.out, "policy store " + store + " migrated from version 1 to version 3\n");
  EXPECT_NE(run_on_store({"dump"}).out.find("acl name=\"brevik-admin\"\n"), std::string::npos);
  r = run_on_store({"migrate"});
  EXPECT_EQ(r.out, "policy store " + store + " has version 3 already\n");

  std::ofstream(dir.file("text")) << "not a store\n";
  r = run({"--store", dir.file("text"), "migrate"});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_NE(r.err.find(dir.file("text")), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Backends, ToolTest, kxtest::all_backends(), kxtest::BackendName());

}  // namespace
