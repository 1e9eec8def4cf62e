// The table checks of validation: one rule per requirement kind, and the
// password pass that follows them.
#include "zarncfg_validate.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "sys_fd.h"
#include "zarncfg_prompt.h"
#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

namespace {

// The value when it is a decimal integer written exactly as it prints back:
// no sign "+", no leading zero or blank, nothing after the digits, and within
// 32 bits whatever the width of long.
std::optional<std::int32_t> canonical_int(const std::string& text) {
  errno = 0;
  char* end = nullptr;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (errno == ERANGE || number < INT32_MIN || number > INT32_MAX) return std::nullopt;
  const auto value = static_cast<std::int32_t>(number);
  if (std::to_string(value) != text) return std::nullopt;
  return value;
}

bool check_int_range(const ConfigEntry& entry, const ConfigOptionDef& option, const MinMaxRequirement& row,
                     vd_msgid_t& status) {
  const std::optional<std::int32_t> number = canonical_int(entry.text());
  if (!number) {
    status = msg_id(1321);
    print_and_log_error(msg_id(1321), option.name);
    return false;
  }
  if (*number < row.minimum || *number > row.maximum) {
    status = msg_id(1322);
    print_and_log_error(msg_id(1322), option.name, row.minimum, row.maximum);
    return false;
  }
  return true;
}

bool check_max_length(const ConfigEntry& entry, const ConfigOptionDef& option, const MinMaxRequirement& row,
                      vd_msgid_t& status) {
  if (!entry.value || row.maximum < 0 || entry.value->size() <= static_cast<std::size_t>(row.maximum)) return true;
  status = msg_id(1320);
  print_and_log_error(msg_id(1320), option.name, row.maximum);
  return false;
}

bool check_on_off(ConfigEntry& entry, const ConfigOptionDef& option, vd_msgid_t& status) {
  std::string& value = entry.value ? *entry.value : entry.value.emplace();
  if (zarncfg_check_bool(value) == 1) {
    trace(msg_id(383), option.name);
    return true;
  }
  status = msg_id(1323);
  print_and_log_error(msg_id(1323), option.name);
  return false;
}

bool check_member_of_set(ConfigEntry& entry, const ConfigOptionDef& option, const MinMaxRequirement& row,
                         vd_msgid_t& status) {
  std::string& value = entry.value ? *entry.value : entry.value.emplace();
  zarncfg_strlwr(value);
  std::span<const std::string_view> members;
  if (row.value_set != nullptr && row.maximum > 0) members = {row.value_set, static_cast<std::size_t>(row.maximum)};
  if (zarncfg_member_of_set(members, value) == 1) {
    trace(msg_id(383), option.name);
    return true;
  }
  status = msg_id(1376);
  print_and_log_error(msg_id(1376), value, option.name);
  return false;
}

bool file_exists(const std::string& path) { return !path.empty() && access(path.c_str(), F_OK) == 0; }

// Whether this process can open it for reading, which is what the copy needs.
bool file_readable(const std::string& path) {
  return sys::open_fd(path, O_RDONLY | O_NONBLOCK).valid();
}

// A name the user gave relative to where the program was started still
// finds the file after the driver changed to its own working directory.
bool check_file(ConfigEntry& entry, const std::string& start_directory, vd_msgid_t& status) {
  const std::string given = entry.text();
  trace(msg_id(392), given);
  if (!file_exists(given)) {
    const std::string joined = start_directory + "/" + given;
    if (given.empty() || !file_exists(joined)) {
      status = msg_id(1335);
      print_and_log_error(msg_id(1335), given);
      return false;
    }
    entry.value = joined;
  }
  if (!file_readable(entry.text())) {
    status = msg_id(1334);
    print_and_log_error(msg_id(1334), entry.text());
    return false;
  }
  return true;
}

bool is_positive_number(const std::string& text) {
  if (zarncfg_is_empty(text) || text.front() == '0') return false;
  return text.find_first_not_of("0123456789") == std::string::npos;
}

bool check_positive_number(ConfigEntry& entry, vd_msgid_t& status) {
  std::string& value = entry.value ? *entry.value : entry.value.emplace();
  zarncfg_trim(value);
  if (is_positive_number(value)) return true;
  status = msg_id(1301);
  print_and_log_error(msg_id(1301), value);
  return false;
}

// Whether the entry carries what its kind of check looks at.
bool is_examined(const ConfigEntry& entry, std::uint32_t kind) {
  return entry.has(kind == REQ_POSITIVE_NUMBER ? CFG_SET : CFG_HAS_VALUE);
}

bool check_value(ConfigEntry& entry, const ConfigOptionDef& option, const MinMaxRequirement& row,
                 const std::string& start_directory, vd_msgid_t& status) {
  if (!is_examined(entry, row.kind())) return true;
  switch (row.kind()) {
    case REQ_INT_RANGE:
      return check_int_range(entry, option, row, status);
    case REQ_MAX_LENGTH:
      return check_max_length(entry, option, row, status);
    case REQ_ON_OFF:
      return check_on_off(entry, option, status);
    case REQ_MEMBER_OF_SET:
      return check_member_of_set(entry, option, row, status);
    case REQ_FILE:
      return check_file(entry, start_directory, status);
    case REQ_POSITIVE_NUMBER:
      return check_positive_number(entry, status);
    default:  // passwords come in the second pass; kind 7 checks nothing
      return true;
  }
}

// A reconfiguration that leaves the SSL listening port alone has no use for
// the security master password.
bool needs_prompt(const ConfigRecord& record, int index) {
  if (index != IDX_SEC_MASTER_PWD || !is_already_configured(record)) return true;
  const ConfigEntry& port = record[IDX_SSL_LISTENING_PORT];
  return port.has(CFG_CMDLINE) || port.has(CFG_RSPFILE);
}

bool supply_password(ConfigRecord& record, const ConfigOptionDef& option, vd_msgid_t& status) {
  ConfigEntry& entry = record[static_cast<std::size_t>(option.index)];
  if (!zarncfg_is_empty(entry.value)) return true;
  if (needs_prompt(record, option.index)) {
    std::string typed = zarncfg_prompt_password(msg_id(14), status);
    if (status != 0 || zarncfg_is_empty(typed)) {
      if (status == 0) status = msg_id(1331);
      return false;
    }
    entry.value = std::move(typed);
    entry.flags |= CFG_HAS_VALUE;
  }
  trace(msg_id(383), option.name);
  return true;
}

bool in_record(const ConfigRecord& record, const ConfigOptionDef& option) {
  return option.index >= 0 && static_cast<std::size_t>(option.index) < record.size();
}

}  // namespace

int zarncfg_validate_ranges(ConfigRecord& record, vd_msgid_t& status, std::span<const ConfigOptionDef> options,
                            const std::string& start_directory, std::span<const MinMaxRequirement> requirements) {
  FunctionTrace scope("zarncfg_validate_ranges");
  for (const ConfigOptionDef& option : options) {
    if (!in_record(record, option)) continue;
    ConfigEntry& entry = record[static_cast<std::size_t>(option.index)];
    for (const MinMaxRequirement& row : requirements) {
      if (row.index() == option.index && !check_value(entry, option, row, start_directory, status)) return 0;
    }
  }
  for (const ConfigOptionDef& option : options) {
    if (!in_record(record, option)) continue;
    for (const MinMaxRequirement& row : requirements) {
      if (row.index() != option.index || row.kind() != REQ_PASSWORD) continue;
      if (!supply_password(record, option, status)) return 0;
    }
  }
  return 1;
}
