// The driver: one run from start to exit.  Every path ends in zarncfg_exit,
// which reports the outcome, undoes partial work and sets the exit status.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sys_signals.h"
#include "zarncfg_backup.h"
#include "zarncfg_config.h"
#include "zarncfg_config_lrd.h"
#include "zarncfg_config_register.h"
#include "zarncfg_host_lock.h"
#include "zarncfg_interrupt.h"
#include "zarncfg_killed_run.h"
#include "zarncfg_kxcommon.h"
#include "zarncfg_lrd_tool.h"
#include "zarncfg_parse_cl.h"
#include "zarncfg_parse_rspfile.h"
#include "zarncfg_password_file.h"
#include "zarncfg_prompt.h"
#include "zarncfg_run_record.h"
#include "zarncfg_runtime.h"
#include "zarncfg_sniff.h"
#include "zarncfg_svc.h"
#include "zarncfg_usage.h"
#include "zarncfg_validate.h"

namespace {

// Set once this run's backups exist.  Before that the ".bak" files on disk
// may stem from an earlier run, and restoring them would put an older
// configuration back, so the exit routine leaves every file alone.
bool backups_taken = false;

// Until logging is set up nothing but the set-up's own message on standard
// error can explain the failure.
bool logging_ready = false;

std::string current_directory() {
  std::vector<char> buffer(4096);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE || buffer.size() > (1u << 20)) return "";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

// Set when the policy server cut this run's roll-back short.
bool policy_left = false;

// What a failed configuration step leads to, and a signal after the last
// step as well: the policy commands of this run are taken back.  What the
// policy server could not take back waits in the run record for the next
// run, and so does this run's registration: unregistering now would have
// the later roll-back of the older policy bring the daemon's user back.
void roll_back_policy() {
  print_and_log_notice(msg_id(25));
  if (zarncfg_kxadmin_roll_back() == 0) return;
  policy_left = true;
  zarncfg_keep_policy_for_next_run();
}

// A run whose steps all succeeded keeps its policy: the policy server drops
// the run's undo records, as the last change before the run record goes.
// Done after the last signal could have made the run a failure, since
// without its records the policy can no longer be taken back.  The record
// says so first: a run killed from then on has completed, and the next run
// must keep its files rather than put the backups back over them.
vd_msgid_t settle_policy(vd_msgid_t status) {
  if (status != 0) return status;
  if (!zarncfg_note_settled(true, status)) {
    roll_back_policy();
    return status;
  }
  if (zarncfg_kxadmin_end_run(status)) return status;
  vd_msgid_t ignored = 0;
  // ZRNCF1401E, printed by the write, is all that can be said.
  (void)zarncfg_note_settled(false, ignored);
  roll_back_policy();
  return status;
}

// A termination signal caught at any point ends the run as a failure, even
// one whose steps had all succeeded.
vd_msgid_t outcome_after_signals(vd_msgid_t status) {
  vd_msgid_t interrupted = 0;
  if (!backups_taken || !zarncfg_interrupted(interrupted)) return status;
  if (status == 0) roll_back_policy();
  return status == 0 || status == STATUS_INFO_SERVED ? interrupted : status;
}

// The log router's registration is made to agree with the file the restore
// puts back; where the tool fails, the file is kept as the run left it,
// which agrees with the registration as it stands.  False then.
bool undo_lrd_change(const ConfigRecord& record) {
  const RunRecord* run_record = zarncfg_current_run_record();
  if (run_record == nullptr || run_record->lrd == LrdChange::none) return true;
  if (zarncfg_undo_lrd_change(run_record->lrd, record[IDX_SEC_MASTER_PWD].text())) return true;
  print_and_log_warning(msg_id(1403), ZARNLRD_CONF);
  return false;
}

// zarnd.conf and brevik.conf are kept as ".partial" files after a failed
// run on a host not known to be configured.  A run stopped by a signal
// before it had read the current files has written nothing, and keeps none.
bool keeps_partial_files(const ConfigRecord& record) {
  if (is_already_configured(record)) return false;
  const RunRecord* run_record = zarncfg_current_run_record();
  return sys::first_termination_signal() == 0 || (run_record != nullptr && run_record->configured_before);
}

void undo_run(ConfigRecord& record, int& registered) {
  const bool lrd_agrees = undo_lrd_change(record);
  if (!is_already_configured(record) && registered == 1 && !policy_left) {
    vd_msgid_t ignored = 0;
    zarncfg_register_with_vd(2, record, registered, ignored);
  }
  if (const RunRecord* run_record = zarncfg_current_run_record()) {
    zarncfg_restore_conf_files(*run_record, keeps_partial_files(record), lrd_agrees ? "" : ZARNLRD_CONF);
  }
}

}  // namespace

