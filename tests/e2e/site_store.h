// One policy store that several simulated hosts share, on either backend:
// a store file in a folder bound at /var/Varden in every host, or a
// database of its own in the tests' PostgreSQL cluster, whose socket folder
// is bound into every host and named by the host's vd.conf.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "e2e/host_fixture.h"
#include "kx_test_stores.h"

namespace e2e {

// Where a simulated host finds the server's socket.
inline constexpr const char* kSocketInHost = "/run/postgresql";

class SiteStore {
 public:
  // `socket_dir`: the folder of the PostgreSQL server's socket.
  explicit SiteStore(kxtest::Backend backend, std::string socket_dir = kxtest::pg_socket_dir())
      : backend_(backend), socket_dir_(std::move(socket_dir)) {
    if (backend == kxtest::Backend::postgresql) database_.emplace(socket_dir_);
  }

  kxtest::Backend backend() const { return backend_; }
  // Why the store cannot be used, else empty.
  std::string problem() const {
    if (database_ && database_->name().empty()) return database_->error();
    if (database_ && socket_dir_.empty()) return "no PostgreSQL test cluster";
    return "";
  }

  hostsim::HostOptions host_options(const std::string& hostname) const {
    hostsim::HostOptions options;
    options.hostname = hostname;
    if (database_) {
      options.policy_server_socket = socket_dir_;
    } else {
      options.shared_varden = folder_.path();
    }
    return options;
  }

  // Points the host's configuration at this store (a store file needs
  // nothing: it is where the host looks by default), with `entries` (lines
  // "name = value") added to stanza kxadmin.
  void point(const TempHost& host, const std::string& entries = "") const {
    if (!database_ && entries.empty()) return;
    host.write_file("/opt/Varden/etc/vd.conf",
                    "[vdrte]\nconfigured = yes\n\n[kxadmin]\nstore = " + location_in_host() + "\n" + entries);
  }

  std::string location_in_host() const {
    return database_ ? "postgresql:///" + database_->name() + "?host=" + kSocketInHost + "&user=zarn_store"
                     : "/var/Varden/policy.db";
  }

  // The database, for a look or a change behind the program's back; null
  // for a store file.
  kxtest::PgDatabase* database() { return database_ ? &*database_ : nullptr; }

 private:
  kxtest::Backend backend_;
  std::string socket_dir_;
  sys::ScratchDir folder_{"zarn-site-store"};
  std::optional<kxtest::PgDatabase> database_;
};

}  // namespace e2e
