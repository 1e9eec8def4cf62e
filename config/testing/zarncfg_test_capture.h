// Test support: routes the program's log into a temporary file and
// captures standard output, so that a test can compare what a pass reports.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "zarncfg_msg.h"

class ReportCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zarncfg-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    vd_status_t status = 1;
    vd_msg_define_msg_table(zarncfg_svc_msg_table, zarncfg_svc_msg_table.size(), status);
    ASSERT_EQ(status, 0u);
    for (const char* severity : {"NOTICE", "ERROR", "WARNING", "FATAL"}) {
      vd_svc_routing(std::string(severity) + ":TEXTFILE:" + (dir_ / "test.log").string(), status);
      ASSERT_EQ(status, 0u);
    }
    ::testing::internal::CaptureStdout();
    capturing_ = true;
  }

  void TearDown() override {
    if (capturing_) ::testing::internal::GetCapturedStdout();
    std::filesystem::remove_all(dir_);
  }

  // Everything printed since the test began (or since the last call).
  std::string printed() {
    std::string text = ::testing::internal::GetCapturedStdout();
    ::testing::internal::CaptureStdout();
    return text;
  }

  std::string log_text() const {
    std::ifstream in(dir_ / "test.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path dir_;

 private:
  bool capturing_ = false;
};
