// Whole-string number parsing for the system's text files.
#pragma once

#include <charconv>
#include <optional>
#include <string_view>

namespace hostsim {

// The number that is all of `text`; nothing for empty text, a sign the type
// cannot hold, trailing characters or overflow.
template <typename Number>
std::optional<Number> parse_number(std::string_view text, int base = 10) {
  Number value{};
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || ec != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace hostsim
