// End to end: the product's default policy loaded by the installed zarncfg
// into one policy store that several simulated hosts share, with the policy
// files the product installs, and the roll-back of what a failed run applied.
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "e2e/config_fixture.h"
#include "kx_store_v1_fixture.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr const char* kKxadmin = "/opt/Varden/bin/kxadmin ";

constexpr const char* kOnceOnlyFile = "/opt/zarn/etc/brevik.once-only";
constexpr const char* kU3800 = "/opt/zarn/etc/brevik.once-only.u3800";
constexpr const char* kU4100 = "/opt/zarn/etc/brevik.once-only.u4100";
constexpr const char* kPerPolicyFile = "/opt/zarn/etc/brevik.per-policy";
constexpr const char* kPerMachineFile = "/opt/zarn/etc/brevik.per-machine";

const std::map<std::string, std::string> kAnnouncement = {
    {kOnceOnlyFile, "Registering the Zarn product policy. \n"},
    {kU3800, "Registering the brevik.once-only.u3800 policy updates. \n"},
    {kU4100, "Registering the brevik.once-only.u4100 policy updates. \n"},
    {kPerPolicyFile, "Registering the policy-specific policy information. \n"},
    {kPerMachineFile, "Registering the machine-specific policy information. \n"},
};

// Before registration, for a run that fails on its way there.
const std::string kHead = kInputHead +
                          "Configuring Zarn. \n"
                          "Configuring the ZARND daemon. \n"
                          "Initializing the Varden Policy Server context. \n";
const std::string kTail = kOtherDaemons + kSuccess;

// Commands in a policy file: lines left with something once comments are cut.
std::size_t commands_in(const std::string& text) {
  std::istringstream in(text);
  std::size_t count = 0;
  for (std::string line; std::getline(in, line);) {
    line = line.substr(0, line.find('#'));
    if (line.find_first_not_of(" \t") != std::string::npos) ++count;
  }
  return count;
}

class PolicyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    shared_.emplace("zarn-varden");
    TempHost& first = add_host("zarnhost");
    const auto init = first.sh(std::string(kKxadmin) + "init --sec-master-pwd " + kPwd);
    ASSERT_EQ(init.exit_status, 0) << describe(init);
  }
  void TearDown() override {
    hosts_.clear();
    shared_.reset();
  }

  TempHost& add_host(const std::string& name) {
    hostsim::HostOptions options;
    options.hostname = name;
    options.shared_varden = shared_->path() / "varden";
    TempHost& h = *hosts_.emplace_back(std::make_unique<TempHost>(options));
    h.write_file(kCert, kCertText);
    return h;
  }
  TempHost& first() { return *hosts_.front(); }

  hostsim::RunResult configure(const TempHost& h, const std::string& branch = "brevik1") {
    return h.zarncfg({"-ldap_ssl_cacert", kCert, "-branch", branch, "-suffix", "o=zarn", "-sec_master_pwd", kPwd});
  }
  void configure_ok(const TempHost& h, const std::string& branch = "brevik1") {
    const auto r = configure(h, branch);
    ASSERT_EQ(r.exit_status, 0) << describe(r);
  }

  // A kxadmin command on the shared store, through the first host.
  std::string kx(const std::string& args) {
    const auto r = first().sh(kKxadmin + args);
    EXPECT_EQ(r.exit_status, 0) << args << "\n" << describe(r);
    return r.out;
  }
  std::string dump() { return kx("dump"); }

  // What processing the file prints when every command applies.
  std::string loaded(const TempHost& h, const std::string& file) {
    return kAnnouncement.at(file) + std::string(commands_in(h.read_file(file)), '.') + "\n";
  }
  // A first configuration killed (SIGKILL) when it sets up the daemon, after
  // its whole policy: the process id of the killed run, whose `applied`
  // undo records the policy server holds.
  std::string configure_killed_after_policy(const TempHost& h, std::size_t applied) {
    if (!make_zarnd_kill_zarncfg(h)) return "no copy of zarnd";
    const auto killed = configure(h);
    EXPECT_EQ(killed.exit_status, 128 + 9) << describe(killed);
    EXPECT_TRUE(put_back_zarnd(h));
    return pid_of_run_with(applied);
  }

  // The process id of the one run the policy server holds `records` undo
  // records of.
  std::string pid_of_run_with(std::size_t records) {
    const std::string runs = kx("run list");
    EXPECT_NE(runs.find("undo_records=" + std::to_string(records) + "\n"), std::string::npos) << runs;
    const std::size_t at = runs.find("pid=") + 4;
    return runs.substr(at, runs.find(' ', at) - at);
  }

  static std::string taken_back(const std::string& pid, std::size_t commands) {
    return "ZRNCF1422W   Run " + pid + " on this host ended before it completed.\n" + "Rolling back its " +
           std::to_string(commands) + " Varden commands. \n" + std::string(commands, '.') + "\n";
  }

  std::size_t commands(const TempHost& h, std::initializer_list<const char*> files) {
    std::size_t n = 0;
    for (const char* f : files) n += commands_in(h.read_file(f));
    return n;
  }
  std::string invocations(const TempHost& h) {
    return h.exists("/var/zarn/run/standins.log") ? h.read_file("/var/zarn/run/standins.log") : "";
  }

 private:
  std::optional<sys::ScratchDir> shared_;  // a directory the hosts share as /var/Varden
  std::vector<std::unique_ptr<TempHost>> hosts_;
};

