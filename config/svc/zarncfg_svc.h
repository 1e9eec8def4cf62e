// Serviceability: logging start-up, and how the program reports.  Every
// sentence shown to the user is also logged, with the calling statement's
// source file and line.
#pragma once

#include <array>
#include <cstddef>
#include <source_location>
#include <string>
#include <string_view>
#include <type_traits>

#include "zarncfg_msg.h"

// The message log of the program.
inline constexpr const char* ZARNCFG_LOG_FILE = "/var/zarn/log/msg__zarncfg.log";

// Registers the catalog and routes every severity to the message log.
// Failures here go to standard error, since the log is not yet available.
void zarncfg_svc_initialize(std::string_view program_path, vd_status_t& status);
void zarncfg_initialize_logmsg_routing(vd_status_t& status);
// The catalog without the routing: messages are shown, the log is never
// opened or written.  For a program that must leave the host as it is.
void zarncfg_svc_initialize_unlogged(std::string_view program_path, vd_status_t& status);

extern vd_svc_handle_t zarncfg_svc_handle;

// A message identifier together with the place that reports it.
struct Msg {
  vd_msgid_t id;
  std::source_location where;
  Msg(vd_msgid_t message, std::source_location loc = std::source_location::current()) : id(message), where(loc) {}
};

namespace report_detail {

// "%d" for each integral insert and "%s" for any other, worked out when
// the program is compiled: a record is written for every step of a run.
template <class... A>
constexpr std::array<char, 2 * sizeof...(A)> insert_types() {
  std::array<char, 2 * sizeof...(A)> types{};
  std::size_t i = 0;
  ((types[i++] = '%', types[i++] = std::is_integral_v<std::decay_t<A>> ? 'd' : 's'), ...);
  return types;
}

template <class... A>
inline constexpr std::array<char, 2 * sizeof...(A)> kInsertTypes = insert_types<A...>();

}  // namespace report_detail

template <class... A>
void log_msg(int subcomponent, std::uint32_t attributes, const Msg& m, const A&... inserts) {
  vd_svc_printf_withfile(zarncfg_svc_handle, m.where.file_name(), static_cast<int>(m.where.line()),
                         std::string_view(report_detail::kInsertTypes<A...>.data(), 2 * sizeof...(A)), subcomponent,
                         attributes, m.id, inserts...);
}

// A progress note in the log only.
template <class... A>
void trace(const Msg& m, const A&... inserts) {
  log_msg(SUB_TRACE, VD_ATTR_NOTICE, m, inserts...);
}

// A progress note shown to the user and logged.
template <class... A>
void print_and_trace(const Msg& m, const A&... inserts) {
  vd_printf(m.id, inserts...);
  trace(m, inserts...);
}

// A run-level notice in the log only.
template <class... A>
void log_notice(const Msg& m, const A&... inserts) {
  log_msg(SUB_UTIL, VD_ATTR_NOTICE, m, inserts...);
}

template <class... A>
void print_and_log_notice(const Msg& m, const A&... inserts) {
  vd_printf(m.id, inserts...);
  log_notice(m, inserts...);
}

template <class... A>
void log_error(const Msg& m, const A&... inserts) {
  log_msg(SUB_GENERAL, VD_ATTR_ERROR, m, inserts...);
}

// An error shown to the user and logged with the same inserts.
template <class... A>
void print_and_log_error(const Msg& m, const A&... inserts) {
  vd_printf(m.id, inserts...);
  log_error(m, inserts...);
}

template <class... A>
void log_warning(const Msg& m, const A&... inserts) {
  log_msg(SUB_UTIL, VD_ATTR_WARNING, m, inserts...);
}

template <class... A>
void print_and_log_warning(const Msg& m, const A&... inserts) {
  vd_printf(m.id, inserts...);
  log_warning(m, inserts...);
}

// One word of free text (the echoed command line, captured command output).
void log_free_text(std::string_view text, std::source_location where = std::source_location::current());

// Logs "Entering function" now and "Exiting function" on every return.
class FunctionTrace {
 public:
  explicit FunctionTrace(const char* name, std::source_location where = std::source_location::current());
  ~FunctionTrace();
  FunctionTrace(const FunctionTrace&) = delete;
  FunctionTrace& operator=(const FunctionTrace&) = delete;

 private:
  const char* name_;
  std::source_location where_;
};
