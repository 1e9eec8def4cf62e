// End to end: values built to break a shell command line, a format string,
// a stanza file or a fixed buffer, given in every place the program takes
// values from.  Whatever the value, a run either refuses it with a numbered
// message (exit 1, configuration as before) or takes it as one word (exit 0,
// the value written verbatim); it never runs an injected command, never
// crashes and never changes a file it had no business with.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <variant>

#include "e2e/host_fixture.h"
#include "stanza_document.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPwd = "Secr3tMaster";
constexpr const char* kCert = "/etc/ssl/zarn-ca.pem";
constexpr const char* kPwned = "/tmp/pwned";
constexpr const char* kOnceOnly = "objectspace create /BREVIK \"Zarn product\" 14\nacl create brevik-admin\n";
constexpr const char* kPerPolicy = "objectspace create /BREVIK/%POLICY% \"Zarn branch\" 14\n";
constexpr const char* kPerMachine = "group create brevik-hosts cn=hosts hosts\ngroup modify brevik-hosts add %VDUSERNAME%\n";

std::string long_text() {
  std::string text;
  while (text.size() < 64 * 1024) text += "zarn hostile text ";
  text.resize(64 * 1024);
  return text;
}

const std::vector<std::string>& hostile_values() {
  static const std::vector<std::string> values = {
      "two words",
      "it's",
      "say \"hi\"",
      "a;touch /tmp/pwned",
      "$(touch /tmp/pwned)",
      "`touch /tmp/pwned`",
      "line one\nline two",
      "#not a comment",
      "%s%n%s%n",
      long_text(),
      "caf\xc3\xa9 \xff\xfe\x80",
  };
  return values;
}

// A short name of a hostile value for failure messages.
std::string shown(const std::string& value) {
  std::string s = value.substr(0, 24);
  std::replace(s.begin(), s.end(), '\n', '|');
  return "[" + s + (value.size() > 24 ? "...]" : "]");
}

// One option that takes a value: a value it accepts, and where it is kept.
struct OptionRow {
  const char* option;
  const char* good_value;
  const char* file;  // nullptr: not kept in a configuration file
  const char* stanza;
  const char* entry;
};

