#include "zarncfg_host_path.h"

#include <utility>

namespace {

std::string host_root;  // empty: the machine's own root

}  // namespace

std::string zarncfg_host_path(std::string_view path) { return host_root + std::string(path); }

HostRootScope::HostRootScope(std::string root) : previous_(std::exchange(host_root, std::move(root))) {}

HostRootScope::~HostRootScope() { host_root = std::move(previous_); }
