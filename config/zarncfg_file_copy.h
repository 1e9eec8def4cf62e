// Owning file descriptors and whole-file copies that a crash cannot tear.
#pragma once

#include <string>

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd();
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Writes every byte, retrying short writes and interruptions.
bool zarncfg_write_all(int fd, std::string_view data);

// Copies a regular file over target through a temporary file in target's
// directory and a rename, so that target is always either what it was or
// the complete copy.  The copy takes the source's owner and mode.  Links
// are not followed at the source.
bool zarncfg_copy_file(const std::string& source, const std::string& target);
