#include "fault_steps.h"

#include <map>
#include <sstream>
#include <stdexcept>

#include "rel_common.h"
#include "zarncfg_config_autostart.h"

namespace rel {
namespace {

constexpr const char* kWrite = "ZRNCF1305E";
constexpr const char* kPolicy = "ZRNCF1353E";

// Splits a command line at blanks; double quotes group words.
std::vector<std::string> fields_of(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false, any = false;
  for (const char c : line) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (any) fields.push_back(field);
      field.clear();
      any = false;
    } else {
      field += c;
      any = true;
    }
  }
  if (any) fields.push_back(field);
  // An empty pair of quotes at the end is an absent field.
  while (!fields.empty() && fields.back().empty()) fields.pop_back();
  return fields;
}

std::string substituted(std::string text, const std::map<std::string, std::string>& values) {
  for (const auto& [placeholder, value] : values) {
    for (auto at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size())) {
      text.replace(at, placeholder.size(), value);
    }
  }
  return text;
}

// The kxadmin_ function a command calls in apply mode.
std::string api_of(const std::vector<std::string>& f) {
  const std::string command = f[0] + " " + f[1];
  if (command == "objectspace create") return "objectspace_create";
  if (command == "object create") return "protobj_create";
  if (command == "acl create") return "acl_create";
  if (command == "acl attach") return "protobj_attachacl";
  if (command == "group create") return "group_create2";
  if (command == "group modify") return "group_addmembers";
  if (command == "user create") return "user_create3";
  if (command == "user modify") return "user_setaccountvalid";
  if (command == "action group") return "action_group_create";
  if (command == "action create") return f.size() > 5 ? "action_create_in_group" : "action_create";
  if (command == "acl modify" && f.size() > 4) {
    const std::string& kind = f[4];
    if (kind == "user") return f.size() > 6 ? "acl_setuser" : "acl_removeuser";
    if (kind == "group") return f.size() > 6 ? "acl_setgroup" : "acl_removegroup";
    if (kind == "any-other") return f.size() > 5 ? "acl_setanyother" : "acl_removeanyother";
    if (kind == "unauthenticated") return f.size() > 5 ? "acl_setunauth" : "acl_removeunauth";
    if (kind == "attribute") return "acl_attrput";
  }
  throw std::runtime_error("unknown policy command: " + command);
}

// Each "kxadmin fault" the k-th call of an API on one name needs: the
// earlier calls meet faults of reason 1 (the call is made and counted as
// applied), the k-th one a plain fault.
std::string kxadmin_faults(const std::string& api_and_name, int earlier) {
  std::string script;
  for (int i = 0; i < earlier; ++i) script += "/opt/Varden/bin/kxadmin fault " + api_and_name + " --reason 1 && ";
  return script + "/opt/Varden/bin/kxadmin fault " + api_and_name;
}

std::function<void(const e2e::TempHost&)> run_script(std::string script) {
  return [script](const e2e::TempHost& host) {
    const auto r = host.sh(script);
    if (r.exit_status != 0) throw std::runtime_error("cannot inject: " + script + ": " + e2e::describe(r));
  };
}

std::function<void(const e2e::TempHost&)> fail_file(std::string name, std::string content = "") {
  return [name, content](const e2e::TempHost& host) { host.write_file("/var/zarn/run/fail." + name, content); };
}

// Nothing the program's "ln -f -s" can replace: a directory at the link's
// path holding a directory of the name ln would put into it.
std::function<void(const e2e::TempHost&)> block_link(std::string_view entry) {
  const auto blank = entry.find(' ');
  const std::string target(entry.substr(0, blank)), link(entry.substr(blank + 1));
  const std::string base = target.substr(target.rfind('/') + 1);
  return run_script("rm -f " + link + " && mkdir -p " + link + "/" + base);
}

FaultStep step(Scenario scenario, std::string name, std::function<void(const e2e::TempHost&)> inject,
               std::string message, bool store_fault = false) {
  return FaultStep{scenario, std::move(name), std::move(inject), std::move(message), store_fault};
}

void add_link_steps(std::vector<FaultStep>& steps, Scenario scenario, std::span<const std::string_view> links) {
  for (const std::string_view entry : links) {
    steps.push_back(step(scenario, "/bin/ln " + std::string(entry.substr(entry.find(' ') + 1)), block_link(entry),
                         "ZRNCF1313E"));
  }
}

}  // namespace

const char* scenario_name(Scenario scenario) {
  return scenario == Scenario::first_configuration ? "first" : "reconfig";
}

std::vector<std::string> policy_command_faults(const e2e::TempHost& host, const std::string& branch,
                                               const std::string& daemon_user) {
  const std::map<std::string, std::string> values = {
      {"%POLICY%", branch}, {"%SUFFIX%", "o=zarn"}, {"%BREVIKADMINSUFFIX%", "o=zarn"}, {"%VDUSERNAME%", daemon_user}};
  std::vector<std::string> faults;
  for (const char* file : {"/opt/zarn/etc/brevik.once-only", "/opt/zarn/etc/brevik.once-only.u3800",
                           "/opt/zarn/etc/brevik.once-only.u4100", "/opt/zarn/etc/brevik.per-policy",
                           "/opt/zarn/etc/brevik.per-machine"}) {
    std::istringstream lines(host.read_file(file));
    for (std::string line; std::getline(lines, line);) {
      const auto f = fields_of(line);
      if (f.size() < 3 || f[0].starts_with("#")) continue;
      const std::string& name = f[0] == "action" && f[1] == "group" ? f.at(3) : f[2];
      faults.push_back(api_of(f) + " " + substituted(name, values));
    }
  }
  return faults;
}

