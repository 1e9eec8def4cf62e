// The configuration of a host, in its fixed order.  A first configuration
// and a reconfiguration take the same path; the steps themselves look at
// whether the host was configured before.
#include "zarncfg_config.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "zarncfg_config_autostart.h"
#include "zarncfg_config_register.h"
#include "zarncfg_config_stanza.h"
#include "zarncfg_file_writes.h"
#include "zarncfg_host_path.h"
#include "zarncfg_interrupt.h"
#include "zarncfg_kxcommon.h"
#include "zarncfg_process.h"
#include "zarncfg_runner.h"
#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

namespace {

constexpr mode_t kMode660 = 0660;

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// The name the file is worked on under: its ".bak" name once moved aside.
std::string move_aside(const std::string& path) {
  const std::string bak = path + ".bak";
  current_file_writes().remove(bak);
  if (!current_file_writes().rename(path, bak)) {
    log_error(msg_id(1337), path, bak);
    return path;
  }
  trace(msg_id(329), path, bak);
  return bak;
}

}  // namespace

void zarncfg_change_file_attributes(std::span<const std::string_view> paths, const std::string& owner,
                                    const std::string& group, mode_t mode, bool move_aside_first,
                                    vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_change_file_attributes");
  const uid_t uid = zarncfg_get_pw_uid(owner, status);
  if (status != 0) return;
  const gid_t gid = zarncfg_get_group_gid(group, status);
  if (status != 0) return;
  for (std::string_view listed : paths) {
    const std::string path(listed);
    if (!current_file_writes().exists(path)) {
      log_warning(msg_id(20), path);
      continue;
    }
    current_file_writes().set_owner_and_mode(move_aside_first ? move_aside(path) : path, uid, gid, mode);
  }
}

void zarncfg_change_files(bool already_configured, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_change_files");
  status = 0;
  const std::array<std::string_view, ZARNCFG_CONF_FILES.size()> conf_files = {
      ZARNCFG_CONF_FILES[0], ZARNCFG_CONF_FILES[1], ZARNCFG_CONF_FILES[2], ZARNCFG_CONF_FILES[3],
      ZARNCFG_CONF_FILES[4]};
  zarncfg_change_file_attributes(conf_files, "root", "brevik", kMode660, false, status);
  status = 0;
  zarncfg_change_file_attributes(root_brevik_660, "root", "brevik", kMode660, false, status);
  status = 0;
  if (!already_configured) zarncfg_change_file_attributes(backup_files, "root", "root", kMode660, true, status);
  status = 0;
}

void zarncfg_configure_login_policy(const ConfigRecord& record, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_configure_login_policy");
  if (!exists(zarncfg_host_path(ZARNLPADM_TOOL))) {
    log_error(msg_id(1368));
    return;
  }
  const ConfigEntry& login_policy = record[IDX_LOGIN_POLICY];
  if (!login_policy.has(CFG_SET)) {
    log_error(msg_id(1367));
    return;
  }
  const std::string command = std::string(ZARNLPADM_TOOL) + " -c " + zarncfg_shell_word(login_policy.text());
  if (zarncfg_run_tool(command, "") == 0) {
    trace(msg_id(328));
  } else {
    status = msg_id(1369);
    print_and_log_error(msg_id(1369));
  }
}

void zarncfg_init_zarnd(const ConfigRecord& record, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_init_zarnd");
  if (is_already_configured(record)) {
    trace(msg_id(323));
    return;
  }
  print_and_trace(msg_id(322));
  const int result = zarncfg_run_tool(std::string(ZARND_DAEMON) + " -T", "");
  if (result != 0) {
    status = msg_id(1327);
    print_and_log_error(msg_id(1327), result);
  }
}

// On Linux the kernel part needs no configuration of its own here.
void zarncfg_configure_kernel(vd_msgid_t&) {
  FunctionTrace scope("zarncfg_configure_kernel");
  print_and_trace(msg_id(321));
}

void zarncfg_configure_zarnd(ConfigRecord& record, int& registered, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_configure_zarnd");
  print_and_trace(msg_id(316));
  zarncfg_build_config_file(ZARND_CONF, record, config_stanza_option_map, status);
  if (zarncfg_go_on(status)) zarncfg_initialize_kxadmin_context(record, "zarncfg", status);
  if (zarncfg_go_on(status)) zarncfg_register_with_vd(1, record, registered, status);
  if (zarncfg_go_on(status)) zarncfg_update_ssl_listening_port(record, status);
  if (zarncfg_go_on(status)) zarncfg_update_cakdb(record, status);
  if (zarncfg_go_on(status)) zarncfg_define_default_policies(record, status);
  if (zarncfg_go_on(status)) zarncfg_init_zarnd(record, status);
}

void zarncfg_config(ConfigRecord& record, int& registered, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_config");
  const std::array<std::string_view, 1> message_log = {ZARNCFG_LOG_FILE};
  zarncfg_change_file_attributes(message_log, "brevik", "brevik", kMode660, false, status);
  // A missing user or group has been reported by the look-up; like the final
  // owner changes, it does not stop the configuration.
  status = 0;
  const bool already_configured = is_already_configured(record);
  // Between two steps the run looks whether a signal asked it to stop.
  if (zarncfg_go_on(status)) zarncfg_configure_brevik(record, status);
  if (zarncfg_go_on(status)) zarncfg_configure_zarnd(record, registered, status);
  if (zarncfg_go_on(status)) zarncfg_configure_zarnauditd(record, status);
  if (zarncfg_go_on(status)) zarncfg_configure_zarnwdd(record, status);
  if (zarncfg_go_on(status)) zarncfg_configure_kernel(status);
  if (zarncfg_go_on(status)) zarncfg_setup_autostart(record, status);
  if (zarncfg_go_on(status)) zarncfg_configure_login_policy(record, status);
  if (zarncfg_go_on(status)) zarncfg_set_config_state("on", ZARND_CONF, "zarncfg", "state", status);
  if (zarncfg_go_on(status)) zarncfg_change_files(already_configured, status);
}

void zarncfg_switch_off_event_console(const ConfigRecord& record) {
  const std::string head = std::string(ZARNEVCCFG_TOOL) + " -autostart off -sec_master_pwd ";
  const std::string tail = " > /dev/null 2>&1";
  const std::string& password = record[IDX_SEC_MASTER_PWD].text();
  // The run has succeeded whatever the tool says.
  (void)zarncfg_run_shell(head + zarncfg_shell_word(password) + tail, head + PASSWORD_MASK + tail);
}
