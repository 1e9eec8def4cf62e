// A PostgreSQL cluster of one test's own, for the faults of a network
// store: its server can be halted and resumed without touching the cluster
// the other tests share.  Removed with its folder when the test ends.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

#include "sys_testing.h"

namespace e2e {

class PrivateCluster {
 public:
  PrivateCluster() : started_(control("start")) {}
  ~PrivateCluster() { (void)control("stop"); }
  PrivateCluster(const PrivateCluster&) = delete;
  PrivateCluster& operator=(const PrivateCluster&) = delete;

  bool started() const { return started_; }
  // The folder of its Unix socket.
  std::string socket_dir() const {
    std::ifstream in(state_);
    std::string dir;
    std::getline(in, dir);
    return dir;
  }
  // Stops the server at once, as a crash would; its clients see the
  // connection cut.
  [[nodiscard]] bool halt() const { return control("halt"); }
  [[nodiscard]] bool resume() const { return control("resume"); }

 private:
  bool control(const char* command) const {
    const std::string line = std::string("'") + ZARN_PG_CLUSTER_SCRIPT + "' " + command + " '" + state_ + "'";
    return std::system(line.c_str()) == 0;
  }

  sys::ScratchDir folder_{"zarn-private-pg"};
  std::string state_ = folder_.file("cluster.state");
  bool started_;
};

}  // namespace e2e
