// End to end: the Debian package installed into a simulated host that has
// only the stand-ins of the platform (certbind, kxadmin, zarnd...), its
// maintainer script run there, then a first configuration from the
// installed package, log rotation with its snippet, and a purge.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "e2e/host_fixture.h"

extern char** environ;

namespace e2e {
namespace {

constexpr const char* kPwd = "Secr3tMaster";
constexpr const char* kCert = "/etc/ssl/zarn-ca.pem";
constexpr const char* kControl = "/tmp/zarncfg.control";

// Runs a tool of the build machine (not of the host) and waits for it.
int run_tool(std::vector<std::string> argv) {
  std::vector<char*> args;
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string mode_and_owner(const TempHost& h, const std::string& path) {
  return h.sh("stat -c '%a %U:%G' " + path).out;
}

class PackageHostTest : public HostTest {
 protected:
  hostsim::HostOptions host_options() const override {
    hostsim::HostOptions options;
    options.product = ZARN_HOSTSIM_STAGE;
    return options;
  }

  // dpkg-deb lays the files out from outside: inside, /usr is the real
  // system's, read-only.  The maintainer script runs inside the host.
  void install_package() {
    ASSERT_EQ(run_tool({"dpkg-deb", "-x", ZARN_DEB, host().dir().string()}), 0);
    ASSERT_EQ(run_tool({"dpkg-deb", "-e", ZARN_DEB, path(kControl).string()}), 0);
    // adduser keeps its lock in /run, which a real host has and a simulated one lacks.
    ASSERT_EQ(sh("mkdir -p /run").exit_status, 0);
    const auto postinst = run({"/bin/sh", std::string(kControl) + "/postinst", "configure"});
    ASSERT_EQ(postinst.exit_status, 0) << describe(postinst);
  }
};

TEST_F(PackageHostTest, HostHasNoProductBeforeTheInstallation) {
  EXPECT_FALSE(host().exists("/opt/zarn/bin/zarncfg"));
  EXPECT_TRUE(host().exists("/opt/Varden/bin/certbind"));
  EXPECT_TRUE(host().exists("/opt/zarn/bin/zarnd"));
}

// The account the product's files belong to is made by the package when
// the host lacks it.
TEST_F(PackageHostTest, PostinstCreatesTheBrevikAccount) {
  write_file("/etc/passwd", "root:x:0:0:root:/root:/bin/sh\n");
  write_file("/etc/group", "root:x:0:\n");
  install_package();
  EXPECT_EQ(sh("getent passwd brevik | cut -d: -f6,7").out, "/var/zarn:/usr/sbin/nologin\n");
  EXPECT_EQ(sh("id -gn brevik").out, "brevik\n");
  const auto again = run({"/bin/sh", std::string(kControl) + "/postinst", "configure"});
  EXPECT_EQ(again.exit_status, 0) << describe(again);
  EXPECT_EQ(sh("grep -c '^brevik:' /etc/passwd /etc/group").out, "/etc/passwd:1\n/etc/group:1\n");
}

TEST_F(PackageHostTest, FirstConfigurationFromTheInstalledPackage) {
  install_package();
  ASSERT_EQ(sh(std::string("/opt/Varden/bin/kxadmin init --sec-master-pwd ") + kPwd).exit_status, 0);
  write_file(kCert, "-----BEGIN CERTIFICATE-----\nZARN TEST CA\n-----END CERTIFICATE-----\n");

  const auto r =
      zarncfg({"-ldap_ssl_cacert", kCert, "-branch", "brevik1", "-suffix", "o=zarn", "-sec_master_pwd", kPwd});
  ASSERT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(r.out.rfind("Gathering information. \nProcessing the current configuration files. \n"
                        "Processing the command line. \nValidating the information. \nConfiguring Zarn. \n"
                        "Configuring the ZARND daemon. \nInitializing the Varden Policy Server context. \n"
                        "Registering with Varden Policy Server. This may take a few minutes. \n"
                        "Registering the Zarn product policy. \n",
                        0),
            0u)
      << describe(r);
  for (const char* line : {"Registering the brevik.once-only.u3800 policy updates. \n",
                           "Registering the brevik.once-only.u4100 policy updates. \n",
                           "Registering the policy-specific policy information. \n",
                           "Registering the machine-specific policy information. \n"}) {
    EXPECT_NE(r.out.find(line), std::string::npos) << line;
  }
  const std::string tail =
      "Initializing the ZARND daemon's Trusted Computing Base.\nConfiguring the ZARNAUDITD daemon. \n"
      "Configuring the ZARNWDD daemon. \nConfiguring the kernel extensions. \n"
      "The configuration process completed successfully. \n";
  EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), tail.size())), tail);
  EXPECT_EQ(r.err, "");

  // The run-level links point at the init scripts the package installed.
  EXPECT_EQ(sh("readlink /etc/rc.d/rc3.d/S88brevik /etc/rc.d/rc0.d/K13kbrevik").out,
            "/etc/rc.d/init.d/brevik\n/etc/rc.d/init.d/kbrevik\n");
  EXPECT_EQ(mode_and_owner(host(), "/var/zarn/log/msg__zarncfg.log"), "660 brevik:brevik\n");
  EXPECT_EQ(mode_and_owner(host(), "/opt/zarn/etc/zarnd.conf"), "660 root:brevik\n");
  EXPECT_NE(read_file("/opt/zarn/etc/zarnd.conf").find("state = on"), std::string::npos);
}

