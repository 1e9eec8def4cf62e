// The SSL configuration tool's command lines.  Every value goes through
// zarncfg_shell_word, so a certificate path or password with blanks or
// shell characters stays one word and is never executed.
#include "zarncfg_certbind_command.h"

#include <charconv>

#include "zarncfg_strings.h"

namespace {

constexpr const char* kZarndName = "zarnd";

std::string word(const std::string& value) { return zarncfg_shell_word(value); }

std::string cat_into_tool(const std::string& password_file) {
  return "/bin/cat " + word(password_file) + " | " + CERTBIND_TOOL + " ";
}

// The registration line after "-P"/"-S" or their absence: the parts both
// forms share.
std::string register_tail(bool vd37, const ConfigRecord& record) {
  const std::string& port = record[IDX_SSL_LISTENING_PORT].text();
  return "-r " + word(port) + " -C " + word(record[IDX_LDAP_SSL_CACERT].text()) + " " +
         certbind_listening_arg(vd37, port);
}

std::string register_head(bool vd37) {
  return certbind_config_arg(vd37) + " -config -d " + CERTBIND_KEY_DIR + " -n " + kZarndName + " -s local ";
}

}  // namespace

std::string certbind_config_arg(bool vd37) { return vd37 ? std::string(ZARND_CONF) : "-f " + std::string(ZARND_CONF); }

std::string certbind_name_arg(bool vd37) { return vd37 ? std::string("-n ") + kZarndName : std::string(); }

std::string certbind_listening_arg(bool vd37, const std::string& port) {
  if (vd37) return "";
  // Read as a decimal number: leading digits count, anything else is 0.
  long number = 0;
  std::from_chars(port.data(), port.data() + port.size(), number);
  return number > 0 ? "-l yes" : "-l no";
}

ShellCommand certbind_register_command(bool vd37, const std::string& password_file, const ConfigRecord& record,
                                          const std::string& generated_password) {
  const std::string tool = CERTBIND_TOOL;
  const std::string display = tool + " " + register_head(vd37) + "-P " + PASSWORD_MASK + " -S " + PASSWORD_MASK +
                              " " + register_tail(vd37, record);
  if (!password_file.empty()) {
    return ShellCommand(cat_into_tool(password_file) + register_head(vd37) + register_tail(vd37, record), display);
  }
  return ShellCommand(tool + " " + register_head(vd37) + "-P " + word(record[IDX_SEC_MASTER_PWD].text()) + " -S " +
                          word(generated_password) + " " + register_tail(vd37, record),
                      display);
}

ShellCommand certbind_unregister_command(bool vd37, const std::string& password_file,
                                            const ConfigRecord& record) {
  const std::string args = certbind_config_arg(vd37) + " -unconfig -n " + kZarndName;
  const std::string tool = CERTBIND_TOOL;
  const std::string display = tool + " " + args + " -P " + PASSWORD_MASK;
  if (!password_file.empty()) return ShellCommand(cat_into_tool(password_file) + args, display);
  return ShellCommand(tool + " " + args + " -P " + word(record[IDX_SEC_MASTER_PWD].text()), display);
}

ShellCommand certbind_chgport_command(bool vd37, const std::string& password_file, const ConfigRecord& record) {
  const std::string port = word(record[IDX_SSL_LISTENING_PORT].text());
  const std::string head = certbind_config_arg(vd37) + " -chgport " + certbind_name_arg(vd37);
  return ShellCommand(cat_into_tool(password_file) + head + " -r " + port,
                      std::string(CERTBIND_TOOL) + " " + head + " -P " + PASSWORD_MASK + " -r " + port);
}

std::string certbind_modify_command(bool vd37, const ConfigRecord& record) {
  return std::string(CERTBIND_TOOL) + " " + certbind_config_arg(vd37) + " -modify -C " +
         word(record[IDX_LDAP_SSL_CACERT].text());
}
