// The command line of the zarnhost tool.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "hostsim/create.h"

namespace hostsim {

struct CreateRequest {
  std::filesystem::path dir;
  HostOptions options;
};

struct RunRequest {
  std::filesystem::path dir;
  std::optional<std::string> user;
  std::string cwd = "/";
  std::vector<std::string> command;
};

using ZarnhostRequest = std::variant<CreateRequest, RunRequest>;

inline constexpr const char* kZarnhostUsage =
    "usage: zarnhost create DIR [--hostname NAME] [--product STAGEDIR] [--shared-varden SHAREDDIR]\n"
    "                           [--vdrte-version VERSION]\n"
    "       zarnhost run DIR [--user NAME] [--cwd PATH] -- COMMAND...\n";

// `args` without the program name.  Throws std::invalid_argument.
ZarnhostRequest parse_zarnhost_args(std::span<const std::string> args);

}  // namespace hostsim
