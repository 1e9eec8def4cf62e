// kxadmin run, lease and migrate: the runs that left undo records, the
// leases on shared policy, and bringing a store of an older version up to
// this one.
#include <iostream>

#include "kx_schema.h"
#include "tool_commands.h"
#include "tool_support.h"

namespace kxtool {
namespace {

std::optional<kx::RunTag> parse_tag(Words words) {
  if (words.size() != 3 || words[0].empty()) return std::nullopt;
  const std::optional<std::int64_t> pid = parse_number(words[1]);
  const std::optional<std::int64_t> started = parse_number(words[2]);
  if (!pid || !started) return std::nullopt;
  return kx::RunTag{std::string(words[0]), *pid, *started};
}

int list_runs(kx::Store& store, Words words) {
  std::vector<kx::RunInfo> runs;
  const kx::opt_str host = words.empty() ? kx::opt_str() : kx::opt_str(words[0]);
  if (kx::Outcome r = store.read([&] { return store.run_list(host, runs); }); !r.ok()) return failed(r);
  for (const kx::RunInfo& info : runs) {
    std::cout << "run host=" << kx::quote(info.tag.host) << " pid=" << info.tag.process_id
              << " started=" << info.tag.start_time << " undo_records=" << info.undo_records << "\n";
  }
  return EXIT_OK;
}

}  // namespace

int run_leases(const std::string& store_path, Words words) {
  if (words.size() != 1 || words[0] != "list") return usage_error();
  std::unique_ptr<kx::Store> store = open_store(store_path);
  if (!store) return EXIT_FAILED;
  std::vector<kx::Lease> leases;
  if (kx::Outcome r = store->read([&] { return store->lease_list(leases); }); !r.ok()) return failed(r);
  for (const kx::Lease& lease : leases) {
    std::cout << "lease name=" << kx::quote(lease.name) << " host=" << kx::quote(lease.owner.host)
              << " pid=" << lease.owner.process_id << " started=" << lease.owner.start_time
              << " expires=" << lease.expires_ms << (lease.expired ? " expired" : "") << "\n";
  }
  return EXIT_OK;
}

int run_runs(const std::string& store_path, Words words) {
  if (words.empty()) return usage_error();
  const std::string_view verb = words[0];
  const Words rest = words.subspan(1);
  std::optional<kx::RunTag> tag;
  if (verb == "list") {
    if (rest.size() > 1 || (rest.size() == 1 && rest[0].empty())) return usage_error();
  } else if (verb == "rollback" || verb == "discard") {
    if (!(tag = parse_tag(rest))) return usage_error();
  } else {
    return usage_error();
  }
  std::unique_ptr<kx::Store> store = open_store(store_path);
  if (!store) return EXIT_FAILED;
  if (verb == "list") return list_runs(*store, rest);
  const kx::Outcome r =
      verb == "rollback" ? store->rollback_run(*tag, "") : store->write([&] { return store->discard_run(*tag); });
  return r.ok() ? EXIT_OK : failed(r);
}

int run_migrate(const std::string& store_path, Words words) {
  if (!words.empty()) return usage_error();
  int from = 0;
  if (kx::Outcome r = kx::Store::migrate(store_path, from); !r.ok()) return failed(r);
  const std::string to = std::to_string(kx::SCHEMA_VERSION);
  if (from == kx::SCHEMA_VERSION) {
    std::cout << "policy store " << store_path << " has version " << to << " already\n";
  } else {
    std::cout << "policy store " << store_path << " migrated from version " << from << " to version " << to << "\n";
  }
  return EXIT_OK;
}

}  // namespace kxtool
