// Policy administration: default policy files, their commands and roll-back.
#pragma once

#include "zarncfg_record.h"

void zarncfg_kxadmin_reset_undo_stack();
void zarncfg_kxadmin_roll_back();
