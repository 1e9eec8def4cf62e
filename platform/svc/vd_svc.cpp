// Registration, message tables, routing and output of the serviceability
// library.
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>
#include <utility>

#include "vd_svc.h"
#include "vd_svc_state.h"

namespace {

constexpr vd_status_t kBadTable = 0x35A00001;
constexpr vd_status_t kBadRoute = 0x35A00002;
constexpr vd_status_t kNoLogDirectory = 0x35A00003;

std::string_view severity_of(std::uint32_t attributes) {
  switch (attributes & 0x70) {
    case 0x10:
      return "FATAL";
    case 0x20:
      return "ERROR";
    case 0x30:
      return "WARNING";
    default:
      return "NOTICE";
  }
}

// "YYYY-MM-DD HH:MM:SS.mmm UTC".  The program writes about a dozen records
// a policy command, so the calendar part is worked out again only when the
// second changes.
void append_timestamp_utc(std::string& out) {
  timeval now{};
  gettimeofday(&now, nullptr);
  thread_local time_t shown_second = -1;
  thread_local std::string shown;
  if (now.tv_sec != shown_second) {
    tm parts{};
    gmtime_r(&now.tv_sec, &parts);
    shown.clear();
    vd_detail::append_decimal(shown, parts.tm_year + 1900, 4);
    for (const auto& [separator, field] : {std::pair{'-', parts.tm_mon + 1}, std::pair{'-', parts.tm_mday},
                                           std::pair{' ', parts.tm_hour}, std::pair{':', parts.tm_min},
                                           std::pair{':', parts.tm_sec}}) {
      shown += separator;
      vd_detail::append_decimal(shown, field, 2);
    }
    shown_second = now.tv_sec;
  }
  out += shown;
  out += '.';
  vd_detail::append_decimal(out, now.tv_usec / 1000, 3);
  out += " UTC";
}

std::string_view base_name(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

void append_message_id(std::string& out, vd_msgid_t id) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "0x";
  for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(id >> shift) & 0xF];
}

void append_header_line(std::string& out, vd_svc_handle_t handle, std::string_view source_file, int source_line,
                        int subcomponent, std::uint32_t attributes, vd_msgid_t id) {
  std::string_view component = handle != nullptr ? std::string_view(handle->name) : "?";
  std::string_view sub = "?";
  if (handle != nullptr && subcomponent >= 0 &&
      static_cast<std::size_t>(subcomponent) < handle->subcomponents.size()) {
    sub = handle->subcomponents[static_cast<std::size_t>(subcomponent)].name;
  }
  append_timestamp_utc(out);
  out += ' ';
  vd_detail::append_decimal(out, getpid());
  out += ' ';
  out += severity_of(attributes);
  out += ' ';
  out += component;
  out += '.';
  out += sub;
  out += ' ';
  out += base_name(source_file);
  out += ':';
  vd_detail::append_decimal(out, source_line);
  out += ' ';
  append_message_id(out, id);
  out += '\n';
}

void append_message(std::string& out, vd_msgid_t id, std::span<const vd_insert> inserts) {
  const auto& messages = vd_detail::library().messages;
  const auto found = messages.find(id);
  if (found != messages.end()) {
    vd_detail::format_to(out, found->second, inserts);
    return;
  }
  out += "<unknown message ";
  append_message_id(out, id);
  out += ">\n";
}

}  // namespace

namespace vd_detail {
Library& library() {
  static Library instance;
  return instance;
}

LogFile& log_file(const std::string& path) {
  std::unique_ptr<LogFile>& file = library().logs[path];
  if (!file) file = std::make_unique<LogFile>(path);
  return *file;
}
}  // namespace vd_detail

