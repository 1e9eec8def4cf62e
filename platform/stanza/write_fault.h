// A fault hook for the end-to-end tests: makes the write-back of one file
// fail, as a full disk would, in a simulated host where the test asks for it.
#pragma once

#include <string>

namespace stz {

// Where the requests live; the stand-ins of the external programs take
// theirs from the same directory.
inline constexpr const char* kWriteFaultDir = "/var/zarn/run";

// True when the write-back of `path` is to fail: a file
// "<kWriteFaultDir>/fail.stz.<base name of path>" exists.  When that file
// holds a number K greater than 1 it is rewritten with K - 1 and this write
// goes ahead, so that a test can pick the K-th write of a file.
bool writeFaultRequested(const std::string& path, const std::string& fault_dir = kWriteFaultDir);

}  // namespace stz
