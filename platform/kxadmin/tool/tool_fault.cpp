// kxadmin fault: failures injected into the next kxadmin_ calls, kept in
// the store so that the program under test (another process) meets them.
#include <iostream>
#include <limits>

#include "kx_fault_apis.h"
#include "tool_commands.h"
#include "tool_support.h"

namespace kxtool {
namespace {

bool set_option(kx::Fault& fault, std::string_view option, std::string_view word) {
  const std::optional<std::int64_t> value = parse_number(word);
  if (!value) return false;
  if (option == "--code" && *value > 0 && *value <= std::numeric_limits<std::uint32_t>::max()) {
    fault.code = static_cast<std::uint32_t>(*value);
  } else if (option == "--reason" && *value >= 0 && *value <= std::numeric_limits<int>::max()) {
    fault.reason = static_cast<int>(*value);
  } else if (option == "--count" && *value >= 1) {
    fault.count = *value;
  } else {
    return false;
  }
  return true;
}

std::optional<kx::Fault> parse_fault(Words words) {
  kx::Fault fault;
  fault.api = std::string(words.front());
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (words[i].starts_with("--")) {
      if (i + 1 == words.size() || !set_option(fault, words[i], words[i + 1])) return std::nullopt;
      ++i;
    } else if (!fault.name && !words[i].empty()) {
      fault.name = std::string(words[i]);
    } else {
      return std::nullopt;
    }
  }
  return fault;
}

int list_faults(kx::Store& store) {
  std::vector<std::string> lines;
  if (kx::Outcome r = store.read([&] { return store.fault_lines(lines); }); !r.ok()) return failed(r);
  print_lines(lines);
  return EXIT_OK;
}

}  // namespace

int run_fault(const std::string& store_path, Words words) {
  if (words.empty()) return usage_error();
  const bool simple = words.front() == "clear" || words.front() == "list";
  if (simple && words.size() != 1) return usage_error();
  std::optional<kx::Fault> fault;
  if (!simple) {
    fault = parse_fault(words);
    if (!fault) return usage_error();
    if (!kx::fault_api_name(fault->api)) {
      std::cerr << "kxadmin: no function \"" << fault->api << "\" takes faults\n";
      return EXIT_USAGE;
    }
  }
  std::unique_ptr<kx::Store> store = open_store(store_path);
  if (!store) return EXIT_FAILED;
  if (words.front() == "list") return list_faults(*store);
  const kx::Outcome r = store->write([&] { return fault ? store->fault_add(*fault) : store->faults_clear(); });
  return r.ok() ? EXIT_OK : failed(r);
}

}  // namespace kxtool
