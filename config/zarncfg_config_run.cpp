// The command runner leaves its output file for the caller; every
// configuration action removes it at once, so one helper does both.
#include "zarncfg_config_run.h"

#include <cstdio>

#include "zarncfg_config_pending.h"

int zarncfg_run_tool(const std::string& command, const std::string& display) {
  std::string output_file;
  const int result = zarncfg_popen(command, display, output_file);
  if (!output_file.empty()) std::remove(output_file.c_str());
  return result;
}
