// What the end-to-end tests of the configuration share: a simulated host
// with a policy store, small policy files, a CA certificate to copy, the
// messages a run prints, and looks at what a run left on the host and that
// it kept the password to itself.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/host_fixture.h"
#include "e2e/secret_scan.h"

namespace e2e {

// Recognisable, so that any copy of it shows up in a search of the host.
inline constexpr const char* kPwd = "Secr3tMaster";
inline constexpr const char* kCert = "/etc/ssl/zarn-ca.pem";
inline constexpr const char* kCertText = "-----BEGIN CERTIFICATE-----\nZARN TEST CA\n-----END CERTIFICATE-----\n";
inline constexpr const char* kHost = "zarnhost";

// Small policy files with a known number of commands, so that the progress
// dots are known.  As in the product's files, the machine file needs this
// host's registration and changes only what the product and branch files
// made, so that several hosts can share one store.
inline constexpr const char* kOnceOnly =
    "objectspace create /BREVIK \"Zarn product\" 14\ngroup create brevik-servers cn=servers servers\n";
inline constexpr const char* kPerPolicy =
    "# branch\nobjectspace create /BREVIK/%POLICY% \"Zarn branch\" 14\nacl create brevik-%POLICY%-hosts\n";
inline constexpr const char* kPerMachine =
    "group modify brevik-servers add %VDUSERNAME%\nacl modify brevik-%POLICY%-hosts set user %VDUSERNAME% Tr\n";

inline const std::vector<std::string> kStartLinks = {
    "/etc/rc.d/rc2.d/S87kbrevik", "/etc/rc.d/rc3.d/S87kbrevik", "/etc/rc.d/rc4.d/S87kbrevik",
    "/etc/rc.d/rc5.d/S87kbrevik", "/etc/rc.d/rc2.d/S88brevik",  "/etc/rc.d/rc3.d/S88brevik",
    "/etc/rc.d/rc4.d/S88brevik",  "/etc/rc.d/rc5.d/S88brevik"};
inline const std::vector<std::string> kStopLinks = {"/etc/rc.d/rc0.d/K13kbrevik", "/etc/rc.d/rc1.d/K13kbrevik",
                                                    "/etc/rc.d/rc6.d/K13kbrevik", "/etc/rc.d/rc0.d/K12brevik",
                                                    "/etc/rc.d/rc1.d/K12brevik",  "/etc/rc.d/rc6.d/K12brevik"};

inline const std::string kGatheringHead =
    "Gathering information. \n"
    "Processing the current configuration files. \n";
inline const std::string kResponseFileLine = "Processing the response file. \n";
inline const std::string kCommandLineLine = "Processing the command line. \n";
inline const std::string kValidatingLine = "Validating the information. \n";
inline const std::string kInputHead = kGatheringHead + kCommandLineLine + kValidatingLine;
inline const std::string kFirstRunSteps =
    "Configuring Zarn. \n"
    "Configuring the ZARND daemon. \n"
    "Initializing the Varden Policy Server context. \n"
    "Registering with Varden Policy Server. This may take a few minutes. \n";
inline const std::string kFirstRunHead = kInputHead + kFirstRunSteps;
inline const std::string kProductPolicy = "Registering the Zarn product policy. \n..\n";
inline const std::string kBranchPolicy = "Registering the policy-specific policy information. \n..\n";
inline const std::string kMachinePolicy = "Registering the machine-specific policy information. \n..\n";
inline const std::string kPolicyLoad = kProductPolicy + kBranchPolicy + kMachinePolicy;
inline const std::string kTcb = "Initializing the ZARND daemon's Trusted Computing Base.\n";
inline const std::string kOtherDaemons =
    "Configuring the ZARNAUDITD daemon. \n"
    "Configuring the ZARNWDD daemon. \n"
    "Configuring the kernel extensions. \n";
inline const std::string kSuccess = "The configuration process completed successfully. \n";
inline const std::string kRollBack = "Unregistering Varden Policy Server and policy-specific information.\n";
inline const std::string kUnregister = "Unregistering with Varden Policy Server. \n";
// The closing words of every failed run.
inline const std::string kFailed =
    "ZRNCF0021E   The configuration process did not complete successfully. \n"
    "See /var/zarn/log/msg__zarncfg.log for details.\n";
inline const std::string kReconfigHead = kInputHead +
                                         "Configuring Zarn. \n"
                                         "Configuring the ZARND daemon. \n";

// The value of one entry of a stanza file ("[stanza]" headers, "entry = value" lines).
inline std::optional<std::string> stanza_value(const std::string& text, std::string_view stanza,
                                               std::string_view entry) {
  std::istringstream in(text);
  std::string line, current;
  auto trim = [](std::string s) {
    s.erase(0, s.find_first_not_of(" \t"));
    s.erase(s.find_last_not_of(" \t") + 1);
    return s;
  };
  while (std::getline(in, line)) {
    line = trim(line);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      current = trim(line.substr(1, line.size() - 2));
    } else if (const auto eq = line.find('='); current == stanza && eq != std::string::npos) {
      if (trim(line.substr(0, eq)) == entry) return trim(line.substr(eq + 1));
    }
  }
  return std::nullopt;
}

