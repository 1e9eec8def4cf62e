#include "rel_common.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <memory>
#include <stdexcept>

#include "e2e/private_cluster.h"
#include "e2e/site_store.h"

namespace fs = std::filesystem;

namespace rel {

const std::vector<std::string> kConfFiles = {"/opt/zarn/etc/zarnd.conf", "/opt/zarn/etc/brevik.conf",
                                             "/opt/zarn/etc/zarnauditd.conf", "/opt/zarn/etc/zarnwdd.conf",
                                             "/opt/zarn/etc/zarnlrd.conf"};

std::vector<std::string> first_args() {
  return {"-ldap_ssl_cacert", kCert,     "-branch",      "brevik1", "-suffix",         "o=zarn",
          "-audit_log_size",  "2000000", "-zarnwdd_logs", "3",       "-sec_master_pwd", kPwd};
}

std::vector<std::string> reconfig_args() {
  return {"-zarnd_logs", "9",       "-dns",           "on",  "-audit_log_size", "3000000", "-zarnwdd_logs", "4",
          "-ssl_listening_port", "7200", "-ldap_ssl_cacert", kCert2, "-autostart", "on", "-sec_master_pwd", kPwd};
}

void prepare_host(const e2e::TempHost& host) {
  const auto init = host.sh(std::string("/opt/Varden/bin/kxadmin init --sec-master-pwd ") + kPwd);
  if (init.exit_status != 0) throw std::runtime_error("cannot create the store: " + e2e::describe(init));
  host.write_file(kCert, "-----BEGIN CERTIFICATE-----\nZARN TEST CA\n-----END CERTIFICATE-----\n");
  host.write_file(kCert2, "-----BEGIN CERTIFICATE-----\nZARN TEST CA 2\n-----END CERTIFICATE-----\n");
}

void configure_first(const e2e::TempHost& host) {
  const auto r = host.zarncfg(first_args());
  if (r.exit_status != 0) throw std::runtime_error("first configuration failed: " + e2e::describe(r));
}

FileState file_state(const fs::path& host_dir, std::string_view in_host) {
  FileState state;
  const fs::path file = host_dir / fs::path(in_host).relative_path();
  struct stat info {};
  if (::lstat(file.c_str(), &info) != 0) return state;
  state.exists = true;
  state.uid = info.st_uid;
  state.gid = info.st_gid;
  state.mode = info.st_mode & 07777;
  if (S_ISREG(info.st_mode)) {
    std::ostringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    state.content = text.str();
  }
  return state;
}

std::map<std::string, FileState> conf_file_states(const fs::path& host_dir) {
  std::map<std::string, FileState> states;
  for (const std::string& file : kConfFiles) states[file] = file_state(host_dir, file);
  return states;
}

std::string describe(const FileState& state) {
  if (!state.exists) return "absent";
  char head[64];
  std::snprintf(head, sizeof head, "%u:%u %04o, %zu bytes", state.uid, state.gid, state.mode, state.content.size());
  return head;
}

std::string store_dump(const e2e::TempHost& host) {
  // With the undo records: a failed run must leave none behind either.
  const auto dump = host.sh("/opt/Varden/bin/kxadmin dump --undo");
  if (dump.exit_status != 0) return "<kxadmin dump failed: " + dump.err + ">";
  return dump.out;
}

std::vector<std::string> line_diff(const std::string& before, const std::string& after) {
  auto lines = [](const std::string& text) {
    std::multiset<std::string> set;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) set.insert(line);
    return set;
  };
  const auto a = lines(before), b = lines(after);
  std::vector<std::string> diff;
  std::vector<std::string> added, removed;
  std::set_difference(b.begin(), b.end(), a.begin(), a.end(), std::back_inserter(added));
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(removed));
  for (const auto& l : added) diff.push_back("+ " + l);
  for (const auto& l : removed) diff.push_back("- " + l);
  return diff;
}

