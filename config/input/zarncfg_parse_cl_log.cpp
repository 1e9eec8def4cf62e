// The command line as the log shows it: every word, except that the word
// after a password option is replaced.
#include "zarncfg_parse_cl.h"

#include <array>

#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

namespace {

// Options whose following word is a secret.
constexpr std::array<int, 1> passwords = {IDX_SEC_MASTER_PWD};

// Masks in any case and by any abbreviation: the parser accepts the
// abbreviations, and a user who typed the option in capitals still typed a
// password after it.
bool names_password_option(const std::string& word) {
  std::string lowered = word;
  zarncfg_strlwr(lowered);
  for (const int index : passwords) {
    if (zarncfg_word_names_option(lowered, config_option_def[static_cast<std::size_t>(index)])) return true;
  }
  return false;
}

}  // namespace

void zarncfg_log_command_line(std::span<const std::string> args, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_log_command_line");
  status = 0;
  log_notice(msg_id(18));
  for (std::size_t position = 0; position < args.size(); ++position) {
    log_free_text(args[position]);
    if (names_password_option(args[position]) && position + 1 < args.size()) {
      log_free_text("********");
      ++position;
    }
  }
  log_free_text("\n");
}
