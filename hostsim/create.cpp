#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string_view>

#include "file_util.h"
#include "host_layout.h"
#include "hostsim/create.h"
#include "tree_copy.h"

namespace fs = std::filesystem;

namespace hostsim {
namespace {

struct DirectoryRow {
  const char* path;
  mode_t mode;
};

// Parents come before their children.
constexpr DirectoryRow kDirectories[] = {
    {".zarnhost", 0755},
    {"bin", 0755},
    {"usr", 0755},
    {"dev", 0755},
    {"proc", 0555},
    {"tmp", 01777},
    {"root", 0700},
    {"etc", 0755},
    {"etc/rc.d", 0755},
    {"etc/rc.d/init.d", 0755},
    {"etc/rc.d/rc0.d", 0755},
    {"etc/rc.d/rc1.d", 0755},
    {"etc/rc.d/rc2.d", 0755},
    {"etc/rc.d/rc3.d", 0755},
    {"etc/rc.d/rc4.d", 0755},
    {"etc/rc.d/rc5.d", 0755},
    {"etc/rc.d/rc6.d", 0755},
    {"var", 0755},
    {"var/zarn", 0755},
    {"var/zarn/zarncfg", 0755},
    {"var/zarn/log", 0755},
    {"var/zarn/certs", 0755},
    {"var/zarn/run", 0755},
    {"var/Varden", 0755},
    {"opt", 0755},
    {"opt/Varden", 0755},
    {"opt/Varden/etc", 0755},
};

constexpr std::string_view kPasswd =
    "root:x:0:0:root:/root:/bin/sh\n"
    "brevik:x:301:301:Zarn:/var/zarn:/usr/sbin/nologin\n"
    "nobody:x:65534:65534:nobody:/nonexistent:/usr/sbin/nologin\n";

constexpr std::string_view kGroup =
    "root:x:0:\n"
    "brevik:x:301:\n"
    "nogroup:x:65534:\n";

// Only the host's own files answer account and name look-ups.
constexpr std::string_view kNsswitch =
    "passwd: files\n"
    "group: files\n"
    "shadow: files\n"
    "hosts: files\n";

// The Varden runtime counts as configured on every host.
constexpr std::string_view kVdConf = "[vdrte]\nconfigured = yes\n";

// Entries of the system's /bin, /lib... that live in /usr on this Debian.
constexpr const char* kUsrLinks[] = {"lib", "lib64", "sbin"};

bool valid_hostname(std::string_view name) {
  constexpr size_t kMaxHostname = 64;
  return !name.empty() && name.size() <= kMaxHostname && std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
  });
}

// The version lands in a shell script; keep it to characters that need no quoting.
bool valid_version(std::string_view version) {
  return !version.empty() && std::all_of(version.begin(), version.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '+';
  });
}

void check_product(const fs::path& product) {
  if (!fs::is_directory(product)) {
    throw std::runtime_error("product directory " + product.string() +
                             " does not exist; stage the product first (ctest -R stage_product)");
  }
  for (const char* name : layout::kSystemEntries) {
    if (fs::exists(fs::symlink_status(product / name))) {
      throw std::runtime_error("product directory " + product.string() + " has /" + name +
                               ", which a host takes from the real system");
    }
  }
}

void check_options(const HostOptions& opts) {
  if (!valid_hostname(opts.hostname)) throw std::runtime_error("invalid host name '" + opts.hostname + "'");
  if (opts.vdrte_version && !valid_version(*opts.vdrte_version)) {
    throw std::runtime_error("invalid Varden runtime version '" + *opts.vdrte_version + "'");
  }
  check_product(opts.product);
  // The folder must be there already: it is a running server's, not the host's.
  if (opts.policy_server_socket && !fs::is_directory(*opts.policy_server_socket)) {
    throw std::runtime_error("no policy server socket folder " + opts.policy_server_socket->string());
  }
}

// Refusing a directory with contents keeps a mistyped path (or "/") safe.
void prepare_empty_dir(const fs::path& dir) {
  fs::create_directories(dir);
  if (!fs::is_empty(dir)) throw std::runtime_error("host directory " + dir.string() + " is not empty");
  // It becomes the root directory of every user of the host (mkdtemp() makes 0700).
  fs::permissions(dir, static_cast<fs::perms>(0755));
}

void make_skeleton(const fs::path& dir) {
  for (const DirectoryRow& row : kDirectories) make_directory(dir / row.path, row.mode);
  for (const char* name : kUsrLinks) fs::create_symlink(fs::path("usr") / name, dir / name);
}

// A real /bin lets a host carry its own tools (such as /bin/rpm) in front of
// the system's.
void link_system_bin(const fs::path& dir) {
  for (const fs::directory_entry& entry : fs::directory_iterator("/usr/bin")) {
    const fs::path name = entry.path().filename();
    fs::create_symlink(fs::path("/usr/bin") / name, dir / "bin" / name);
  }
}

void write_system_files(const fs::path& dir, const HostOptions& opts) {
  write_new_file(dir / layout::kPasswdFile, kPasswd, 0644);
  write_new_file(dir / layout::kGroupFile, kGroup, 0644);
  write_new_file(dir / layout::kHostnameFile, opts.hostname + "\n", 0644);
  write_new_file(dir / "etc/hosts", "127.0.0.1\tlocalhost " + opts.hostname + "\n", 0644);
  write_new_file(dir / "etc/nsswitch.conf", kNsswitch, 0644);
  write_new_file(dir / "opt/Varden/etc/vd.conf", kVdConf, 0644);
}

void write_rpm_stand_in(const fs::path& dir, const std::string& version) {
  const std::string script =
      "#!/bin/sh\n"
      "# Package query of a simulated host: it holds only the Varden runtime.\n"
      "if [ \"$#\" -eq 2 ] && [ \"$1\" = -q ] && [ \"$2\" = -a ]; then\n"
      "  echo VDRTE-VD-" + version + "-0\n"
      "  exit 0\n"
      "fi\n"
      "exit 1\n";
  const fs::path rpm = dir / "bin/rpm";
  remove_non_directory(rpm);  // the system's rpm, if it has one, is only linked
  write_new_file(rpm, script, 0755);
}

void record_shared_varden(const fs::path& dir, const fs::path& shared) {
  fs::create_directories(shared);
  write_new_file(dir / layout::kSharedVardenFile, fs::canonical(shared).string() + "\n", 0644);
}

void record_server_socket(const fs::path& dir, const fs::path& socket_dir) {
  make_directory(dir / "run", 0755);
  make_directory(dir / layout::kSocketDir, 0755);
  write_new_file(dir / layout::kServerSocketFile, fs::canonical(socket_dir).string() + "\n", 0644);
}

}  // namespace

fs::path default_product_dir() { return ZARN_STAGE_DIR; }

void create_host(const fs::path& dir_arg, const HostOptions& opts) {
  try {
    check_options(opts);
    const fs::path dir = fs::absolute(dir_arg);
    prepare_empty_dir(dir);
    make_skeleton(dir);
    link_system_bin(dir);
    write_system_files(dir, opts);
    if (opts.vdrte_version) write_rpm_stand_in(dir, *opts.vdrte_version);
    copy_tree(opts.product, dir);
    if (opts.shared_varden) record_shared_varden(dir, *opts.shared_varden);
    if (opts.policy_server_socket) record_server_socket(dir, *opts.policy_server_socket);
    write_new_file(dir / layout::kMarkerFile, "", 0644);
  } catch (const fs::filesystem_error& e) {
    throw std::runtime_error(e.what());
  }
}

}  // namespace hostsim
