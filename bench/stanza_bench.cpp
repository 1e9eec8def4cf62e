// Stanza files of 10 KB, 1 MB and 10 MB: reading one with the look-ups of
// the current-files pass, opening it again, and rewriting one value, each
// beside the floor of copying the file with cp and syncing the copy,
// measured in the same run on the same file system.  Medians of 5 rounds;
// every round works on a fresh copy, so nothing is cached from the round
// before.
//
//   stanza_bench [DIR]     (DIR: where the files go; default /var/tmp)
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_figures.h"
#include "stanza_document.h"
#include "stanza_file.h"
#include "stanza_file_stats.h"
#include "sys_fd.h"
#include "zarncfg_tables.h"

namespace {

using Clock = std::chrono::steady_clock;

void write_file(const std::string& path, const std::string& text) {
  const sys::UniqueFd fd = sys::open_fd(path, O_WRONLY | O_CREAT | O_TRUNC, 0640);
  if (!fd.valid() || !sys::write_all(fd.get(), text) || ::fsync(fd.get()) != 0) {
    throw std::runtime_error("cannot write " + path);
  }
}

std::unique_ptr<StanzaFile> open_or_throw(const std::string& path, int mode) {
  vd_status_t status = 0;
  auto file = stzFileOpen(path, mode, status);
  if (!file) throw std::runtime_error(stzErrorText(status));
  return file;
}

// The current-files pass: the file opened for reading, every row of the
// option map looked up, the file closed.
double read_like_the_current_files_pass_ms(const std::string& path) {
  const auto start = Clock::now();
  auto file = open_or_throw(path, STZ_MODE_READ);
  for (const StanzaOptionMap& row : config_stanza_option_map) (void)stzMoveEntry(*file, row.stanza, row.entry);
  (void)stzFileClose(std::move(file));
  return bench::milliseconds_since(start);
}

double rewrite_one_value_ms(const std::string& path, const char* value) {
  const auto start = Clock::now();
  auto file = open_or_throw(path, STZ_MODE_UPDATE);
  stzAddStanza(*file, "zarnd");
  stzAddEntry(*file, "logs", value);
  if (file->error != 0 || stzFileClose(std::move(file)) != 0) throw std::runtime_error("cannot rewrite " + path);
  return bench::milliseconds_since(start);
}

// Bytes the document holds beside the file's text once every stanza the
// program reads has been looked up.
double document_bytes_per_byte(const std::string& text) {
  auto parsed = stz::Document::parse(text);
  const auto& document = std::get<stz::Document>(parsed);
  for (const StanzaOptionMap& row : config_stanza_option_map) {
    if (const auto stanza = document.findStanza(row.stanza)) (void)document.findEntry(*stanza, row.entry);
  }
  return static_cast<double>(document.memoryUsed()) / static_cast<double>(text.size());
}

bench::Figures measure(const std::filesystem::path& dir, std::size_t size) {
  const std::string text = bench::zarnd_conf_of_size(size);
  std::vector<double> floors, reads, again, rewrites;
  unsigned parses = 0;
  for (int round = 0; round < bench::kRounds; ++round) {
    const std::string base = (dir / ("zarnd-" + std::to_string(size) + "-" + std::to_string(round))).string();
    write_file(base + ".conf", text);
    write_file(base + ".edit.conf", text);
    floors.push_back(bench::cp_and_fsync_ms(base + ".conf", base + ".copy"));
    reads.push_back(read_like_the_current_files_pass_ms(base + ".conf"));
    again.push_back(read_like_the_current_files_pass_ms(base + ".conf"));
    parses = std::max(parses, stzFileStats(base + ".conf").parses);
    rewrites.push_back(rewrite_one_value_ms(base + ".edit.conf", round % 2 == 0 ? "4" : "5"));
  }
  const double floor = bench::median(floors);
  const std::string name = bench::size_name(size);
  bench::print_heading(name + " (" + std::to_string(text.size()) + " bytes), parsed " + std::to_string(parses) +
                       " time(s) for two opens");
  bench::print_row("read, 40 look-ups", bench::median(reads), floor, "cp + fsync of the file");
  bench::print_row("read again, unchanged (compared, not parsed)", bench::median(again), floor,
                   "cp + fsync of the file");
  bench::print_row("rewrite one value (read, edit, atomic write)", bench::median(rewrites), floor,
                   "cp + fsync of the file");
  bench::print_row("document memory beside the text", document_bytes_per_byte(text), 2.0, "the limit", "B/B");
  return {floor, bench::median(rewrites)};
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path parent = argc > 1 ? argv[1] : "/var/tmp";
  std::string pattern = (parent / "stanza-bench.XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror(pattern.c_str());
    return 1;
  }
  const std::filesystem::path dir = pattern;
  bench::print_heading("Stanza files: median of " + std::to_string(bench::kRounds) + " rounds, in " + dir.string());
  int status = 0;
  try {
    measure(dir, 10 * 1024);
    const bench::Figures one = measure(dir, 1024 * 1024);
    const bench::Figures ten = measure(dir, 10 * 1024 * 1024);
    bench::print_heading("Growth from 1 MB to 10 MB");
    bench::print_row("rewrite one value", ten.figure / one.figure, 11.0, "the limit", "x");
    bench::print_row("cp + fsync", ten.floor / one.floor, 11.0, "the limit", "x");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    status = 1;
  }
  std::filesystem::remove_all(dir);
  return status;
}
