// Leases on shared policy.  The product's and a branch's policy are shared
// by every host that uses them; the run that creates one holds its lease on
// the policy server until it ends, so that a host never builds on policy
// that a failing run is about to take back, and two hosts never create the
// same policy at once.  The lease is renewed by a thread of its own, so that
// it stays alive while the run waits for its children (zarnd -T may take
// minutes).
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "stanza_file.h"
#include "zarncfg_interrupt.h"
#include "zarncfg_kxcommon.h"
#include "zarncfg_lease_keeper.h"
#include "zarncfg_svc.h"

namespace {

constexpr const char* kVdConf = "/opt/Varden/etc/vd.conf";

// A positive number of milliseconds from the entry, else `fallback`.
long entry_ms(StanzaFile& file, std::string_view entry, long fallback) {
  if (stzMoveEntry(file, "kxadmin", entry) == 0 || !file.value) return fallback;
  char* end = nullptr;
  const long value = std::strtol(file.value->c_str(), &end, 10);
  return end != file.value->c_str() && *end == '\0' && value > 0 ? value : fallback;
}

std::unique_ptr<LeaseKeeper>& keeper() {
  static std::unique_ptr<LeaseKeeper> instance;
  return instance;
}

const LeaseTiming& timing() {
  static const LeaseTiming read = zarncfg_lease_timing(kVdConf);
  return read;
}

// The keeper of this run's leases, started with the first lease; none when
// its context cannot be made (ZRNCF1430E is then reported by the caller).
LeaseKeeper* lease_keeper(const ConfigRecord& record) {
  if (keeper()) return keeper().get();
  kxadmin_context_t context;
  kxadmin_response_t response;
  int result = kxadmin_context_createdefault("sec_master", record[IDX_SEC_MASTER_PWD].text(), context, response);
  if (result == 1) result = kxadmin_context_setruntag(context.get(), zarncfg_kxadmin_run_tag(), response);
  if (result != 1) {
    zarncfg_process_response(response.get());
    kxadmin_free(response);
    return nullptr;
  }
  // The keeper's thread renews through a context of its own: a context
  // serves one thread.
  auto renewing = std::make_shared<kxadmin_context_t>(std::move(context));
  const long expiry_ms = timing().expiry_ms();
  auto renew = [renewing, expiry_ms](const std::string& name) {
    kxadmin_response_t response;
    if (kxadmin_lease_renew(renewing->get(), name, expiry_ms, response) == 1) return Renewal::renewed;
    return kxadmin_response_getcode(response.get(), 0) == KXADMIN_CODE_LEASE_LOST ? Renewal::lost : Renewal::failed;
  };
  keeper() = std::make_unique<LeaseKeeper>(renew, std::chrono::milliseconds(timing().renewal_ms));
  return keeper().get();
}

enum class Take { held, waiting, retry, failed };

// The roll-back of a run that died holding the lease; false when commands
// of it are left (ZRNCF1423E then).
bool take_back_dead_run(const kxadmin_lease& dead, std::string_view space, vd_msgid_t& status) {
  const kxadmin_run_tag& run = dead.owner;
  const bool done = zarncfg_kxadmin_take_back_run(ctx.get(), run, [&](unsigned long records) {
    print_and_log_warning(msg_id(1429), static_cast<long>(run.process_id), run.host, std::string(space),
                          static_cast<long>(records));
  });
  if (done) return true;
  status = msg_id(1423);
  print_and_log_error(msg_id(1423), static_cast<long>(run.process_id));
  return false;
}

// The host lock lets one run at a time work on a host: a lease of another
// run of this host is a lease of a run that has ended, killed before it
// could give it up.  Its records were taken back at the start of this run
// (or are taken back now), so the lease need not expire first.
bool ended_on_this_host(const kxadmin_run_tag& owner) {
  const kxadmin_run_tag& self = zarncfg_kxadmin_run_tag();
  return owner.host == self.host && owner != self;
}

Take break_lease(std::string_view space, const kxadmin_lease& ended, vd_msgid_t& status) {
  if (!take_back_dead_run(ended, space, status)) return Take::failed;
  kxadmin_response_t response;
  if (kxadmin_lease_break(ctx.get(), space, ended.owner, response) == 1) return Take::retry;
  zarncfg_process_response(response.get());
  kxadmin_free(response);
  status = msg_id(1430);
  print_and_log_error(msg_id(1430), std::string(space));
  return Take::failed;
}

// One attempt at the lease; `holder` is the other run's when it waits.
Take try_to_take(std::string_view space, LeaseKeeper& keeper, std::optional<kxadmin_lease>& holder,
                 vd_msgid_t& status) {
  kxadmin_response_t response;
  const int result = kxadmin_lease_take(ctx.get(), space, timing().expiry_ms(), holder, response);
  if (result == 1) {
    keeper.add(space);
    // The run that held it before died: its policy is taken back first.
    // When that stops short the lease is left to expire, not given up, so
    // that no run builds on what is left and the next one finishes it.
    if (holder && !take_back_dead_run(*holder, space, status)) {
      keeper.remove(space);
      return Take::failed;
    }
    return Take::held;
  }
  if (holder && ended_on_this_host(holder->owner)) return break_lease(space, *holder, status);
  if (holder) return Take::waiting;
  zarncfg_process_response(response.get());
  kxadmin_free(response);
  status = msg_id(1430);
  print_and_log_error(msg_id(1430), std::string(space));
  return Take::failed;
}

// Waits `pause`, in slices so that a termination signal ends the wait
// soon (the run then ends through its exit routine); false with the
// status set then.
bool pause_unless_interrupted(std::chrono::milliseconds pause, vd_msgid_t& status) {
  constexpr std::chrono::milliseconds kSlice{100};
  for (std::chrono::milliseconds waited{0}; waited < pause; waited += kSlice) {
    if (zarncfg_interrupted(status)) return false;
    std::this_thread::sleep_for(std::min(kSlice, pause - waited));
  }
  return !zarncfg_interrupted(status);
}

// Takes the lease of `space`, waiting up to the limit while other runs
// hold it; false with the status set when it cannot be had.
bool take_lease(std::string_view space, LeaseKeeper& keeper, vd_msgid_t& status) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point give_up = Clock::now() + std::chrono::milliseconds(timing().wait_limit_ms);
  std::string announced;
  while (true) {
    std::optional<kxadmin_lease> holder;
    const Take take = try_to_take(space, keeper, holder, status);
    if (take == Take::retry) continue;
    if (take != Take::waiting) return take == Take::held;
    if (Clock::now() >= give_up) {
      status = msg_id(1427);
      print_and_log_error(msg_id(1427), std::string(space), holder->owner.host, timing().wait_limit_ms / 1000);
      return false;
    }
    // Announced once for each run waited for.
    const std::string waited_for = holder->owner.host + " " + std::to_string(holder->owner.process_id);
    if (waited_for != announced) {
      print_and_log_notice(msg_id(1426), holder->owner.host, std::string(space));
      std::fflush(stdout);
      announced = waited_for;
    }
    if (!pause_unless_interrupted(std::chrono::milliseconds(timing().renewal_ms), status)) return false;
  }
}