[[noreturn]] void zarncfg_exit(ConfigRecord& record, int& registered, vd_msgid_t status) {
  // From here on the run is settled: further signals change nothing.
  sys::ignore_termination_signals();
  trace(msg_id(302), "zarncfg_exit");
  status = settle_policy(outcome_after_signals(status));
  // Only now may other runs build on the shared policy this run created
  // (or create it anew, after its roll-back).
  zarncfg_kxadmin_end_leases(policy_left);
  const bool failed = status != 0 && status != STATUS_INFO_SERVED;
  if (failed && backups_taken) undo_run(record, registered);
  if (const RunRecord* run_record = zarncfg_current_run_record()) zarncfg_report_unfinished_work(*run_record);
  zarncfg_end_run_record();
  if (status == 0) {
    print_and_trace(msg_id(315));
  } else if (status != STATUS_INFO_SERVED && logging_ready) {
    log_msg(SUB_UTIL, VD_ATTR_ERROR, msg_id(21), ZARNCFG_LOG_FILE);
    vd_printf(msg_id(21), ZARNCFG_LOG_FILE);
  }
  log_free_text("=============================\n\n");
  std::fflush(stdout);
  std::exit(failed ? 1 : 0);
}

namespace {

struct Run {
  std::vector<std::string> args;
  std::string start_directory;
  ConfigRecord record{};
  int registered = 0;
  std::string prompted_password;
};

[[noreturn]] void finish(Run& run, vd_msgid_t status) { zarncfg_exit(run.record, run.registered, status); }

void finish_on_failure(Run& run, vd_msgid_t status) {
  if (status != 0) finish(run, status);
}

// Where the run may stop cleanly when a signal asked it to.
void stop_if_interrupted(Run& run) {
  vd_msgid_t status = 0;
  if (zarncfg_interrupted(status)) finish(run, status);
}

// Before the run touches anything: the host's lock, then what a killed run
// left is put right, then the backups, and from then on the run record.
void begin_on_host(Run& run) {
  vd_msgid_t status = 0;
  if (!zarncfg_lock_host(status)) finish(run, status);
  RunRecord record;
  if (!zarncfg_finish_killed_run_files(record.unfinished, status)) finish(run, status);
  if (!zarncfg_backup_conf_files(record, status)) finish(run, status);
  backups_taken = true;
  record.tag = zarncfg_this_run_tag();
  if (!zarncfg_begin_run_record(std::move(record), status)) finish(run, status);
  zarncfg_remove_stale_password_files();
  stop_if_interrupted(run);
}

// Known once the current files are read; from here on the record can tell
// whether a killed run was a first configuration.  Then the work killed
// runs left is finished, when this run has the password.
void record_host_state(Run& run) {
  vd_msgid_t status = 0;
  zarncfg_current_run_record()->configured_before = is_already_configured(run.record);
  if (!zarncfg_save_run_record(status)) finish(run, status);
  if (!zarncfg_finish_unfinished_work(run.record, status)) finish(run, status);
  stop_if_interrupted(run);
}

void supply_prompted_password(Run& run, bool mark_as_given) {
  vd_msgid_t status = 0;
  run.prompted_password = zarncfg_prompt_password(msg_id(14), status);
  if (status != 0) finish(run, status);
  ConfigEntry& password = run.record[IDX_SEC_MASTER_PWD];
  password.value = run.prompted_password;
  if (mark_as_given) password.flags |= CFG_SET | CFG_CMDLINE | CFG_RSPFILE | CFG_HAS_VALUE;
}

// The log router steps, before the rest of the configuration.
void handle_log_router(Run& run) {
  const ConfigEntry& lrd_config = run.record[IDX_LRD_CONFIG];
  const bool on_request = lrd_config.has(CFG_SET) && lrd_config.value == "on";
  const bool off_request = lrd_config.has(CFG_SET) && lrd_config.value == "off";
  const bool configured = is_lrd_configured(run.record);
  int lrd_status = 0;
  vd_msgid_t status = 0;
  if (on_request || run.record[IDX_LRD_LOGS].has(CFG_SET) || run.record[IDX_LRD_LOG_ENTRIES].has(CFG_SET)) {
    if (!run.record[IDX_SEC_MASTER_PWD].has(CFG_HAS_VALUE)) supply_prompted_password(run, true);
    zarncfg_configure_zarnlrd(1, run.record, lrd_status, status);
    finish_on_failure(run, status);
    stop_if_interrupted(run);
  }
  if (off_request && configured) {
    const ConfigEntry& password = run.record[IDX_SEC_MASTER_PWD];
    if (!password.has(CFG_CMDLINE) && !password.has(CFG_RSPFILE)) supply_prompted_password(run, false);
    zarncfg_unconfig_zarnlrd(run.record[IDX_SEC_MASTER_PWD].text(), lrd_status, status);
    finish_on_failure(run, status);
    stop_if_interrupted(run);
  }
}

void gather_and_validate(Run& run) {
  vd_msgid_t status = 0;
  zarncfg_read_cfg_files(config_option_def, CONFIG_RECORD_SIZE, run.record, config_stanza_option_map, "zarncfg",
                         status);
  finish_on_failure(run, status);
  stop_if_interrupted(run);
  zarncfg_config_parse_rspfile(run.args, config_option_def, run.record, config_stanza_option_map, IDX_RSPFILE,
                               run.start_directory, status);
  finish_on_failure(run, status);
  stop_if_interrupted(run);
  print_and_trace(msg_id(313));
  zarncfg_parse_the_command_line(run.args, run.record, config_option_def, IDX_DELETE, ZARND_DELETE_ITEMS,
                                 zarncfg_required_options, status);
  finish_on_failure(run, status);
  stop_if_interrupted(run);
  print_and_trace(msg_id(314));
  zarncfg_validate(run.record, run.start_directory, config_option_def, zarncfg_required_options,
                   zarndconf_min_max_requirements, "zarncfg", status);
  finish_on_failure(run, status);
  stop_if_interrupted(run);
}

void apply_configuration(Run& run, bool event_console_follow_up) {
  vd_msgid_t status = 0;
  zarncfg_config(run.record, run.registered, status);
  if (status != 0) {
    roll_back_policy();
    finish(run, status);
  }
  if (event_console_follow_up) zarncfg_switch_off_event_console(run.record);
}

}  // namespace