TEST_F(PolicyTest, FirstMachineOnAFreshServerLoadsAllFiveFiles) {
  const TempHost& h = first();
  const auto r = configure(h);

  EXPECT_EQ(r.out, kFirstRunHead + loaded(h, kOnceOnlyFile) + loaded(h, kU3800) + loaded(h, kU4100) +
                       loaded(h, kPerPolicyFile) + loaded(h, kPerMachineFile) + kTcb + kTail)
      << describe(r);
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(kx("objectspace list"), "/BREVIK\n/BREVIK/brevik1\n");
  const std::string acls = kx("acl list");
  for (const char* acl : {"brevik-exec-open", "brevik-default-password", "brevik-brevik1-hosts"}) {
    EXPECT_NE(acls.find(std::string(acl) + "\n"), std::string::npos) << acl << "\n" << acls;
  }
  EXPECT_EQ(kx("user list 'zarnd/*'"), "zarnd/zarnhost\n");
  EXPECT_NE(kx("group show brevik-servers").find("member zarnd/zarnhost\n"), std::string::npos);
  EXPECT_NE(kx("acl show brevik-brevik1-hosts").find("user zarnd/zarnhost Tr\n"), std::string::npos);
  // Only registration added the daemon user; the files themselves made their
  // decisions without the lists failing.
  EXPECT_EQ(h.log_text().find("already exists in the objectspace"), std::string::npos);
}

TEST_F(PolicyTest, SecondMachineOnTheSameBranchLoadsOnlyItsOwnFile) {
  configure_ok(first());
  TempHost& second = add_host("zarnhost2");

  const auto r = configure(second);

  EXPECT_EQ(r.out, kFirstRunHead + loaded(second, kPerMachineFile) + kTcb + kTail) << describe(r);
  const std::string log = second.log_text();
  EXPECT_NE(log.find("/BREVIK already exists in the objectspace. \n"
                     "Registration of Zarn product policy has already been done.\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("/BREVIK/brevik1 already exists in the objectspace. \n"
                     "Registration of the policy-specific policy information has already been done.\n"),
            std::string::npos);
  EXPECT_EQ(kx("objectspace list"), "/BREVIK\n/BREVIK/brevik1\n");
  EXPECT_EQ(kx("user list 'zarnd/*'"), "zarnd/zarnhost\nzarnd/zarnhost2\n");
  EXPECT_NE(kx("group show brevik-servers").find("member zarnd/zarnhost\nmember zarnd/zarnhost2\n"),
            std::string::npos);
  EXPECT_NE(kx("acl show brevik-brevik1-hosts").find("user zarnd/zarnhost2 Tr\n"), std::string::npos);
}

