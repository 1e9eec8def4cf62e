// The security master password prompt, and generated passwords.
#pragma once

#include <string>

#include "zarncfg_msg.h"

// Prompts on standard output with echo off and reads one line of any length
// from standard input.  The typed line; on failure a one-character text 0x1E
// with the status set (ZRNCF1328E, ZRNCF1330E, ZRNCF1331E).  The terminal
// is restored on every path, also when the user interrupts at the prompt.
std::string zarncfg_prompt_password(vd_msgid_t prompt, vd_msgid_t& status);
// While refused, a prompt asks nothing and fails with ZRNCF1443E printed:
// for a program that must report a missing password instead.
void zarncfg_refuse_prompts(bool refuse);
// 20 random characters from the password alphabet.
std::string zarncfg_simple_password();
