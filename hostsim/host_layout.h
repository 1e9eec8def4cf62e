// Names inside a host directory that creating and entering a host agree on.
#pragma once

namespace hostsim::layout {

// Bookkeeping of the simulated host itself, not part of the simulated system.
inline constexpr const char* kStateDir = ".zarnhost";
// Written last by create_host: a directory without it is not a (complete) host.
inline constexpr const char* kMarkerFile = ".zarnhost/host";
// The shared policy store to bind at kVardenDir, when there is one.
inline constexpr const char* kSharedVardenFile = ".zarnhost/shared-varden";
// The policy server's socket folder to bind at kSocketDir, when there is one.
inline constexpr const char* kServerSocketFile = ".zarnhost/policy-server-socket";

inline constexpr const char* kHostnameFile = "etc/hostname";
inline constexpr const char* kPasswdFile = "etc/passwd";
inline constexpr const char* kGroupFile = "etc/group";
inline constexpr const char* kVardenDir = "var/Varden";
inline constexpr const char* kSocketDir = "run/postgresql";

// Entries the host takes from the real system at run time; a product tree
// that put files there would see them hidden.
inline constexpr const char* kSystemEntries[] = {"usr", "lib", "lib64", "sbin", "dev", "proc", ".zarnhost"};

}  // namespace hostsim::layout
