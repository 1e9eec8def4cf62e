#include "stanza_error.h"

#include <array>
#include <charconv>
#include <unordered_map>

#include "stanza_file.h"

namespace stz {
namespace {

constexpr std::string_view kEllipsis = "...";
constexpr std::size_t kMaxNameShown = 48;

bool isUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::string sanitized(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return out;
}

std::string_view headAtCharBoundary(std::string_view text, std::size_t max) {
  if (text.size() <= max) return text;
  std::size_t end = max;
  while (end > 0 && isUtf8Continuation(text[end])) --end;
  return text.substr(0, end);
}

std::string_view tailAtCharBoundary(std::string_view text, std::size_t max) {
  if (text.size() <= max) return text;
  std::size_t begin = text.size() - max;
  while (begin < text.size() && isUtf8Continuation(text[begin])) ++begin;
  return text.substr(begin);
}

std::unordered_map<vd_status_t, std::string>& lastFailures() {
  static std::unordered_map<vd_status_t, std::string> texts;
  return texts;
}

std::string_view genericText(vd_status_t code) {
  switch (code) {
    case STZ_E_OPEN: return "stanza file cannot be opened";
    case STZ_E_SYNTAX: return "stanza file is malformed";
    case STZ_E_WRITE: return "stanza file cannot be written back";
    case STZ_E_ARGUMENT: return "invalid argument to the stanza file library";
    case STZ_E_NO_STANZA: return "no current stanza";
    case STZ_E_NOT_FOUND: return "stanza entry not found";
    case STZ_E_READ_ONLY: return "stanza file is open for reading only";
    default: return {};
  }
}

std::string unknownCodeText(vd_status_t code) {
  std::array<char, 8> digits{};
  const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), code, 16);
  return "unknown stanza file library code 0x" + std::string(digits.data(), result.ptr);
}

}  // namespace

std::string fitOneLine(std::string_view subject, std::string_view detail) {
  const std::string clean_subject = sanitized(subject);
  const std::string clean_detail = sanitized(detail);
  if (clean_subject.size() + clean_detail.size() <= kMaxErrorText) return clean_subject + clean_detail;
  if (clean_detail.size() + kEllipsis.size() < kMaxErrorText) {
    const std::size_t room = kMaxErrorText - kEllipsis.size() - clean_detail.size();
    return std::string(kEllipsis) + std::string(tailAtCharBoundary(clean_subject, room)) + clean_detail;
  }
  return std::string(headAtCharBoundary(clean_subject + clean_detail, kMaxErrorText));
}

std::string quoteName(std::string_view name) {
  std::string shown = "\"";
  shown.append(headAtCharBoundary(name, kMaxNameShown));
  if (name.size() > kMaxNameShown) shown.append(kEllipsis);
  shown.push_back('"');
  return shown;
}

vd_status_t rememberFailure(vd_status_t code, std::string_view subject, std::string_view detail) {
  lastFailures()[code] = fitOneLine(subject, detail);
  return code;
}

}  // namespace stz

std::string stzErrorText(vd_status_t code) {
  if (code == 0) return "no error";
  const auto& texts = stz::lastFailures();
  if (const auto found = texts.find(code); found != texts.end()) return found->second;
  const std::string_view generic = stz::genericText(code);
  if (!generic.empty()) return std::string(generic);
  return stz::unknownCodeText(code);
}
