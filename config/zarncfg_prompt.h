// The security master password prompt, and generated passwords.
#pragma once

#include <string>

#include "zarncfg_msg.h"

// The typed line; on failure a one-character text 0x1E with the status set.
std::string zarncfg_prompt_password(vd_msgid_t prompt, vd_msgid_t& status);
// 20 random characters from the password alphabet.
std::string zarncfg_simple_password();