const OptionRow kOptions[] = {
    {"-admin_cred_refresh", "30", "/opt/zarn/etc/zarnd.conf", "credentials", "admin-cred-refresh"},
    {"-audit_level", "permit", "/opt/zarn/etc/brevik.conf", "audit", "level"},
    {"-audit_log_entries", "100", "/opt/zarn/etc/zarnauditd.conf", "zarnauditd", "log-entries"},
    {"-audit_log_size", "2000000", "/opt/zarn/etc/zarnauditd.conf", "zarnauditd", "audit-logsize"},
    {"-audit_logflush", "20", "/opt/zarn/etc/zarnauditd.conf", "zarnauditd", "audit-logflush"},
    {"-audit_logs", "3", "/opt/zarn/etc/zarnauditd.conf", "zarnauditd", "logs"},
    {"-autostart", "on", "/opt/zarn/etc/zarnd.conf", "zarncfg", "autostart"},
    {"-branch", "brevik1", "/opt/zarn/etc/brevik.conf", "policy", "branch"},
    {"-cred_hold", "9000", "/opt/zarn/etc/zarnd.conf", "credentials", "cred-hold"},
    {"-cred_response_wait", "30", "/opt/zarn/etc/zarnd.conf", "credentials", "cred-response-wait"},
    {"-critical_cred_group", "critical", "/opt/zarn/etc/zarnd.conf", "credentials", "critical-cred-group"},
    {"-critical_cred_refresh", "30", "/opt/zarn/etc/zarnd.conf", "credentials", "critical-cred-refresh"},
    {"-delete", "dns", nullptr, nullptr, nullptr},
    {"-dns", "on", "/opt/zarn/etc/brevik.conf", "cache", "dns"},
    {"-ffdc_capture", "on", "/opt/zarn/etc/brevik.conf", "ffdc", "capture"},
    {"-kmsg_hnd_threads", "4", "/opt/zarn/etc/zarnd.conf", "zarnd", "kmsg-handler-threads"},
    {"-ldap_ssl_cacert", nullptr, nullptr, nullptr, nullptr},
    {"-login_policy", "on", "/opt/zarn/etc/zarnd.conf", "zarncfg", "login-policy"},
    {"-lrd_config", nullptr, nullptr, nullptr, nullptr},
    {"-lrd_log_entries", "100", "/opt/zarn/etc/zarnlrd.conf", "zarnlrd", "log-entries"},
    {"-lrd_logs", "3", "/opt/zarn/etc/zarnlrd.conf", "zarnlrd", "logs"},
    {"-zarnd_log_entries", "100", "/opt/zarn/etc/zarnd.conf", "zarnd", "log-entries"},
    {"-zarnd_logs", "9", "/opt/zarn/etc/zarnd.conf", "zarnd", "logs"},
    {"-zarnwdd_log_entries", "100", "/opt/zarn/etc/zarnwdd.conf", "zarnwdd", "log-entries"},
    {"-zarnwdd_logs", "3", "/opt/zarn/etc/zarnwdd.conf", "zarnwdd", "logs"},
    {"-refresh_interval", "600", "/opt/zarn/etc/zarnd.conf", "policy", "refresh-interval"},
    {"-rspfile", nullptr, nullptr, nullptr, nullptr},
    {"-sec_master_pwd", kPwd, nullptr, nullptr, nullptr},
    {"-ssl_listening_port", "7200", "/opt/zarn/etc/zarnd.conf", "ssl", "ssl-listening-port"},
    {"-suffix", "o=zarn", "/opt/zarn/etc/zarnd.conf", "zarncfg", "suffix"},
    {"-tcb_ignore_ctime", "on", "/opt/zarn/etc/zarnd.conf", "tcb", "tcb-ignore-ctime"},
    {"-tcb_interval", "600", "/opt/zarn/etc/zarnd.conf", "tcb", "interval"},
    {"-tcb_max_file_size", "1000", "/opt/zarn/etc/zarnd.conf", "tcb", "max-checksum-file-size"},
    {"-tcb_monitor_threads", "2", "/opt/zarn/etc/zarnd.conf", "tcb", "monitor-threads"},
    {"-tcb_nocrc_on_exec", "on", "/opt/zarn/etc/zarnd.conf", "tcb", "tcb-nocrc-on-exec"},
    {"-uid", "on", "/opt/zarn/etc/brevik.conf", "cache", "uid"},
    {"-user_cred_refresh", "30", "/opt/zarn/etc/zarnd.conf", "credentials", "user-cred-refresh"},
    {"-warning", "on", "/opt/zarn/etc/brevik.conf", "authorization", "warning"},
};

// ---- What a host looks like, to tell what a run changed ----

struct FileState {
  char type = '?';
  mode_t mode = 0;
  uid_t uid = 0;
  gid_t gid = 0;
  std::string content;  // a file's bytes, a link's target
  bool operator==(const FileState&) const = default;
};
using Snapshot = std::map<std::string, FileState>;