std::vector<FaultStep> first_configuration_steps(const e2e::TempHost& host) {
  constexpr Scenario s = Scenario::first_configuration;
  const std::string daemon_user = "zarnd/zarnhost";
  std::vector<FaultStep> steps;
  steps.push_back(step(s, "cp of the CA certificate", run_script("ln -s /nonexistent/ca /var/zarn/certs/zarn-ca.pem"),
                       "ZRNCF1371E"));
  steps.push_back(step(s, "write brevik.conf", fail_file("stz.brevik.conf"), kWrite));
  steps.push_back(step(s, "write zarnd.conf (options)", fail_file("stz.zarnd.conf"), kWrite));
  steps.push_back(step(s, "kxadmin_context_createdefault", run_script(kxadmin_faults("context_createdefault", 0)),
                       "ZRNCF1352E", true));
  steps.push_back(step(s, "kxadmin_user_list 'zarnd/zarnhost' (registered already?)",
                       run_script(kxadmin_faults("user_list 'zarnd/zarnhost'", 0)), "ZRNCF1425E", true));
  steps.push_back(step(s, "certbind -config", fail_file("certbind-config"), "ZRNCF1304E"));
  steps.push_back(step(s, "kxadmin_objectspace_list", run_script(kxadmin_faults("objectspace_list", 0)), "", true));
  steps.push_back(step(s, "kxadmin_acl_list (brevik-exec-open)", run_script(kxadmin_faults("acl_list", 0)), "", true));
  steps.push_back(step(s, "kxadmin_acl_list (brevik-default-password)", run_script(kxadmin_faults("acl_list", 1)), "",
                       true));
  // Policy commands, with the daemon user's look-up before each command
  // that names it.
  std::map<std::string, int> seen;
  int user_lookups = 0;
  for (const std::string& fault : policy_command_faults(host, "brevik1", daemon_user)) {
    if (fault.find(daemon_user) != std::string::npos) {
      const std::string lookup = "user_list 'zarnd/zarnhost*'";
      steps.push_back(step(s, "kxadmin_user_list #" + std::to_string(user_lookups + 1),
                           run_script(kxadmin_faults(lookup, user_lookups)), "ZRNCF1387E", true));
      ++user_lookups;
    }
    const int earlier = seen[fault]++;
    const std::string quoted = fault.substr(0, fault.find(' ')) + " '" + fault.substr(fault.find(' ') + 1) + "'";
    steps.push_back(step(s, "kxadmin_" + fault + (earlier ? " #" + std::to_string(earlier + 1) : ""),
                         run_script(kxadmin_faults(quoted, earlier)), kPolicy, true));
  }
  steps.push_back(step(s, "zarnd -T", fail_file("zarnd-T"), "ZRNCF1327E"));
  steps.push_back(step(s, "write zarnauditd.conf", fail_file("stz.zarnauditd.conf"), kWrite));
  steps.push_back(step(s, "write zarnwdd.conf", fail_file("stz.zarnwdd.conf"), kWrite));
  add_link_steps(steps, s, linux_file_links_K);
  add_link_steps(steps, s, linux_file_links_S);
  steps.push_back(step(s, "zarnlpadm", fail_file("zarnlpadm"), "ZRNCF1369E"));
  steps.push_back(step(s, "write zarnd.conf (state)", fail_file("stz.zarnd.conf", "2"), kWrite));
  steps.push_back(step(s, "kxadmin_run_discard", run_script(kxadmin_faults("run_discard zarnhost", 0)), "ZRNCF1424E",
                       true));
  return steps;
}

std::vector<FaultStep> reconfiguration_steps() {
  constexpr Scenario s = Scenario::reconfiguration;
  std::vector<FaultStep> steps;
  steps.push_back(step(s, "cp of the CA certificate", run_script("ln -s /nonexistent/ca /var/zarn/certs/zarn-ca2.pem"),
                       "ZRNCF1371E"));
  steps.push_back(step(s, "write brevik.conf", fail_file("stz.brevik.conf"), kWrite));
  steps.push_back(step(s, "write zarnd.conf (options)", fail_file("stz.zarnd.conf"), kWrite));
  steps.push_back(step(s, "certbind -chgport", fail_file("certbind-chgport"), "ZRNCF1304E"));
  steps.push_back(step(s, "certbind -modify", fail_file("certbind-modify"), "ZRNCF1304E"));
  steps.push_back(step(s, "write zarnauditd.conf", fail_file("stz.zarnauditd.conf"), kWrite));
  steps.push_back(step(s, "write zarnwdd.conf", fail_file("stz.zarnwdd.conf"), kWrite));
  add_link_steps(steps, s, linux_file_links_S);
  // The state entry is "on" already, so a reconfiguration does not write
  // zarnd.conf a second time: that step does not exist here.
  steps.push_back(step(s, "zarnlpadm", fail_file("zarnlpadm"), "ZRNCF1369E"));
  return steps;
}

}  // namespace rel
