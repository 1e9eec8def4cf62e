// Running an external tool for the configuration actions.
#pragma once

#include <string>

// Runs the command through the command runner, logging the display text in
// its place (the command itself when the display text is empty), removes the
// runner's output file and returns the command's exit status.
int zarncfg_run_tool(const std::string& command, const std::string& display);
