// This run on the policy server: the tag its undo records are kept under,
// the roll-back that consumes them and the end that drops them.
#include "zarncfg_kxcommon.h"

#include <algorithm>
#include <cstdio>

#include "zarncfg_run_record.h"
#include "zarncfg_svc.h"

namespace {

// Takes the run's commands back; the number of commands still not taken
// back (all of them when the server cannot say).
std::size_t roll_back_on_server(const kxadmin_run_tag& tag, std::size_t applied) {
  kxadmin_response_t response;
  trace(msg_id(306), "run_rollback");
  const int result = kxadmin_run_rollback(ctx.get(), tag, response);
  trace(msg_id(307), "run_rollback", static_cast<long>(result));
  if (result == 1) return 0;
  zarncfg_process_response(response.get());
  kxadmin_free(response);
  return std::min<std::size_t>(zarncfg_kxadmin_records_of(ctx.get(), tag).value_or(applied), applied);
}

// One dot for each command taken back, newest first.
void show_taken_back(std::size_t count) {
  AdminCommand newest;
  for (std::size_t i = 0; i < count && zarncfg_kxadmin_pop(newest); ++i) {
    trace(msg_id(364), static_cast<long>(zarncfg_kxadmin_undo_depth()));
    vd_printf(msg_id(3));
    std::fflush(stdout);
    trace(msg_id(390), newest.index, newest.command);
  }
}

}  // namespace

const kxadmin_run_tag& zarncfg_kxadmin_run_tag() {
  static const kxadmin_run_tag tag = [] {
    const RunTag& run = zarncfg_this_run_tag();
    return kxadmin_run_tag{run.host, static_cast<std::int64_t>(run.pid), static_cast<std::int64_t>(run.started)};
  }();
  return tag;
}

std::optional<unsigned long> zarncfg_kxadmin_records_of(const kxadmin_context* context, const kxadmin_run_tag& tag) {
  std::vector<kxadmin_run_info> runs;
  kxadmin_response_t response;
  if (kxadmin_run_list(context, tag.host, runs, response) != 1) {
    zarncfg_process_response(response.get());
    kxadmin_free(response);
    return std::nullopt;
  }
  const auto found = std::find_if(runs.begin(), runs.end(), [&](const auto& run) { return run.tag == tag; });
  return found == runs.end() ? 0 : found->undo_records;
}

bool zarncfg_kxadmin_discard_run(const kxadmin_context* context, const kxadmin_run_tag& tag) {
  kxadmin_response_t response;
  trace(msg_id(306), "run_discard");
  const int result = kxadmin_run_discard(context, tag, response);
  trace(msg_id(307), "run_discard", static_cast<long>(result));
  if (result == 1) return true;
  zarncfg_process_response(response.get());
  // Reason 1: the records are gone even though the call failed.
  const bool gone = kxadmin_response_getreason(response.get()) == 1;
  kxadmin_free(response);
  return gone;
}

std::size_t zarncfg_kxadmin_roll_back() {
  FunctionTrace scope("zarncfg_kxadmin_roll_back");
  const std::size_t applied = zarncfg_kxadmin_undo_depth();
  const std::size_t left = applied == 0 ? 0 : roll_back_on_server(zarncfg_kxadmin_run_tag(), applied);
  show_taken_back(applied - left);
  vd_printf(msg_id(13));
  if (left == 0) return 0;
  // What is left is on the policy server under this run's tag; the next
  // run on this host with the password takes it back.
  print_and_log_warning(msg_id(1421), static_cast<long>(left));
  zarncfg_kxadmin_reset_undo_stack();
  return left;
}

bool zarncfg_kxadmin_end_run(vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_kxadmin_end_run");
  // A run that lost a lease may have had its policy taken back by the
  // run that took the lease over: it fails.
  if (!zarncfg_kxadmin_leases_held(status)) return false;
  if (zarncfg_kxadmin_undo_depth() == 0) return true;
  if (zarncfg_kxadmin_discard_run(ctx.get(), zarncfg_kxadmin_run_tag())) {
    zarncfg_kxadmin_reset_undo_stack();
    return true;
  }
  status = msg_id(1424);
  print_and_log_error(msg_id(1424));
  return false;
}
