// Backups of the daemons' configuration files taken before a run, and the
// restore after a failed or killed one.
#pragma once

#include <string_view>

#include "zarncfg_msg.h"
#include "zarncfg_run_record.h"

// Copies each configuration file that exists to "<file>.bak" the way
// /bin/cp does: by content, following a link.  The run record learns which
// files were backed up and which did not exist.  A backup that cannot be
// taken fails the run before anything has changed: false, with ZRNCF1402E
// printed and logged and the status set.
bool zarncfg_backup_conf_files(RunRecord& record, vd_msgid_t& status);

// Puts back the files of the run that `record` describes.  After a failed
// first configuration zarnd.conf and brevik.conf are first kept as
// ".partial" files.  Every backed-up file whose ".bak" copy is there gets
// it back, through its link when the file is a link; a file named `keep`
// stays as it is.  A file the run created stays too, except zarnlrd.conf
// when the run registered the log router: its registration is undone.  Doing it twice does no harm, so that a restore cut short
// by a crash can simply be done again.
void zarncfg_restore_conf_files(const RunRecord& record, bool first_configuration, std::string_view keep = {});
