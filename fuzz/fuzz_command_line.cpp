// The command-line pass: the input's lines are the words after the program
// name.  Each input runs twice, on a host never configured and on one
// configured with a branch and a suffix, since only the latter refuses
// changes to those two.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "zarncfg_parse_cl.h"

namespace {

ConfigRecord configured_host() {
  ConfigRecord record{};
  record[IDX_BRANCH] = {CFG_CURRENT | CFG_HAS_VALUE, "policy_branch"};
  record[IDX_SUFFIX] = {CFG_CURRENT | CFG_HAS_VALUE, "o=varden"};
  record[IDX_CONFIG_STATE] = {CFG_CURRENT, "on"};
  return record;
}

bool is_one_of(const std::string& value, const std::vector<std::string>& words) {
  for (const auto& word : words) {
    if (word == value) return true;
  }
  return false;
}

// What a complete parse promises about every option's entry.
void check_parsed(const ConfigRecord& record, const std::vector<std::string>& args) {
  for (std::size_t index = 0; index < config_option_def.size(); ++index) {
    const ConfigEntry& entry = record[index];
    if (entry.has(CFG_SET) != entry.has(CFG_CMDLINE | CFG_RSPFILE | CFG_DEFAULT)) fuzz::fail("CFG_SET is wrong");
    if (entry.has(CFG_HAS_VALUE) != entry.has(CFG_SET | CFG_CURRENT)) fuzz::fail("CFG_HAS_VALUE is wrong");
    if (entry.has(CFG_CMDLINE) && entry.value && !is_one_of(*entry.value, args)) {
      fuzz::fail("a command-line value is not one of the words");
    }
  }
}

void parse(const std::vector<std::string>& args, ConfigRecord record) {
  vd_msgid_t status = 0;
  zarncfg_log_command_line(args, status);
  if (status != 0) fuzz::fail("logging the command line failed");
  zarncfg_parse_command_line(args, config_option_def, record, status);
  if (status != 0) return;
  check_parsed(record, args);
  const ConfigEntry& deletions = record[IDX_DELETE];
  if (!deletions.has(CFG_SET)) return;
  zarncfg_delete_cl_options(deletions.text(), config_option_def, record, ZARND_DELETE_ITEMS,
                            zarncfg_required_options, status);
  for (const int required : zarncfg_required_options) {
    if (record[static_cast<std::size_t>(required)].has(CFG_DELETED)) fuzz::fail("a required option was deleted");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::prepare_reporting();
  std::vector<std::string> args{"zarncfg"};
  if (size > 0) {
    for (auto& word : fuzz::split(fuzz::as_text(data, size), '\n')) args.push_back(std::move(word));
  }
  parse(args, ConfigRecord{});
  parse(args, configured_host());
  return 0;
}
