// What every benchmark shares: a scratch folder, a clock that also reads
// the process's CPU time, and the figure/floor/ratio line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// A fresh folder under /tmp (or $TMPDIR), removed with everything in it at
// the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  bool ok() const { return !path_.empty(); }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

// Wall and CPU time (user + system of this process) since construction.
class Stopwatch {
 public:
  Stopwatch();
  double seconds() const;
  double cpu_seconds() const;

 private:
  double wall_start_;
  double cpu_start_;
};

// Writes a message and ends the benchmark: a figure from a failed run
// would mean nothing.
[[noreturn]] void fail(const std::string& what);

// The middle value (the upper one of an even count); 0 for none.
double median(std::vector<double> values);

// One result line: the figure, the floor measured in the same run, and
// figure / floor.
void print_row(std::string_view size, std::string_view work, double figure, double floor, std::string_view unit);

}  // namespace bench
