// The command line of the certbind stand-in.
#pragma once

#include <optional>
#include <span>
#include <string>

enum class CertbindAction { config, unconfig, chgport, modify };

struct CertbindArgs {
  CertbindAction action = CertbindAction::config;
  std::optional<std::string> config_file;   // bare first argument (3.7 style) or -f
  std::optional<std::string> key_dir;       // -d
  std::optional<std::string> name;          // -n
  std::optional<std::string> side;          // -s local|remote
  std::optional<std::string> port;          // -r
  std::optional<std::string> cacert;        // -C
  std::optional<std::string> listening;     // -l yes|no
  std::optional<std::string> master_pwd;    // -P, else the first line of standard input
  std::optional<std::string> keystore_pwd;  // -S ("-": generated), else the second line
};

// The arguments after the tool's name; none with a message on bad ones.
std::optional<CertbindArgs> certbind_parse_args(std::span<const std::string> args, std::string& error);
