// A run of this host that ended without finishing, killed or with its own
// roll-back cut short: the policy server still holds its undo records under
// its tag, and the host's run record names that tag.  The next run with the
// security master password takes the records back before it applies
// anything of its own.
#include <algorithm>
#include <cstdio>

#include "zarncfg_kxcommon.h"
#include "zarncfg_svc.h"

namespace {

bool roll_back_with(const kxadmin_context* admin, const kxadmin_run_tag& tag) {
  return zarncfg_kxadmin_take_back_run(admin, tag, [&](unsigned long records) {
    print_and_log_warning(msg_id(1422), static_cast<long>(tag.process_id), static_cast<long>(records));
  });
}

}  // namespace

bool zarncfg_kxadmin_take_back_run(const kxadmin_context* admin, const kxadmin_run_tag& tag,
                                   const std::function<void(unsigned long)>& announce) {
  const std::optional<unsigned long> records = zarncfg_kxadmin_records_of(admin, tag);
  if (!records) return false;
  // Killed before its first command, or after its records were dropped.
  if (*records == 0) return true;
  announce(*records);
  kxadmin_response_t response;
  trace(msg_id(306), "run_rollback");
  const int result = kxadmin_run_rollback(admin, tag, response);
  trace(msg_id(307), "run_rollback", static_cast<long>(result));
  unsigned long left = 0;
  if (result != 1) {
    zarncfg_process_response(response.get());
    kxadmin_free(response);
    left = std::min(zarncfg_kxadmin_records_of(admin, tag).value_or(*records), *records);
  }
  for (unsigned long location = *records; location > left; --location) {
    trace(msg_id(364), static_cast<long>(location - 1));
    vd_printf(msg_id(3));
  }
  vd_printf(msg_id(13));
  std::fflush(stdout);
  return left == 0;
}

namespace {

// A context of its own, without this run's tag: taking a run back or
// dropping its records writes no records, and this run's own context is
// made by its own steps.  Empty when it cannot be made.
kxadmin_context_t admin_context(const ConfigRecord& record) {
  kxadmin_context_t admin;
  kxadmin_response_t response;
  const int result =
      kxadmin_context_createdefault("sec_master", record[IDX_SEC_MASTER_PWD].text(), admin, response);
  trace(msg_id(359), "kxadmin_context_createdefault", static_cast<long>(result));
  if (result == 1) return admin;
  zarncfg_process_response(response.get());
  kxadmin_free(response);
  return {};
}

bool drop_with(const kxadmin_context* admin, const kxadmin_run_tag& tag) {
  const std::optional<unsigned long> records = zarncfg_kxadmin_records_of(admin, tag);
  if (!records) return false;
  return *records == 0 || zarncfg_kxadmin_discard_run(admin, tag);
}

}  // namespace

bool zarncfg_kxadmin_drop_settled_run(const ConfigRecord& record, const kxadmin_run_tag& tag, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_kxadmin_drop_settled_run");
  const kxadmin_context_t admin = admin_context(record);
  if (admin && drop_with(admin.get(), tag)) return true;
  status = msg_id(1424);
  print_and_log_error(msg_id(1424));
  return false;
}

bool zarncfg_kxadmin_roll_back_killed_run(const ConfigRecord& record, const kxadmin_run_tag& tag,
                                          vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_kxadmin_roll_back_killed_run");
  const kxadmin_context_t admin = admin_context(record);
  if (admin && roll_back_with(admin.get(), tag)) return true;
  status = msg_id(1423);
  print_and_log_error(msg_id(1423), static_cast<long>(tag.process_id));
  return false;
}
