// Backups of the daemons' configuration files taken before a run.
#pragma once

void zarncfg_backup_conf_files();
void zarncfg_restore_conf_files();
