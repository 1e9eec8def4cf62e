// The certificate copy and the daemon check use the product's fixed paths.
// Each case runs in a child with a private mount namespace: a tmpfs over
// /var and its own /etc/group, so the machine's files are never touched.
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <functional>
#include <string>

#include "zarncfg_test_support.h"
#include "zarncfg_validate.h"

namespace {

namespace fs = std::filesystem;

constexpr gid_t kBrevikGid = 4242;
constexpr std::uint32_t kGiven = CFG_SET | CFG_CMDLINE | CFG_HAS_VALUE;

class CertsInPrivateHost : public ScratchDirTest {
 protected:
  // Runs the case in the private host; its result is the text of the
  // failures (empty when it held).  Skips when namespaces are not available.
  void run_in_private_host(bool with_brevik_group, const std::function<std::string()>& body) {
    const fs::path group_file = make_file("group", read_group() + (with_brevik_group ? "brevik:x:4242:\n" : ""));
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(fds[0]);
      std::string failures = enter_private_host(group_file) ? body() : "#unshare";
      (void)!write(fds[1], failures.data(), failures.size());
      _exit(0);
    }
    close(fds[1]);
    std::string report;
    char buffer[512];
    ssize_t got = 0;
    while ((got = read(fds[0], buffer, sizeof buffer)) > 0) report.append(buffer, static_cast<std::size_t>(got));
    close(fds[0]);
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    if (report == "#unshare") GTEST_SKIP() << "no private mount namespace here";
    EXPECT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0);
    EXPECT_EQ(report, "");
  }

  fs::path certificate() const { return make_file("ca.pem", "-----BEGIN CERTIFICATE-----\n"); }

 private:
  static std::string read_group() {
    std::ifstream in("/etc/group");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static bool enter_private_host(const fs::path& group_file) {
    const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    dup2(null_fd, STDOUT_FILENO);
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("zarncfg-test", "/var", "tmpfs", 0, "mode=0755") == 0 &&
           mount(group_file.c_str(), "/etc/group", nullptr, MS_BIND, nullptr) == 0;
  }
};

std::string expect(bool holds, const std::string& what) { return holds ? "" : what + "; "; }

TEST_F(CertsInPrivateHost, CopyIsOwnedByRootAndBrevikWithMode0660) {
  const fs::path source = certificate();
  run_in_private_host(true, [&] {
    fs::create_directories("/var/zarn/certs");
    ConfigRecord record{};
    vd_msgid_t status = 0;
    zarncfg_copy_to_certs(record, IDX_LDAP_SSL_CACERT, source.string(), status);
    struct stat info {};
    const bool copied = stat("/var/zarn/certs/ca.pem", &info) == 0;
    return expect(status == 0, "status") + expect(copied, "copied") +
           expect(record[IDX_LDAP_SSL_CACERT].value == "/var/zarn/certs/ca.pem", "value") +
           expect(info.st_uid == 0 && info.st_gid == kBrevikGid, "owner") +
           expect((info.st_mode & 07777) == 0660, "mode");
  });
}

TEST_F(CertsInPrivateHost, CopyOntoItselfFailsAndKeepsTheValue) {
  run_in_private_host(true, [&] {
    fs::create_directories("/var/zarn/certs");
    std::ofstream("/var/zarn/certs/ca.pem") << "x\n";
    ConfigRecord record{};
    record[IDX_LDAP_SSL_CACERT] = ConfigEntry{kGiven, "/var/zarn/certs/ca.pem"};
    vd_msgid_t status = 0;
    zarncfg_copy_to_certs(record, IDX_LDAP_SSL_CACERT, "/var/zarn/certs/ca.pem", status);
    return expect(status == msg_id(1371), "status") +
           expect(record[IDX_LDAP_SSL_CACERT].value == "/var/zarn/certs/ca.pem", "value");
  });
}

TEST_F(CertsInPrivateHost, MissingBrevikGroupIsReported) {
  const fs::path source = certificate();
  run_in_private_host(false, [&] {
    fs::create_directories("/var/zarn/certs");
    ConfigRecord record{};
    vd_msgid_t status = 0;
    zarncfg_copy_to_certs(record, IDX_LDAP_SSL_CACERT, source.string(), status);
    return expect(status == msg_id(1345), "status");
  });
}

TEST_F(CertsInPrivateHost, QuotedNamesReachTheCopy) {
  const fs::path source = make_file("it's a ca.pem", "pem\n");
  run_in_private_host(true, [&] {
    fs::create_directories("/var/zarn/certs");
    ConfigRecord record{};
    vd_msgid_t status = 0;
    zarncfg_copy_to_certs(record, IDX_LDAP_SSL_CACERT, source.string(), status);
    return expect(status == 0, "status") + expect(fs::exists("/var/zarn/certs/it's a ca.pem"), "copied");
  });
}

TEST_F(CertsInPrivateHost, RunningDaemonsStopAReconfigurationBeforeTheCopy) {
  const fs::path source = certificate();
  run_in_private_host(true, [&] {
    fs::create_directories("/var/zarn/certs");
    fs::create_directories("/var/zarn/run");
    // This process stands in for a live daemon.
    std::ofstream("/var/zarn/run/zarnd.pid") << getpid() << "\n";
    ConfigRecord record{};
    record[IDX_CONFIG_STATE] = ConfigEntry{CFG_CURRENT | CFG_HAS_VALUE, "on"};
    record[IDX_LDAP_SSL_CACERT] = ConfigEntry{kGiven, source.string()};
    vd_msgid_t status = 0;
    zarncfg_validate_special_cases(record, "zarncfg", status);
    std::string failures = expect(status == msg_id(1365), "ping") + expect(!fs::exists("/var/zarn/certs/ca.pem"), "no copy");
    fs::remove("/var/zarn/run/zarnd.pid");
    zarncfg_validate_special_cases(record, "zarncfg", status);
    return failures + expect(status == 0, "stopped") +
           expect(record[IDX_LDAP_SSL_CACERT].value == "/var/zarn/certs/ca.pem", "copied");
  });
}

}  // namespace