std::set<std::string> list_tree(const fs::path& host_dir, const std::vector<std::string>& dirs) {
  std::set<std::string> paths;
  for (const std::string& dir : dirs) {
    const fs::path top = host_dir / fs::path(dir).relative_path();
    std::error_code ec;
    if (!fs::is_directory(fs::symlink_status(top, ec))) continue;
    for (auto it = fs::recursive_directory_iterator(top, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      paths.insert("/" + it->path().lexically_relative(host_dir).string());
    }
  }
  return paths;
}

const std::vector<std::string> kMutableDirs = {"/opt/zarn/etc", "/var/zarn", "/var/Varden", "/etc/rc.d", "/etc/ssl",
                                               "/tmp"};

namespace {

void shell_or_throw(const std::string& command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

std::string quoted(const fs::path& path) { return "'" + path.string() + "'"; }

}  // namespace

HostSnapshot::HostSnapshot(fs::path host_dir, std::vector<std::string> dirs, fs::path store,
                           kxtest::PgDatabase* database)
    : host_dir_(std::move(host_dir)), dirs_(std::move(dirs)), store_(std::move(store)), database_(database) {
  if (database_ != nullptr && !database_->save()) throw std::runtime_error("cannot save the store: " + database_->error());
  fs::create_directories(store_);
  for (const std::string& dir : dirs_) {
    const fs::path from = host_dir_ / fs::path(dir).relative_path();
    const fs::path to = store_ / fs::path(dir).relative_path();
    fs::create_directories(to.parent_path());
    shell_or_throw("cp -a " + quoted(from) + " " + quoted(to));
  }
}

HostSnapshot::~HostSnapshot() {
  std::error_code ignored;
  fs::remove_all(store_, ignored);
}

void HostSnapshot::restore() const {
  if (database_ != nullptr && !database_->restore()) {
    throw std::runtime_error("cannot put the store back: " + database_->error());
  }
  for (const std::string& dir : dirs_) {
    const fs::path live = host_dir_ / fs::path(dir).relative_path();
    const fs::path saved = store_ / fs::path(dir).relative_path();
    shell_or_throw("rm -rf " + quoted(live) + " && cp -a " + quoted(saved) + " " + quoted(live));
  }
}

namespace {

kxtest::Backend backend = kxtest::Backend::sqlite;
// The server of a PostgreSQL store, for the whole run of the driver.
std::unique_ptr<e2e::PrivateCluster> cluster;

// A host whose store is in it, or in a database of the driver's server.
struct StoredHost {
  StoredHost() : site(make_site()), host(site ? site->host_options("zarnhost") : hostsim::HostOptions{}) {
    if (site) site->point(host);
  }
  static std::unique_ptr<e2e::SiteStore> make_site() {
    if (backend == kxtest::Backend::sqlite) return nullptr;
    auto site = std::make_unique<e2e::SiteStore>(backend, cluster->socket_dir());
    if (!site->problem().empty()) throw std::runtime_error("no store database: " + site->problem());
    return site;
  }
  kxtest::PgDatabase* database() { return site ? site->database() : nullptr; }

  std::unique_ptr<e2e::SiteStore> site;  // outlives the host
  e2e::TempHost host;
};

}  // namespace

kxtest::Backend store_backend() { return backend; }

std::unique_ptr<e2e::SiteStore> shared_site_store() {
  auto site = backend == kxtest::Backend::sqlite ? std::make_unique<e2e::SiteStore>(backend)
                                                 : std::make_unique<e2e::SiteStore>(backend, cluster->socket_dir());
  if (!site->problem().empty()) throw std::runtime_error("no store database: " + site->problem());
  return site;
}

void with_fresh_host(const HostBody& body) {
  StoredHost stored;
  prepare_host(stored.host);
  const HostSnapshot fresh(stored.host.dir(), kMutableDirs, stored.host.dir().string() + ".fresh", stored.database());
  body(stored.host, fresh);
}

void with_configured_host(const HostBody& body) {
  StoredHost stored;
  prepare_host(stored.host);
  configure_first(stored.host);
  const HostSnapshot configured(stored.host.dir(), kMutableDirs, stored.host.dir().string() + ".configured",
                                stored.database());
  body(stored.host, configured);
}

namespace {

// The word after "--name N" on the command line, else none.
const char* option_value(int argc, char** argv, std::string_view name) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (name == argv[i]) return argv[i + 1];
  }
  return nullptr;
}

}  // namespace

long count_option(int argc, char** argv, std::string_view name, long fallback) {
  const char* value = option_value(argc, argv, name);
  return value != nullptr ? std::strtol(value, nullptr, 10) : fallback;
}

namespace {

void choose_backend(int argc, char** argv) {
  if (const char* value = option_value(argc, argv, "--backend")) {
    if (std::string_view(value) == "postgresql") {
      backend = kxtest::Backend::postgresql;
    } else if (std::string_view(value) != "sqlite") {
      throw std::runtime_error("--backend takes sqlite or postgresql");
    }
  }
  if (backend != kxtest::Backend::postgresql) return;
  cluster = std::make_unique<e2e::PrivateCluster>();
  if (!cluster->started()) throw std::runtime_error("cannot start a PostgreSQL cluster");
}

}  // namespace

int run_driver(int argc, char** argv, const char* name, long default_runs, int (*run)(long, unsigned long)) {
  try {
    choose_backend(argc, argv);
    const int status = run(count_option(argc, argv, "--runs", default_runs),
                           static_cast<unsigned long>(count_option(argc, argv, "--seed", 1)));
    cluster.reset();
    return status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", name, e.what());
    return 2;
  }
}

void print_result(std::string_view what, long passed, long failed) {
  std::printf("%.*s: %ld passed, %ld failed\n", static_cast<int>(what.size()), what.data(), passed, failed);
  std::fflush(stdout);
}

}  // namespace rel
