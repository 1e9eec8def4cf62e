// A run that was killed is finished by the next one.  Its run record
// (zarncfg_run_record.h) tells what it had changed: the configuration files
// are put back as soon as the next run holds the host's lock; what needs
// the security master password (the daemon's registration, the log
// router's registration, the policy it was applying) waits for a run that
// has the password, right after that run's validation.
#pragma once

#include <string>
#include <vector>

#include "zarncfg_msg.h"
#include "zarncfg_record.h"
#include "zarncfg_run_record.h"

// Right after the host's lock is taken: when the record on the host names
// a run that never ended, its files are restored at once (ZRNCF1397W,
// printed and logged) and the work that needs the password is carried over
// into `carried`, together with older unfinished work; the record is
// rewritten to hold only that.  False with ZRNCF1405E when the record
// cannot be read, ZRNCF1401E when it cannot be rewritten.
bool zarncfg_finish_killed_run_files(std::vector<UnfinishedWork>& carried, vd_msgid_t& status);

// The hook after validation, before the run's own steps: a run that has
// the security master password finishes the unfinished work in its record,
// newest change first (policy, the daemon's registration, the log router),
// and drops it from the record.  A run without the password leaves it; its
// exit routine reports it.  False with ZRNCF1401E when the record cannot be
// written, and with ZRNCF1423E when a policy roll-back failed: the work not
// finished stays in the record.
bool zarncfg_finish_unfinished_work(ConfigRecord& record, vd_msgid_t& status);

// The policy server side of a killed run's work: the policy it applied is
// rolled back from the undo records the server keeps under the run's tag
// (ZRNCF1422W).  False with ZRNCF1423E and the status set when that failed.
bool zarncfg_finish_killed_policy(const UnfinishedWork& work, ConfigRecord& record, vd_msgid_t& status);

// This run's own roll-back stopped short (ZRNCF1421W): its policy files
// and its registration become unfinished work in the record, so that the
// next run with the password rolls back what the policy server still holds
// of this run, then unregisters the daemon.
void zarncfg_keep_policy_for_next_run();

// Reports the unfinished work that stays in the record for a later run
// (ZRNCF1398W, ZRNCF1399W, ZRNCF1400W).
void zarncfg_report_unfinished_work(const RunRecord& record);

// Changes the log router's registration back after a run made `change`,
// printing what it does; false when the tool failed.
bool zarncfg_undo_lrd_change(LrdChange change, const std::string& password);
