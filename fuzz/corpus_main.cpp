// Runs a harness over every file of its corpus, so that the normal build
// (without clang's libFuzzer) replays what fuzzing found.  A crash, a
// sanitizer report or a broken invariant ends the process and fails the test.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

std::vector<std::filesystem::path> corpus_files(const std::filesystem::path& path) {
  std::vector<std::filesystem::path> files;
  if (std::filesystem::is_directory(path)) {
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
  } else if (std::filesystem::is_regular_file(path)) {
    files.push_back(path);
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string read_bytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto& file : corpus_files(argv[i])) {
      const std::string bytes = read_bytes(file);
      std::fprintf(stderr, "%s\n", file.filename().c_str());
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++count;
    }
  }
  std::fprintf(stderr, "%zu inputs ran\n", count);
  // An empty corpus would pass without testing anything.
  return count > 0 ? 0 : 1;
}