// The branch "brevik" is a new branch although /BREVIK/brevik1 (its object
// space name plus one character) exists.  The update files are skipped:
// the first machine left their ACLs behind.
TEST_F(PolicyTest, NewBranchOfAServerWithTheProductPolicy) {
  configure_ok(first());
  TempHost& other = add_host("zarnhost2");

  const auto r = configure(other, "brevik");

  EXPECT_EQ(r.out, kFirstRunHead + loaded(other, kPerPolicyFile) + loaded(other, kPerMachineFile) + kTcb + kTail)
      << describe(r);
  EXPECT_NE(other.log_text().find("/BREVIK already exists in the objectspace. \n"), std::string::npos);
  EXPECT_EQ(other.log_text().find("/BREVIK/brevik already exists"), std::string::npos);
  EXPECT_EQ(kx("objectspace list"), "/BREVIK\n/BREVIK/brevik\n/BREVIK/brevik1\n");
  EXPECT_NE(kx("acl show brevik-brevik-hosts").find("user zarnd/zarnhost2 Tr\n"), std::string::npos);
}

// A server loaded by an older release holds the product policy but not the
// updates: a machine on a new branch brings them, in order.
TEST_F(PolicyTest, NewBranchOfAnOlderServerAppliesTheUpdatesFirst) {
  first().sh(std::string("rm ") + kU3800 + " " + kU4100);
  configure_ok(first());
  ASSERT_EQ(kx("acl list").find("brevik-exec-open"), std::string::npos);
  TempHost& other = add_host("zarnhost2");

  const auto r = configure(other, "brevik2");

  EXPECT_EQ(r.out, kFirstRunHead + loaded(other, kU3800) + loaded(other, kU4100) + loaded(other, kPerPolicyFile) +
                       loaded(other, kPerMachineFile) + kTcb + kTail)
      << describe(r);
  const std::string acls = kx("acl list");
  EXPECT_NE(acls.find("brevik-exec-open\n"), std::string::npos);
  EXPECT_NE(acls.find("brevik-default-password\n"), std::string::npos);
}

// A failed listing counts as an empty one: the product file is tried again
// and stops at its first command, so nothing of the server's policy changes.
TEST_F(PolicyTest, FailedObjectSpaceListingStopsAtTheFirstCommand) {
  configure_ok(first());
  const std::string before = dump();
  TempHost& second = add_host("zarnhost2");
  kx("fault objectspace_list");

  const auto r = configure(second);

  EXPECT_EQ(r.out, kFirstRunHead + kAnnouncement.at(kOnceOnlyFile) + "\n" +
                       "ZRNCF1353E   Varden command objectspace_create failed. \n" + kRollBack + "\n" +
                       kUnregister + kFailed)
      << describe(r);
  EXPECT_EQ(dump(), before);
}

TEST_F(PolicyTest, ReconfigurationAppliesNothing) {
  const TempHost& h = first();
  configure_ok(h);
  const std::string before = dump();

  const auto r = h.zarncfg({"-zarnd_logs", "9"});

  EXPECT_EQ(r.exit_status, 0) << describe(r);
  EXPECT_EQ(r.out,
            "Gathering information. \nProcessing the current configuration files. \nProcessing the command line. \n"
            "Validating the information. \nConfiguring Zarn. \nConfiguring the ZARND daemon. \n" +
                kTail)
      << describe(r);
  EXPECT_EQ(dump(), before);
  // Only the run just made: every file step reached says it was done before.
  const std::string log = h.log_text();
  const std::string run = log.substr(log.rfind("has begun."));
  EXPECT_EQ(run.find("Initializing the Varden Policy Server context."), std::string::npos);
  EXPECT_EQ(count_of(run, "Entering function zarncfg_process_kxadmin_file.\n"
                          "The configuration process has been run previously.\n"),
            5u)
      << run;
}

TEST_F(PolicyTest, WrongSecurityMasterPasswordStopsBeforeRegistration) {
  const TempHost& h = first();
  const std::string before = dump();

  const auto r = h.zarncfg({"-ldap_ssl_cacert", kCert, "-branch", "brevik1", "-suffix", "o=zarn", "-sec_master_pwd",
                            "WrongMaster1"});

  EXPECT_EQ(r.out, kHead +
                       "ZRNCF1352E   Varden Policy Server context could not be established. \n"
                       "ZRNCF1377E   The security master password specified was invalid.\n" +
                       kRollBack + "\n" + kFailed)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(invocations(h).find("certbind"), std::string::npos) << invocations(h);
  EXPECT_EQ(dump(), before);
}

