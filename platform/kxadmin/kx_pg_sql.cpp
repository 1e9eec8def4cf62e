#include "kx_pg_sql.h"

namespace kx {

std::string numbered_parameters(std::string_view sql) {
  std::string out;
  out.reserve(sql.size() + 16);
  int number = 0;
  char quote = 0;  // the quote we are inside, if any
  for (const char c : sql) {
    if (quote != 0) {
      // A doubled quote ('it''s') closes and reopens: the same result.
      if (c == quote) quote = 0;
      out += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      out += c;
    } else if (c == '?') {
      out += "$" + std::to_string(++number);
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace kx
