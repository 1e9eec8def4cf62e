// Placeholder until policy commands are applied.
#include "zarncfg_kxcommon.h"

void zarncfg_kxadmin_reset_undo_stack() {}
void zarncfg_kxadmin_roll_back() {}
