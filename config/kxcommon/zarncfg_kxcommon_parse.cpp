// Turning one line of a policy command file into a command.
#include "zarncfg_kxcommon.h"

#include <algorithm>
#include <limits>

#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

std::string zarncfg_kxadmin_clean_line(std::string_view raw) {
  // A "#" starts a comment wherever it stands, even inside quotes: the
  // shipped files never need a literal "#", and cutting first keeps a
  // stray quote in a comment from spoiling the line.
  std::string line(raw.substr(0, raw.find('\n')));
  line.erase(std::min(line.find('#'), line.size()));
  zarncfg_filter_double_spaces_and_trim(line);
  if (zarncfg_is_empty(line)) line.clear();
  return line;
}

namespace {

int find_command_index(std::string_view word, int field_count) {
  for (std::size_t row = 0; row < zarncfg_kxadmin_command_usage.size(); ++row) {
    const CommandUsage& usage = zarncfg_kxadmin_command_usage[row];
    if (usage.command == word && usage.min_fields <= field_count) return static_cast<int>(row);
  }
  return -1;
}

}  // namespace

int zarncfg_parse_kxadmin(AdminCommand& cmd, const std::string& line, const std::string& path) {
  FunctionTrace scope("zarncfg_parse_kxadmin");
  int count = 0;
  auto fields = zarncfg_strg_parser(line, count, ' ');
  if (!fields) {
    log_error(msg_id(1355), path);
    return 1;
  }
  // A single word forms no command word, so it matches no row.
  cmd.command = count >= 2 ? (*fields)[0] + "_" + (*fields)[1] : (*fields)[0];
  cmd.fields = std::move(*fields);
  cmd.field_count = count;
  cmd.index = count >= 2 ? find_command_index(cmd.command, count) : -1;
  const int result = cmd.index < 0 ? 1 : 0;
  trace(msg_id(408), result);
  return result;
}

int zarncfg_kxadmin_decimal(std::string_view text) {
  // As strtol in the C locale reads base 10: white space, a sign, digits.
  std::size_t i = 0;
  while (i < text.size() && std::string_view(" \t\n\v\f\r").find(text[i]) != std::string_view::npos) ++i;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  constexpr long long kLimit = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
  long long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = std::min(magnitude * 10 + (text[i] - '0'), kLimit);
  }
  const long long value = negative ? -magnitude : magnitude;
  return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}