// Places a run may change whatever its outcome: its logs, its work files,
// its backups and the policy store (whose users are checked separately).
bool is_run_bookkeeping(const std::string& p) {
  static const std::vector<std::string> prefixes = {"/var/zarn/log/", "/var/zarn/zarncfg/", "/var/Varden/",
                                                     "/var/zarn/run/standins.log", "/var/zarn/run/zarncfg.lock", "/.zarnhost/"};
  for (const auto& prefix : prefixes) {
    if (p.starts_with(prefix)) return true;
  }
  return p.ends_with(".bak") || p.ends_with(".partial");
}

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Snapshot snapshot(const TempHost& host) {
  Snapshot snap;
  const std::set<std::string> system = {"/usr", "/lib", "/lib64", "/sbin", "/dev", "/proc", "/bin"};
  auto it = fs::recursive_directory_iterator(host.dir(), fs::directory_options::skip_permission_denied);
  for (; it != fs::recursive_directory_iterator(); ++it) {
    const std::string in_host = "/" + fs::relative(it->path(), host.dir()).string();
    if (system.count(in_host) != 0) {
      it.disable_recursion_pending();
      continue;
    }
    if (is_run_bookkeeping(in_host)) continue;
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0) continue;
    FileState state{'f', static_cast<mode_t>(st.st_mode & 07777), st.st_uid, st.st_gid, {}};
    if (S_ISDIR(st.st_mode)) {
      state.type = 'd';
    } else if (S_ISLNK(st.st_mode)) {
      state.type = 'l';
      state.content = fs::read_symlink(it->path()).string();
    } else if (st.st_size < (1 << 20)) {
      state.content = slurp(it->path());
    } else {
      state.content = std::to_string(st.st_size) + " bytes";  // the installed programs
    }
    snap[in_host] = std::move(state);
  }
  return snap;
}

std::vector<std::string> changed_paths(const Snapshot& before, const Snapshot& after) {
  std::vector<std::string> changed;
  for (const auto& [p, state] : before) {
    const auto found = after.find(p);
    if (found == after.end() || !(found->second == state)) changed.push_back(p);
  }
  for (const auto& [p, state] : after) {
    if (before.count(p) == 0) changed.push_back(p);
  }
  return changed;
}

std::set<std::string> lines_of(const std::string& text) {
  std::set<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

std::optional<std::optional<std::string>> stanza_entry(const std::string& text, const char* stanza, const char* entry) {
  auto parsed = stz::Document::parse(text);
  const auto* doc = std::get_if<stz::Document>(&parsed);
  if (doc == nullptr) return std::nullopt;
  const auto id = doc->findStanza(stanza);
  if (!id) return std::nullopt;
  const auto found = doc->findEntry(*id, entry);
  if (!found) return std::nullopt;
  return found->value;
}

class HostileInputTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    const auto init = run({"/opt/Varden/bin/kxadmin", "init", "--sec-master-pwd", kPwd});
    ASSERT_EQ(init.exit_status, 0) << describe(init);
    write_file("/opt/zarn/etc/brevik.once-only", kOnceOnly);
    write_file("/opt/zarn/etc/brevik.per-policy", kPerPolicy);
    write_file("/opt/zarn/etc/brevik.per-machine", kPerMachine);
    sh("rm -f /opt/zarn/etc/brevik.once-only.u3800 /opt/zarn/etc/brevik.once-only.u4100");
    write_file(kCert, "-----BEGIN CERTIFICATE-----\nZARN TEST CA\n-----END CERTIFICATE-----\n");
  }

  void TearDown() override {
    sh("/etc/rc.d/init.d/brevik stop >/dev/null 2>&1");
    HostTest::TearDown();
  }

  std::vector<std::string> first_args() {
    return {"-ldap_ssl_cacert", kCert, "-branch", "brevik1", "-suffix", "o=zarn", "-sec_master_pwd", kPwd};
  }

  void configure_first() {
    const auto r = zarncfg(first_args());
    ASSERT_EQ(r.exit_status, 0) << describe(r);
  }

  std::string invocations() {
    return host().exists("/var/zarn/run/standins.log") ? read_file("/var/zarn/run/standins.log") : "";
  }
  std::string store_users() { return sh("/opt/Varden/bin/kxadmin user list 'zarnd/*'").out; }

  // The run's outcome is one of the two allowed ones, and nothing beyond
  // what the run is for has changed.  Returns whether it exited 0.
  bool expect_clean_outcome(const hostsim::RunResult& r, const Snapshot& before, const std::string& users_before,
                            const std::set<std::string>& allowed_changes, const std::string& what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(r.term_signal, 0) << describe(r);
    EXPECT_FALSE(r.timed_out);
    EXPECT_TRUE(r.exit_status == 0 || r.exit_status == 1) << describe(r);
    for (const char* report : {"runtime error:", "AddressSanitizer", "LeakSanitizer"}) {
      EXPECT_EQ(r.err.find(report), std::string::npos) << describe(r);
    }
    if (r.exit_status == 1) {
      EXPECT_TRUE(std::regex_search(r.out, std::regex("ZRNCF[0-9]{4}E"))) << describe(r);
    }
    EXPECT_FALSE(host().exists(kPwned)) << describe(r);
    EXPECT_FALSE(fs::exists(kPwned));
    for (const auto& p : changed_paths(before, snapshot(host()))) {
      if (r.exit_status == 0 && allowed_changes.count(p) != 0) continue;
      ADD_FAILURE() << "changed " << p << "\n" << describe(r);
    }
    if (r.exit_status != 0) {
      EXPECT_EQ(store_users(), users_before);
    }
    return r.exit_status == 0;
  }
};

