// End to end: faults of a policy store on a PostgreSQL server.  Each test
// has a cluster of its own, so that halting its server touches no other test.
#include <libpq-fe.h>
#include <signal.h>

#include <chrono>
#include <future>
#include <thread>

#include "e2e/config_fixture.h"
#include "e2e/private_cluster.h"
#include "e2e/site_store.h"

namespace e2e {
namespace {

using namespace std::chrono_literals;

// A transaction of the test's own holding the store's table of ACLs against
// writers, so that a policy load stops at its first ACL command (in the
// branch policy), after the product policy and the branch's objectspace
// went in.  Readers pass: a run's lookups see the table as it was.
class AclLock {
 public:
  AclLock(const std::string& socket_dir, const std::string& database) {
    const char* const keywords[] = {"host", "user", "dbname", nullptr};
    const char* const values[] = {socket_dir.c_str(), "postgres", database.c_str(), nullptr};
    conn_ = PQconnectdbParams(keywords, values, 0);
    held_ = PQstatus(conn_) == CONNECTION_OK && exec("BEGIN; LOCK TABLE acl IN EXCLUSIVE MODE");
  }
  ~AclLock() { PQfinish(conn_); }
  AclLock(const AclLock&) = delete;
  AclLock& operator=(const AclLock&) = delete;

  bool held() const { return held_; }
  void release() { (void)exec("ROLLBACK"); }  // a lock lost with a halted server is released already
  // Ends the sessions that wait for this lock, from the server's side.
  bool terminate_waiters() {
    PGresult* result = PQexec(conn_, "SELECT count(*) FROM (SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                                     "WHERE wait_event_type = 'Lock' AND datname = current_database()) AS ended");
    const bool ended = PQresultStatus(result) == PGRES_TUPLES_OK && std::string(PQgetvalue(result, 0, 0)) != "0";
    PQclear(result);
    return ended;
  }
  // Waits until another session waits for this lock; a guard against a
  // run that never gets there only.
  bool await_waiter() {
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (std::chrono::steady_clock::now() < deadline) {
      // Inside a transaction the server's activity view is read once, then kept.
      PQclear(PQexec(conn_, "SELECT pg_stat_clear_snapshot()"));
      PGresult* result = PQexec(conn_, "SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock' "
                                       "AND datname = current_database()");
      const bool waiting = PQresultStatus(result) == PGRES_TUPLES_OK && std::string(PQgetvalue(result, 0, 0)) != "0";
      PQclear(result);
      if (waiting) return true;
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

 private:
  bool exec(const char* sql) {
    PGresult* result = PQexec(conn_, sql);
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    PQclear(result);
    return ok;
  }
  PGconn* conn_ = nullptr;
  bool held_ = false;
};

class StoreFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cluster_.started());
    ASSERT_EQ(store_.problem(), "");
    store_.point(host_);
    prepare_host(host_);
  }
  void TearDown() override { expect_no_password_left(host_); }

  // A first configuration in the background, stopped by `lock` in its branch policy.
  std::future<hostsim::RunResult> run_stopped_in_branch_policy(AclLock& lock) {
    EXPECT_TRUE(lock.held());
    auto run = std::async(std::launch::async, [this] { return host_.zarncfg(first_args()); });
    EXPECT_TRUE(lock.await_waiter());
    return run;
  }
  AclLock lock_store() { return AclLock(cluster_.socket_dir(), store_.database()->name()); }
  void await_no_process_in_host() {
    while (!hostsim::processes_in_host(host_.dir()).empty()) std::this_thread::sleep_for(10ms);
  }
  // The run failed on its own, said so, and rolled back what it had done.
  void expect_failed_cleanly(const hostsim::RunResult& r) {
    EXPECT_EQ(r.exit_status, 1) << describe(r);
    EXPECT_EQ(r.term_signal, 0);
    EXPECT_NE(r.out.find(kRollBack), std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), kFailed.size())), kFailed) << r.out;
    EXPECT_FALSE(host_.exists("/opt/zarn/etc/zarnd.conf"));
  }
  // A plain re-run configures the host.
  void expect_next_run_configures() {
    const auto again = host_.zarncfg(first_args());
    EXPECT_EQ(again.exit_status, 0) << describe(again);
    expect_one_configured_host();
  }
  // The policy of one configured host, once.
  void expect_one_configured_host() {
    EXPECT_EQ(host_.sh("/opt/Varden/bin/kxadmin objectspace list").out, "/BREVIK\n/BREVIK/brevik1\n");
    EXPECT_EQ(host_.sh("/opt/Varden/bin/kxadmin user list 'zarnd/*'").out, std::string("zarnd/") + kHost + "\n");
    EXPECT_EQ(host_.sh("/opt/Varden/bin/kxadmin acl show brevik-brevik1-hosts").out,
              std::string("user zarnd/") + kHost + " Tr\n");
  }

  PrivateCluster cluster_;
  SiteStore store_{kxtest::Backend::postgresql, cluster_.socket_dir()};
  TempHost host_{store_.host_options(kHost)};
};

