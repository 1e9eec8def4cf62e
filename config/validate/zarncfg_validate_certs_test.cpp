// The certificate copy and the daemon check use the product's fixed paths.
// Each case runs in a child with a private mount namespace: a tmpfs over
// /var and its own /etc/group, so the machine's files are never touched.
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "sys_child.h"
#include "sys_fd.h"
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
    sys::Pipe report_pipe;
    ASSERT_TRUE(sys::make_pipe(report_pipe));
    std::optional<sys::Child> child = sys::Child::start(sys::ChildSpec([&] {
      const std::string failures = enter_private_host(group_file) ? body() : "#unshare";
      (void)sys::write_all(report_pipe.write_end.get(), failures);  // a lost report shows as a failure
      _exit(0);
    }));
    ASSERT_TRUE(child);
    report_pipe.write_end.reset();
    std::string report;
    EXPECT_TRUE(sys::read_all(report_pipe.read_end.get(), report));
    const std::optional<sys::ExitStatus> end = child->wait();
    if (report == "#unshare") GTEST_SKIP() << "no private mount namespace here";
    EXPECT_TRUE(end && end->code == 0);
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