// ---- Every option that takes a value, on a configured host ----

void PrintTo(const OptionRow& row, std::ostream* out) { *out << row.option; }

class HostileOptionTest : public HostileInputTest, public ::testing::WithParamInterface<OptionRow> {};

TEST_P(HostileOptionTest, RefusedWithAMessageOrTakenAsOneWord) {
  const OptionRow& row = GetParam();
  ASSERT_NO_FATAL_FAILURE(configure_first());
  // Tools a good value of this option makes the reconfiguration run.
  sh("rm -f /var/zarn/run/standins.log");
  // The password is given throughout, so that no run stops at the prompt
  // (there is no terminal) before it has looked at the value.
  std::vector<std::string> base;
  if (std::string_view(row.option) != "-sec_master_pwd") base = {"-sec_master_pwd", kPwd};
  std::vector<std::string> good_args = base;
  if (row.good_value != nullptr) good_args.insert(good_args.end(), {row.option, row.good_value});
  const auto good = zarncfg(good_args);
  ASSERT_EQ(good.exit_status, 0) << describe(good);
  const std::set<std::string> expected_tools = lines_of(invocations());

  std::set<std::string> allowed;
  if (row.file != nullptr) allowed.insert(row.file);
  for (const std::string& value : hostile_values()) {
    sh("rm -f /var/zarn/run/standins.log");
    const Snapshot before = snapshot(host());
    const std::string users = store_users();
    std::vector<std::string> args = base;
    args.insert(args.end(), {row.option, value});
    const auto r = zarncfg(args);
    const std::string what = std::string(row.option) + " " + shown(value);
    if (expect_clean_outcome(r, before, users, allowed, what) && row.file != nullptr) {
      const auto written = stanza_entry(read_file(row.file), row.stanza, row.entry);
      EXPECT_EQ(written, std::optional<std::string>(value)) << what;
    }
    for (const auto& line : lines_of(invocations())) {
      EXPECT_EQ(expected_tools.count(line), 1u) << what << ": unexpected " << line;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(EveryValueOption, HostileOptionTest, ::testing::ValuesIn(kOptions),
                         [](const ::testing::TestParamInfo<OptionRow>& info) {
                           return std::string(info.param.option + 1);
                         });

// ---- A first configuration whose own values are hostile ----

TEST_F(HostileInputTest, FirstConfigurationWithHostileBranchOrSuffix) {
  for (const char* option : {"-branch", "-suffix"}) {
    for (const std::string& value : hostile_values()) {
      TempHost fresh;
      ASSERT_EQ(fresh.run({"/opt/Varden/bin/kxadmin", "init", "--sec-master-pwd", kPwd}).exit_status, 0);
      fresh.write_file("/opt/zarn/etc/brevik.once-only", kOnceOnly);
      fresh.write_file("/opt/zarn/etc/brevik.per-policy", kPerPolicy);
      fresh.write_file("/opt/zarn/etc/brevik.per-machine", kPerMachine);
      fresh.run({"/bin/sh", "-c", "rm -f /opt/zarn/etc/brevik.once-only.u*"});
      fresh.write_file(kCert, "CA\n");
      std::vector<std::string> args = first_args();
      const auto at = std::find(args.begin(), args.end(), option);
      *(at + 1) = value;
      const auto r = fresh.zarncfg(args);
      const std::string what = std::string(option) + " " + shown(value);
      EXPECT_EQ(r.term_signal, 0) << what << describe(r);
      EXPECT_TRUE(r.exit_status == 0 || r.exit_status == 1) << what << describe(r);
      EXPECT_FALSE(fresh.exists(kPwned)) << what;
      const std::string users =
          fresh.run({"/opt/Varden/bin/kxadmin", "user", "list", "zarnd/*"}).out;
      if (r.exit_status == 0) {
        const char* file = std::string_view(option) == "-branch" ? "/opt/zarn/etc/brevik.conf" : "/opt/zarn/etc/zarnd.conf";
        const char* stanza = std::string_view(option) == "-branch" ? "policy" : "zarncfg";
        const char* entry = std::string_view(option) == "-branch" ? "branch" : "suffix";
        EXPECT_EQ(stanza_entry(fresh.read_file(file), stanza, entry), std::optional<std::string>(value)) << what;
        EXPECT_EQ(users, "zarnd/zarnhost\n") << what;
      } else {
        EXPECT_TRUE(std::regex_search(r.out, std::regex("ZRNCF[0-9]{4}E"))) << what << describe(r);
        // A clean roll-back: no registration and no policy left behind.
        EXPECT_EQ(users, "") << what;
        EXPECT_EQ(fresh.run({"/opt/Varden/bin/kxadmin", "objectspace", "list"}).out.find("/BREVIK"),
                  std::string::npos)
            << what;
      }
    }
  }
}

// The certificate is copied with /bin/cp and registered through /bin/sh:
// the path must reach both as one word.
TEST_F(HostileInputTest, CertificatePathWithBlanksAndCommandSubstitution) {
  const std::string cert = "/etc/ssl/ca $(touch /tmp/pwned)/my ca `id` $(id);x.pem";
  write_file(cert, "-----BEGIN CERTIFICATE-----\nODD PATH CA\n-----END CERTIFICATE-----\n");
  std::vector<std::string> args = first_args();
  args[1] = cert;

  const auto r = zarncfg(args);

  ASSERT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_FALSE(host().exists(kPwned));
  const std::string copied = "/var/zarn/certs/my ca `id` $(id);x.pem";
  ASSERT_TRUE(host().exists(copied)) << sh("ls -la /var/zarn/certs").out;
  EXPECT_EQ(read_file(copied), read_file(cert));
  EXPECT_NE(read_file("/var/zarn/run/certbind.zarnd").find(copied), std::string::npos)
      << read_file("/var/zarn/run/certbind.zarnd");
  EXPECT_NE(read_file("/var/zarn/certs/zarnd.kdb").find(copied), std::string::npos);
}

// ---- A response file ----

TEST_F(HostileInputTest, ResponseFileValues) {
  ASSERT_NO_FATAL_FAILURE(configure_first());
  struct RspRow {
    const char* stanza;
    const char* entry;
    const char* file;  // where the value is kept, nullptr if nowhere
  };
  const RspRow rows[] = {
      {"credentials", "critical-cred-group", "/opt/zarn/etc/zarnd.conf"},
      {"zarnd", "logs", "/opt/zarn/etc/zarnd.conf"},
      {"zarncfg", "suffix", "/opt/zarn/etc/zarnd.conf"},
      {"zarncfg", "delete", nullptr},
      {"audit", "level", "/opt/zarn/etc/brevik.conf"},
  };
  for (const RspRow& row : rows) {
    for (const std::string& value : hostile_values()) {
      const std::string rsp = "/tmp/rsp $(touch /tmp/pwned).conf";
      write_file(rsp, "[" + std::string(row.stanza) + "]\n" + row.entry + " = " + value + "\n");
      sh("rm -f /var/zarn/run/standins.log");
      const Snapshot before = snapshot(host());
      const auto r = zarncfg({"-rspfile", rsp});
      std::set<std::string> allowed{rsp};
      if (row.file != nullptr) allowed.insert(row.file);
      const std::string what = std::string(row.stanza) + "/" + row.entry + " " + shown(value);
      expect_clean_outcome(r, before, store_users(), allowed, what);
      EXPECT_TRUE(invocations().empty() || invocations() == "/opt/zarn/bin/zarnlpadm -c on\n") << what;
    }
  }
}

// ---- The installed configuration files ----

TEST_F(HostileInputTest, InstalledConfigurationValues) {
  ASSERT_NO_FATAL_FAILURE(configure_first());
  struct ConfRow {
    const char* file;
    const char* stanza;
    const char* entry;
  };
  const ConfRow rows[] = {
      {"/opt/zarn/etc/zarnd.conf", "credentials", "critical-cred-group"},
      {"/opt/zarn/etc/zarnd.conf", "ssl", "ssl-listening-port"},
      {"/opt/zarn/etc/zarnd.conf", "zarncfg", "login-policy"},
      {"/opt/zarn/etc/zarnd.conf", "zarncfg", "sec-master-pwd"},
      {"/opt/zarn/etc/brevik.conf", "policy", "branch"},
      {"/opt/zarn/etc/zarnauditd.conf", "zarnauditd", "logs"},
      {"/opt/zarn/etc/zarnwdd.conf", "zarnwdd", "log-entries"},
  };
  for (const ConfRow& row : rows) {
    const std::string original = read_file(row.file);
    for (const std::string& value : hostile_values()) {
      // Appended as raw text: a value holding a newline leaves a stray line.
      write_file(row.file, original + "\n[" + row.stanza + "]\n" + row.entry + " = " + value + "\n");
      sh("rm -f /var/zarn/run/standins.log");
      const Snapshot before = snapshot(host());
      const auto r = zarncfg({"-zarnd_logs", "9"});
      const std::string what = std::string(row.file) + " " + row.entry + " " + shown(value);
      // The option of the run is kept in zarnd.conf.
      expect_clean_outcome(r, before, store_users(), {row.file, "/opt/zarn/etc/zarnd.conf"}, what);
      EXPECT_TRUE(invocations().empty() || invocations() == "/opt/zarn/bin/zarnlpadm -c on\n")
          << what << invocations();
    }
    write_file(row.file, original);
  }
}

// A security master password full of shell syntax reaches the store as it is.
TEST(HostilePassword, FirstConfigurationWithHostilePassword) {
  for (const std::string& pwd : {std::string("pa ss'w\"d;$(touch /tmp/pwned)`x`"), std::string("%s%n#\xc3\xa9")}) {
    TempHost host;
    ASSERT_EQ(host.run({"/opt/Varden/bin/kxadmin", "init", "--sec-master-pwd", pwd}).exit_status, 0);
    host.write_file("/opt/zarn/etc/brevik.once-only", kOnceOnly);
    host.write_file("/opt/zarn/etc/brevik.per-policy", kPerPolicy);
    host.write_file("/opt/zarn/etc/brevik.per-machine", kPerMachine);
    host.run({"/bin/sh", "-c", "rm -f /opt/zarn/etc/brevik.once-only.u*"});
    host.write_file(kCert, "CA\n");
    const auto r = host.zarncfg({"-ldap_ssl_cacert", kCert, "-branch", "b1", "-suffix", "o=zarn", "-sec_master_pwd", pwd});
    EXPECT_EQ(r.term_signal, 0) << describe(r);
    EXPECT_FALSE(host.exists(kPwned));
    // Accepted and used, or refused by the password rules with a message.
    if (r.exit_status == 0) {
      EXPECT_EQ(host.run({"/opt/Varden/bin/kxadmin", "user", "list", "zarnd/*"}).out, "zarnd/zarnhost\n");
    } else {
      EXPECT_EQ(r.exit_status, 1) << describe(r);
      EXPECT_TRUE(std::regex_search(r.out, std::regex("ZRNCF[0-9]{4}E"))) << describe(r);
    }
    EXPECT_EQ(host.log_text().find(pwd), std::string::npos);
  }
}

}  // namespace
}  // namespace e2e
