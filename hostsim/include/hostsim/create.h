// Laying out a simulated host: a directory laid out like the root of a
// machine on which the product is installed, entered through private mount
// and UTS namespaces and chroot.  The product keeps fixed absolute paths,
// so this is how tests and demos run the installed program without
// touching the real machine.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace hostsim {

// Where the build stages the installed product.
std::filesystem::path default_product_dir();

struct HostOptions {
  std::string hostname = "zarnhost";
  // Its contents are copied into the host as the installed files.
  std::filesystem::path product = default_product_dir();
  // A directory bind-mounted at /var/Varden on every run, so that several
  // hosts share one policy store.  Created if missing.
  std::optional<std::filesystem::path> shared_varden;
  // The folder of a policy server's Unix socket, bound at /run/postgresql
  // on every run, so that the host's store location can name a PostgreSQL
  // server that runs outside it.  Must exist.
  std::optional<std::filesystem::path> policy_server_socket;
  // Gives the host a /bin/rpm that reports this Varden runtime version.
  std::optional<std::string> vdrte_version;
};

// Lays out a host in `dir`, which must be absent or empty.
// Throws std::runtime_error.
void create_host(const std::filesystem::path& dir, const HostOptions& opts);

}  // namespace hostsim
