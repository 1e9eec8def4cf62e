// The log router daemon: its stanza file, its own registration with the
// policy server, and its XML configuration reset from the template.  Its
// unconfiguration lies with the tool's module below.
#include "zarncfg_config_lrd.h"

#include <unistd.h>

#include "sys_file.h"
#include "zarncfg_config_stanza.h"
#include "zarncfg_interrupt.h"
#include "zarncfg_lrd_tool.h"
#include "zarncfg_run_record.h"
#include "zarncfg_svc.h"

namespace {

constexpr const char* kLrdXml = "/opt/zarn/etc/zarnlrd.xml";
constexpr const char* kLrdXmlBackup = "/opt/zarn/etc/zarnlrd.xml.bak";
constexpr const char* kLrdXmlTemplate = "/opt/zarn/etc/zarnlrd.xml.template";

// No failure path: the daemon then keeps the XML it had.  The log says so.
void copy_or_log(const char* source, const char* target) {
  std::string why;
  if (!sys::copy_file(source, target, why)) log_notice(msg_id(2860), source, target);
}

void reset_lrd_xml() {
  if (access(kLrdXml, F_OK) == 0) copy_or_log(kLrdXml, kLrdXmlBackup);
  copy_or_log(kLrdXmlTemplate, kLrdXml);
}

void set_lrd_state(vd_msgid_t& status) {
  status = 0;
  auto file = zarncfg_create_stanza(ZARNLRD_CONF, status);
  if (!file) return;
  trace(msg_id(330), ZARNLRD_NAME, ZARNLRD_CONF);
  stzAddStanza(*file, ZARNLRD_NAME);
  if (file->error != 0) {
    status = msg_id(1306);
    print_and_log_error(msg_id(1306), ZARNLRD_NAME, ZARNLRD_CONF);
    return;
  }
  trace(msg_id(331), "on", ZARNLRD_CONF);
  stzAddEntry(*file, "state", "on");
  if (file->error != 0) {
    status = msg_id(1310);
    print_and_log_error(msg_id(1310), "state", ZARNLRD_NAME, ZARNLRD_CONF);
    return;
  }
  zarncfg_close_stanza(std::move(file), status);
}

}  // namespace

void zarncfg_configure_zarnlrd(int request, ConfigRecord& record, int&, vd_msgid_t& status) {
  FunctionTrace scope("zarncfg_configure_zarnlrd");
  zarncfg_build_config_file(ZARNLRD_CONF, record, config_stanza_option_map, status);
  if (status != 0) return;
  if (request == 1 && is_lrd_configured(record)) {
    print_and_trace(msg_id(337));
    return;
  }
  vd_printf(msg_id(335));
  if (!zarncfg_note_lrd_change(LrdChange::register_daemon, status)) return;
  const std::string command = zarnlrd_config_command(record[IDX_SEC_MASTER_PWD].text());
  if (zarncfg_run_shell_to_file(command, ZARNLRD_CONFIG_OUTPUT) != 0) {
    // A tool that failed on its own made no change to undo; one stopped by
    // a signal may have made it half way, and its change is undone.
    if (!zarncfg_tool_was_interrupted() && !zarncfg_note_lrd_change(LrdChange::none, status)) return;
    status = msg_id(1391);
    print_and_log_error(msg_id(1391));
    return;
  }
  set_lrd_state(status);
  if (status != 0) return;
  reset_lrd_xml();
}
