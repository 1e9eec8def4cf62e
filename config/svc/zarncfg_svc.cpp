// Logging start-up, and the reporting helpers every module uses.
#include "zarncfg_svc.h"

#include <array>
#include <cstdio>
#include <string>

#include "brv_component.h"

vd_svc_handle_t zarncfg_svc_handle = nullptr;

void zarncfg_svc_initialize(std::string_view program_path, vd_status_t& status) {
  zarncfg_svc_initialize_unlogged(program_path, status);
  if (status != 0) return;
  zarncfg_initialize_logmsg_routing(status);
  if (status != 0) {
    std::fprintf(stderr, "%s: Could not initialize log message routing: %d.\n", brv_get_progname().c_str(),
                 static_cast<int>(status));
  }
}

void zarncfg_svc_initialize_unlogged(std::string_view program_path, vd_status_t& status) {
  const std::string path(program_path);
  brv_svc_initialize(program_path, status);
  if (status != 0) {
    std::fprintf(stderr, "Initializing common servicability for %s returned the following error %d\n", path.c_str(),
                 static_cast<int>(status));
    return;
  }
  zarncfg_svc_handle = vd_svc_register(zarncfg_svc_table, "ocf", status);
  if (status != 0) {
    std::fprintf(stderr, "%s: Couldn't register serviceability messages: %d: %s\n", brv_get_progname().c_str(),
                 static_cast<int>(status), vd_error_inq_text(status).c_str());
    return;
  }
  vd_msg_define_msg_table(zarncfg_svc_msg_table, zarncfg_svc_msg_table.size(), status);
  if (status != 0) {
    std::fprintf(stderr, "%s: Couldn't define serviceability message table: %d: %s\n", brv_get_progname().c_str(),
                 static_cast<int>(status), vd_error_inq_text(status).c_str());
  }
}

void zarncfg_initialize_logmsg_routing(vd_status_t& status) {
  static constexpr std::array<const char*, 4> kRoutes = {"NOTICE:TEXTFILE:", "FATAL:TEXTFILE:", "ERROR:TEXTFILE:",
                                                         "WARNING:TEXTFILE:"};
  status = 0;
  for (const char* prefix : kRoutes) {
    vd_svc_routing(std::string(prefix) + ZARNCFG_LOG_FILE, status);
    if (status != 0) return;
  }
}

void log_free_text(std::string_view text, std::source_location where) {
  log_msg(SUB_UTIL, VD_ATTR_NOTICE | VD_ATTR_FREE_TEXT, Msg(msg_id(4), where), text);
}

FunctionTrace::FunctionTrace(const char* name, std::source_location where) : name_(name), where_(where) {
  trace(Msg(msg_id(302), where_), name_);
}

FunctionTrace::~FunctionTrace() { trace(Msg(msg_id(303), where_), name_); }
