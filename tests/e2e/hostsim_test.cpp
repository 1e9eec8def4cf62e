// The simulated host itself: what runs inside sees the host, and nothing
// outside the host directory changes.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "e2e/host_fixture.h"

namespace fs = std::filesystem;
using hostsim::RunOptions;

namespace e2e {
namespace {

std::string real_hostname() {
  std::string name(HOST_NAME_MAX + 1, '\0');
  EXPECT_EQ(::gethostname(name.data(), name.size()), 0);
  return name.c_str();
}

size_t count(const std::string& text, std::string_view needle) {
  size_t n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

class SimulatedHost : public HostTest {};

TEST_F(SimulatedHost, HasItsOwnHostname) {
  const std::string before = real_hostname();
  hostsim::HostOptions options;
  options.hostname = "brevik-test-7";
  TempHost named(options);

  const auto result = named.run({"hostname"});

  EXPECT_EQ(result.out, "brevik-test-7\n") << describe(result);
  EXPECT_EQ(real_hostname(), before);
}

struct IdentityCase {
  const char* name;
  std::optional<std::string> user;
  const char* script;
  const char* expected;
};

void PrintTo(const IdentityCase& c, std::ostream* os) { *os << c.name; }

class HostIdentity : public HostTest, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(HostIdentity, ComesFromTheHostsAccounts) {
  const auto result = sh(GetParam().script, [&] { RunOptions o; o.user = GetParam().user; return o; }());
  EXPECT_EQ(result.out, std::string(GetParam().expected) + "\n") << describe(result);
  EXPECT_EQ(result.exit_status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Users, HostIdentity,
    ::testing::Values(IdentityCase{"RootUid", std::nullopt, "id -u", "0"},
                      IdentityCase{"BrevikUid", "brevik", "id -u", "301"},
                      IdentityCase{"BrevikGid", "brevik", "id -g", "301"},
                      IdentityCase{"BrevikGroups", "brevik", "id -G", "301"},
                      IdentityCase{"BrevikName", "brevik", "id -un", "brevik"},
                      IdentityCase{"NobodyUid", "nobody", "id -u", "65534"},
                      IdentityCase{"BrevikHome", "brevik", "echo $HOME", "/var/zarn"},
                      IdentityCase{"RootHome", std::nullopt, "echo $HOME", "/root"},
                      IdentityCase{"Path", std::nullopt, "echo $PATH", "/usr/sbin:/usr/bin:/sbin:/bin"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatedHost, EnvironmentIsClean) {
  ASSERT_EQ(::setenv("ZARNHOST_LEAK_PROBE", "leaked", 1), 0);
  ASSERT_EQ(::setenv("TERM", "vt100", 1), 0);
  // The sanitizers' settings pass through as well; a sanitized build sets them.
  std::string sanitizer_settings;
  for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) sanitizer_settings += std::string(name) + "=" + value + "\n";
  }
  const auto result = run({"/usr/bin/env"});
  ::unsetenv("ZARNHOST_LEAK_PROBE");
  EXPECT_EQ(result.out, "PATH=/usr/sbin:/usr/bin:/sbin:/bin\nHOME=/root\nLANG=C\nTERM=vt100\n" + sanitizer_settings)
      << describe(result);
}

// Descriptors of the test process (and of whatever started it) must not
// leak into the host's programs.
TEST_F(SimulatedHost, CommandGetsOnlyTheStandardStreams) {
  const auto piped = sh("ls /proc/$$/fd");
  EXPECT_EQ(piped.out, "0\n1\n2\n") << describe(piped);

  hostsim::PtySession session;
  session.start(host().dir(), {"/bin/sh", "-c", "ls -1 /proc/$$/fd"});
  EXPECT_EQ(session.read_all(), "0\r\n1\r\n2\r\n");
  EXPECT_EQ(session.wait(), 0);
}

TEST_F(SimulatedHost, UnknownUserIsRefusedBeforeTheRun) {
  EXPECT_THROW(sh("true", as_user("nosuchuser")), std::runtime_error);
}

TEST_F(SimulatedHost, StartsInTheRequestedDirectory) {
  const auto result = run({"pwd"}, in_dir("/var/zarn/zarncfg"));
  EXPECT_EQ(result.out, "/var/zarn/zarncfg\n") << describe(result);
}

TEST_F(SimulatedHost, MissingDirectoryIsASetupFailure) {
  const auto result = run({"pwd"}, in_dir("/no/such/dir"));
  EXPECT_EQ(result.exit_status, hostsim::kSetupFailureStatus) << describe(result);
  EXPECT_NE(result.err.find("/no/such/dir"), std::string::npos);
}

TEST_F(SimulatedHost, UnknownCommandIsNotFound) {
  const auto result = run({"no-such-command"});
  EXPECT_EQ(result.exit_status, hostsim::kNotFoundStatus) << describe(result);
}

TEST_F(SimulatedHost, UsrIsReadOnly) {
  const auto result = sh("touch /usr/zarnhost-probe");
  EXPECT_NE(result.exit_status, 0) << describe(result);
  EXPECT_NE(result.err.find("Read-only file system"), std::string::npos) << describe(result);
  EXPECT_FALSE(fs::exists("/usr/zarnhost-probe"));
}

TEST_F(SimulatedHost, TmpIsTheHostsOwn) {
  const auto result = sh("echo hello > /tmp/probe && ls -ld /tmp");
  EXPECT_EQ(result.exit_status, 0) << describe(result);
  EXPECT_EQ(result.out.substr(0, 10), "drwxrwxrwt");
  EXPECT_EQ(read_file("/tmp/probe"), "hello\n");
}

// A run's /dev is its own: what a program does to a device node there
// never reaches the machine's, and the next run starts afresh.
TEST_F(SimulatedHost, DevicesAreTheHostsOwn) {
  const auto changed = sh("chown 1:1 /dev/null && chmod 600 /dev/null && stat -c '%u:%g %a' /dev/null");
  EXPECT_EQ(changed.out, "1:1 600\n") << describe(changed);
  struct stat machine {};
  ASSERT_EQ(::stat("/dev/null", &machine), 0);
  EXPECT_EQ(machine.st_uid, 0u);
  EXPECT_EQ(machine.st_gid, 0u);
  EXPECT_EQ(machine.st_mode & 07777, 0666u);
  const auto fresh = sh("stat -c '%u:%g %a %t:%T' /dev/null /dev/zero /dev/full /dev/random /dev/urandom /dev/tty");
  EXPECT_EQ(fresh.out, "0:0 666 1:3\n0:0 666 1:5\n0:0 666 1:7\n0:0 666 1:8\n0:0 666 1:9\n0:0 666 5:0\n")
      << describe(fresh);
  const auto working = sh("echo gone > /dev/null && head -c 3 /dev/zero | wc -c && readlink /dev/ptmx");
  EXPECT_EQ(working.out, "3\npts/ptmx\n") << describe(working);
}

TEST_F(SimulatedHost, WritesStayInsideTheHost) {
  const std::string name = "/var/zarn/log/probe-" + std::to_string(::getpid());
  const auto result = sh("echo inside > " + name + " && mkdir -p /opt/zarn/etc && hostname");
  EXPECT_EQ(result.exit_status, 0) << describe(result);
  EXPECT_TRUE(host().exists(name));
  EXPECT_FALSE(fs::exists(name));
}

TEST_F(SimulatedHost, PassesStandardStreamsAndStatus) {
  const auto result = sh("cat; echo to-err >&2; exit 3", with_stdin("line 1\nline 2\n"));
  EXPECT_EQ(result.out, "line 1\nline 2\n");
  EXPECT_EQ(result.err, "to-err\n");
  EXPECT_EQ(result.exit_status, 3);
  EXPECT_EQ(result.term_signal, 0);
}

// More than any pipe buffer holds, in and out at once: a runner that fed
// all input before reading output would deadlock here.
TEST_F(SimulatedHost, LargeInputAndOutputDoNotDeadlock) {
  std::string input;
  for (int i = 0; input.size() < (4u << 20); ++i) input += "line " + std::to_string(i) + "\n";
  const auto result = sh("cat; cat /etc/passwd >&2", with_stdin(input));
  EXPECT_EQ(result.exit_status, 0) << describe(result).substr(0, 400);
  EXPECT_TRUE(result.out == input);
  EXPECT_EQ(result.err, read_file("/etc/passwd"));
}

TEST_F(SimulatedHost, CommandThatIgnoresItsInputStillEnds) {
  const auto result = run({"true"}, with_stdin(std::string(1u << 20, 'x')));
  EXPECT_EQ(result.exit_status, 0) << describe(result);
}

TEST_F(SimulatedHost, ReportsTheSignalThatEndedTheCommand) {
  const auto result = sh("kill -TERM $$");
  EXPECT_EQ(result.exit_status, 128 + SIGTERM);
  EXPECT_EQ(result.term_signal, SIGTERM);
}

TEST_F(SimulatedHost, RunEndsWhenTheCommandEndsDespiteALeftoverDaemon) {
  const auto result = sh("sleep 1000 & echo started");
  EXPECT_EQ(result.out, "started\n") << describe(result);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(hostsim::processes_in_host(host().dir()).size(), 1u);
  hostsim::kill_processes_in_host(host().dir());
  EXPECT_TRUE(hostsim::processes_in_host(host().dir()).empty());
}

TEST_F(SimulatedHost, SafetyTimeoutEndsAHungCommand) {
  const auto result = run({"sleep", "1000"}, with_timeout(std::chrono::seconds(1)));
  EXPECT_TRUE(result.timed_out);
  EXPECT_EQ(result.term_signal, SIGKILL);
}

TEST_F(SimulatedHost, HasNoRpmUnlessAsked) {
  const auto result = sh("/bin/rpm -q -a");
  EXPECT_NE(result.exit_status, 0) << describe(result);
}

class HostWithVardenRuntime : public HostTest {
  hostsim::HostOptions host_options() const override {
    hostsim::HostOptions options;
    options.vdrte_version = "3.7.0";
    return options;
  }
};

TEST_F(HostWithVardenRuntime, RpmListsTheRuntime) {
  const auto listed = run({"/bin/rpm", "-q", "-a"});
  EXPECT_EQ(listed.out, "VDRTE-VD-3.7.0-0\n") << describe(listed);
  EXPECT_EQ(listed.exit_status, 0);
  // The query the configuration program makes.
  EXPECT_EQ(sh(R"(/bin/rpm -q -a | grep -i VDRTE-VD | grep "3\.7" >/dev/null 2>&1)").exit_status, 0);
  EXPECT_EQ(run({"/bin/rpm", "-q", "VDRTE-VD"}).exit_status, 1);
}

TEST_F(SimulatedHost, PtySessionIsATerminal) {
  hostsim::PtySession session;
  session.start(host().dir(), {"tty"});
  const std::string shown = session.read_all();
  EXPECT_EQ(session.wait(), 0) << session.transcript();
  EXPECT_EQ(shown.rfind("/dev/pts/", 0), 0u) << shown;
}

TEST_F(SimulatedHost, PtySessionDoesNotEchoWithEchoOff) {
  hostsim::PtySession session;
  session.start(host().dir(), {"/bin/sh", "-c", "stty -echo; echo ready; read x; echo got:$x"});
  session.read_until("ready");
  session.send("secret\n");
  session.read_all();
  EXPECT_EQ(session.wait(), 0) << session.transcript();
  EXPECT_NE(session.transcript().find("got:secret"), std::string::npos) << session.transcript();
  EXPECT_EQ(count(session.transcript(), "secret"), 1u) << session.transcript();
}

// The counterpart of the test above: with echo on, typed text does show.
TEST_F(SimulatedHost, PtySessionEchoesByDefault) {
  hostsim::PtySession session;
  session.start(host().dir(), {"/bin/sh", "-c", "echo ready; read x; echo got:$x"});
  session.read_until("ready");
  session.send("visible\n");
  EXPECT_EQ(session.wait(), 0) << session.transcript();
  EXPECT_EQ(count(session.transcript(), "visible"), 2u) << session.transcript();
}

TEST(SharedVarden, HostsSeeEachOthersPolicyStore) {
  TempHost shared_parent;  // an owned temporary place for the store
  const fs::path store = shared_parent.path("/var/tmp-store");
  hostsim::HostOptions options;
  options.shared_varden = store;
  TempHost first(options);
  TempHost second(options);

  EXPECT_EQ(first.sh("echo from-first > /var/Varden/policy").exit_status, 0);
  const auto seen = second.sh("cat /var/Varden/policy");

  EXPECT_EQ(seen.out, "from-first\n") << describe(seen);
  EXPECT_TRUE(fs::exists(store / "policy"));
  EXPECT_FALSE(first.exists("/var/Varden/policy"));
}

TEST_F(SimulatedHost, MountsNeverShowOutsideTheRun) {
  struct statvfs usr_before;
  ASSERT_EQ(::statvfs("/usr", &usr_before), 0);
  hostsim::PtySession session;
  session.start(host().dir(), {"/bin/sh", "-c", "echo ready; read x"});
  session.read_until("ready");

  EXPECT_TRUE(hostsim::mount_points_under(host().dir()).empty());

  session.send("\n");
  EXPECT_EQ(session.wait(), 0);
  struct statvfs usr_after;
  ASSERT_EQ(::statvfs("/usr", &usr_after), 0);
  EXPECT_EQ(usr_after.f_flag, usr_before.f_flag);
}

TEST(RemoveHost, LeavesNothingBehind) {
  fs::path dir;
  {
    TempHost host;
    dir = host.dir();
    EXPECT_EQ(host.sh("ls /dev/null /proc/self/status >/dev/null && echo x > /tmp/x").exit_status, 0);
    EXPECT_TRUE(hostsim::mount_points_under(dir).empty());
  }
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_TRUE(hostsim::mount_points_under(dir).empty());
  // Deleting the host must not have reached through to the real system.
  EXPECT_TRUE(fs::exists("/dev/null"));
  EXPECT_TRUE(fs::exists("/usr/bin/sh"));
}

TEST(StripLogHeaders, DropsTimestampedLinesOnly) {
  const std::string log =
      "2024-05-01 10:11:12.345 UTC zarncfg 1234 ZRNCF0302I\n"
      "Entering function main.\n"
      "2024-05-01 10:11:12.346 UTC zarncfg 1234\n"
      "2024-05-01 not a header\n"
      "Exiting function main.\n";
  EXPECT_EQ(strip_log_headers(log), "Entering function main.\n2024-05-01 not a header\nExiting function main.\n");
}

TEST_F(SimulatedHost, LogTextReadsTheProgramsLog) {
  write_file(kZarncfgLog, "2024-05-01 10:11:12.345 UTC head\nbody\n", 0660);
  EXPECT_EQ(log_text(), "body\n");
}

// The zarnhost tool takes the same path as the library.
class ZarnhostTool : public ::testing::Test {
 protected:
  static int shell_status(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  static std::string tool() { return ZARNHOST_PATH; }
};

TEST_F(ZarnhostTool, CreatesAndRunsAHost) {
  TempHost scratch;  // only to own a temporary directory
  const fs::path dir = scratch.path("/tmp/by-tool");
  ASSERT_EQ(shell_status(tool() + " create " + dir.string() + " --hostname tooled --vdrte-version 4.1"), 0);

  EXPECT_EQ(shell_status(tool() + " run " + dir.string() + " -- sh -c 'test \"$(hostname)\" = tooled'"), 0);
  EXPECT_EQ(shell_status(tool() + " run " + dir.string() + " --user brevik -- sh -c 'test $(id -u) = 301'"), 0);
  EXPECT_EQ(shell_status(tool() + " run " + dir.string() + " -- sh -c 'exit 7'"), 7);
  EXPECT_EQ(shell_status(tool() + " run " + dir.string() + " -- no-such-command 2>/dev/null"), 127);
  EXPECT_EQ(shell_status(tool() + " run " + dir.string() + " --user nosuch -- true 2>/dev/null"), 125);
  EXPECT_EQ(shell_status(tool() + " run " + scratch.path("/etc").string() + " -- true 2>/dev/null"), 125);
  EXPECT_EQ(shell_status(tool() + " frobnicate 2>/dev/null"), 125);
  hostsim::remove_host(dir);
}

}  // namespace
}  // namespace e2e
