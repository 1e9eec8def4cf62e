// A fresh policy store in a scratch directory, the context logged in to
// it, and the program's log routed next to it, for the policy tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "kx_store.h"
#include "kxadmin_internal.h"
#include "sys_testing.h"
#include "zarncfg_kxcommon.h"
#include "zarncfg_strings.h"

class KxStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vd_status_t status = 0;
    vd_msg_define_msg_table(zarncfg_svc_msg_table, zarncfg_svc_msg_table.size(), status);
    for (const char* severity : {"NOTICE", "FATAL", "ERROR", "WARNING"}) {
      vd_svc_routing(std::string(severity) + ":TEXTFILE:" + log_path(), status);
    }
    kx::Outcome error;
    ASSERT_TRUE(kx::Store::create(store_path(), "secret", false, error)) << error.message;
    kxadmin_set_store_path(store_path());
    record_[IDX_SEC_MASTER_PWD].value = "secret";
    record_[IDX_BRANCH].value = "b1";
    record_[IDX_SUFFIX].value = "o=zarn,c=us";
    vd_msgid_t login = 0;
    testing::internal::CaptureStdout();
    zarncfg_initialize_kxadmin_context(record_, "zarncfg", login);
    stdout_text();
    ASSERT_EQ(login, 0u);
    zarncfg_kxadmin_reset_undo_stack();
    zarncfg_kxadmin_set_password_source([n = 0]() mutable { return "Pw-" + std::to_string(++n) + "-x9Q"; });
  }

  void TearDown() override {
    // Every message of the run got the inserts its text asks for.
    const std::string log = log_text();
    EXPECT_EQ(log.find(VD_BAD_INSERT), std::string::npos) << log;
    EXPECT_EQ(log.find(VD_MISSING_INSERT), std::string::npos) << log;
    ctx.reset();
    kxadmin_set_store_path(std::nullopt);
    zarncfg_kxadmin_reset_undo_stack();
    zarncfg_kxadmin_set_password_source({});
  }

  std::string store_path() const { return dir_ + "/policy.db"; }
  std::string log_path() const { return dir_ + "/msg__zarncfg.log"; }

  static std::string stdout_text() {
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
  }

  std::string log_text() const {
    std::ifstream in(log_path());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::size_t log_size() const { return log_text().size(); }

  // The log lines that start with the prefix, in order, from a log size on.
  std::vector<std::string> log_lines(const std::string& prefix, std::size_t from = 0) const {
    std::vector<std::string> lines;
    std::istringstream in(log_text().substr(from));
    for (std::string line; std::getline(in, line);) {
      if (line.starts_with(prefix)) lines.push_back(line);
    }
    return lines;
  }

  std::string write_file(const std::string& name, const std::string& content) const {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << content;
    return path;
  }

  // Runs a change or a query on the store, as another administrator would.
  template <class F>
  void on_store(F&& f) {
    kx::Outcome error;
    auto store = kx::Store::open(store_path(), error);
    ASSERT_TRUE(store) << error.message;
    const kx::Outcome r = store->write([&] { return f(*store); });
    ASSERT_TRUE(r.ok()) << r.message;
  }

  // The whole policy as text (the store reads it in one transaction).
  std::string dump() {
    kx::Outcome error;
    auto store = kx::Store::open(store_path(), error);
    std::string text;
    if (store) error = store->dump(text);
    EXPECT_TRUE(store && error.ok()) << error.message;
    return text;
  }

  std::vector<std::string> acl_entries(const std::string& acl) {
    std::vector<std::string> lines;
    on_store([&](kx::Store& s) { return s.acl_entries(acl, lines); });
    return lines;
  }

  // A line as a command file would give it: cleaned, quotes grouped, parsed.
  static int apply(std::string line) {
    line = zarncfg_kxadmin_clean_line(line);
    if (zarncfg_quotes_to_word(line) == 0) return -1;
    AdminCommand cmd;
    if (zarncfg_parse_kxadmin(cmd, line, "test") != 0) return -1;
    return zarncfg_execute_kxadmin_command(cmd);
  }

  const sys::ScratchDir scratch_{"kxcommon"};
  const std::string dir_ = scratch_.path().string();
  ConfigRecord record_{};
};