// The fourth command of the product file fails on the server: the three
// before it and the registration are undone, the store is as it was.
TEST_F(PolicyTest, FailingFourthCommandRollsBackTheFirstThree) {
  const TempHost& h = first();
  h.write_file(kOnceOnlyFile,
               "objectspace create /BREVIK \"Zarn product\" 14\n"
               "action group create brevik-file   # file access\n"
               "group create brevik-admins cn=brevik-admins,%SUFFIX% brevik-admins\n"
               "acl create brevik-admin-acl\n"
               "acl create brevik-never\n");
  const std::string before = dump();
  kx("fault acl_create brevik-admin-acl");

  const auto r = configure(h);

  EXPECT_EQ(r.out, kFirstRunHead + kAnnouncement.at(kOnceOnlyFile) + "...\n" +
                       "ZRNCF1353E   Varden command acl_create failed. \n" + kRollBack + "...\n" + kUnregister +
                       kFailed)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(dump(), before);
  EXPECT_EQ(kx("user list 'zarnd/*'"), "");
  EXPECT_TRUE(h.exists("/opt/zarn/etc/zarnd.conf.partial"));
  EXPECT_TRUE(h.exists("/opt/zarn/etc/brevik.conf.partial"));
  EXPECT_FALSE(h.exists("/opt/zarn/etc/zarnd.conf"));
}

// A failure after the whole policy was loaded on a fresh server: the policy
// server takes every command of the five files back from its undo records,
// and the store is exactly as before.
TEST_F(PolicyTest, FailureAfterLoadingRollsBackEveryCommand) {
  const TempHost& h = first();
  const std::string before = dump();
  h.write_file("/var/zarn/run/fail.zarnd-T", "3");

  const auto r = configure(h);

  const std::size_t applied = commands(h, {kOnceOnlyFile, kU3800, kU4100, kPerPolicyFile, kPerMachineFile});
  EXPECT_EQ(r.out, kFirstRunHead + loaded(h, kOnceOnlyFile) + loaded(h, kU3800) + loaded(h, kU4100) +
                       loaded(h, kPerPolicyFile) + loaded(h, kPerMachineFile) + kTcb +
                       "ZRNCF1327E   The ZARND daemon failed with error code 3.\n" + kRollBack +
                       std::string(applied, '.') + "\n" + kUnregister + kFailed)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(dump(), before);
  EXPECT_EQ(h.log_text().find("ZRNCF1375E"), std::string::npos);
}

// A call that fails with reason 1 made its change: it is on the undo stack
// and a later failure's roll-back removes what it made.
TEST_F(PolicyTest, ReasonOneCountsAsAppliedAndIsRolledBack) {
  const TempHost& h = first();
  const std::string before = dump();
  kx("fault acl_create brevik-admin-acl --reason 1 --code 0x1357");
  h.write_file("/var/zarn/run/fail.zarnd-T", "3");

  const auto r = configure(h);

  const std::size_t applied = commands(h, {kOnceOnlyFile, kU3800, kU4100, kPerPolicyFile, kPerMachineFile});
  EXPECT_NE(r.out.find(loaded(h, kOnceOnlyFile)), std::string::npos) << describe(r);
  EXPECT_NE(r.out.find(kRollBack + std::string(applied, '.') + "\n"), std::string::npos) << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_NE(h.log_text().find("and the error code 1357."), std::string::npos);
  EXPECT_EQ(kx("fault list"), "");
  EXPECT_EQ(dump(), before);
}

// On a server with the product policy but without the updates, the update
// files change ACLs that the run did not create (u3800 removes the
// auditors' entry and the unauthenticated entry of brevik-resource-acl,
// u4100 the administrator's user entry of brevik-admin-acl and the
// any-other entry of brevik-login-acl).  The roll-back puts every entry
// back, so the next machine on a new branch applies the updates again.
TEST_F(PolicyTest, RollBackRestoresAclChangesOnSurvivingAcls) {
  first().sh(std::string("rm ") + kU3800 + " " + kU4100);
  configure_ok(first());
  const std::string before = dump();
  TempHost& other = add_host("zarnhost2");
  other.write_file("/var/zarn/run/fail.zarnd-T", "3");

  const auto r = configure(other, "brevik2");

  const std::size_t applied = commands(other, {kU3800, kU4100, kPerPolicyFile, kPerMachineFile});
  EXPECT_NE(r.out.find(kRollBack + std::string(applied, '.') + "\n" + kUnregister), std::string::npos)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(dump(), before);
  EXPECT_EQ(kx("dump --undo"), before);

  other.sh("rm /var/zarn/run/fail.zarnd-T");
  const auto again = configure(other, "brevik2");
  EXPECT_EQ(again.exit_status, 0) << describe(again);
  EXPECT_NE(again.out.find(loaded(other, kU3800) + loaded(other, kU4100)), std::string::npos) << describe(again);
}

