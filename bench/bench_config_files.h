// What the benchmarks of configuration files and of a first configuration
// share: the floor of rewriting a file, and configuration files of a given
// size.
#pragma once

#include <cstddef>
#include <string>

namespace bench {

inline constexpr int kRounds = 5;

struct Figures {
  double floor = 0;
  double figure = 0;
};

// Wall time in ms of copying `source` to `copy` with cp and syncing the
// copy: what rewriting the file cannot beat.  Throws when cp fails.
double cp_and_fsync_ms(const std::string& source, const std::string& copy);

// The zarnd.conf of a configured host, with stanzas of entries added after
// it until it holds at least `bytes` bytes.
std::string zarnd_conf_of_size(std::size_t bytes);
std::string size_name(std::size_t bytes);

}  // namespace bench
