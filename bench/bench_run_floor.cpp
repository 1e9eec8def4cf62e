#include "bench_run_floor.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "bench_support.h"

extern char** environ;

namespace bench {
namespace {

namespace fs = std::filesystem;

void check(bool ok, const std::string& what) {
  if (!ok) fail(what);
}

void write_atomically(const fs::path& dir, const std::string& target) {
  std::string name = (dir / ".floor.XXXXXX").string();
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  check(fd >= 0, "mkostemp in " + dir.string());
  static constexpr char kLine[] = "zarncfg-run-record 1\nrun host 4242 1765000000\n";
  check(::write(fd, kLine, sizeof kLine - 1) == static_cast<ssize_t>(sizeof kLine - 1), "write " + name);
  check(::fsync(fd) == 0 && ::close(fd) == 0, "fsync " + name);
  check(::rename(name.c_str(), target.c_str()) == 0, "rename " + name);
  const int folder = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  check(folder >= 0 && ::fsync(folder) == 0 && ::close(folder) == 0, "fsync " + dir.string());
}

double children_cpu_ms() {
  struct rusage usage {};
  getrusage(RUSAGE_CHILDREN, &usage);
  const auto ms = [](const timeval& time) { return static_cast<double>(time.tv_sec) * 1e3 + time.tv_usec / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

}  // namespace

double atomic_writes_cpu_ms(const fs::path& dir, long count) {
  const std::string target = (dir / "floor.record").string();
  const Stopwatch watch;
  for (long i = 0; i < count; ++i) write_atomically(dir, target);
  const double used = watch.cpu_seconds() * 1000;
  fs::remove(target);
  return used;
}

double temporary_files_cpu_ms(const fs::path& dir, long count) {
  const Stopwatch watch;
  for (long i = 0; i < count; ++i) {
    std::string name = (dir / "XXXXXX").string();
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    check(fd >= 0 && ::close(fd) == 0 && ::unlink(name.c_str()) == 0, "temporary file in " + dir.string());
  }
  return watch.cpu_seconds() * 1000;
}

SpawnFloor spawns_cpu_ms(long count) {
  char program[] = "/bin/true";
  char* const argv[] = {program, nullptr};
  const double children_before = children_cpu_ms();
  const Stopwatch watch;
  for (long i = 0; i < count; ++i) {
    pid_t pid = 0;
    int status = 0;
    check(::posix_spawn(&pid, program, nullptr, nullptr, argv, environ) == 0, "posix_spawn /bin/true");
    check(::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0, "/bin/true");
  }
  SpawnFloor floor;
  floor.parent_ms = watch.cpu_seconds() * 1000;
  if (count > 0) floor.per_child_ms = (children_cpu_ms() - children_before) / static_cast<double>(count);
  return floor;
}

}  // namespace bench
