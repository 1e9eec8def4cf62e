// The harness of the end-to-end tests: each test gets a fresh simulated host
// with the staged product installed, runs the installed program in it and
// looks at the files it left.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "hostsim/create.h"
#include "hostsim/enter.h"
#include "hostsim/pty_session.h"
#include "hostsim/remove.h"
#include "hostsim/run.h"
#include "sys_testing.h"

namespace e2e {

inline constexpr const char* kZarncfg = "/opt/zarn/bin/zarncfg";
inline constexpr const char* kZarncfgLog = "/var/zarn/log/msg__zarncfg.log";

// A log without its record header lines (those starting with a
// "YYYY-MM-DD HH:MM:SS.mmm UTC " timestamp), so tests can compare the rest.
std::string strip_log_headers(std::string_view log);

// A host in a fresh directory under /tmp, removed with everything in it.
class TempHost {
 public:
  explicit TempHost(const hostsim::HostOptions& options = {});
  ~TempHost();
  TempHost(const TempHost&) = delete;
  TempHost& operator=(const TempHost&) = delete;

  const std::filesystem::path& dir() const { return dir_; }
  // Where the host's absolute path `in_host` (e.g. "/var/zarn/log") lies.
  std::filesystem::path path(std::string_view in_host) const;

  hostsim::RunResult run(const std::vector<std::string>& argv, const hostsim::RunOptions& options = {}) const;
  // /bin/sh -c script
  hostsim::RunResult sh(const std::string& script, const hostsim::RunOptions& options = {}) const;
  // The installed configuration program with `args`.
  hostsim::RunResult zarncfg(const std::vector<std::string>& args, const hostsim::RunOptions& options = {}) const;

  bool exists(std::string_view in_host) const;
  std::string read_file(std::string_view in_host) const;
  // Replaces the file, creating missing parent directories.
  void write_file(std::string_view in_host, std::string_view content, mode_t mode = 0644) const;
  // The message log of the configuration program, without header lines.
  std::string log_text() const;

 private:
  std::filesystem::path dir_;
};

// A fixture with one fresh host per test.  Override host_options() for a
// host of another kind; make further TempHosts for tests that need several.
class HostTest : public ::testing::Test {
 protected:
  virtual hostsim::HostOptions host_options() const { return {}; }

  void SetUp() override { host_.emplace(host_options()); }
  void TearDown() override { host_.reset(); }

  TempHost& host() { return *host_; }

  hostsim::RunResult run(const std::vector<std::string>& argv, const hostsim::RunOptions& options = {}) {
    return host().run(argv, options);
  }
  hostsim::RunResult sh(const std::string& script, const hostsim::RunOptions& options = {}) {
    return host().sh(script, options);
  }
  hostsim::RunResult zarncfg(const std::vector<std::string>& args, const hostsim::RunOptions& options = {}) {
    return host().zarncfg(args, options);
  }
  std::filesystem::path path(std::string_view in_host) { return host().path(in_host); }
  std::string read_file(std::string_view in_host) { return host().read_file(in_host); }
  void write_file(std::string_view in_host, std::string_view content, mode_t mode = 0644) {
    host().write_file(in_host, content, mode);
  }
  std::string log_text() { return host().log_text(); }

 private:
  std::optional<TempHost> host_;
};

// Options of a run, for brevity in tests.  (g++ 12 warns about designated
// initializers that leave out members, even members with defaults.)
hostsim::RunOptions as_user(std::string user);
hostsim::RunOptions with_stdin(std::string data);
hostsim::RunOptions in_dir(std::string cwd);
hostsim::RunOptions with_timeout(std::chrono::seconds timeout);

// The lines of a text, without their newlines.
std::vector<std::string> lines_of(const std::string& text);

// Prints a run's output when an assertion about it fails.
std::string describe(const hostsim::RunResult& result);

// Makes `zarnd` of the host kill (SIGKILL) the zarncfg that starts it, as a
// crash in the middle of a first configuration would, after its whole
// policy; false when the real one cannot be kept.  put_back_zarnd undoes it.
[[nodiscard]] bool make_zarnd_kill_zarncfg(const TempHost& host);
[[nodiscard]] bool put_back_zarnd(const TempHost& host);

}  // namespace e2e
