// Stanza files of 10 KB, 1 MB and 10 MB: reading one with the look-ups of
// the current-files pass, opening it again, and rewriting one value, each
// beside the floor of copying the file with cp and syncing the copy,
// measured in the same run on the same file system.  Medians of 5 rounds;
// every round works on fresh files, so nothing is left from the round
// before.  Also the memory the document holds beside the file's text.
//
//   bench_stanza      ($TMPDIR names another file system; /tmp otherwise)
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_config_files.h"
#include "bench_support.h"
#include "stanza_document.h"
#include "stanza_file.h"
#include "stanza_file_stats.h"
#include "sys_fd.h"
#include "zarncfg_tables.h"

namespace {

constexpr double kDocumentMemoryLimit = 2.0;  // bytes beside each byte of text

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
  const bench::Stopwatch watch;
  auto file = open_or_throw(path, STZ_MODE_READ);
  for (const StanzaOptionMap& row : config_stanza_option_map) (void)stzMoveEntry(*file, row.stanza, row.entry);
  (void)stzFileClose(std::move(file));
  return watch.seconds() * 1000;
}

double rewrite_one_value_ms(const std::string& path, const char* value) {
  const bench::Stopwatch watch;
  auto file = open_or_throw(path, STZ_MODE_UPDATE);
  stzAddStanza(*file, "zarnd");
  stzAddEntry(*file, "logs", value);
  if (file->error != 0 || stzFileClose(std::move(file)) != 0) throw std::runtime_error("cannot rewrite " + path);
  return watch.seconds() * 1000;
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

bench::Figures measure(const bench::ScratchDir& dir, std::size_t size) {
  const std::string text = bench::zarnd_conf_of_size(size);
  std::vector<double> floors, reads, again, rewrites;
  unsigned parses = 0;
  for (int round = 0; round < bench::kRounds; ++round) {
    const std::string base = dir.file("zarnd-" + std::to_string(size) + "-" + std::to_string(round));
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
  bench::print_row(name, "read, 40 look-ups", bench::median(reads), floor, "ms");
  bench::print_row(name, "read again", bench::median(again), floor, "ms");
  bench::print_row(name, "rewrite one value", bench::median(rewrites), floor, "ms");
  bench::print_row(name, "memory beside text", document_bytes_per_byte(text), kDocumentMemoryLimit, "B/B");
  if (parses != 1) throw std::runtime_error(name + ": parsed " + std::to_string(parses) + " times for two opens");
  return {floor, bench::median(rewrites)};
}

}  // namespace

int main() {
  const bench::ScratchDir dir;
  if (!dir.ok()) bench::fail("no scratch folder");
  std::printf("Stanza files, medians of %d rounds.  Floor: cp of the file and fsync of the copy, in the same\n"
              "round (ms); for memory, the limit of 2 bytes beside each byte of the file.\n",
              bench::kRounds);
  try {
    measure(dir, 10 * 1024);
    const bench::Figures one = measure(dir, 1024 * 1024);
    const bench::Figures ten = measure(dir, 10 * 1024 * 1024);
    std::printf("Growth from 1 MB to 10 MB, floor: the limit of 11x\n");
    bench::print_row("10/1 MB", "rewrite one value", ten.figure / one.figure, 11.0, "x");
    bench::print_row("10/1 MB", "cp + fsync", ten.floor / one.floor, 11.0, "x");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "benchmark failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
