#include "kx_pg_library.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <map>
#include <memory>
#include <string>

namespace {

TEST(PgLibraryTest, AFileThatCannotBeLoadedSaysWhy) {
  const kx::PgLibrary missing = kx::load_pg_library("libpq-missing.so.0");
  EXPECT_EQ(missing.handle, nullptr);
  EXPECT_EQ(missing.error.rfind("cannot load libpq-missing.so.0: ", 0), 0U) << missing.error;
  EXPECT_NE(kx::pg_library().handle, nullptr) << kx::pg_library().error;
}

// The calls pass through the program's own PQ functions to libpq's, results
// and the messages to free included.
TEST(PgLibraryTest, CallsReachLibpq) {
  char* error = nullptr;
  std::unique_ptr<PQconninfoOption, void (*)(PQconninfoOption*)> options(
      PQconninfoParse("postgresql:///policy?host=/run/postgresql", &error), PQconninfoFree);
  ASSERT_TRUE(options);
  std::map<std::string, std::string> set;
  for (const PQconninfoOption* option = options.get(); option->keyword != nullptr; ++option) {
    if (option->val != nullptr) set[option->keyword] = option->val;
  }
  EXPECT_EQ(set["dbname"], "policy");
  EXPECT_EQ(set["host"], "/run/postgresql");

  EXPECT_EQ(PQconninfoParse("postgresql://[::1", &error), nullptr);
  ASSERT_NE(error, nullptr);
  EXPECT_NE(std::string(error).find("IPv6 host address"), std::string::npos) << error;
  PQfreemem(error);
}

}  // namespace