// The snippet rotates the message log and keeps its owner and mode; the
// rotated copy keeps them too.
TEST_F(PackageHostTest, LogRotationKeepsOwnerAndMode) {
  install_package();
  write_file("/var/zarn/log/msg__zarncfg.log", "a run\n", 0660);
  ASSERT_EQ(sh("chown brevik:brevik /var/zarn/log/msg__zarncfg.log").exit_status, 0);
  const auto rotate = sh("/usr/sbin/logrotate -f -s /tmp/logrotate.state /etc/logrotate.d/zarncfg");
  ASSERT_EQ(rotate.exit_status, 0) << describe(rotate);
  EXPECT_EQ(mode_and_owner(host(), "/var/zarn/log/msg__zarncfg.log"), "660 brevik:brevik\n");
  EXPECT_EQ(read_file("/var/zarn/log/msg__zarncfg.log"), "");
  EXPECT_EQ(mode_and_owner(host(), "/var/zarn/log/msg__zarncfg.log.1"), "660 brevik:brevik\n");
  EXPECT_EQ(read_file("/var/zarn/log/msg__zarncfg.log.1"), "a run\n");
}

TEST_F(PackageHostTest, PurgeRemovesOnlyZarncfgsOwnLog) {
  install_package();
  write_file("/var/zarn/log/msg__zarncfg.log", "a run\n", 0660);
  write_file("/var/zarn/log/msg__zarncfg.log.1", "older\n", 0660);
  write_file("/var/zarn/log/msg__zarnd.log", "daemon\n", 0660);
  write_file("/var/zarn/run/zarncfg.lock", "4711\n", 0600);
  const auto purge = run({"/bin/sh", std::string(kControl) + "/postrm", "purge"});
  ASSERT_EQ(purge.exit_status, 0) << describe(purge);
  EXPECT_FALSE(host().exists("/var/zarn/log/msg__zarncfg.log"));
  EXPECT_FALSE(host().exists("/var/zarn/log/msg__zarncfg.log.1"));
  EXPECT_FALSE(host().exists("/var/zarn/run/zarncfg.lock"));
  EXPECT_TRUE(host().exists("/var/zarn/log/msg__zarnd.log"));
  EXPECT_TRUE(host().exists("/opt/zarn/etc/brevik.per-machine"));
}

}  // namespace
}  // namespace e2e