void release(std::string_view space) {
  kxadmin_response_t response;
  // A lease that cannot be given up expires; its run has ended with
  // nothing left to take back.
  if (kxadmin_lease_release(ctx.get(), space, response) != 1) kxadmin_free(response);
}

}  // namespace

LeaseTiming zarncfg_lease_timing(const std::string& vd_conf) {
  LeaseTiming read;
  vd_status_t status = 0;
  std::unique_ptr<StanzaFile> file = stzFileOpen(vd_conf, STZ_MODE_READ, status);
  if (!file || status != 0) return read;
  read.renewal_ms = entry_ms(*file, "lease-renewal-ms", read.renewal_ms);
  read.wait_limit_ms = entry_ms(*file, "lease-wait-ms", read.wait_limit_ms);
  (void)stzFileClose(std::move(file));
  return read;
}

bool zarncfg_shared_policy_present(const ConfigRecord& record, std::string_view space,
                                   const std::function<bool()>& space_exists, vd_msgid_t& status) {
  // A preview only looks: it takes no lease, and waits for no other run.
  if (zarncfg_kxadmin_current_preview() != nullptr) return space_exists();
  LeaseKeeper* keeper = lease_keeper(record);
  if (keeper == nullptr) {
    status = msg_id(1430);
    print_and_log_error(msg_id(1430), std::string(space));
    return false;
  }
  // Renewed from the moment it is taken: the roll-back of a dead owner
  // may take a while.
  if (!take_lease(space, *keeper, status)) return false;
  // Under the lease the space is either missing or the work of a run that
  // has ended: the answer now holds for the rest of this run.
  if (!space_exists()) return false;
  keeper->remove(space);
  release(space);
  return true;
}

bool zarncfg_kxadmin_leases_held(vd_msgid_t& status) {
  if (!keeper()) return true;
  std::string lost = keeper()->lost();
  for (const std::string& name : keeper()->names()) {
    if (!lost.empty()) break;
    kxadmin_response_t response;
    if (kxadmin_lease_renew(ctx.get(), name, timing().expiry_ms(), response) == 1) continue;
    // Only a lease known lost fails the run; a server that cannot answer
    // now fails the discard that follows.
    if (kxadmin_response_getcode(response.get(), 0) == KXADMIN_CODE_LEASE_LOST) lost = name;
    zarncfg_process_response(response.get());
    kxadmin_free(response);
  }
  if (lost.empty()) return true;
  status = msg_id(1428);
  print_and_log_error(msg_id(1428), lost);
  return false;
}

void zarncfg_kxadmin_end_leases(bool keep) {
  if (!keeper()) return;
  const std::vector<std::string> names = keeper()->names();
  keeper().reset();
  if (keep || !ctx) return;
  for (const std::string& name : names) release(name);
}
