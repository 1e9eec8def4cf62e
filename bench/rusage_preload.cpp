// Preloaded into every process of a benchmark host (through the host's
// /etc/ld.so.preload): at exit each process appends one line with its own
// CPU time (RUSAGE_SELF), the CPU time it spent in password hashing and its
// peak memory, so a benchmark can tell zarncfg's own work from its
// children's and from the store's deliberate slowness.  It also counts the
// calls that make up the durable file work and the children of a process
// (renames, temporary files, spawned children), so that a benchmark can
// measure the floor of that same work.
//
//   <pid> <parent pid> <user µs> <system µs> <hashing µs> <peak KB>
//       <renames> <temporary files> <spawns> <program>
//
// It never changes what a program does: every function is passed through,
// and a failed record is dropped.
#include <crypt.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <stdio.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifndef ZARN_BENCH_RUSAGE_LOG
#error "ZARN_BENCH_RUSAGE_LOG names the file the records are appended to"
#endif

namespace {

long long hashing_ns = 0;
long renames = 0;
long temporary_files = 0;
long spawns = 0;

long long thread_cpu_ns() {
  struct timespec now {};
  (void)clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);  // cannot fail for this clock
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

template <typename Function>
Function next_definition(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Times a call of the real function of that name.
template <typename Function, typename... Args>
char* timed(const char* name, Args... args) {
  static const auto real = next_definition<Function>(name);
  if (real == nullptr) {
    errno = ENOSYS;
    return nullptr;
  }
  const long long start = thread_cpu_ns();
  char* result = real(args...);
  hashing_ns += thread_cpu_ns() - start;
  return result;
}

long long micros(const struct timeval& time) { return static_cast<long long>(time.tv_sec) * 1000000LL + time.tv_usec; }

__attribute__((destructor)) void record_usage() {
  const int saved_errno = errno;
  struct rusage usage {};
  if (getrusage(RUSAGE_SELF, &usage) == 0) {
    char line[512];
    const int length = std::snprintf(line, sizeof line, "%d %d %lld %lld %lld %ld %ld %ld %ld %s\n", getpid(),
                                     getppid(), micros(usage.ru_utime), micros(usage.ru_stime), hashing_ns / 1000,
                                     usage.ru_maxrss, renames, temporary_files, spawns, program_invocation_name);
    const int fd = open(ZARN_BENCH_RUSAGE_LOG, O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0 && length > 0) {
      // One write of one line: records of processes ending together stay whole.
      (void)!write(fd, line, static_cast<std::size_t>(length) < sizeof line ? length : sizeof line - 1);
    }
    if (fd >= 0) close(fd);
  }
  errno = saved_errno;
}

}  // namespace

extern "C" {

char* crypt(const char* phrase, const char* setting) {
  return timed<decltype(&crypt)>("crypt", phrase, setting);
}
char* crypt_r(const char* phrase, const char* setting, struct crypt_data* data) {
  return timed<decltype(&crypt_r)>("crypt_r", phrase, setting, data);
}
char* crypt_rn(const char* phrase, const char* setting, void* data, int size) {
  return timed<decltype(&crypt_rn)>("crypt_rn", phrase, setting, data, size);
}
char* crypt_ra(const char* phrase, const char* setting, void** data, int* size) {
  return timed<decltype(&crypt_ra)>("crypt_ra", phrase, setting, data, size);
}

// The real functions exist in every process (the C library is loaded
// before this library runs any code), so the look-ups never fail.
int rename(const char* from, const char* to) {
  static const auto real = next_definition<decltype(&rename)>("rename");
  ++renames;
  return real(from, to);
}
int mkostemp(char* name_template, int flags) {
  static const auto real = next_definition<decltype(&mkostemp)>("mkostemp");
  ++temporary_files;
  return real(name_template, flags);
}
int posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) {
  static const auto real = next_definition<decltype(&posix_spawn)>("posix_spawn");
  ++spawns;
  return real(pid, path, actions, attributes, argv, envp);
}

}  // extern "C"
