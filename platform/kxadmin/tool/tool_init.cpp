// kxadmin init: a new, empty store.
#include <iostream>
#include <optional>
#include <string>

#include "tool_commands.h"
#include "tool_support.h"

namespace kxtool {
namespace {

struct InitOptions {
  std::optional<std::string> password;
  bool force = false;
};

std::optional<InitOptions> parse_init(Words words) {
  InitOptions options;
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "--force") {
      options.force = true;
    } else if (words[i] == "--sec-master-pwd" && i + 1 < words.size()) {
      options.password = std::string(words[++i]);
    } else {
      return std::nullopt;
    }
  }
  return options;
}

// The password on standard input keeps it out of the process list.
std::optional<std::string> password_from_stdin() {
  std::string line;
  if (!std::getline(std::cin, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

int run_init(const std::string& store_path, Words words) {
  std::optional<InitOptions> options = parse_init(words);
  if (!options) return usage_error();
  if (!options->password) options->password = password_from_stdin();
  if (!options->password || options->password->empty()) {
    return failed(kx::failure(kx::CODE_BAD_ARGUMENT, "no security master password given"));
  }
  kx::Outcome error;
  if (!kx::Store::create(store_path, *options->password, options->force, error)) {
    if (error.code == kx::CODE_EXISTS) error.message += " (use --force to replace it)";
    return failed(error);
  }
  return EXIT_OK;
}

}  // namespace kxtool
