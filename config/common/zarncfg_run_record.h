// The run record: what a run on this host has changed or is about to
// change, kept on disk from the moment its backups exist until it ends, so
// that the next run can finish a run that was killed.
//
// The record is a small text file, written whole and atomically and synced
// before each step it describes.  It never holds a password.  Its lines:
//
//   zarncfg-run-record 1
//   run <host> <pid> <start time>          the run that keeps it (its tag)
//   configured-before unknown|yes|no       known once the current files are read
//   backed-up <path>                       "<path>.bak" holds the file as it was
//   absent <path>                          the file did not exist
//   registration zarnd                     the daemon's registration was started
//   lrd register|unregister                the log router's registration change was started
//   policy <path>                          a policy command file was being applied
//   settled                                every step succeeded: the run's changes stay,
//                                          and the policy server is dropping its undo records
//   unfinished <host> <pid> <start time> registration zarnd
//   unfinished <host> <pid> <start time> lrd register|unregister
//   unfinished <host> <pid> <start time> policy <path>
//   unfinished <host> <pid> <start time> settled    undo records to drop, not to take back
//
// "unfinished" lines are the work of an earlier run that was killed and
// that only a run with the security master password can finish; they stay
// until such a run has finished them.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zarncfg_msg.h"

inline constexpr const char* ZARNCFG_RUN_RECORD = "/var/zarn/run/zarncfg.run";

// Names one run on one host; also the key under which the policy server
// side keeps what a run applied.
struct RunTag {
  std::string host;
  long pid = 0;
  long long started = 0;  // seconds since the epoch
  bool operator==(const RunTag&) const = default;
};

enum class LrdChange { none, register_daemon, unregister_daemon };

// What a killed run left that needs the security master password.
struct UnfinishedWork {
  RunTag tag;
  bool registration = false;
  LrdChange lrd = LrdChange::none;
  std::vector<std::string> policy_files;
  // The run had succeeded: what the policy server still keeps of it are
  // undo records to drop; its changes stay.
  bool settled = false;
  bool operator==(const UnfinishedWork&) const = default;
  bool empty() const { return !registration && lrd == LrdChange::none && policy_files.empty() && !settled; }
};

struct RunRecord {
  RunTag tag;  // pid 0: no run keeps the record, only unfinished work
  std::optional<bool> configured_before;
  std::vector<std::string> backed_up;
  std::vector<std::string> absent;
  bool registration = false;
  LrdChange lrd = LrdChange::none;
  std::vector<std::string> policy_files;
  bool settled = false;
  std::vector<UnfinishedWork> unfinished;
  bool operator==(const RunRecord&) const = default;
  bool has_run() const { return tag.pid != 0; }
  // The part of this run's own work that needs the password to finish:
  // after it settled, only the dropping of its undo records.
  UnfinishedWork password_work() const {
    if (settled) return {tag, false, LrdChange::none, {}, !policy_files.empty()};
    return {tag, registration, lrd, policy_files};
  }
};

std::string format_run_record(const RunRecord& record);
// Nothing when the text is not a run record.
std::optional<RunRecord> parse_run_record(std::string_view text);

// This run's tag: host name, process id, start time.
RunTag zarncfg_this_run_tag();

enum class RecordOnDisk { none, read, unreadable };
RecordOnDisk zarncfg_read_run_record(RunRecord& record, const std::string& path = ZARNCFG_RUN_RECORD);

// Writes the record, or removes it when it holds neither a run nor
// unfinished work.  False with ZRNCF1401E printed and logged and the status
// set when that fails.
bool zarncfg_write_run_record(const RunRecord& record, vd_msgid_t& status,
                              const std::string& path = ZARNCFG_RUN_RECORD);

// ---- The record of this run, kept by the driver, noted in by the steps ----

// Makes `record` this run's record and writes it.  Until then (and in unit
// tests) the notes below do nothing and succeed.
bool zarncfg_begin_run_record(RunRecord record, vd_msgid_t& status, const std::string& path = ZARNCFG_RUN_RECORD);
// This run's record, or nothing before it began and after it ended.
RunRecord* zarncfg_current_run_record();
// Writes this run's record as it stands now.
bool zarncfg_save_run_record(vd_msgid_t& status);
// Each note is on disk before it returns true; a step whose note could not
// be written must not run (the status says why).
bool zarncfg_note_registration(vd_msgid_t& status);
bool zarncfg_note_lrd_change(LrdChange change, vd_msgid_t& status);
bool zarncfg_note_policy_file(const std::string& path, vd_msgid_t& status);
// Every step succeeded (or, `settled` false, the policy server could not
// drop the undo records after all and the run is being rolled back).
bool zarncfg_note_settled(bool settled, vd_msgid_t& status);
// The run is over: only the unfinished work of earlier runs stays on disk.
void zarncfg_end_run_record();
