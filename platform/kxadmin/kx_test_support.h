// Shared by the kxadmin tests: temporary directories and a store with a
// logged-in context.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "kx_store.h"
#include "kxadmin.h"
#include "kxadmin_internal.h"

namespace kxtest {

inline constexpr const char* SEC_MASTER_PWD = "S3cret pass";

class TempDir {
 public:
  TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "kxadmin-test-XXXXXX").string();
    if (mkdtemp(templ.data()) != nullptr) path_ = templ;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool ok() const { return !path_.empty(); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The entries of an ACL as "kxadmin acl show" prints them.
inline std::vector<std::string> acl_lines(const std::string& path, std::string_view acl) {
  kx::Outcome error;
  auto store = kx::Store::open(path, error);
  std::vector<std::string> lines;
  if (store) (void)store->acl_entries(acl, lines);
  return lines;
}

// A fresh store, the library pointed at it, and a sec_master context.
class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.ok());
    kx::Outcome error;
    ASSERT_NE(kx::Store::create(path, SEC_MASTER_PWD, false, error), nullptr) << error.message;
    kxadmin_set_store_path(path);
    ASSERT_EQ(kxadmin_context_createdefault("sec_master", SEC_MASTER_PWD, ctx, rsp), 1);
  }
  void TearDown() override { kxadmin_set_store_path(std::nullopt); }

  std::uint32_t code() const { return kxadmin_response_getcode(rsp.get(), 0); }
  // The policy, and with `undo` the runs and undo records after it.
  std::string dump(bool undo = false) {
    kx::Outcome error;
    auto store = kx::Store::open(path, error);
    std::string text;
    if (store) error = store->dump(text, undo);
    EXPECT_TRUE(store && error.ok()) << error.message;
    return text;
  }

  TempDir dir;
  std::string path = dir.file("policy.db");
  kxadmin_context_t ctx;
  kxadmin_response_t rsp;
};

}  // namespace kxtest
