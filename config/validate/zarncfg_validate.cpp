// Validation: the root check made first in every run, the order of the
// steps, and the required options.
#include "zarncfg_validate.h"

#include <unistd.h>

#include <algorithm>

#include "zarncfg_svc.h"

namespace {

// Option names may carry a "#" suffix that is not shown to the user.
std::string_view shown_name(const ConfigOptionDef& option) {
  const std::string_view name(option.name);
  return name.substr(0, name.find('#'));
}

bool is_required(std::span<const int> required, int index) {
  return std::find(required.begin(), required.end(), index) != required.end();
}

}  // namespace

int zarncfg_verify_root_user(vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_verify_root_user");
  if (geteuid() != 0) {
    status = msg_id(1338);
    print_and_log_error(msg_id(1338));
    return 0;
  }
  // The commands this program starts must run as root too.
  if (setuid(0) != 0) {
    status = msg_id(1338);
    print_and_log_error(msg_id(1338));
    return 0;
  }
  return 1;
}

void zarncfg_validate(ConfigRecord& record, const std::string& start_directory,
                      std::span<const ConfigOptionDef> options, std::span<const int> required,
                      std::span<const MinMaxRequirement> requirements, std::string_view program_name,
                      vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_validate");
  status = 0;
  trace(msg_id(343));
  if (zarncfg_validate_required(record, status, options, required) == 0) return;
  trace(msg_id(342));
  if (zarncfg_validate_ranges(record, status, options, start_directory, requirements) == 0) return;
  zarncfg_validate_special_cases(record, program_name, status);
}

int zarncfg_validate_required(const ConfigRecord& record, vd_msgid_t& status,
                              std::span<const ConfigOptionDef> options, std::span<const int> required) {
  FunctionTrace scope("zarncfg_validate_required");
  for (const ConfigOptionDef& option : options) {
    if (option.index < 0 || static_cast<std::size_t>(option.index) >= record.size()) continue;
    const ConfigEntry& entry = record[static_cast<std::size_t>(option.index)];
    if (is_required(required, option.index)) {
      if (!entry.has(CFG_HAS_VALUE)) {
        status = msg_id(1318);
        print_and_log_error(msg_id(1318), shown_name(option));
        return 0;
      }
      trace(msg_id(341), option.name);
    }
    if (entry.has(CFG_HAS_VALUE) && (option.flags & OPT_VALUE_REQUIRED) != 0 && !entry.value) {
      status = msg_id(1332);
      print_and_log_error(msg_id(1332), option.name);
      return 0;
    }
  }
  return 1;
}
