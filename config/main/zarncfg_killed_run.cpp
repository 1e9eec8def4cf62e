#include "zarncfg_killed_run.h"

#include <utility>

#include "zarncfg_backup.h"
#include "zarncfg_config_register.h"
#include "zarncfg_kxcommon.h"
#include "zarncfg_lrd_tool.h"
#include "zarncfg_strings.h"
#include "zarncfg_svc.h"
#include "zarncfg_tables.h"

namespace {

int pid_of(const UnfinishedWork& work) { return static_cast<int>(work.tag.pid); }

kxadmin_run_tag kx_tag(const UnfinishedWork& work) {
  return {work.tag.host, static_cast<std::int64_t>(work.tag.pid), static_cast<std::int64_t>(work.tag.started)};
}

bool has_password(const ConfigRecord& record) { return !zarncfg_is_empty(record[IDX_SEC_MASTER_PWD].value); }

// Failures are reported by the unregistration itself and, as after a
// failed first configuration, do not stop the run.
void unregister_daemon(ConfigRecord& record) {
  int registered = 1;
  vd_msgid_t ignored = 0;
  zarncfg_register_with_vd(2, record, registered, ignored);
}

// Newest change first: the policy, then the registration it was applied
// for, then the log router.  False when the policy could not be rolled
// back: the registration stays too, and the work stays in the record.
bool finish_one(const UnfinishedWork& work, ConfigRecord& record, vd_msgid_t& status) {
  if (work.settled) return zarncfg_kxadmin_drop_settled_run(record, kx_tag(work), status);
  if (!work.policy_files.empty() && !zarncfg_finish_killed_policy(work, record, status)) return false;
  if (work.registration) unregister_daemon(record);
  if (work.lrd != LrdChange::none && !zarncfg_undo_lrd_change(work.lrd, record[IDX_SEC_MASTER_PWD].text())) {
    // The files were put back when the run began; the tool's failure is
    // the one word there is on the registration.
    print_and_log_error(msg_id(work.lrd == LrdChange::register_daemon ? 1394 : 1391));
  }
  return true;
}

}  // namespace

bool zarncfg_finish_killed_run_files(std::vector<UnfinishedWork>& carried, vd_msgid_t& status) {
  RunRecord found;
  const RecordOnDisk read = zarncfg_read_run_record(found);
  if (read == RecordOnDisk::none) return true;
  if (read == RecordOnDisk::unreadable) {
    status = msg_id(1405);
    print_and_log_error(msg_id(1405), ZARNCFG_RUN_RECORD);
    return false;
  }
  carried = found.unfinished;
  if (found.has_run()) {
    // A run killed after every step had succeeded has completed: its files
    // stay as it wrote them.
    if (!found.settled) {
      zarncfg_restore_conf_files(found, found.configured_before == false);
      print_and_log_warning(msg_id(1397), static_cast<int>(found.tag.pid));
    }
    if (!found.password_work().empty()) carried.push_back(found.password_work());
  }
  RunRecord left;
  left.unfinished = carried;
  return zarncfg_write_run_record(left, status);
}

bool zarncfg_finish_unfinished_work(ConfigRecord& record, vd_msgid_t& status) {
  RunRecord* run_record = zarncfg_current_run_record();
  if (run_record == nullptr || run_record->unfinished.empty() || !has_password(record)) return true;
  std::vector<UnfinishedWork>& unfinished = run_record->unfinished;
  while (!unfinished.empty()) {
    if (!finish_one(unfinished.back(), record, status)) {
      // What is left stays in the record for the next run; the failure
      // to roll back is what this run reports.
      vd_msgid_t ignored = 0;
      (void)zarncfg_save_run_record(ignored);
      return false;
    }
    unfinished.pop_back();
  }
  return zarncfg_save_run_record(status);
}

bool zarncfg_finish_killed_policy(const UnfinishedWork& work, ConfigRecord& record, vd_msgid_t& status) {
  return zarncfg_kxadmin_roll_back_killed_run(record, kx_tag(work), status);
}

void zarncfg_keep_policy_for_next_run() {
  RunRecord* run_record = zarncfg_current_run_record();
  if (run_record == nullptr || run_record->policy_files.empty()) return;
  run_record->unfinished.push_back({run_record->tag, run_record->registration, LrdChange::none, run_record->policy_files});
  vd_msgid_t ignored = 0;
  // ZRNCF1401E, printed by the write, is all that can be said; the
  // policy server keeps the records either way.
  (void)zarncfg_save_run_record(ignored);
}

void zarncfg_report_unfinished_work(const RunRecord& record) {
  for (const UnfinishedWork& work : record.unfinished) {
    // This run's own roll-back that stopped short has said so (ZRNCF1421W).
    if (work.tag == record.tag) continue;
    // A settled run's changes stay; dropping its undo records harms nobody
    // when it waits.
    if (work.settled) continue;
    for (const std::string& file : work.policy_files) print_and_log_warning(msg_id(1400), pid_of(work), file);
    if (work.registration) print_and_log_warning(msg_id(1398), pid_of(work));
    if (work.lrd != LrdChange::none) print_and_log_warning(msg_id(1399), pid_of(work));
  }
}

bool zarncfg_undo_lrd_change(LrdChange change, const std::string& password) {
  const bool was_registered = change == LrdChange::register_daemon;
  vd_printf(msg_id(was_registered ? 336 : 335));
  ShellCommand command = was_registered ? zarnlrd_unconfig_command(password) : zarnlrd_config_command(password);
  return zarncfg_run_shell_to_file(std::move(command), was_registered ? ZARNLRD_UNCONFIG_OUTPUT : ZARNLRD_CONFIG_OUTPUT) == 0;
}