int main(int argc, char** argv) {
  // First of all: a signal from now on ends the run through its exit routine.
  sys::catch_termination_signals();
  Run run;
  run.args.assign(argv, argv + argc);
  if (run.args.empty()) run.args.emplace_back("zarncfg");
  run.start_directory = current_directory();
  const bool in_work_dir = chdir(ZARNCFG_WORK_DIR) == 0;
  zarncfg_kxadmin_reset_undo_stack();

  vd_msgid_t status = 0;
  zarncfg_svc_initialize(run.args[0], status);
  if (status != 0) finish(run, status);
  logging_ready = true;
  log_notice(msg_id(17), run.args[0]);
  if (zarncfg_verify_root_user(status) == 0) finish(run, status);
  begin_on_host(run);

  zarncfg_request_usage(run.args, msg_id(141), config_option_def, 2, status);
  if (status != 0) {
    vd_printf(status);
    if (status == msg_id(141)) vd_printf(msg_id(150));
    finish(run, STATUS_INFO_SERVED);
  }
  if (!in_work_dir) {
    print_and_log_error(msg_id(1324), ZARNCFG_WORK_DIR);
    finish(run, msg_id(1324));
  }
  trace(msg_id(301), ZARNCFG_WORK_DIR);
  zarncfg_is_vdrte_configured(status);
  if (status != 0) {
    print_and_log_error(status);
    finish(run, status);
  }
  print_and_trace(msg_id(310));
  print_and_trace(msg_id(311));
  gather_and_validate(run);
  record_host_state(run);

  const bool event_console_follow_up = !is_already_configured(run.record);
  print_and_trace(msg_id(327));
  handle_log_router(run);
  apply_configuration(run, event_console_follow_up);
  finish(run, 0);
}