// A re-imaged machine, or a second machine of the same name: the policy
// server holds the name already.  The run stops before it changes anything
// on the server and leaves the other machine's registration alone.
TEST_F(PolicyTest, DuplicateHostNameFailsBeforeChangingTheServer) {
  configure_ok(first());
  const std::string before = kx("dump --undo");
  TempHost& twin = add_host("zarnhost");

  const auto r = configure(twin);

  EXPECT_EQ(r.out, kHead +
                       "ZRNCF1420E   The Varden Policy Server already holds the registration zarnd/zarnhost for this "
                       "host name.\nAnother machine may have the same host name. Nothing was changed on the server.\n" +
                       kRollBack + "\n" + kFailed)
      << describe(r);
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(kx("dump --undo"), before);
  EXPECT_EQ(invocations(twin).find("certbind"), std::string::npos) << invocations(twin);
  EXPECT_NE(twin.log_text().find("ZRNCF1420E"), std::string::npos);
}

// A run killed after its whole policy: the next run with the password
// takes back what the killed run applied, then its registration, before it
// does anything else, and then configures the host as if nothing had been.
TEST_F(PolicyTest, AKilledRunsPolicyIsRolledBackByTheNextRun) {
  const TempHost& h = first();
  const std::size_t applied = commands(h, {kOnceOnlyFile, kU3800, kU4100, kPerPolicyFile, kPerMachineFile});
  const std::string pid = configure_killed_after_policy(h, applied);
  const std::string runs = kx("run list");

  // A run without the password leaves the policy and says what is left.
  const auto version = h.zarncfg({"-version"});
  EXPECT_EQ(version.exit_status, 0) << describe(version);
  for (const char* file : {kOnceOnlyFile, kU3800, kU4100, kPerPolicyFile, kPerMachineFile}) {
    EXPECT_NE(version.out.find("ZRNCF1400W   A run of zarncfg, process " + pid +
                               ", ended before it completed while it applied the policy file " + file +
                               ". A run that is given the security master password rolls back the policy commands "
                               "it applied.\n"),
              std::string::npos)
        << version.out;
  }
  EXPECT_EQ(kx("run list"), runs);

  const auto next = configure(h);

  EXPECT_NE(next.out.find("Validating the information. \n" + taken_back(pid, applied) + kUnregister +
                          "Configuring Zarn. \n"),
            std::string::npos)
      << describe(next);
  // The product policy is loaded again in full: the killed run's was gone.
  EXPECT_EQ(next.out.substr(next.out.find("Configuring Zarn. \n")),
            "Configuring Zarn. \n" + kHead.substr(kHead.find("Configuring the ZARND daemon.")) + kFirstRunSteps.substr(kFirstRunSteps.find("Registering")) +
                loaded(h, kOnceOnlyFile) + loaded(h, kU3800) + loaded(h, kU4100) + loaded(h, kPerPolicyFile) +
                loaded(h, kPerMachineFile) + kTcb + kTail)
      << describe(next);
  EXPECT_EQ(next.exit_status, 0) << describe(next);
  EXPECT_EQ(kx("run list"), "");
  EXPECT_EQ(kx("user list 'zarnd/*'"), "zarnd/zarnhost\n");
  EXPECT_NE(h.log_text().find("ZRNCF1422W"), std::string::npos);
}

