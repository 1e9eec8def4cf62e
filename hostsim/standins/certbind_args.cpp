// Both command-line styles of the SSL configuration tool: version 3.7 takes
// the configuration file as the bare first argument, the others "-f <file>".
#include "certbind_args.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace {

struct OptionSlot {
  std::string_view flag;
  std::optional<std::string> CertbindArgs::*slot;
};

constexpr std::array<OptionSlot, 9> kOptions = {{
    {"-f", &CertbindArgs::config_file},
    {"-d", &CertbindArgs::key_dir},
    {"-n", &CertbindArgs::name},
    {"-s", &CertbindArgs::side},
    {"-r", &CertbindArgs::port},
    {"-C", &CertbindArgs::cacert},
    {"-l", &CertbindArgs::listening},
    {"-P", &CertbindArgs::master_pwd},
    {"-S", &CertbindArgs::keystore_pwd},
}};

std::optional<CertbindAction> action_of(std::string_view word) {
  if (word == "-config") return CertbindAction::config;
  if (word == "-unconfig") return CertbindAction::unconfig;
  if (word == "-chgport") return CertbindAction::chgport;
  if (word == "-modify") return CertbindAction::modify;
  return std::nullopt;
}

bool is_port(const std::optional<std::string>& port) {
  return port && !port->empty() && port->size() <= 5 &&
         std::all_of(port->begin(), port->end(), [](char c) { return c >= '0' && c <= '9'; }) &&
         std::stol(*port) <= 65535;
}

bool is_simple_name(const std::optional<std::string>& name) {
  return name && !name->empty() && name->find('/') == std::string::npos && *name != "." && *name != "..";
}

// What each action needs beyond the words themselves.
std::string missing_for(const CertbindArgs& a) {
  switch (a.action) {
    case CertbindAction::config:
      if (!a.config_file) return "a configuration file";
      if (!a.key_dir) return "-d";
      if (!is_simple_name(a.name)) return "-n";
      if (a.side != "local" && a.side != "remote") return "-s local|remote";
      if (!is_port(a.port)) return "-r <port>";
      if (a.listening && a.listening != "yes" && a.listening != "no") return "-l yes|no";
      return "";
    case CertbindAction::unconfig:
      return is_simple_name(a.name) ? "" : "-n";
    case CertbindAction::chgport:
      if (a.name && !is_simple_name(a.name)) return "-n";
      return is_port(a.port) ? "" : "-r <port>";
    case CertbindAction::modify:
      if (a.name && !is_simple_name(a.name)) return "-n";
      return a.cacert && !a.cacert->empty() ? "" : "-C <cacert>";
  }
  return "";
}

}  // namespace

std::optional<CertbindArgs> certbind_parse_args(std::span<const std::string> args, std::string& error) {
  CertbindArgs parsed;
  bool have_action = false;
  std::size_t i = 0;
  if (!args.empty() && !args[0].starts_with("-")) parsed.config_file = args[i++];
  for (; i < args.size(); ++i) {
    if (const auto action = action_of(args[i])) {
      if (have_action) return error = "more than one action given", std::nullopt;
      parsed.action = *action;
      have_action = true;
      continue;
    }
    const auto option = std::find_if(kOptions.begin(), kOptions.end(),
                                     [&](const OptionSlot& o) { return o.flag == args[i]; });
    if (option == kOptions.end()) return error = "unknown argument " + args[i], std::nullopt;
    if (i + 1 >= args.size()) return error = "option " + args[i] + " needs a value", std::nullopt;
    parsed.*(option->slot) = args[++i];
  }
  if (!have_action) return error = "no action given (-config, -unconfig, -chgport or -modify)", std::nullopt;
  if (const std::string missing = missing_for(parsed); !missing.empty()) {
    return error = "missing or bad " + missing, std::nullopt;
  }
  return parsed;
}
