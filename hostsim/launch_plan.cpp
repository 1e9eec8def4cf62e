#include "launch_plan.h"

#include <grp.h>
#include <signal.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "file_util.h"
#include "host_layout.h"
#include "hostsim/setup_status.h"
#include "sys_fd.h"

extern char** environ;

namespace fs = std::filesystem;

namespace hostsim {
namespace {

constexpr const char* kPath = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";

// The devices a host gets, made afresh in a small tmpfs of its own for each
// run: nothing a program in a host does to a device node reaches the
// machine's (a chown of /dev/null once did, through a bind of /dev).
constexpr const char* kDevices[] = {"null", "zero", "full", "random", "urandom", "tty"};
constexpr mode_t kDeviceMode = 0666;
constexpr const char* kDevOptions = "mode=0755,size=64k";
// A pseudo-terminal instance of the host's own, so that no terminal of the
// machine's shows under /dev/pts.
constexpr const char* kDevptsOptions = "newinstance,ptmxmode=0666,mode=0620";
// Conventional links of /dev; they lead into the process's own descriptors.
constexpr std::pair<const char*, const char*> kDevLinks[] = {
    {"ptmx", "pts/ptmx"}, {"fd", "/proc/self/fd"}, {"stdin", "/proc/self/fd/0"},
    {"stdout", "/proc/self/fd/1"}, {"stderr", "/proc/self/fd/2"}};

dev_t machine_device(const char* name) {
  const std::string path = std::string("/dev/") + name;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw_system_error("cannot inspect", path);
  if (!S_ISCHR(st.st_mode)) throw std::runtime_error(path + " is not a character device");
  return st.st_rdev;
}

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
[[noreturn]] void fail(const char* what, const std::string& subject, int status = kSetupFailureStatus) {
  const char* reason = std::strerror(errno);
  for (const char* part : {"zarnhost: ", what, " ", subject.c_str(), ": ", reason, "\n"}) {
    if (!sys::write_all(STDERR_FILENO, part)) break;  // nowhere left to report to
  }
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
  for (const char* name : kDevices) devices_.push_back({dev_target_ + "/" + name, machine_device(name)});
  pts_target_ = dev_target_ + "/pts";
  for (const auto& [name, target] : kDevLinks) dev_links_.emplace_back(dev_target_ + "/" + name, target);
  proc_target_ = (root / "proc").string();
  varden_target_ = (root / layout::kVardenDir).string();
  hostname_ = first_line(read_text_file(root / layout::kHostnameFile));
  if (fs::exists(root / layout::kSharedVardenFile)) {
    shared_varden_ = first_line(read_text_file(root / layout::kSharedVardenFile));
  }
  socket_target_ = (root / layout::kSocketDir).string();
  if (fs::exists(root / layout::kServerSocketFile)) {
    server_socket_ = first_line(read_text_file(root / layout::kServerSocketFile));
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
  make_device_dir();
  if (::mount("proc", proc_target_.c_str(), "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
    fail("cannot mount proc at", proc_target_);
  }
  if (shared_varden_ && ::mount(shared_varden_->c_str(), varden_target_.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    fail("cannot bind", *shared_varden_);
  }
  if (server_socket_ && ::mount(server_socket_->c_str(), socket_target_.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    fail("cannot bind", *server_socket_);
  }
}

void LaunchPlan::make_device_dir() const {
  if (::mount("tmpfs", dev_target_.c_str(), "tmpfs", MS_NOSUID | MS_NOEXEC, kDevOptions) != 0) {
    fail("cannot mount a tmpfs at", dev_target_);
  }
  for (const DeviceNode& device : devices_) {
    if (::mknod(device.path.c_str(), S_IFCHR | kDeviceMode, device.number) != 0) fail("cannot make", device.path);
    // mknod() applies the umask.
    if (::chmod(device.path.c_str(), kDeviceMode) != 0) fail("cannot set the mode of", device.path);
  }
  if (::mkdir(pts_target_.c_str(), 0755) != 0) fail("cannot create directory", pts_target_);
  if (::mount("devpts", pts_target_.c_str(), "devpts", MS_NOSUID | MS_NOEXEC, kDevptsOptions) != 0) {
    fail("cannot mount devpts at", pts_target_);
  }
  for (const auto& [link, target] : dev_links_) {
    if (::symlink(target.c_str(), link.c_str()) != 0) fail("cannot link", link);
  }
}

void LaunchPlan::become_user() const {
  if (!account_) return;
  // Groups first: after setuid() the process may no longer change them.
  if (::setgroups(account_->groups.size(), account_->groups.data()) != 0) fail("cannot take the groups of", user_);
  if (::setgid(account_->gid) != 0) fail("cannot take the group of", user_);
  if (::setuid(account_->uid) != 0) fail("cannot become", user_);
}

void LaunchPlan::enter() const {
  // Also when zarnhost itself enters the host, without the child runner.
  sigset_t none;
  sigemptyset(&none);
  (void)::sigprocmask(SIG_SETMASK, &none, nullptr);

  if (::unshare(CLONE_NEWNS | CLONE_NEWUTS) != 0) fail("cannot create namespaces for", root_);
  mount_system_dirs();
  if (::sethostname(hostname_.data(), hostname_.size()) != 0) fail("cannot set host name", hostname_);
  if (::chroot(root_.c_str()) != 0) fail("cannot chroot to", root_);
  if (::chdir("/") != 0) fail("cannot change directory to", "/");
}

void LaunchPlan::enter_and_exec(const std::function<void()>& inside) const {
  enter();
  if (inside) inside();
  become_user();
  // As the user, so that the directory's permissions count as for a login.
  if (::chdir(cwd_.c_str()) != 0) fail("cannot change directory to", cwd_);

  environ = const_cast<char**>(env_ptrs_.data());
  ::execvp(argv_ptrs_[0], argv_ptrs_.data());
  fail("cannot execute", argv_[0], errno == ENOENT ? kNotFoundStatus : kCannotExecuteStatus);
}

}  // namespace hostsim
