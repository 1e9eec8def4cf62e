#include "zarncfg_lease_keeper.h"

#include <signal.h>

#include <algorithm>

LeaseKeeper::LeaseKeeper(std::function<Renewal(const std::string&)> renew, std::chrono::milliseconds period)
    : renew_(std::move(renew)), period_(period) {
  // Signals are the run's thread's to take: this one never sees them.
  sigset_t all;
  sigset_t previous;
  sigfillset(&all);
  (void)pthread_sigmask(SIG_SETMASK, &all, &previous);  // cannot fail with valid sets
  thread_ = std::thread([this] { keep_renewing(); });
  (void)pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

LeaseKeeper::~LeaseKeeper() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void LeaseKeeper::add(std::string_view name) {
  std::lock_guard<std::mutex> hold(mutex_);
  names_.emplace_back(name);
}

void LeaseKeeper::remove(std::string_view name) {
  std::lock_guard<std::mutex> hold(mutex_);
  std::erase(names_, std::string(name));
}

std::vector<std::string> LeaseKeeper::names() {
  std::lock_guard<std::mutex> hold(mutex_);
  return names_;
}

std::string LeaseKeeper::lost() {
  std::lock_guard<std::mutex> hold(mutex_);
  return lost_;
}

void LeaseKeeper::keep_renewing() {
  std::unique_lock<std::mutex> hold(mutex_);
  while (!wake_.wait_for(hold, period_, [this] { return stopping_; })) {
    const std::vector<std::string> names = names_;
    hold.unlock();
    for (const std::string& name : names) renew(name);
    hold.lock();
  }
}

// A renewal that fails for another reason (the server busy or away) is
// tried again next period; three missed ones let the lease expire.
void LeaseKeeper::renew(const std::string& name) {
  if (renew_(name) != Renewal::lost) return;
  std::lock_guard<std::mutex> hold(mutex_);
  // The run may have given the lease up since the names were read: a lease
  // no longer kept is not lost.
  if (std::find(names_.begin(), names_.end(), name) == names_.end()) return;
  if (lost_.empty()) lost_ = name;
}
