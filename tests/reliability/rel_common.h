// What the reliability drivers share: the runs they make, snapshots of the
// parts of a simulated host a run may change, and their result lines.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/host_fixture.h"
#include "e2e/site_store.h"
#include "kx_test_stores.h"

namespace rel {

// Recognisable, so that any copy of it shows up in a search.
inline constexpr const char* kPwd = "Rel1ab-Secr3t-M4ster";
inline constexpr const char* kCert = "/etc/ssl/zarn-ca.pem";
inline constexpr const char* kCert2 = "/etc/ssl/zarn-ca2.pem";

extern const std::vector<std::string> kConfFiles;

// A first configuration that loads the installed default policy.
std::vector<std::string> first_args();
// A reconfiguration that touches every configuration file and runs every
// step a reconfiguration has: certificate copy, port and CA certificate
// changes, start links, login policy.
std::vector<std::string> reconfig_args();

// A fresh policy store and the CA certificates; throws std::runtime_error.
void prepare_host(const e2e::TempHost& host);
// Runs a first configuration that must succeed; throws std::runtime_error.
void configure_first(const e2e::TempHost& host);

struct FileState {
  bool exists = false;
  std::string content;
  uid_t uid = 0;
  gid_t gid = 0;
  mode_t mode = 0;
  bool operator==(const FileState&) const = default;
};
FileState file_state(const std::filesystem::path& host_dir, std::string_view in_host);
std::map<std::string, FileState> conf_file_states(const std::filesystem::path& host_dir);
std::string describe(const FileState& state);

// `kxadmin dump` of the host's store.
std::string store_dump(const e2e::TempHost& host);
// Lines of `after` missing from `before` ("+ ...") and the reverse ("- ...").
std::vector<std::string> line_diff(const std::string& before, const std::string& after);

// Every path under the host's `dirs` (in-host paths), entries of
// directories included.
std::set<std::string> list_tree(const std::filesystem::path& host_dir, const std::vector<std::string>& dirs);

// Saved copies of the directories a run may change, put back before each
// run, so that one host serves many runs.
class HostSnapshot {
 public:
  // `database`: a store on a PostgreSQL server, saved and put back with
  // the directories; null when the store is a file in the host.
  HostSnapshot(std::filesystem::path host_dir, std::vector<std::string> dirs, std::filesystem::path store,
               kxtest::PgDatabase* database = nullptr);
  ~HostSnapshot();
  HostSnapshot(const HostSnapshot&) = delete;
  HostSnapshot& operator=(const HostSnapshot&) = delete;
  // Replaces the directories with their saved copies; throws on failure.
  void restore() const;

 private:
  std::filesystem::path host_dir_;
  std::vector<std::string> dirs_;
  std::filesystem::path store_;
  kxtest::PgDatabase* database_;
};

// Every directory a configuration run may change.
extern const std::vector<std::string> kMutableDirs;

// The backend of the hosts' policy store: a file in the host (the
// default), or a database on a PostgreSQL server of the driver's own
// ("--backend postgresql").
kxtest::Backend store_backend();

// Calls `body` with a host ready for a first configuration, or configured
// already, and the snapshot that puts the host back before each run.
using HostBody = std::function<void(const e2e::TempHost&, const HostSnapshot&)>;
void with_fresh_host(const HostBody& body);
void with_configured_host(const HostBody& body);

// A store that several hosts share, on the driver's backend.
std::unique_ptr<e2e::SiteStore> shared_site_store();

// The value of "--name N" on the command line, else `fallback`.
long count_option(int argc, char** argv, std::string_view name, long fallback);

// The whole main of a driver that takes "--runs N --seed S" and
// "--backend sqlite|postgresql": calls run(N, S), and reports an exception on standard error with exit status 2.
int run_driver(int argc, char** argv, const char* name, long default_runs, int (*run)(long, unsigned long));

// "N passed, M failed" with a label.
void print_result(std::string_view what, long passed, long failed);

}  // namespace rel
