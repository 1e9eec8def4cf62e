// A simulated host for benchmarks: the staged product with a policy store
// and a CA certificate, and every process in it recording its own CPU time
// when it ends (see rusage_preload.cpp), so that zarncfg's own work is told
// from its children's.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/run.h"

namespace bench {

inline constexpr const char* kPassword = "Secr3tMaster";
inline constexpr const char* kCaCert = "/etc/ssl/zarn-ca.pem";
inline constexpr const char* kZarncfg = "/opt/zarn/bin/zarncfg";

// One process's record: its own CPU time, the part of it spent hashing
// passwords, its peak memory, and how many renames, temporary files and
// spawned children its durable file work and its commands took.
struct Usage {
  long pid = 0;
  long parent = 0;
  double user_ms = 0;
  double system_ms = 0;
  double hashing_ms = 0;
  double peak_mb = 0;
  long renames = 0;
  long temporary_files = 0;
  long spawns = 0;
  std::string program;

  double cpu_ms() const { return user_ms + system_ms; }
};

struct RunUsage {
  Usage zarncfg;
  double children_cpu_ms = 0;
};

class BenchHost {
 public:
  // Lays the host out under /tmp and gives it a store and a certificate;
  // with `zarncfg`, that build of the program in place of the staged one.
  explicit BenchHost(const std::optional<std::filesystem::path>& zarncfg = std::nullopt);
  ~BenchHost();
  BenchHost(const BenchHost&) = delete;
  BenchHost& operator=(const BenchHost&) = delete;

  std::filesystem::path path(std::string_view in_host) const;
  void write(std::string_view in_host, const std::string& text) const;
  std::string read(std::string_view in_host) const;
  hostsim::RunResult run(const std::vector<std::string>& argv,
                         std::chrono::seconds timeout = hostsim::kDefaultRunTimeout) const;
  // Runs zarncfg with every process of the host recording its usage, and
  // returns what zarncfg and its children used.  Throws on a failed run.
  RunUsage zarncfg(const std::vector<std::string>& args,
                   std::chrono::seconds timeout = hostsim::kDefaultRunTimeout) const;

 private:
  void prepare(const std::optional<std::filesystem::path>& zarncfg) const;
  void remove() const;

  std::filesystem::path dir_;
};

// The arguments of a first configuration.
std::vector<std::string> first_configuration_args();

}  // namespace bench
