#include "sys_child_spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <vector>

#include "sys_fd.h"
#include "sys_signals.h"

namespace sys {
namespace {

// The attributes and file actions, released on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    attributes_ok_ = ::posix_spawnattr_init(&attributes_) == 0;
    actions_ok_ = ::posix_spawn_file_actions_init(&actions_) == 0;
  }
  ~SpawnSetup() {
    if (attributes_ok_) (void)::posix_spawnattr_destroy(&attributes_);  // cannot fail on an initialised object
    if (actions_ok_) (void)::posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  bool ready() const { return attributes_ok_ && actions_ok_; }
  posix_spawnattr_t* attributes() { return &attributes_; }
  posix_spawn_file_actions_t* actions() { return &actions_; }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
  bool attributes_ok_ = false;
  bool actions_ok_ = false;
};

// The C library refuses to add the signals it keeps for itself (two of the
// first real-time ones) to a set, and its posix_spawn sets those ignored in
// the child unless they are in the set put back to default; ignored, they
// would stay so across the exec, where a fork and exec leaves them at their
// default.  So they are put in the set bit by bit (bit n - 1 of the set's
// words for signal n, the kernel's layout).
void add_internal_signal(sigset_t& set, int signal_number) {
  constexpr int kBitsPerWord = 8 * sizeof set.__val[0];
  set.__val[(signal_number - 1) / kBitsPerWord] |= 1UL << ((signal_number - 1) % kBitsPerWord);
}

// Every signal back to its default disposition but those inherited as
// ignored, an empty mask, and a group of its own when signals are passed on.
int set_attributes(posix_spawnattr_t* attributes, bool own_group) {
  sigset_t to_default;
  sigemptyset(&to_default);
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    if (!set_to_default_in_child(signal_number)) continue;
    if (sigaddset(&to_default, signal_number) != 0) add_internal_signal(to_default, signal_number);
  }
  sigset_t none;
  sigemptyset(&none);
  short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (own_group) flags |= POSIX_SPAWN_SETPGROUP;
  if (int error = ::posix_spawnattr_setsigdefault(attributes, &to_default)) return error;
  if (int error = ::posix_spawnattr_setsigmask(attributes, &none)) return error;
  if (int error = ::posix_spawnattr_setpgroup(attributes, 0)) return error;
  return ::posix_spawnattr_setflags(attributes, flags);
}

// A source among 0 to 2 that is not its own target could be overwritten by
// an earlier dup2 in the child, so the child is handed a copy above them
// (close-on-exec, held until the spawn has returned).
int add_standard_streams(posix_spawn_file_actions_t* actions, const ChildSpec& setup, std::array<UniqueFd, 3>& copies) {
  const std::array<int, 3> sources = {setup.stdin_fd, setup.stdout_fd, setup.stderr_fd};
  for (int target = 0; target < 3; ++target) {
    int source = sources[target];
    if (source >= 0 && source < 3 && source != target) {
      copies[target] = UniqueFd(::fcntl(source, F_DUPFD_CLOEXEC, 3));
      if (!copies[target].valid()) return errno;
      source = copies[target].get();
    }
    // A dup2 onto itself clears the close-on-exec flag, as one onto another number does.
    if (int error = ::posix_spawn_file_actions_adddup2(actions, source, target)) return error;
  }
  return 0;
}

// Closes every descriptor from 3 up but the kept ones: one by one below
// the highest kept (closing one that is not open is no error there), all
// at once above it.
int add_close_all_but(posix_spawn_file_actions_t* actions, std::vector<int> kept_fds) {
  std::sort(kept_fds.begin(), kept_fds.end());
  int fd = 3;
  for (const int kept : kept_fds) {
    for (; fd < kept; ++fd) {
      if (int error = ::posix_spawn_file_actions_addclose(actions, fd)) return error;
    }
    fd = std::max(fd, kept + 1);
  }
  return ::posix_spawn_file_actions_addclosefrom_np(actions, fd);
}

int add_descriptors(posix_spawn_file_actions_t* actions, const ChildSpec& setup, std::array<UniqueFd, 3>& copies) {
  if (int error = add_standard_streams(actions, setup, copies)) return error;
  for (const int fd : setup.inherited_fds) {
    if (int error = ::posix_spawn_file_actions_adddup2(actions, fd, fd)) return error;
  }
  return setup.close_other_fds ? add_close_all_but(actions, setup.inherited_fds) : 0;
}

}  // namespace

bool set_to_default_in_child(int signal_number) {
  return signal_number != SIGKILL && signal_number != SIGSTOP && !inherited_as_ignored(signal_number);
}

bool no_process_made(int error) { return error == EAGAIN || error == ENOMEM; }

Spawned spawn_child(const ChildSpec& setup) {
  SpawnSetup spawn;
  if (!spawn.ready()) return Spawned{-1, ENOMEM};
  std::array<UniqueFd, 3> copies;
  int error = set_attributes(spawn.attributes(), setup.forward_termination_signals);
  if (error == 0) error = add_descriptors(spawn.actions(), setup, copies);
  std::vector<char*> argv;
  for (const std::string& arg : setup.argv) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (error == 0)
    error = ::posix_spawn(&pid, setup.program.c_str(), spawn.actions(), spawn.attributes(), argv.data(), environ);
  return error == 0 ? Spawned{pid, 0} : Spawned{-1, error};
}

}  // namespace sys
