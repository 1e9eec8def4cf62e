#include "bench_host.h"

#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "hostsim/create.h"
#include "hostsim/remove.h"

namespace bench {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPreloadInHost = "/opt/zarnbench/librusage.so";

// Thrown, so that the host is still removed on the way out.
[[noreturn]] void fail(const std::string& what, const hostsim::RunResult& result) {
  const std::string out = result.out.size() > 2000 ? "..." + result.out.substr(result.out.size() - 2000) : result.out;
  throw std::runtime_error(what + " ended with " + std::to_string(result.exit_status) + "\n" + out + result.err);
}

std::vector<Usage> parse_records(const std::string& text) {
  std::vector<Usage> records;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    Usage usage;
    long long user = 0, system = 0, hashing = 0, peak = 0;
    if (!(fields >> usage.pid >> usage.parent >> user >> system >> hashing >> peak >> usage.renames >>
          usage.temporary_files >> usage.spawns >> usage.program)) {
      continue;
    }
    usage.user_ms = static_cast<double>(user) / 1000;
    usage.system_ms = static_cast<double>(system) / 1000;
    usage.hashing_ms = static_cast<double>(hashing) / 1000;
    usage.peak_mb = static_cast<double>(peak) / 1024;
    records.push_back(usage);
  }
  return records;
}

}  // namespace

BenchHost::BenchHost(const std::optional<fs::path>& zarncfg) {
  std::string pattern = "/tmp/zarn-bench.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp " + pattern);
  dir_ = pattern;
  try {
    prepare(zarncfg);
  } catch (...) {
    remove();
    throw;
  }
}

void BenchHost::prepare(const std::optional<fs::path>& zarncfg) const {
  hostsim::create_host(dir_, hostsim::HostOptions{});
  fs::create_directories(path("/opt/zarnbench"));
  fs::copy_file(ZARN_BENCH_PRELOAD, path(kPreloadInHost));
  if (zarncfg) fs::copy_file(*zarncfg, path(kZarncfg), fs::copy_options::overwrite_existing);
  const auto init = run({"/opt/Varden/bin/kxadmin", "init", "--sec-master-pwd", kPassword});
  if (init.exit_status != 0) fail("kxadmin init", init);
  write(kCaCert, "-----BEGIN CERTIFICATE-----\nZARN BENCH CA\n-----END CERTIFICATE-----\n");
}

BenchHost::~BenchHost() { remove(); }

void BenchHost::remove() const {
  try {
    hostsim::kill_processes_in_host(dir_);
    hostsim::remove_host(dir_);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "cannot remove the host %s: %s\n", dir_.c_str(), e.what());
  }
}

fs::path BenchHost::path(std::string_view in_host) const { return dir_ / fs::path(in_host).relative_path(); }

void BenchHost::write(std::string_view in_host, const std::string& text) const {
  fs::create_directories(path(in_host).parent_path());
  std::ofstream out(path(in_host), std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path(in_host).string());
}

std::string BenchHost::read(std::string_view in_host) const {
  std::ifstream in(path(in_host), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

hostsim::RunResult BenchHost::run(const std::vector<std::string>& argv, std::chrono::seconds timeout) const {
  hostsim::RunOptions options;
  options.timeout = timeout;
  return hostsim::run_in_host(dir_, argv, options);
}

RunUsage BenchHost::zarncfg(const std::vector<std::string>& args, std::chrono::seconds timeout) const {
  write(ZARN_BENCH_RUSAGE_LOG, "");
  fs::permissions(path(ZARN_BENCH_RUSAGE_LOG), fs::perms::all & ~(fs::perms::owner_exec | fs::perms::group_exec |
                                                                   fs::perms::others_exec));
  write("/etc/ld.so.preload", std::string(kPreloadInHost) + "\n");
  std::vector<std::string> argv = {kZarncfg};
  argv.insert(argv.end(), args.begin(), args.end());
  const auto result = run(argv, timeout);
  fs::remove(path("/etc/ld.so.preload"));
  if (result.exit_status != 0) fail("zarncfg", result);
  // The run's command is zarncfg itself: every other record is one of
  // its children or theirs.
  RunUsage usage;
  for (const Usage& record : parse_records(read(ZARN_BENCH_RUSAGE_LOG))) {
    if (record.program == kZarncfg) {
      usage.zarncfg = record;
    } else {
      usage.children_cpu_ms += record.cpu_ms();
    }
  }
  return usage;
}

std::vector<std::string> first_configuration_args() {
  return {"-ldap_ssl_cacert", kCaCert, "-branch", "branch1", "-suffix", "o=zarn", "-sec_master_pwd", kPassword};
}

}  // namespace bench
