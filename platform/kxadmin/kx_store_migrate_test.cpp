// Opening and migrating a store that version 1 made.
#include "kx_codes.h"
#include "kx_pg_location.h"
#include "kx_store_v1_fixture.h"
#include "kx_test_support.h"

namespace {

using kxtest::TempDir;

// The tables, indexes and their definitions, as the database keeps them.
constexpr const char* SCHEMA_IN_SQLITE =
    "SELECT type || ' ' || name || ' ' || COALESCE(sql, '') FROM sqlite_master ORDER BY name";
constexpr const char* SCHEMA_IN_POSTGRESQL =
    "SELECT table_name || ' ' || column_name || ' ' || data_type || ' ' || is_nullable || ' ' || "
    "COALESCE(collation_name, '') || ' ' || COALESCE(column_default, '') FROM information_schema.columns "
    "WHERE table_schema = current_schema() UNION ALL "
    "SELECT indexname || ' ' || indexdef FROM pg_indexes WHERE schemaname = current_schema() UNION ALL "
    "SELECT conname || ' ' || pg_get_constraintdef(oid) FROM pg_constraint "
    "WHERE connamespace = current_schema()::regnamespace ORDER BY 1";

std::vector<std::string> schema_of(const std::string& path) {
  kx::Outcome error;
  auto store = kx::Store::open(path, error);
  std::vector<std::string> rows;
  if (!store) return {error.message};
  (void)store->query(kx::is_postgresql_location(path) ? SCHEMA_IN_POSTGRESQL : SCHEMA_IN_SQLITE, {},
                     [&](const kx::Row& row) { rows.push_back(row.text(0).value_or("")); });
  return rows;
}

class MigrateTest : public ::testing::TestWithParam<kxtest::Backend> {
 protected:
  void SetUp() override {
    old_path = spot("old.db");
    ASSERT_TRUE(kxtest::make_version1_store(old_path, "old pw"));
  }
  // Another store location on this test's backend.
  std::string spot(const std::string& file) {
    spots.push_back(std::make_unique<kxtest::StoreSpot>(GetParam(), dir.path(), file));
    EXPECT_EQ(spots.back()->problem(), "");
    return spots.back()->location();
  }
  TempDir dir;
  std::vector<std::unique_ptr<kxtest::StoreSpot>> spots;
  std::string old_path;
};

class SqliteMigrateTest : public MigrateTest {};

TEST_P(MigrateTest, AVersion1StoreIsRefusedUntilMigrated) {
  kx::Outcome error;
  EXPECT_EQ(kx::Store::open(old_path, error), nullptr);
  EXPECT_EQ(error.code, kx::CODE_STORE_UNAVAILABLE);
  EXPECT_NE(error.message.find("version 1 (kxadmin migrate"), std::string::npos) << error.message;

  int from = 0;
  const kx::Outcome migrated = kx::Store::migrate(old_path, from);
  ASSERT_TRUE(migrated.ok()) << migrated.message;
  EXPECT_EQ(from, 1);

  auto store = kx::Store::open(old_path, error);
  ASSERT_NE(store, nullptr) << error.message;
  EXPECT_TRUE(store->sec_master_password_matches("old pw"));
  std::string text;
  ASSERT_TRUE(store->dump(text, true).ok());
  EXPECT_EQ(text,
            "meta key=\"schema_version\" value=\"3\"\n"
            "sec_master password_hash=<hash>\n"
            "objectspace name=\"/BREVIK\" type=14 description=\"Zarn product\"\n"
            "protobj name=\"/BREVIK/x\" type=0 description=none acl=\"brevik-admin\"\n"
            "acl name=\"brevik-admin\"\n"
            "acl_user acl=\"brevik-admin\" user=\"zarnd/h1\" perms=\"Tr\"\n"
            "acl_attribute acl=\"brevik-admin\" name=\"mode\" value=none\n"
            "grp name=\"brevik-servers\" dn=\"cn=servers\" cn=\"servers\"\n"
            "grp_member grp=\"brevik-servers\" user=\"zarnd/h1\"\n"
            "user name=\"zarnd/h1\" dn=\"cn=h1\" cn=\"h1\" sn=\"zarnd\" password_hash=<hash> sso=1 account_valid=0\n");
  std::vector<std::string> faults;
  ASSERT_TRUE(store->fault_lines(faults).ok());
  EXPECT_EQ(faults.size(), 1u);
}

TEST_P(MigrateTest, AMigratedStoreHasTheTablesOfANewOne) {
  int from = 0;
  ASSERT_TRUE(kx::Store::migrate(old_path, from).ok());
  kx::Outcome error;
  const std::string new_path = spot("new.db");
  ASSERT_NE(kx::Store::create(new_path, "pw", false, error), nullptr) << error.message;
  EXPECT_EQ(schema_of(old_path), schema_of(new_path));

  // Migrating again changes nothing.
  const std::vector<std::string> once = schema_of(old_path);
  ASSERT_TRUE(kx::Store::migrate(old_path, from).ok());
  EXPECT_EQ(from, kx::SCHEMA_VERSION);
  EXPECT_EQ(schema_of(old_path), once);
}

TEST_P(MigrateTest, AMigratedStoreKeepsUndoRecords) {
  int from = 0;
  ASSERT_TRUE(kx::Store::migrate(old_path, from).ok());
  kxadmin_set_store_path(old_path);
  kxadmin_context_t ctx;
  kxadmin_response_t rsp;
  ASSERT_EQ(kxadmin_context_createdefault("sec_master", "old pw", ctx, rsp), 1);
  kxadmin_set_store_path(std::nullopt);
  kx::Outcome error;
  std::string before;
  ASSERT_TRUE(kx::Store::open(old_path, error)->dump(before).ok());
  const kxadmin_run_tag run{"h1", 1, 2};
  ASSERT_EQ(kxadmin_context_setruntag(ctx.get(), run, rsp), 1);
  ASSERT_EQ(kxadmin_acl_delete(ctx.get(), "brevik-admin", rsp), 1);
  // The references between the rebuilt tables still act on a delete.
  std::string deleted;
  ASSERT_TRUE(kx::Store::open(old_path, error)->dump(deleted).ok());
  EXPECT_EQ(deleted.find("acl_"), std::string::npos) << deleted;
  EXPECT_NE(deleted.find("protobj name=\"/BREVIK/x\" type=0 description=none acl=none\n"), std::string::npos);
  ASSERT_EQ(kxadmin_run_rollback(ctx.get(), run, rsp), 1);
  std::string after;
  ASSERT_TRUE(kx::Store::open(old_path, error)->dump(after, true).ok());
  EXPECT_EQ(after, before);
}

TEST_P(MigrateTest, StoresOfOtherVersionsAreNotTouched) {
  for (const char* version : {"4", "0", "x"}) {
    const std::string path = spot(std::string("v") + version + ".db");
    ASSERT_TRUE(kxtest::make_version1_store(path, "pw", version));
    int from = -1;
    const kx::Outcome r = kx::Store::migrate(path, from);
    EXPECT_EQ(r.code, kx::CODE_STORE_UNAVAILABLE) << version;
    kx::Outcome error;
    EXPECT_EQ(kx::Store::open(path, error), nullptr) << version;
    EXPECT_EQ(error.code, kx::CODE_STORE_UNAVAILABLE);
    EXPECT_EQ(error.message.find("migrate"), std::string::npos) << error.message;
  }
  int from = -1;
  EXPECT_EQ(kx::Store::migrate(dir.file("missing.db"), from).code, kx::CODE_STORE_UNAVAILABLE);
  EXPECT_FALSE(std::filesystem::exists(dir.file("missing.db")));
}

// A version 1 store could hold a reference to nothing (its references are
// checked only by connections that turn them on); migrating it would carry
// the break into the new tables, so the migration is refused whole.
TEST_P(SqliteMigrateTest, AStoreWithABrokenReferenceIsLeftAsItWas) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(old_path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "INSERT INTO acl_user VALUES('brevik-admin', 'nobody', 'r')", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close_v2(db);
  int from = 0;
  const kx::Outcome r = kx::Store::migrate(old_path, from);
  EXPECT_EQ(r.code, kx::CODE_STORE_ERROR);
  EXPECT_NE(r.message.find("references"), std::string::npos) << r.message;
  kx::Outcome error;
  EXPECT_EQ(kx::Store::open(old_path, error), nullptr);
  EXPECT_NE(error.message.find("version 1"), std::string::npos) << error.message;
}

INSTANTIATE_TEST_SUITE_P(Backends, MigrateTest, kxtest::all_backends(), kxtest::BackendName());
INSTANTIATE_TEST_SUITE_P(Sqlite, SqliteMigrateTest, ::testing::Values(kxtest::Backend::sqlite), kxtest::BackendName());

}  // namespace
