// Leases on shared policy: taken, renewed and given up by the run that
// creates the policy, timed by the store's clock so that every host
// sharing the store agrees on when a lease has expired.
#include "kx_store.h"

namespace kx {
namespace {

constexpr std::string_view SELECT_LEASE = "SELECT name, host, pid, started, expires FROM lease";

Lease lease_at(const Row& row, std::int64_t now) {
  Lease lease{row.text(0).value_or(""), RunTag{row.text(1).value_or(""), row.integer(2), row.integer(3)},
              row.integer(4), false};
  lease.expired = lease.expires_ms <= now;
  return lease;
}

Outcome not_held(std::string_view name, const RunTag& run) {
  return failure(CODE_LEASE_LOST, "the run of host " + run.host + ", process " + std::to_string(run.process_id) +
                                      ", does not hold the lease " + std::string(name));
}

}  // namespace

Outcome Store::lease_take(std::string_view name, const RunTag& run, std::int64_t expiry_ms, bool& taken,
                          std::optional<Lease>& other) {
  taken = false;
  other.reset();
  std::int64_t now = 0;
  if (Outcome r = clock_ms(now); !r.ok()) return r;
  std::optional<Lease> present;
  Outcome r = query(std::string(SELECT_LEASE) + " WHERE name = ?", {name},
                    [&](const Row& row) { present = lease_at(row, now); });
  if (!r.ok()) return r;
  if (present && present->owner != run && !present->expired) {
    other = present;
    return failure(CODE_LEASE_HELD, "the lease " + std::string(name) + " is held by host " + present->owner.host +
                                        ", process " + std::to_string(present->owner.process_id));
  }
  if (present && present->owner != run) other = present;
  // Taken, renewed or taken over in one statement; the transaction makes
  // the look above and this write one step against other clients.
  r = run_sql_lease_upsert(name, run, now + expiry_ms);
  taken = r.ok();
  if (taken) leases_taken_.emplace(name);
  return r;
}

Outcome Store::run_sql_lease_upsert(std::string_view name, const RunTag& run, std::int64_t expires) {
  return this->run(
      "INSERT INTO lease(name, host, pid, started, expires) VALUES(?, ?, ?, ?, ?) ON CONFLICT(name) DO UPDATE SET "
      "host = excluded.host, pid = excluded.pid, started = excluded.started, expires = excluded.expires",
      {name, run.host, run.process_id, run.start_time, expires});
}

Outcome Store::lease_renew(std::string_view name, const RunTag& run, std::int64_t expiry_ms) {
  std::int64_t now = 0;
  if (Outcome r = clock_ms(now); !r.ok()) return r;
  Outcome r = this->run("UPDATE lease SET expires = ? WHERE name = ? AND host = ? AND pid = ? AND started = ?",
                        {now + expiry_ms, name, run.host, run.process_id, run.start_time});
  if (r.ok() && changes() == 0) return not_held(name, run);
  return r;
}

Outcome Store::lease_release(std::string_view name, const RunTag& run) {
  Outcome r = lease_break(name, run);
  const bool held = r.ok() && changes() > 0;
  // Given up or lost: no change of this run depends on it any more.
  if (const auto taken = leases_taken_.find(name); r.ok() && taken != leases_taken_.end()) leases_taken_.erase(taken);
  return r.ok() && !held ? not_held(name, run) : r;
}

Outcome Store::leases_still_held() {
  if (leases_taken_.empty() || !run_tag_) return success();
  std::set<std::string, std::less<>> held;
  const RunTag& run = *run_tag_;
  Outcome r = query("SELECT name FROM lease WHERE host = ? AND pid = ? AND started = ?",
                    {run.host, run.process_id, run.start_time},
                    [&](const Row& row) { held.insert(row.text(0).value_or("")); });
  if (!r.ok()) return r;
  for (const std::string& name : leases_taken_) {
    if (held.count(name) == 0) return not_held(name, run);
  }
  return success();
}

Outcome Store::lease_break(std::string_view name, const RunTag& owner) {
  return this->run("DELETE FROM lease WHERE name = ? AND host = ? AND pid = ? AND started = ?",
                   {name, owner.host, owner.process_id, owner.start_time});
}

Outcome Store::lease_list(std::vector<Lease>& leases) {
  leases.clear();
  std::int64_t now = 0;
  if (Outcome r = clock_ms(now); !r.ok()) return r;
  return query(std::string(SELECT_LEASE) + " ORDER BY name", {},
               [&](const Row& row) { leases.push_back(lease_at(row, now)); });
}

}  // namespace kx