inline std::size_t count_of(const std::string& text, std::string_view needle) {
  std::size_t n = 0;
  for (auto at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) ++n;
  return n;
}

// A host ready for a configuration: policy files, a CA certificate and,
// unless another host made it already, a policy store.
inline void prepare_host(const TempHost& h, bool create_store = true) {
  if (create_store) {
    const auto init = h.sh(std::string("/opt/Varden/bin/kxadmin init --sec-master-pwd ") + kPwd);
    ASSERT_EQ(init.exit_status, 0) << describe(init);
  }
  h.write_file("/opt/zarn/etc/brevik.once-only", kOnceOnly);
  h.write_file("/opt/zarn/etc/brevik.per-policy", kPerPolicy);
  h.write_file("/opt/zarn/etc/brevik.per-machine", kPerMachine);
  h.sh("rm -f /opt/zarn/etc/brevik.once-only.u3800 /opt/zarn/etc/brevik.once-only.u4100");
  h.write_file(kCert, kCertText);
}

inline std::vector<std::string> first_args(const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args = {"-ldap_ssl_cacert", kCert, "-branch", "brevik1", "-suffix", "o=zarn",
                                   "-sec_master_pwd", kPwd};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

// A first configuration that must succeed; the stand-ins' record starts empty after it.
inline void configure_first(const TempHost& h, const std::vector<std::string>& extra = {}) {
  const auto r = h.zarncfg(first_args(extra));
  ASSERT_EQ(r.exit_status, 0) << describe(r);
  h.sh("rm -f /var/zarn/run/standins.log");
}

// No run may leave the security master password anywhere in the host: not
// in the logs, not in a password file that outlived its command.
inline void expect_no_password_left(const TempHost& h) {
  EXPECT_EQ(find_secret(h, kPwd), std::vector<std::string>{});
}

using sys::file_text;

// One line per entry below the host's `dirs`: path, mode, and the link
// target or a hash of the content.  Equal snapshots mean nothing changed there.
inline std::string tree_snapshot(const TempHost& host, std::initializer_list<std::string_view> dirs) {
  namespace fs = std::filesystem;
  std::vector<std::string> lines;
  for (const std::string_view dir : dirs) {
    if (!host.exists(dir)) continue;
    for (const auto& item : fs::recursive_directory_iterator(host.path(dir))) {
      const auto status = item.symlink_status();
      std::ostringstream line;
      line << fs::relative(item.path(), host.dir()).string() << ' ' << std::oct
           << static_cast<unsigned>(status.permissions()) << std::dec << ' ';
      if (fs::is_symlink(status)) {
        line << "-> " << fs::read_symlink(item.path()).string();
      } else if (fs::is_regular_file(status)) {
        line << std::hash<std::string>{}(file_text(item.path()));
      }
      lines.push_back(line.str());
    }
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const auto& line : lines) text += line + '\n';
  return text;
}

// What a refused run must leave alone: the configuration files and their
// backups, certificates and keys, the policy store and the run-level links.
inline std::string configuration_snapshot(const TempHost& host) {
  return tree_snapshot(host, {"/opt/zarn/etc", "/var/zarn/certs", "/var/Varden", "/etc/rc.d"});
}

inline std::string link_target(const TempHost& h, const std::string& link) {
  std::error_code ec;
  const auto target = std::filesystem::read_symlink(h.path(link), ec);
  return ec ? "" : target.string();
}

inline std::string owner_of(const TempHost& h, std::string_view p) {
  return h.sh("stat -c %U:%G " + std::string(p)).out;
}

inline mode_t mode_of(const TempHost& h, std::string_view p) {
  struct stat st {};
  return ::lstat(h.path(p).c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

inline std::string store_dump(const TempHost& h) {
  const auto dump = h.sh("/opt/Varden/bin/kxadmin dump");
  EXPECT_EQ(dump.exit_status, 0) << describe(dump);
  return dump.out;
}

class ConfigTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    prepare_host(host());
  }

  void TearDown() override {
    sh("/etc/rc.d/init.d/brevik stop >/dev/null 2>&1");
    expect_no_password_left(host());
    HostTest::TearDown();
  }

  void configure_first(const std::vector<std::string>& extra = {}) { e2e::configure_first(host(), extra); }

  std::string invocations() { return file_or_empty("/var/zarn/run/standins.log"); }
  std::string file_or_empty(std::string_view p) { return host().exists(p) ? read_file(p) : ""; }
  void fail_tool(const std::string& name, const std::string& code = "7") {
    write_file("/var/zarn/run/fail." + name, code);
  }

  std::string link_target(const std::string& link) { return e2e::link_target(host(), link); }
  int count_links(const std::vector<std::string>& links) {
    return static_cast<int>(std::count_if(links.begin(), links.end(),
                                          [&](const std::string& l) { return !link_target(l).empty(); }));
  }
  std::string store_users() { return sh("/opt/Varden/bin/kxadmin user list 'zarnd/*'").out; }
  std::string store_dump() { return e2e::store_dump(host()); }
  mode_t mode_of(std::string_view p) { return e2e::mode_of(host(), p); }
  std::string owner_of(std::string_view p) { return e2e::owner_of(host(), p); }
};

}  // namespace e2e
