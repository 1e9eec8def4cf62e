// Test fixtures shared by the unit tests: a scratch directory that is the
// working directory, the program's catalog, and the log routed into the
// scratch directory; and with ReportCapture, standard output captured too.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "sys_testing.h"
#include "zarncfg_msg.h"

class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(root_ / "log");
    std::filesystem::create_directory(work_dir());
    previous_dir_ = std::filesystem::current_path();
    std::filesystem::current_path(work_dir());
    vd_status_t status = 0;
    vd_msg_define_msg_table(zarncfg_svc_msg_table, zarncfg_svc_msg_table.size(), status);
    ASSERT_EQ(status, 0u);
    for (const char* severity : {"NOTICE", "FATAL", "ERROR", "WARNING"}) {
      vd_svc_routing(std::string(severity) + ":TEXTFILE:" + log_path().string(), status);
      ASSERT_EQ(status, 0u);
    }
  }
  void TearDown() override { std::filesystem::current_path(previous_dir_); }

  std::filesystem::path work_dir() const { return root_ / "work"; }
  std::filesystem::path log_path() const { return root_ / "log" / "test.log"; }
  std::string log_text() const {
    std::ifstream in(log_path());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // A file outside the working directory.
  std::filesystem::path make_file(const std::string& name, const std::string& content = "x\n") const {
    const auto path = root_ / name;
    std::ofstream(path) << content;
    return path;
  }

  const sys::ScratchDir scratch_{"zarncfg-test"};
  const std::filesystem::path root_ = scratch_.path();
  std::filesystem::path previous_dir_;
};

// Also captures standard output, so that a test can compare what a step
// printed.
class ReportCapture : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    ::testing::internal::CaptureStdout();
    capturing_ = true;
  }
  void TearDown() override {
    // The test's own failure reports went to standard output too.
    if (capturing_ && HasFailure()) std::fputs(printed().c_str(), stderr);
    if (capturing_) ::testing::internal::GetCapturedStdout();
    ScratchDirTest::TearDown();
  }

  // Everything printed since the test began (or since the last call).
  std::string printed() {
    std::fflush(stdout);
    std::string text = ::testing::internal::GetCapturedStdout();
    ::testing::internal::CaptureStdout();
    return text;
  }

 private:
  bool capturing_ = false;
};

// Standard input read from a file while it lives.
class StdinFrom {
 public:
  explicit StdinFrom(const char* path) : saved_(fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3)) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    dup2(fd, STDIN_FILENO);
    close(fd);
  }
  ~StdinFrom() {
    dup2(saved_, STDIN_FILENO);
    close(saved_);
    std::clearerr(stdin);
  }
  StdinFrom(const StdinFrom&) = delete;
  StdinFrom& operator=(const StdinFrom&) = delete;

 private:
  int saved_;
};
