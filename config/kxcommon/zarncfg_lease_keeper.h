// Keeps a run's leases alive: a thread of its own renews them every period,
// also while the run waits for its children, and notes a lease the run has
// lost.  It prints and logs nothing: the run's thread reports.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

enum class Renewal { renewed, lost, failed };

class LeaseKeeper {
 public:
  // `renew` renews one lease; it runs on the keeper's thread only.
  LeaseKeeper(std::function<Renewal(const std::string&)> renew, std::chrono::milliseconds period);
  ~LeaseKeeper();
  LeaseKeeper(const LeaseKeeper&) = delete;
  LeaseKeeper& operator=(const LeaseKeeper&) = delete;

  void add(std::string_view name);
  // Called before the lease is given up, so that a renewal that then finds
  // it gone does not take it for lost.
  void remove(std::string_view name);
  std::vector<std::string> names();
  // The first lease found lost while still kept, empty while none is.
  std::string lost();

 private:
  void keep_renewing();
  void renew(const std::string& name);

  std::function<Renewal(const std::string&)> renew_;
  std::chrono::milliseconds period_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::vector<std::string> names_;
  std::string lost_;
  std::thread thread_;
};
