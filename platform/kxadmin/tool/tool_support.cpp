#include "tool_support.h"

#include <iostream>

#include "tool_commands.h"
#include "tool_usage.h"

namespace kxtool {

int usage_error() {
  std::cerr << usage_line();
  return EXIT_USAGE;
}

int failed(const kx::Outcome& outcome) {
  std::cerr << "kxadmin: " << outcome.message << "\n";
  return EXIT_FAILED;
}

std::unique_ptr<kx::Store> open_store(const std::string& path) {
  kx::Outcome error;
  std::unique_ptr<kx::Store> store = kx::Store::open(path, error);
  if (!store) failed(error);
  return store;
}

void print_lines(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) std::cout << line << "\n";
}

}  // namespace kxtool