// A roll-back that the policy server cuts short: the rest and the
// registration wait in the host's run record, and the next run with the
// password finishes them before its own steps.
TEST_F(PolicyTest, ARollBackCutShortIsFinishedByTheNextRun) {
  const TempHost& h = first();
  h.write_file("/var/zarn/run/fail.zarnd-T", "3");
  ASSERT_EQ(h.sh(std::string(kKxadmin) + "fault run_rollback zarnhost").exit_status, 0);
  const std::size_t applied = commands(h, {kOnceOnlyFile, kU3800, kU4100, kPerPolicyFile, kPerMachineFile});

  const auto failed = configure(h);

  EXPECT_NE(failed.out.find("ZRNCF1327E   The ZARND daemon failed with error code 3.\n" + kRollBack + "\n" +
                            "ZRNCF1421W   The roll back stopped with " + std::to_string(applied) +
                            " Varden commands left.\nThe next configuration on this host with the security master "
                            "password completes it.\n" + kFailed),
            std::string::npos)
      << describe(failed);
  EXPECT_EQ(failed.out.find("ZRNCF1400W"), std::string::npos) << describe(failed);
  const std::string pid = pid_of_run_with(applied);
  // The registration waits too: unregistered first, the roll-back of the
  // policy would bring the daemon's user back.
  EXPECT_EQ(kx("user list 'zarnd/*'"), "zarnd/zarnhost\n");
  EXPECT_NE(h.read_file("/var/zarn/run/zarncfg.run").find(" " + pid + " "), std::string::npos);
  h.sh("rm /var/zarn/run/fail.zarnd-T");

  const auto next = configure(h);

  EXPECT_EQ(next.out, kHead.substr(0, kHead.find("Configuring Zarn.")) + taken_back(pid, applied) + kUnregister +
                          kHead.substr(kHead.find("Configuring Zarn.")) + kFirstRunSteps.substr(kFirstRunSteps.find("Registering")) + loaded(h, kOnceOnlyFile) +
                          loaded(h, kU3800) + loaded(h, kU4100) + loaded(h, kPerPolicyFile) + loaded(h, kPerMachineFile) +
                          kTcb + kTail)
      << describe(next);
  EXPECT_EQ(kx("run list"), "");
}

// A killed run whose policy cannot be rolled back: the next run stops
// before its own steps and keeps the work, the registration included, for
// the run after it.
TEST_F(PolicyTest, AKilledRunThatCannotBeRolledBackStopsTheNextRun) {
  const TempHost& h = first();
  const std::size_t applied = commands(h, {kOnceOnlyFile, kU3800, kU4100, kPerPolicyFile, kPerMachineFile});
  const std::string pid = configure_killed_after_policy(h, applied);
  const std::string runs = kx("run list");
  ASSERT_EQ(h.sh(std::string(kKxadmin) + "fault run_rollback zarnhost").exit_status, 0);

  const auto stopped = configure(h);

  EXPECT_NE(stopped.out.find("Validating the information. \nZRNCF1422W   Run " + pid +
                             " on this host ended before it completed.\nRolling back its " +
                             std::to_string(applied) + " Varden commands. \n\nZRNCF1423E   The Varden commands of "
                             "run " + pid + " could not be rolled back.\n"),
            std::string::npos)
      << describe(stopped);
  EXPECT_EQ(stopped.exit_status, 1);
  EXPECT_EQ(stopped.out.find("Configuring Zarn."), std::string::npos) << describe(stopped);
  EXPECT_EQ(kx("run list"), runs);
  EXPECT_EQ(kx("user list 'zarnd/*'"), "zarnd/zarnhost\n");

  const auto next = configure(h);

  EXPECT_EQ(next.exit_status, 0) << describe(next);
  EXPECT_NE(next.out.find(taken_back(pid, applied) + kUnregister + "Configuring Zarn. \n"), std::string::npos)
      << describe(next);
  EXPECT_EQ(kx("run list"), "");
}

// The store as version 1 held it: the same policy in the tables of that
// version, made from the current store.
std::string version1_copy_script() {
  std::string sql = "PRAGMA journal_mode = WAL;\n" + std::string(kxtest::VERSION_1_TABLES) +
                    "ATTACH '/var/Varden/policy.db' AS cur;\n"
                    "INSERT INTO meta VALUES('schema_version', '1');\n";
  for (const char* table : {"sec_master", "objectspace", "acl", "protobj", "user", "grp", "grp_member", "acl_user",
                            "acl_group", "acl_special", "acl_attribute", "action", "action_group",
                            "action_group_member"}) {
    sql += std::string("INSERT INTO \"") + table + "\" SELECT * FROM cur.\"" + table + "\";\n";
  }
  return sql;
}

