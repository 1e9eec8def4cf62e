// The certificate copy and the daemon check use the product's fixed paths
// and the host's accounts, so each case runs in a child that has entered a
// simulated host of its own; the machine's files are never touched.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "hostsim/create.h"
#include "hostsim/enter.h"
#include "sys_testing.h"
#include "zarncfg_test_support.h"
#include "zarncfg_validate.h"

namespace {

namespace fs = std::filesystem;

constexpr gid_t kBrevikGid = 301;  // as the simulated host's /etc/group has it
constexpr std::uint32_t kGiven = CFG_SET | CFG_CMDLINE | CFG_HAS_VALUE;
constexpr const char* kCopy = "/var/zarn/certs/ca.pem";

class CertsInHost : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    if (geteuid() != 0) GTEST_SKIP() << "entering a simulated host needs root";
    hostsim::HostOptions options;
    options.product = root_ / "product";  // the program's functions are called, not installed
    fs::create_directory(options.product);
    hostsim::create_host(host_dir(), options);
    write_in_host("/root/ca.pem", "-----BEGIN CERTIFICATE-----\n");
  }

  fs::path host_dir() const { return root_ / "host"; }
  void write_in_host(const std::string& path, const std::string& content) const {
    std::ofstream(host_dir() / fs::path(path).relative_path()) << content;
  }
  // Runs the case in the host; its result is the text of the failures,
  // empty when it held.
  void expect_in_host(const std::function<std::string()>& body) {
    const std::optional<std::string> failures = sys::call_in_child([&] {
      hostsim::enter_host(host_dir());
      return body();
    });
    EXPECT_EQ(failures, "");
  }
};

std::string expect(bool holds, const std::string& what) { return holds ? "" : what + "; "; }

TEST_F(CertsInHost, CopyIsOwnedByRootAndBrevikWithMode0660) {
  expect_in_host([] {
    ConfigRecord record{};
    vd_msgid_t status = 0;
    zarncfg_copy_to_certs(record, IDX_LDAP_SSL_CACERT, "/root/ca.pem", status);
    struct stat info {};
    const bool copied = stat(kCopy, &info) == 0;
    return expect(status == 0, "status") + expect(copied, "copied") +
           expect(record[IDX_LDAP_SSL_CACERT].value == kCopy, "value") +
           expect(info.st_uid == 0 && info.st_gid == kBrevikGid, "owner") +
           expect((info.st_mode & 07777) == 0660, "mode");
  });
}

TEST_F(CertsInHost, CopyOntoItselfFailsAndKeepsTheValue) {
  write_in_host(kCopy, "x\n");
  expect_in_host([] {
    ConfigRecord record{};
    record[IDX_LDAP_SSL_CACERT] = ConfigEntry{kGiven, kCopy};
    vd_msgid_t status = 0;
    zarncfg_copy_to_certs(record, IDX_LDAP_SSL_CACERT, kCopy, status);
    return expect(status == msg_id(1371), "status") + expect(record[IDX_LDAP_SSL_CACERT].value == kCopy, "value");
  });
}

TEST_F(CertsInHost, MissingBrevikGroupIsReported) {
  write_in_host("/etc/group", "root:x:0:\n");
  expect_in_host([] {
    ConfigRecord record{};
    vd_msgid_t status = 0;
    zarncfg_copy_to_certs(record, IDX_LDAP_SSL_CACERT, "/root/ca.pem", status);
    return expect(status == msg_id(1345), "status");
  });
}

TEST_F(CertsInHost, QuotedNamesReachTheCopy) {
  write_in_host("/root/it's a ca.pem", "pem\n");
  expect_in_host([] {
    ConfigRecord record{};
    vd_msgid_t status = 0;
    zarncfg_copy_to_certs(record, IDX_LDAP_SSL_CACERT, "/root/it's a ca.pem", status);
    return expect(status == 0, "status") + expect(fs::exists("/var/zarn/certs/it's a ca.pem"), "copied");
  });
}

TEST_F(CertsInHost, RunningDaemonsStopAReconfigurationBeforeTheCopy) {
  expect_in_host([] {
    // This process stands in for a live daemon.
    std::ofstream("/var/zarn/run/zarnd.pid") << getpid() << "\n";
    ConfigRecord record{};
    record[IDX_CONFIG_STATE] = ConfigEntry{CFG_CURRENT | CFG_HAS_VALUE, "on"};
    record[IDX_LDAP_SSL_CACERT] = ConfigEntry{kGiven, "/root/ca.pem"};
    vd_msgid_t status = 0;
    zarncfg_validate_special_cases(record, "zarncfg", status);
    std::string failures = expect(status == msg_id(1365), "ping") + expect(!fs::exists(kCopy), "no copy");
    fs::remove("/var/zarn/run/zarnd.pid");
    zarncfg_validate_special_cases(record, "zarncfg", status);
    return failures + expect(status == 0, "stopped") + expect(record[IDX_LDAP_SSL_CACERT].value == kCopy, "copied");
  });
}

}  // namespace
