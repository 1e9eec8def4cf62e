// Policy command file lines, taken as the file reader takes them: comment
// cut and blank folding, quoted words, placeholders, the command table, and
// the field reading of every command's wrapper (against no policy server, so
// each call fails cleanly after reading its fields), the decimal reading of
// every field, and a roll-back that the server cannot carry out.
#include <algorithm>
#include <climits>
#include <cstdlib>
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

// A decimal field reads as strtol reads it, held to the range of int.
void check_decimal(const std::string& field) {
  const long long expected = std::strtoll(field.c_str(), nullptr, 10);
  const long long clamped = std::clamp<long long>(expected, INT_MIN, INT_MAX);
  if (zarncfg_kxadmin_decimal(field) != clamped) fuzz::fail("a decimal field reads otherwise than strtol");
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
  for (std::size_t i = 0; i < cmd.fields.size(); ++i) check_decimal(zarncfg_get_field(cmd.fields, i).value_or(""));
  if (zarncfg_execute_kxadmin_command(cmd) == 0) fuzz::fail("a command applied without a server");
  // A roll-back that the server refuses still leaves the stack empty.
  zarncfg_kxadmin_reset_undo_stack();
  zarncfg_kxadmin_push(cmd);
  if (zarncfg_kxadmin_roll_back() != 1) fuzz::fail("a refused roll-back did not count the command as left");
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
