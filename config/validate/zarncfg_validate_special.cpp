// The validation rules that join several options.
#include "zarncfg_validate.h"

#include <cstdlib>

#include "brv_component.h"
#include "zarncfg_svc.h"

namespace {

constexpr long kDefaultCredHold = 10080;
constexpr long kDefaultAdminCredRefresh = 360;
constexpr long kDefaultUserCredRefresh = 720;

long number_or_default(const ConfigEntry& entry, long fallback) {
  return entry.has(CFG_HAS_VALUE) ? std::strtol(entry.text().c_str(), nullptr, 10) : fallback;
}

bool given_in_this_run(const ConfigEntry& entry) { return entry.has(CFG_CMDLINE) || entry.has(CFG_RSPFILE); }

// Credentials must outlive their refresh, or a cached credential is dropped
// before it can be renewed.
bool cred_hold_outlasts_refresh(const ConfigRecord& record, vd_msgid_t& status) {
  const long hold = number_or_default(record[IDX_CRED_HOLD], kDefaultCredHold);
  const long admin = number_or_default(record[IDX_ADMIN_CRED_REFRESH], kDefaultAdminCredRefresh);
  const long user = number_or_default(record[IDX_USER_CRED_REFRESH], kDefaultUserCredRefresh);
  if (hold > admin && hold > user) return true;
  status = msg_id(1302);
  print_and_log_error(msg_id(1302));
  return false;
}

// The daemons read the certificate and the port only at start, and their
// running copies must not be changed under them.
bool daemons_stopped(vd_msgid_t& status) {
  int answer = 0;
  vd_status_t ping_status = 0;
  brv_daemon_ping(0, answer, ping_status);
  if (ping_status == 0) {
    status = msg_id(1365);
    print_and_log_error(msg_id(1365));
    return false;
  }
  status = 0;
  return true;
}

void audit_none_stands_alone(const ConfigRecord& record, vd_msgid_t& status) {
  const ConfigEntry& level = record[IDX_AUDIT_LEVEL];
  if (!level.has(CFG_HAS_VALUE)) return;
  const std::string& text = level.text();
  if (text.find("none") == std::string::npos || text.find(',') == std::string::npos) return;
  status = msg_id(1379);
  print_and_log_error(msg_id(1379));
}

}  // namespace

void zarncfg_validate_special_cases(ConfigRecord& record, std::string_view program_name, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_validate_special_cases");
  status = 0;
  if (program_name != "zarncfg") return;
  if (!cred_hold_outlasts_refresh(record, status)) return;
  const bool reconfiguration = is_already_configured(record);
  const bool cert_given = given_in_this_run(record[IDX_LDAP_SSL_CACERT]);
  if (!reconfiguration && !cert_given) {
    status = msg_id(1363);
    print_and_log_error(msg_id(1363));
    return;
  }
  if (reconfiguration && (cert_given || given_in_this_run(record[IDX_SSL_LISTENING_PORT]))) {
    if (!daemons_stopped(status)) return;
  }
  if (cert_given) {
    const std::string source = record[IDX_LDAP_SSL_CACERT].text();
    zarncfg_copy_to_certs(record, IDX_LDAP_SSL_CACERT, source, status);
  }
  audit_none_stands_alone(record, status);
}
