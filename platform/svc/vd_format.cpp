// printf-style formatting with run-time checked inserts.  Each conversion
// takes the next insert; an insert of the wrong kind, a missing insert or a
// conversion we do not support shows as a marker instead.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>

#include "vd_svc.h"
#include "vd_svc_state.h"

namespace {

// Widths and precisions beyond this are not honoured; no message needs them
// and they would let a catalog text ask for huge allocations.
constexpr int kMaxWidth = 4096;

// Flags and length are slices of the format text.
struct Conversion {
  std::string_view flags;
  int width = -1;
  int precision = -1;
  std::string_view length;
  char conversion = '\0';

  // Nothing but the conversion character, as in almost every message.
  bool plain() const { return flags.empty() && width < 0 && precision < 0; }
};

bool is_flag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

int read_number(std::string_view fmt, std::size_t& pos) {
  long value = 0;
  while (pos < fmt.size() && is_digit(fmt[pos])) {
    if (value <= kMaxWidth) value = value * 10 + (fmt[pos] - '0');
    ++pos;
  }
  return static_cast<int>(value > kMaxWidth ? kMaxWidth : value);
}

// Parses the conversion after a '%' at fmt[pos]; returns false when the
// text ends before a conversion character.
bool parse_conversion(std::string_view fmt, std::size_t& pos, Conversion& conv) {
  const std::size_t flags_start = pos;
  while (pos < fmt.size() && is_flag(fmt[pos])) ++pos;
  conv.flags = fmt.substr(flags_start, pos - flags_start);
  if (pos < fmt.size() && is_digit(fmt[pos])) conv.width = read_number(fmt, pos);
  if (pos < fmt.size() && fmt[pos] == '.') {
    ++pos;
    conv.precision = read_number(fmt, pos);
  }
  const std::size_t length_start = pos;
  while (pos < fmt.size() && (fmt[pos] == 'l' || fmt[pos] == 'h' || fmt[pos] == 'z' || fmt[pos] == 'j')) ++pos;
  conv.length = fmt.substr(length_start, pos - length_start);
  if (pos >= fmt.size()) return false;
  conv.conversion = fmt[pos++];
  return true;
}

std::string pad(std::string text, const Conversion& conv) {
  if (conv.width < 0 || static_cast<int>(text.size()) >= conv.width) return text;
  const std::string fill(static_cast<std::size_t>(conv.width) - text.size(), ' ');
  return conv.flags.find('-') != std::string_view::npos ? text + fill : fill + text;
}

std::string format_string(const vd_insert& insert, const Conversion& conv) {
  if (std::holds_alternative<std::monostate>(insert.value())) return pad("(null)", conv);
  const auto* text = std::get_if<std::string_view>(&insert.value());
  if (text == nullptr) return std::string(VD_BAD_INSERT);
  std::string_view shown = *text;
  if (conv.precision >= 0 && shown.size() > static_cast<std::size_t>(conv.precision)) {
    shown = shown.substr(0, static_cast<std::size_t>(conv.precision));
  }
  return pad(std::string(shown), conv);
}

// snprintf with a format we build ourselves around a value of a known type.
template <class T>
std::string print_number(const Conversion& conv, const char* length, char conversion, T value) {
  std::string flags(conv.flags);
  // '#' is only defined for the octal and hexadecimal conversions.
  if (conversion != 'x' && conversion != 'X' && conversion != 'o') std::erase(flags, '#');
  std::string fmt = "%" + flags;
  if (conv.width >= 0) fmt += std::to_string(conv.width);
  if (conv.precision >= 0) fmt += "." + std::to_string(conv.precision);
  fmt += length;
  fmt += conversion;
  char buffer[kMaxWidth + 64];
  const int n = std::snprintf(buffer, sizeof buffer, fmt.c_str(), value);
  if (n < 0) return std::string(VD_BAD_INSERT);
  return std::string(buffer, static_cast<std::size_t>(n) < sizeof buffer ? static_cast<std::size_t>(n) : sizeof buffer - 1);
}

bool integer_of(const vd_insert& insert, long long& s, unsigned long long& u, bool& is_signed) {
  if (const auto* v = std::get_if<long long>(&insert.value())) {
    s = *v;
    u = static_cast<unsigned long long>(*v);
    is_signed = true;
    return true;
  }
  if (const auto* v = std::get_if<unsigned long long>(&insert.value())) {
    u = *v;
    s = static_cast<long long>(*v);
    is_signed = false;
    return true;
  }
  return false;
}

std::string format_integer(const vd_insert& insert, const Conversion& conv) {
  long long s = 0;
  unsigned long long u = 0;
  bool is_signed = false;
  if (!integer_of(insert, s, u, is_signed)) return std::string(VD_BAD_INSERT);
  const bool wide = !conv.length.empty() && conv.length[0] != 'h';
  switch (conv.conversion) {
    case 'd':
    case 'i':
      if (!is_signed && u > static_cast<unsigned long long>(INT64_MAX)) return print_number(conv, "ll", 'u', u);
      return print_number(conv, "ll", 'd', s);
    case 'c':
      return pad(std::string(1, static_cast<char>(u & 0xFF)), conv);
    default:  // u, x, X, o: a negative value shows in the width the conversion asks for
      if (is_signed && s < 0 && !wide) u &= 0xFFFFFFFFull;
      return print_number(conv, "ll", conv.conversion, u);
  }
}

std::string format_one(const Conversion& conv, const vd_insert& insert) {
  switch (conv.conversion) {
    case 's':
      return format_string(insert, conv);
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o':
    case 'c':
      return format_integer(insert, conv);
    default:
      return std::string(VD_BAD_INSERT);
  }
}

// A string or a decimal with no flags, width or precision: appended as it
// is, without the general path's copies.  False for anything else.
bool append_plain(std::string& out, const Conversion& conv, const vd_insert& insert) {
  if (!conv.plain()) return false;
  if (conv.conversion == 's') {
    const auto* text = std::get_if<std::string_view>(&insert.value());
    if (text != nullptr) out += *text;
    return text != nullptr;
  }
  const auto* value = std::get_if<long long>(&insert.value());
  if ((conv.conversion != 'd' && conv.conversion != 'i') || value == nullptr) return false;
  vd_detail::append_decimal(out, *value);
  return true;
}

void append_one(std::string& out, const Conversion& conv, std::span<const vd_insert> inserts, std::size_t& next) {
  if (next >= inserts.size()) {
    out += VD_MISSING_INSERT;
    return;
  }
  const vd_insert& insert = inserts[next++];
  if (!append_plain(out, conv, insert)) out += format_one(conv, insert);
}

}  // namespace

namespace vd_detail {

void append_decimal(std::string& out, long long value, std::size_t width) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;  // 24 characters hold any value
  const auto count = static_cast<std::size_t>(end - digits);
  if (count < width) out.append(width - count, '0');
  out.append(digits, count);
}

void format_to(std::string& out, std::string_view format, std::span<const vd_insert> inserts) {
  std::size_t next = 0;
  std::size_t pos = 0;
  while (pos < format.size()) {
    const std::size_t percent = std::min(format.find('%', pos), format.size());
    out.append(format, pos, percent - pos);
    pos = percent;
    if (pos == format.size()) break;
    ++pos;
    if (pos < format.size() && format[pos] == '%') {
      out += '%';
      ++pos;
      continue;
    }
    Conversion conv;
    if (!parse_conversion(format, pos, conv)) {
      out += VD_BAD_INSERT;
      break;
    }
    append_one(out, conv, inserts, next);
  }
}

}  // namespace vd_detail

std::string vd_format(std::string_view format, std::span<const vd_insert> inserts) {
  std::string out;
  out.reserve(format.size() + 32);
  vd_detail::format_to(out, format, inserts);
  return out;
}
