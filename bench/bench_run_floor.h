// Floors of the work a run does besides its store transactions, measured
// by this process on the same file system: the durable writes of whole
// files, the temporary files of its commands' output and the children it
// starts.  Each is the least a program can do for that work; the figures
// are CPU time of this process (for children: of them too).
#pragma once

#include <filesystem>

namespace bench {

// `count` files written whole and atomically in `dir`: a temporary file
// with a line of text, fsync, rename over the target, fsync of the folder.
double atomic_writes_cpu_ms(const std::filesystem::path& dir, long count);

// `count` temporary files made in `dir` (mkostemp) and removed.
double temporary_files_cpu_ms(const std::filesystem::path& dir, long count);

struct SpawnFloor {
  double parent_ms = 0;     // starting and waiting for the children
  double per_child_ms = 0;  // what one child (/bin/true) costs itself: a process's start and end
};
// `count` children of /bin/true, started with posix_spawn and waited for.
SpawnFloor spawns_cpu_ms(long count);

}  // namespace bench