vd_svc_handle_t vd_svc_register(std::span<const vd_svc_subcomponent> table, std::string_view component,
                                vd_status_t& status) {
  if (component.empty()) {
    status = kBadTable;
    return nullptr;
  }
  auto entry = std::make_unique<vd_svc_component>();
  entry->name = std::string(component);
  for (const auto& row : table) {
    if (row.name == nullptr) break;  // the table ends with a row of zeros
    entry->subcomponents.push_back(row);
  }
  status = 0;
  auto& components = vd_detail::library().components;
  components.push_back(std::move(entry));
  return components.back().get();
}

void vd_msg_define_msg_table(std::span<const vd_msg_entry> table, std::size_t count, vd_status_t& status) {
  if (count > table.size()) {
    status = kBadTable;
    return;
  }
  auto& messages = vd_detail::library().messages;
  for (std::size_t i = 0; i < count; ++i) {
    if (table[i].text == nullptr) {
      status = kBadTable;
      return;
    }
    messages[table[i].id] = table[i].text;
  }
  status = 0;
}

void vd_svc_routing(std::string_view route, vd_status_t& status) {
  const auto first = route.find(':');
  const auto second = first == std::string_view::npos ? first : route.find(':', first + 1);
  if (second == std::string_view::npos) {
    status = kBadRoute;
    return;
  }
  const std::string severity(route.substr(0, first));
  const std::string_view kind = route.substr(first + 1, second - first - 1);
  const std::string path(route.substr(second + 1));
  const bool known = severity == "NOTICE" || severity == "FATAL" || severity == "ERROR" || severity == "WARNING";
  if (!known || kind != "TEXTFILE" || path.empty() || path[0] != '/') {
    status = kBadRoute;
    return;
  }
  const std::string directory = path.substr(0, path.rfind('/') == 0 ? 1 : path.rfind('/'));
  struct stat info {};
  if (stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    status = kNoLogDirectory;
    return;
  }
  auto& library = vd_detail::library();
  library.routes[severity] = path;
  // A file no route names any more is closed.
  std::erase_if(library.logs, [&](const auto& log) {
    return std::none_of(library.routes.begin(), library.routes.end(),
                        [&](const auto& route) { return route.second == log.first; });
  });
  status = 0;
}

void vd_svc_printf_withfile_v(vd_svc_handle_t handle, std::string_view source_file, int source_line,
                              std::string_view /*insert_types*/, int subcomponent, std::uint32_t attributes,
                              vd_msgid_t id, std::span<const vd_insert> inserts) {
  const auto& routes = vd_detail::library().routes;
  const auto route = routes.find(severity_of(attributes));
  if (route == routes.end()) return;
  vd_detail::LogFile& log = vd_detail::log_file(route->second);
  std::string record;
  record.reserve(256);
  const bool free_text = (attributes & VD_ATTR_FREE_TEXT) != 0;
  if (!free_text) append_header_line(record, handle, source_file, source_line, subcomponent, attributes, id);
  const std::size_t text_start = record.size();
  append_message(record, id, inserts);
  if (!free_text && (record.size() == text_start || record.back() != '\n')) record += '\n';
  log.append(record, !free_text);
}

void vd_printf_v(vd_msgid_t id, std::span<const vd_insert> inserts) {
  std::string text;
  append_message(text, id, inserts);
  std::fwrite(text.data(), 1, text.size(), stdout);
}

std::optional<std::string> vd_sprintf(vd_msgid_t id) {
  const auto& messages = vd_detail::library().messages;
  const auto found = messages.find(id);
  if (found == messages.end()) return std::nullopt;
  return found->second;
}

std::string vd_error_inq_text(vd_status_t status) {
  switch (status) {
    case 0:
      return "The operation completed successfully.";
    case kBadTable:
      return "The subcomponent or message table is not valid.";
    case kBadRoute:
      return "The route is not valid.";
    case kNoLogDirectory:
      return "The directory of the routed log file does not exist.";
    default: {
      char text[64];
      std::snprintf(text, sizeof text, "Unknown serviceability status 0x%08X.", status);
      return text;
    }
  }
}
