#include "tool_support.h"

#include <charconv>
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

std::optional<std::int64_t> parse_number(std::string_view word) {
  int base = 10;
  if (word.starts_with("0x") || word.starts_with("0X")) {
    word.remove_prefix(2);
    base = 16;
  }
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value, base);
  if (word.empty() || ec != std::errc() || end != word.data() + word.size()) return std::nullopt;
  return value;
}

}  // namespace kxtool
