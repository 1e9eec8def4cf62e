// Shared by the kxadmin tests: the scratch directory and a store with a
// logged-in context.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "kx_store.h"
#include "kx_test_stores.h"
#include "kxadmin.h"
#include "kxadmin_internal.h"
#include "sys_testing.h"

namespace kxtest {

inline constexpr const char* SEC_MASTER_PWD = "S3cret pass";

using TempDir = sys::ScratchDir;

// The entries of an ACL as "kxadmin acl show" prints them.
inline std::vector<std::string> acl_lines(const std::string& path, std::string_view acl) {
  kx::Outcome error;
  auto store = kx::Store::open(path, error);
  std::vector<std::string> lines;
  if (store) (void)store->acl_entries(acl, lines);
  return lines;
}

// A fresh store on the backend a subclass chooses, the library pointed at
// it, and a sec_master context.
class StoreTestBase : public ::testing::Test {
 protected:
  virtual Backend backend() const = 0;

  void SetUp() override {
    spot = std::make_unique<StoreSpot>(backend(), dir.path(), "policy.db");
    ASSERT_EQ(spot->problem(), "");
    path = spot->location();
    kx::Outcome error;
    ASSERT_NE(kx::Store::create(path, SEC_MASTER_PWD, false, error), nullptr) << error.message;
    kxadmin_set_store_path(path);
    ASSERT_EQ(kxadmin_context_createdefault("sec_master", SEC_MASTER_PWD, ctx, rsp), 1);
  }
  void TearDown() override {
    kxadmin_set_store_path(std::nullopt);
    ctx.reset();
  }

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
  std::unique_ptr<StoreSpot> spot;
  std::string path;
  kxadmin_context_t ctx;
  kxadmin_response_t rsp;
};

// A fixture run on each backend: INSTANTIATE_TEST_SUITE_P(Backends, Suite,
// kxtest::all_backends(), kxtest::BackendName()).
template <class Fixture>
class OnEachBackend : public Fixture, public ::testing::WithParamInterface<Backend> {
 protected:
  Backend backend() const override { return this->GetParam(); }
};
using StoreTest = OnEachBackend<StoreTestBase>;

// A fixture run on each backend for each row of a table:
// INSTANTIATE_TEST_SUITE_P(Rows, Suite, ::testing::Combine(kxtest::all_backends(),
// ::testing::Range<std::size_t>(0, N)), kxtest::BackendAndRowName()).
template <class Fixture>
class OnEachBackendAndRow : public Fixture, public ::testing::WithParamInterface<std::tuple<Backend, std::size_t>> {
 protected:
  Backend backend() const override { return std::get<0>(this->GetParam()); }
  std::size_t row() const { return std::get<1>(this->GetParam()); }
};
struct BackendAndRowName {
  std::string operator()(const ::testing::TestParamInfo<std::tuple<Backend, std::size_t>>& info) const {
    return backend_name(std::get<0>(info.param)) + "_" + std::to_string(std::get<1>(info.param));
  }
};

}  // namespace kxtest
