// Policy command file lines, taken as the file reader takes them: comment
// cut and blank folding, quoted words, placeholders, the command table, and
// the field reading of every command's wrapper and of its inverse (against
// no policy server, so each call fails cleanly after reading its fields).
#include <string>

#include "fuzz_support.h"
#include "zarncfg_kxcommon.h"
#include "zarncfg_strings.h"

namespace {

// Values that themselves look like what the line is made of.
ConfigRecord record_with_hostile_values() {
  ConfigRecord record{};
  record[IDX_BRANCH].value = "policy \"branch\" %SUFFIX%";
  record[IDX_BRANCH].flags = CFG_CMDLINE | CFG_SET | CFG_HAS_VALUE;
  record[IDX_SUFFIX].value = "o=varden # c=us";
  record[IDX_SUFFIX].flags = CFG_CMDLINE | CFG_SET | CFG_HAS_VALUE;
  return record;
}

void check_command(const AdminCommand& cmd) {
  if (cmd.index < 0 || static_cast<std::size_t>(cmd.index) >= zarncfg_kxadmin_command_usage.size()) {
    fuzz::fail("a parsed command has no row");
  }
  const CommandUsage& usage = zarncfg_kxadmin_command_usage[static_cast<std::size_t>(cmd.index)];
  if (cmd.command != usage.command) fuzz::fail("a parsed command has another row's word");
  if (cmd.field_count < usage.min_fields) fuzz::fail("a parsed command lacks fields");
  if (static_cast<std::size_t>(cmd.field_count) != cmd.fields.size()) fuzz::fail("the field count is wrong");
}

void process_line(const std::string& raw, const ConfigRecord& record) {
  const std::string cleaned = zarncfg_kxadmin_clean_line(raw);
  if (cleaned.empty()) return;
  if (cleaned.find('#') != std::string::npos || cleaned.find('\t') != std::string::npos) {
    fuzz::fail("a cleaned line keeps a comment or a tab");
  }
  std::string line = cleaned;
  if (zarncfg_quotes_to_word(line) == 0) return;
  if (line.find('"') != std::string::npos) fuzz::fail("quotes survive the grouping of words");
  vd_msgid_t status = 0;
  zarncfg_kxadmin_replace_string(line, record, "zarncfg", status);
  if (status != 0) return;
  AdminCommand cmd;
  if (zarncfg_parse_kxadmin(cmd, line, "/opt/zarn/etc/brevik.fuzz") != 0) return;
  check_command(cmd);
  for (std::size_t i = 0; i <= cmd.fields.size(); ++i) (void)zarncfg_get_field(cmd.fields, i);
  if (zarncfg_execute_kxadmin_command(cmd, KxMode::apply, line) == 0) fuzz::fail("a command applied without a server");
  // The inverse reads the line again as it would after a real apply.
  zarncfg_kxadmin_reset_undo_stack();
  if (zarncfg_kxadmin_push(cmd, line) == 0) zarncfg_kxadmin_roll_back();
  if (zarncfg_kxadmin_undo_depth() != 0) fuzz::fail("a roll-back left commands on the stack");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ConfigRecord record = [] {
    fuzz::prepare_reporting();
    zarncfg_kxadmin_set_password_source([] { return std::string("pw%POLICY% \"x\""); });
    return record_with_hostile_values();
  }();
  // Each line of the input is one line of a command file.
  for (const std::string& raw : fuzz::split(fuzz::as_text(data, size), '\n')) process_line(raw, record);
  return 0;
}
