#include "kx_text.h"

#include <charconv>

namespace kx {
namespace {

constexpr char HEX[] = "0123456789abcdef";

int hex_digit(char c) {
  for (int i = 0; i < 16; ++i) {
    if (HEX[i] == c) return i;
  }
  return -1;
}

std::optional<RowValue> take_quoted(std::string_view& text) {
  std::string out;
  std::size_t i = 1;
  while (i < text.size() && text[i] != '"') {
    if (text[i] != '\\') {
      out += text[i++];
    } else if (i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\')) {
      out += text[i + 1];
      i += 2;
    } else if (i + 3 < text.size() && text[i + 1] == 'x' && hex_digit(text[i + 2]) >= 0 && hex_digit(text[i + 3]) >= 0) {
      out += static_cast<char>(hex_digit(text[i + 2]) * 16 + hex_digit(text[i + 3]));
      i += 4;
    } else {
      return std::nullopt;
    }
  }
  if (i == text.size()) return std::nullopt;
  text.remove_prefix(i + 1);
  return RowValue(std::move(out));
}

std::optional<RowValue> take_integer(std::string_view& text) {
  std::int64_t number = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (ec != std::errc() || end == text.data()) return std::nullopt;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return RowValue(number);
}

}  // namespace

std::string quote(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7f) {
      out += "\\x";
      out += HEX[byte >> 4];
      out += HEX[byte & 0xf];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string render(const RowValue& value) {
  if (std::holds_alternative<std::monostate>(value)) return "none";
  if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
  return quote(std::get<std::string>(value));
}

RowValue value_at(const Row& row, int col) {
  if (row.is_null(col)) return std::monostate();
  if (row.is_integer(col)) return row.integer(col);
  return row.text(col).value_or("");
}

SqlArg as_arg(const RowValue& value) {
  if (const auto* number = std::get_if<std::int64_t>(&value)) return *number;
  if (const auto* text = std::get_if<std::string>(&value)) return opt_str(*text);
  return opt_str();
}

std::optional<RowValue> take_value(std::string_view& text) {
  if (text.starts_with("none")) {
    text.remove_prefix(4);
    return RowValue();
  }
  if (text.starts_with('"')) return take_quoted(text);
  return take_integer(text);
}

}  // namespace kx
