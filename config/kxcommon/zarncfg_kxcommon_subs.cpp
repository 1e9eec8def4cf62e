// Filling the placeholders of a command file line with this run's values.
#include "zarncfg_kxcommon.h"

#include <unistd.h>

#include <array>
#include <optional>
#include <utility>

#include "zarncfg_prompt.h"
#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

namespace {

std::function<std::string()>& password_source() {
  static std::function<std::string()> source;
  return source;
}

std::string new_password() {
  const auto& source = password_source();
  return source ? source() : zarncfg_simple_password();
}

bool is_password_placeholder(std::string_view placeholder) {
  return placeholder == "%RANDOM%" || placeholder == "%RANDOM1%";
}

std::string host_name() {
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return "";
  return name.data();
}

// The policy server user of this machine's security daemon, registered
// earlier in the run as "zarnd/<host name>...".
std::optional<std::string> machine_daemon_user() {
  const std::string pattern = "zarnd/" + host_name() + "*";
  unsigned long count = 0;
  std::vector<std::string> names;
  kxadmin_response_t response;
  const int result = kxadmin_user_list(ctx.get(), pattern, 0, count, names, response);
  kxadmin_free(response);
  if (result == 1 && names.empty() && zarncfg_kxadmin_current_preview() != nullptr) return "zarnd/" + host_name();
  if (result != 1 || names.empty()) return std::nullopt;
  return names.front();
}

// The value of one placeholder; none (with the status set) when it has none.
std::optional<std::string> placeholder_value(std::string_view placeholder, const ConfigRecord& record,
                                             vd_msgid_t& status) {
  if (placeholder == "%POLICY%") return record[IDX_BRANCH].text();
  if (placeholder == "%SUFFIX%" || placeholder == "%BREVIKADMINSUFFIX%") return record[IDX_SUFFIX].text();
  if (is_password_placeholder(placeholder)) return new_password();
  auto user = machine_daemon_user();
  if (!user) status = msg_id(1387);
  return user;
}

// Writes a password into the line without tracing the line, which
// zarncfg_substitute_string would do.
void put_password(std::string& line, std::string_view placeholder, std::string_view password) {
  std::string result;
  std::size_t start = 0;
  for (auto found = line.find(placeholder); found != std::string::npos; found = line.find(placeholder, start)) {
    result.append(line, start, found - start);
    result += password;
    start = found + placeholder.size();
  }
  result.append(line, start, std::string::npos);
  line = std::move(result);
}

}  // namespace

void zarncfg_kxadmin_set_password_source(std::function<std::string()> source) {
  password_source() = std::move(source);
}

void zarncfg_kxadmin_replace_string(std::string& line, const ConfigRecord& record, std::string_view /*program*/,
                                    vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_kxadmin_replace_string");
  bool replaced_any = false;
  // Passwords go in last, after every traced substitution, so that no
  // trace of the line ever shows one.
  std::vector<std::pair<std::string_view, std::string>> passwords;
  for (std::string_view placeholder : kxadmin_subs) {
    if (line.find(placeholder) == std::string::npos) continue;
    replaced_any = true;
    // One value per placeholder and line: every occurrence in the line gets
    // the same password, so a line can name it twice.
    auto value = placeholder_value(placeholder, record, status);
    if (status != 0 || !value) return;
    if (is_password_placeholder(placeholder)) {
      passwords.emplace_back(placeholder, std::move(*value));
      continue;
    }
    zarncfg_substitute_string(line, placeholder, *value, status);
    if (status != 0) return;
  }
  for (const auto& [placeholder, password] : passwords) put_password(line, placeholder, password);
  if (!replaced_any) trace(msg_id(308));
}