// A policy server of the previous store version, brought up by kxadmin:
// the policy it held is kept, and first configurations work on it, the
// roll-back of a failed one included.
TEST_F(PolicyTest, MigratedStoreOfThePreviousVersion) {
  configure_ok(first());
  const std::string before = dump();
  first().write_file("/tmp/v1.sql", version1_copy_script());
  const auto copied = first().sh(
      "sqlite3 /var/Varden/v1.db < /tmp/v1.sql >/dev/null && rm -f /var/Varden/policy.db-wal /var/Varden/policy.db-shm "
      "&& mv /var/Varden/v1.db /var/Varden/policy.db");
  ASSERT_EQ(copied.exit_status, 0) << describe(copied);
  const auto refused = first().sh(std::string(kKxadmin) + "dump");
  EXPECT_EQ(refused.exit_status, 1) << describe(refused);

  EXPECT_EQ(kx("migrate"), "policy store /var/Varden/policy.db migrated from version 1 to version 3\n");
  EXPECT_EQ(dump(), before);

  TempHost& failing = add_host("zarnhost2");
  failing.write_file("/var/zarn/run/fail.zarnd-T", "3");
  EXPECT_EQ(configure(failing, "brevik2").exit_status, 1);
  EXPECT_EQ(kx("dump --undo"), before);
  TempHost& second = add_host("zarnhost3");
  const auto r = configure(second, "brevik2");
  EXPECT_EQ(r.out, kHead + kFirstRunSteps.substr(kFirstRunSteps.find("Registering")) + loaded(second, kPerPolicyFile) + loaded(second, kPerMachineFile) + kTcb + kTail)
      << describe(r);
  EXPECT_NE(kx("acl show brevik-brevik2-hosts").find("user zarnd/zarnhost3 Tr\n"), std::string::npos);
  EXPECT_EQ(kx("run list"), "");
}

// Node names where one is the start of another (node1, node10) share the
// daemon user look-up prefix; each machine must still name its own user.
TEST_F(PolicyTest, TenHostsOnTwoBranches) {
  std::string outputs;
  for (int i = 10; i >= 1; --i) {
    const std::string name = "node" + std::to_string(i);
    TempHost& h = add_host(name);
    const auto r = configure(h, i % 2 == 0 ? "east" : "west");
    ASSERT_EQ(r.exit_status, 0) << name << "\n" << describe(r);
    outputs += r.out;
  }
  EXPECT_EQ(count_of(outputs, kAnnouncement.at(kOnceOnlyFile)), 1u);
  EXPECT_EQ(count_of(outputs, kAnnouncement.at(kU3800)), 1u);
  EXPECT_EQ(count_of(outputs, kAnnouncement.at(kU4100)), 1u);
  EXPECT_EQ(count_of(outputs, kAnnouncement.at(kPerPolicyFile)), 2u);
  EXPECT_EQ(count_of(outputs, kAnnouncement.at(kPerMachineFile)), 10u);
  EXPECT_EQ(kx("objectspace list"), "/BREVIK\n/BREVIK/east\n/BREVIK/west\n");
  EXPECT_EQ(kx("user list 'zarnd/*'"),
            "zarnd/node1\nzarnd/node10\nzarnd/node2\nzarnd/node3\nzarnd/node4\nzarnd/node5\nzarnd/node6\n"
            "zarnd/node7\nzarnd/node8\nzarnd/node9\n");
  EXPECT_EQ(count_of(kx("group show brevik-servers"), "member zarnd/node"), 10u);
  EXPECT_EQ(kx("acl show brevik-east-hosts"),
            "group brevik-admins TArwxLS\ngroup brevik-servers Tr\nuser zarnd/node10 Tr\nuser zarnd/node2 Tr\n"
            "user zarnd/node4 Tr\nuser zarnd/node6 Tr\nuser zarnd/node8 Tr\n");
  EXPECT_EQ(kx("acl show brevik-west-hosts"),
            "group brevik-admins TArwxLS\ngroup brevik-servers Tr\nuser zarnd/node1 Tr\nuser zarnd/node3 Tr\n"
            "user zarnd/node5 Tr\nuser zarnd/node7 Tr\nuser zarnd/node9 Tr\n");
}

}  // namespace
}  // namespace e2e
