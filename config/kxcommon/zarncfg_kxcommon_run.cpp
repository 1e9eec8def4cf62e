// This run on the policy server: the tag its undo records are kept under,
// the roll-back that consumes them and the end that drops them.
#include "zarncfg_kxcommon.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

#include "zarncfg_svc.h"

namespace {

kxadmin_run_tag this_process_tag() {
  return kxadmin_run_tag{zarncfg_kxadmin_host_name(), static_cast<std::int64_t>(getpid()),
                         static_cast<std::int64_t>(std::time(nullptr))};
}

std::optional<kxadmin_run_tag>& chosen_tag() {
  static std::optional<kxadmin_run_tag> tag;
  return tag;
}

// The records the policy server still holds for the run; none when it
// cannot say.
std::optional<unsigned long> records_left(const kxadmin_run_tag& tag) {
  std::vector<kxadmin_run_info> runs;
  kxadmin_response_t response;
  const int result = kxadmin_run_list(ctx.get(), tag.host, runs, response);
  if (result != 1) {
    zarncfg_process_response(response.get());
    kxadmin_free(response);
    return std::nullopt;
  }
  for (const auto& run : runs) {
    if (run.tag == tag) return run.undo_records;
  }
  return 0;
}

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
  return std::min<std::size_t>(records_left(tag).value_or(applied), applied);
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

std::string zarncfg_kxadmin_host_name() {
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0') return "localhost";
  return name.data();
}

void zarncfg_kxadmin_set_run_tag(std::optional<kxadmin_run_tag> tag) { chosen_tag() = std::move(tag); }

const kxadmin_run_tag& zarncfg_kxadmin_run_tag() {
  static const kxadmin_run_tag own = this_process_tag();
  return chosen_tag() ? *chosen_tag() : own;
}

void zarncfg_kxadmin_roll_back() {
  FunctionTrace scope("zarncfg_kxadmin_roll_back");
  const std::size_t applied = zarncfg_kxadmin_undo_depth();
  const std::size_t left = applied == 0 ? 0 : roll_back_on_server(zarncfg_kxadmin_run_tag(), applied);
  show_taken_back(applied - left);
  vd_printf(msg_id(13));
  if (left == 0) return;
  // What is left is on the policy server under this run's tag; the next
  // run on this host with the password takes it back.
  print_and_log_warning(msg_id(1421), static_cast<long>(left));
  zarncfg_kxadmin_reset_undo_stack();
}

bool zarncfg_kxadmin_end_run(vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_kxadmin_end_run");
  if (zarncfg_kxadmin_undo_depth() == 0) return true;
  kxadmin_response_t response;
  trace(msg_id(306), "run_discard");
  int result = kxadmin_run_discard(ctx.get(), zarncfg_kxadmin_run_tag(), response);
  trace(msg_id(307), "run_discard", static_cast<long>(result));
  if (result != 1) {
    zarncfg_process_response(response.get());
    // Reason 1: the records are gone even though the call failed.
    if (kxadmin_response_getreason(response.get()) == 1) result = 1;
    kxadmin_free(response);
  }
  if (result == 1) {
    zarncfg_kxadmin_reset_undo_stack();
    return true;
  }
  status = msg_id(1424);
  print_and_log_error(msg_id(1424));
  return false;
}
