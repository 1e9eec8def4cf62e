// Every configuration action removes the runner's output file at once.
#include "zarncfg_config_run.h"

#include "zarncfg_process.h"

int zarncfg_run_tool(const std::string& command, const std::string& display) {
  ScopedFile output;
  return zarncfg_popen(command, display, output);
}
