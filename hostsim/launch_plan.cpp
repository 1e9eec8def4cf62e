#include "launch_plan.h"

#include <grp.h>
#include <signal.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "file_util.h"
#include "host_layout.h"
#include "hostsim/enter.h"

extern char** environ;

namespace fs = std::filesystem;

namespace hostsim {
namespace {

constexpr const char* kPath = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

fs::path host_root(const fs::path& dir) {
  std::error_code ec;
  const fs::path root = fs::canonical(dir, ec);
  if (ec || !fs::exists(root / layout::kMarkerFile)) {
    throw std::runtime_error(dir.string() + " is not a host made by create_host");
  }
  return root;
}

std::vector<char*> c_strings(std::vector<std::string>& strings) {
  std::vector<char*> ptrs;
  for (std::string& s : strings) ptrs.push_back(s.data());
  ptrs.push_back(nullptr);
  return ptrs;
}

// Only write(2): this runs in a forked child that must not touch stdio
// buffers it shares with its parent.
void write_stderr(const char* text) {
  size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t n = ::write(STDERR_FILENO, text, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text += n;
    left -= static_cast<size_t>(n);
  }
}

[[noreturn]] void fail(const char* what, const std::string& subject, int status = kSetupFailureStatus) {
  const char* reason = std::strerror(errno);
  for (const char* part : {"zarnhost: ", what, " ", subject.c_str(), ": ", reason, "\n"}) write_stderr(part);
  ::_exit(status);
}

// A bind mount starts with the flags of its source; the read-only remount
// must repeat the ones that the kernel would otherwise refuse to drop.
unsigned long kept_mount_flags(const std::string& target) {
  struct statvfs st;
  if (::statvfs(target.c_str(), &st) != 0) fail("cannot inspect", target);
  unsigned long flags = 0;
  if (st.f_flag & ST_NOSUID) flags |= MS_NOSUID;
  if (st.f_flag & ST_NODEV) flags |= MS_NODEV;
  if (st.f_flag & ST_NOEXEC) flags |= MS_NOEXEC;
  if (st.f_flag & ST_NOATIME) flags |= MS_NOATIME;
  if (st.f_flag & ST_NODIRATIME) flags |= MS_NODIRATIME;
  if (st.f_flag & ST_RELATIME) flags |= MS_RELATIME;
  return flags;
}

}  // namespace

LaunchPlan::LaunchPlan(const fs::path& dir, const std::vector<std::string>& argv,
                       const std::optional<std::string>& user, const std::string& cwd)
    : cwd_(cwd), argv_(argv) {
  if (argv_.empty()) throw std::runtime_error("no command to run");
  const fs::path root = host_root(dir);
  root_ = root.string();
  usr_target_ = (root / "usr").string();
  dev_target_ = (root / "dev").string();
  proc_target_ = (root / "proc").string();
  varden_target_ = (root / layout::kVardenDir).string();
  hostname_ = first_line(read_text_file(root / layout::kHostnameFile));
  if (fs::exists(root / layout::kSharedVardenFile)) {
    shared_varden_ = first_line(read_text_file(root / layout::kSharedVardenFile));
  }

  std::string home = "/root";
  if (user) {
    account_ = find_account(read_text_file(root / layout::kPasswdFile), read_text_file(root / layout::kGroupFile),
                            *user);
    if (!account_) throw std::runtime_error("no user " + *user + " in the host's /etc/passwd");
    home = account_->home;
    user_ = *user;
  }
  env_ = {kPath, "HOME=" + home, "LANG=C"};
  // The terminal type, and the sanitizers' settings of a sanitized build.
  for (const char* name : {"TERM", "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) env_.push_back(std::string(name) + "=" + value);
  }
  argv_ptrs_ = c_strings(argv_);
  env_ptrs_ = c_strings(env_);
}

void LaunchPlan::mount_system_dirs() const {
  // Without this, mounts below would propagate to the peers of shared
  // mounts, i.e. to the real system.
  if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) fail("cannot make private", "/");
  if (::mount("/usr", usr_target_.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) fail("cannot bind", usr_target_);
  const unsigned long ro = MS_REMOUNT | MS_BIND | MS_RDONLY | kept_mount_flags(usr_target_);
  if (::mount(nullptr, usr_target_.c_str(), nullptr, ro, nullptr) != 0) fail("cannot make read-only", usr_target_);
  if (::mount("/dev", dev_target_.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) fail("cannot bind", dev_target_);
  if (::mount("proc", proc_target_.c_str(), "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
    fail("cannot mount proc at", proc_target_);
  }
  if (shared_varden_ && ::mount(shared_varden_->c_str(), varden_target_.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    fail("cannot bind", *shared_varden_);
  }
}

void LaunchPlan::become_user() const {
  if (!account_) return;
  // Groups first: after setuid() the process may no longer change them.
  if (::setgroups(account_->groups.size(), account_->groups.data()) != 0) fail("cannot take the groups of", user_);
  if (::setgid(account_->gid) != 0) fail("cannot take the group of", user_);
  if (::setuid(account_->uid) != 0) fail("cannot become", user_);
}

void LaunchPlan::enter_and_exec() const {
  // Also when zarnhost itself enters the host, without the child runner.
  sigset_t none;
  sigemptyset(&none);
  (void)::sigprocmask(SIG_SETMASK, &none, nullptr);

  if (::unshare(CLONE_NEWNS | CLONE_NEWUTS) != 0) fail("cannot create namespaces for", root_);
  mount_system_dirs();
  if (::sethostname(hostname_.data(), hostname_.size()) != 0) fail("cannot set host name", hostname_);
  if (::chroot(root_.c_str()) != 0) fail("cannot chroot to", root_);
  if (::chdir("/") != 0) fail("cannot change directory to", "/");
  become_user();
  // As the user, so that the directory's permissions count as for a login.
  if (::chdir(cwd_.c_str()) != 0) fail("cannot change directory to", cwd_);

  environ = const_cast<char**>(env_ptrs_.data());
  ::execvp(argv_ptrs_[0], argv_ptrs_.data());
  fail("cannot execute", argv_[0], errno == ENOENT ? kNotFoundStatus : kCannotExecuteStatus);
}

}  // namespace hostsim
