// Known starting points for runs of the configuration program in a simulated
// host: a policy store, small policy files with known command counts, a CA
// certificate and the arguments of a first configuration; and the checks
// that a run left the host as it was and kept the password to itself.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/host_fixture.h"

namespace e2e {

// Recognisable, so that any copy of it shows up in a search of the host.
inline constexpr const char* kMasterPwd = "Pw-Secret-4711";
inline constexpr const char* kCaCert = "/etc/ssl/zarn-ca.pem";
inline constexpr const char* kCaCertText = "-----BEGIN CERTIFICATE-----\nZARN TEST CA\n-----END CERTIFICATE-----\n";

// Two, one and two policy commands: the progress dots of a first
// configuration are then known.  The machine file needs this host's registration.
inline constexpr const char* kOnceOnlyPolicy =
    "objectspace create /BREVIK \"Zarn product\" 14\nacl create brevik-admin\n";
inline constexpr const char* kPerPolicyPolicy = "# branch\nobjectspace create /BREVIK/%POLICY% \"Zarn branch\" 14\n";
inline constexpr const char* kPerMachinePolicy =
    "group create brevik-hosts-%POLICY% cn=hosts hosts\ngroup modify brevik-hosts-%POLICY% add %VDUSERNAME%\n";

inline const std::string kGatheringHead =
    "Gathering information. \n"
    "Processing the current configuration files. \n";
inline const std::string kResponseFileLine = "Processing the response file. \n";
inline const std::string kCommandLineLine = "Processing the command line. \n";
inline const std::string kValidatingLine = "Validating the information. \n";
inline const std::string kRunFailed =
    "ZRNCF0021E   The configuration process did not complete successfully. \n"
    "See /var/zarn/log/msg__zarncfg.log for details.\n";
inline const std::string kRunSucceeded = "The configuration process completed successfully. \n";

// The policy store with kMasterPwd, the small policy files and kCaCert.
inline void prepare_first_configuration(const TempHost& host) {
  const auto init = host.sh(std::string("/opt/Varden/bin/kxadmin init --sec-master-pwd ") + kMasterPwd);
  ASSERT_EQ(init.exit_status, 0) << describe(init);
  host.write_file("/opt/zarn/etc/brevik.once-only", kOnceOnlyPolicy);
  host.write_file("/opt/zarn/etc/brevik.per-policy", kPerPolicyPolicy);
  host.write_file("/opt/zarn/etc/brevik.per-machine", kPerMachinePolicy);
  host.sh("rm -f /opt/zarn/etc/brevik.once-only.u3800 /opt/zarn/etc/brevik.once-only.u4100");
  host.write_file(kCaCert, kCaCertText);
}

inline std::vector<std::string> first_args(const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args = {"-ldap_ssl_cacert", kCaCert,  "-branch",         "brevik1",
                                   "-suffix",          "o=zarn", "-sec_master_pwd", kMasterPwd};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

// A first configuration that must succeed; the stand-ins' record starts empty after it.
inline void configure_first(const TempHost& host, const std::vector<std::string>& extra = {}) {
  const auto r = host.zarncfg(first_args(extra));
  ASSERT_EQ(r.exit_status, 0) << describe(r);
  host.sh("rm -f /var/zarn/run/standins.log");
}

// The value of one entry of a stanza file ("[stanza]" headers, "entry = value" lines).
inline std::optional<std::string> stanza_value(const std::string& text, std::string_view stanza,
                                               std::string_view entry) {
  auto trim = [](std::string s) {
    s.erase(0, s.find_first_not_of(" \t"));
    s.erase(s.find_last_not_of(" \t") + 1);
    return s;
  };
  std::istringstream in(text);
  std::string line, current;
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

inline std::string file_text(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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

// The stand-ins' record of their command lines: the event console command and
// the log router registration carry the password there by design.
inline constexpr std::string_view kStandinsLog = "var/zarn/run/standins.log";

// Regular files of the host holding `secret`.  Not searched: what the host
// takes from the real system, the harness's own state, the policy store's
// files and the stand-ins' record.
inline std::vector<std::string> files_holding(const TempHost& host, std::string_view secret) {
  namespace fs = std::filesystem;
  static const std::vector<std::string> kSkipped = {"usr", "lib",  "lib64",     "sbin",
                                                    "dev", "proc", ".zarnhost", "var/Varden"};
  std::vector<std::string> found;
  fs::recursive_directory_iterator it(host.dir()), end;
  for (; it != end; ++it) {
    const std::string relative = fs::relative(it->path(), host.dir()).string();
    if (std::find(kSkipped.begin(), kSkipped.end(), relative) != kSkipped.end()) {
      it.disable_recursion_pending();
      continue;
    }
    if (relative == kStandinsLog || !fs::is_regular_file(it->symlink_status())) continue;
    if (file_text(it->path()).find(secret) != std::string::npos) found.push_back("/" + relative);
  }
  return found;
}

inline void expect_password_nowhere(const TempHost& host) {
  EXPECT_EQ(files_holding(host, kMasterPwd), std::vector<std::string>{});
}

}  // namespace e2e