TEST_F(StoreFaultTest, ServerStoppedBeforeTheRunChangesNothing) {
  const std::string store_before = store_dump(host_);
  ASSERT_TRUE(cluster_.halt());

  const auto r = host_.zarncfg(first_args());

  EXPECT_EQ(r.exit_status, 1) << describe(r);
  EXPECT_NE(r.out.find("ZRNCF1352E   Varden Policy Server context could not be established. \n"), std::string::npos)
      << r.out;
  // The cause is in the log.
  const std::string log = host_.log_text();
  EXPECT_NE(log.find("policy store " + store_.location_in_host() +
                     " cannot be opened: connection to server on socket \"/run/postgresql/.s.PGSQL.5432\" failed: "),
            std::string::npos)
      << log;
  // No configuration in force, no keys, no registration, no policy.
  for (const char* file : {"/opt/zarn/etc/zarnd.conf", "/opt/zarn/etc/brevik.conf", "/var/zarn/certs/zarnd.kdb"}) {
    EXPECT_FALSE(host_.exists(file)) << file;
  }
  EXPECT_EQ(link_target(host_, kStartLinks.front()), "");
  ASSERT_TRUE(cluster_.resume());
  EXPECT_EQ(store_dump(host_), store_before);
}

// The run's own roll-back cannot reach the server either: it fails, and
// says so, without hanging and without a crash.
TEST_F(StoreFaultTest, ServerStoppedDuringAPolicyLoadFailsTheRun) {
  AclLock lock = lock_store();
  auto stopped = run_stopped_in_branch_policy(lock);
  ASSERT_TRUE(cluster_.halt());
  const auto r = stopped.get();

  expect_failed_cleanly(r);
  EXPECT_NE(r.out.find(kFirstRunHead + kProductPolicy), std::string::npos) << r.out;
  ASSERT_TRUE(cluster_.resume());
}

// Once the server is back, the next run finishes the roll-back the server
// cut short (the host's registration and the policy the run loaded, from
// the store's undo records) and then configures the host.
TEST_F(StoreFaultTest, TheRunAfterAServerStoppedDuringAPolicyLoadCompletes) {
  AclLock lock = lock_store();
  auto stopped = run_stopped_in_branch_policy(lock);
  ASSERT_TRUE(cluster_.halt());
  EXPECT_EQ(stopped.get().exit_status, 1);
  ASSERT_TRUE(cluster_.resume());

  expect_next_run_configures();
}

// The server ends the run's session (as a cut connection or an
// administrator's pg_terminate_backend would) while the server stays up:
// the run fails cleanly, and the next run configures the host.
TEST_F(StoreFaultTest, ConnectionCutDuringAPolicyLoadFailsTheRunAndTheNextCompletes) {
  AclLock lock = lock_store();
  auto stopped = run_stopped_in_branch_policy(lock);
  ASSERT_TRUE(lock.terminate_waiters());
  lock.release();
  const auto r = stopped.get();

  expect_failed_cleanly(r);

  expect_next_run_configures();
}

TEST_F(StoreFaultTest, KilledDuringAPolicyLoadThenRunAgain) {
  AclLock lock = lock_store();
  auto stopped = run_stopped_in_branch_policy(lock);
  ASSERT_EQ(::kill(static_cast<pid_t>(std::stol(host_.read_file("/var/zarn/run/zarncfg.lock"))), SIGKILL), 0);
  EXPECT_EQ(stopped.get().term_signal, SIGKILL);
  lock.release();
  await_no_process_in_host();

  expect_next_run_configures();
}

}  // namespace
}  // namespace e2e
