// kxadmin: administration of the policy store that stands in for the
// Varden Policy Server (docs/policy-server.md).
#include <string>
#include <string_view>
#include <vector>

#include "kxadmin_internal.h"
#include "tool_commands.h"

namespace {

// "--store PATH" may stand anywhere, so it can be added to any command line.
bool take_store_option(std::vector<std::string_view>& words, std::string& store_path) {
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (words[i] != "--store") continue;
    if (i + 1 == words.size() || words[i + 1].empty()) return false;
    store_path = std::string(words[i + 1]);
    words.erase(words.begin() + static_cast<std::ptrdiff_t>(i), words.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    return take_store_option(words, store_path);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kxtool;
  std::vector<std::string_view> words(argv + 1, argv + argc);
  std::string store_path;
  if (!take_store_option(words, store_path) || words.empty()) return usage_error();
  if (store_path.empty()) store_path = kxadmin_store_path();
  const std::string_view command = words.front();
  const Words rest = Words(words).subspan(1);
  if (command == "init") return run_init(store_path, rest);
  if (command == "fault") return run_fault(store_path, rest);
  if (command == "dump") return run_dump(store_path, rest);
  if (command == "migrate") return run_migrate(store_path, rest);
  if (command == "run") return run_runs(store_path, rest);
  if (command == "lease") return run_leases(store_path, rest);
  return run_listing(store_path, command, rest);
}
