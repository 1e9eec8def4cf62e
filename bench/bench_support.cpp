#include "bench_support.h"

#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace bench {
namespace {

double now(clockid_t clock) {
  timespec ts{};
  clock_gettime(clock, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double cpu_now() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto secs = [](const timeval& tv) { return static_cast<double>(tv.tv_sec) + tv.tv_usec / 1e6; };
  return secs(usage.ru_utime) + secs(usage.ru_stime);
}

}  // namespace

// $TMPDIR may name another file system (to compare disks); /tmp otherwise.
ScratchDir::ScratchDir() {
  const char* base = getenv("TMPDIR");
  std::string templ = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/zarn-bench-XXXXXX";
  if (mkdtemp(templ.data()) != nullptr) path_ = templ;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

Stopwatch::Stopwatch() : wall_start_(now(CLOCK_MONOTONIC)), cpu_start_(cpu_now()) {}

double Stopwatch::seconds() const { return now(CLOCK_MONOTONIC) - wall_start_; }

double Stopwatch::cpu_seconds() const { return cpu_now() - cpu_start_; }

void fail(const std::string& what) {
  std::fprintf(stderr, "benchmark failed: %s\n", what.c_str());
  std::exit(1);
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void print_row(std::string_view size, std::string_view work, double figure, double floor, std::string_view unit) {
  std::printf("%-8.*s %-22.*s %12.1f %12.1f %-10.*s %6.2fx\n", static_cast<int>(size.size()), size.data(),
              static_cast<int>(work.size()), work.data(), figure, floor, static_cast<int>(unit.size()), unit.data(),
              floor > 0 ? figure / floor : 0.0);
  std::fflush(stdout);
}

}  // namespace bench
