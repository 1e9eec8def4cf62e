// What the benchmarks of configuration files and of a first configuration
// share: medians of rounds, one printed row per figure beside its floor
// measured in the same run, and configuration files of a given size.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

inline constexpr int kRounds = 5;

double milliseconds_since(std::chrono::steady_clock::time_point start);
double median(std::vector<double> values);

// "<what>  <figure> <unit>  floor <floor> <unit> (<floor_what>)  ratio <r>x"
void print_row(std::string_view what, double figure, double floor, std::string_view floor_what,
               std::string_view unit = "ms");
void print_heading(std::string_view heading);

struct Figures {
  double floor = 0;
  double figure = 0;
};

// Wall time of copying `source` to `copy` with cp and syncing the copy: what
// rewriting the file cannot beat.  Throws when cp fails.
double cp_and_fsync_ms(const std::string& source, const std::string& copy);

// The zarnd.conf of a configured host, with stanzas of entries added after
// it until it holds at least `bytes` bytes.
std::string zarnd_conf_of_size(std::size_t bytes);
std::string size_name(std::size_t bytes);

}  // namespace bench
