// Registration with the Varden Policy Server and the SSL changes of a
// reconfiguration.  The tool is judged by its exit status alone; passwords
// reach it through a password file and never reach the log.
#include "zarncfg_config_register.h"

#include "zarncfg_certbind_command.h"
#include "zarncfg_kxcommon.h"
#include "zarncfg_password_file.h"
#include "zarncfg_process.h"
#include "zarncfg_prompt.h"
#include "zarncfg_run_record.h"
#include "zarncfg_strings.h"
#include "zarncfg_svc.h"

int zarncfg_isVD37() {
  return zarncfg_run_shell("/bin/rpm -q -a | grep -i VDRTE-VD | grep \"3\\.7\" >/dev/null 2>&1", "", true) == 0 ? 1 : 0;
}

namespace {

void run_certbind(const ShellCommand& command, PasswordFile& password_file, vd_msgid_t failure,
                  vd_msgid_t& status) {
  const int result = zarncfg_run_tool(command.text, command.display);
  password_file.close();
  trace(msg_id(359), CERTBIND_TOOL, result);
  if (result != 0) {
    status = failure;
    print_and_log_error(Msg(failure), result);
  }
}

// A password file that could not be created is no failure here: the
// passwords then go on the command line instead.
bool start_password_file(PasswordFile& file, const ConfigRecord& record, vd_msgid_t& status) {
  if (!file.is_open()) {
    status = 0;
    return false;
  }
  file.add_line(record[IDX_SEC_MASTER_PWD].text());
  return true;
}

// Only what a run made is undone: a name that is registered already belongs
// to another machine of the same name (or to this one before it was
// re-imaged), so the run stops before it changes anything on the server,
// and the exit routine leaves that registration alone.
bool name_is_taken(vd_msgid_t& status) {
  const std::optional<std::string> taken = zarncfg_kxadmin_registered_name(status);
  if (status != 0) return true;
  if (!taken) return false;
  status = msg_id(1420);
  print_and_log_error(msg_id(1420), *taken);
  return true;
}

void register_host(ConfigRecord& record, int& registered, vd_msgid_t& status) {
  if (is_already_configured(record)) {
    trace(msg_id(323));
    return;
  }
  if (name_is_taken(status)) return;
  const bool vd37 = zarncfg_isVD37() == 1;
  PasswordFile password_file(status);
  const bool with_file = start_password_file(password_file, record, status);
  const std::string generated = zarncfg_simple_password();
  if (zarncfg_is_empty(generated) == 1) {
    print_and_log_error(msg_id(1347));
    status = msg_id(1347);
    return;
  }
  if (with_file) {
    password_file.add_line(generated);
    password_file.close();
  }
  // On disk before the tool runs: a run killed from here on leaves a
  // registration that the next run has to undo.
  if (!zarncfg_note_registration(status)) return;
  registered = 1;
  const ShellCommand command =
      certbind_register_command(vd37, with_file ? password_file.path() : "", record, generated);
  print_and_trace(msg_id(324));
  run_certbind(command, password_file, msg_id(1304), status);
}

void unregister_host(ConfigRecord& record, vd_msgid_t& status) {
  const bool vd37 = zarncfg_isVD37() == 1;
  PasswordFile password_file(status);
  const bool with_file = start_password_file(password_file, record, status);
  password_file.close();
  const ShellCommand command = certbind_unregister_command(vd37, with_file ? password_file.path() : "", record);
  print_and_trace(msg_id(325));
  run_certbind(command, password_file, msg_id(1366), status);
}

bool given_in_this_run(const ConfigEntry& entry) { return entry.has(CFG_CMDLINE) || entry.has(CFG_RSPFILE); }

}  // namespace

void zarncfg_register_with_vd(int request, ConfigRecord& record, int& registered, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_register_with_vd");
  if (request == 1) register_host(record, registered, status);
  if (request == 2) unregister_host(record, status);
}

void zarncfg_update_ssl_listening_port(const ConfigRecord& record, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_update_ssl_listening_port");
  const bool vd37 = zarncfg_isVD37() == 1;
  if (!is_already_configured(record) || !given_in_this_run(record[IDX_SSL_LISTENING_PORT])) return;
  PasswordFile password_file(status);
  if (!password_file.is_open()) return;
  password_file.add_line(record[IDX_SEC_MASTER_PWD].text());
  password_file.close();
  const ShellCommand command = certbind_chgport_command(vd37, password_file.path(), record);
  print_and_trace(msg_id(326));
  run_certbind(command, password_file, msg_id(1304), status);
}

void zarncfg_update_cakdb(const ConfigRecord& record, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_update_cakdb");
  const bool vd37 = zarncfg_isVD37() == 1;
  if (!is_already_configured(record) || !given_in_this_run(record[IDX_LDAP_SSL_CACERT])) return;
  const int result = zarncfg_run_tool(certbind_modify_command(vd37, record), "");
  trace(msg_id(359), CERTBIND_TOOL, result);
  if (result != 0) {
    status = msg_id(1304);
    print_and_log_error(msg_id(1304), result);
  }
}
