#include "kx_store_location.h"

#include <fstream>

#include "kx_test_support.h"

namespace {

using kxtest::TempDir;

TEST(StoreLocationTest, TakesTheStoreEntryOfTheKxadminStanza) {
  struct Case {
    const char* conf;  // none: no file at all
    std::string expected;
  };
  const std::string fallback(kx::DEFAULT_STORE_PATH);
  const std::vector<Case> cases{
      {nullptr, fallback},
      {"[kxadmin]\nstore = /srv/policy/p.db\n", "/srv/policy/p.db"},
      {"[other]\nstore = /wrong\n[kxadmin]\nlog = x\n", fallback},
      {"[kxadmin]\nstore =\n", fallback},
      {"[kxadmin]\nstore\n", fallback},
      {"[kxadmin\nbroken", fallback},
  };
  for (const Case& c : cases) {
    TempDir dir;
    if (c.conf != nullptr) std::ofstream(dir.file("vd.conf")) << c.conf;
    EXPECT_EQ(kx::configured_store_path(dir.file("vd.conf")), c.expected) << (c.conf ? c.conf : "(no file)");
  }
}

TEST(StoreLocationTest, AnExplicitPathWinsUntilCleared) {
  kxadmin_set_store_path("/tmp/elsewhere.db");
  EXPECT_EQ(kxadmin_store_path(), "/tmp/elsewhere.db");
  kxadmin_set_store_path(std::nullopt);
  EXPECT_EQ(kxadmin_store_path(), kx::configured_store_path());
}

}  // namespace
