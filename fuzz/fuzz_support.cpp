#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "zarncfg_msg.h"

namespace fuzz {

void prepare_reporting() {
  static const bool prepared = [] {
    vd_status_t status = 0;
    vd_msg_define_msg_table(zarncfg_svc_msg_table, zarncfg_svc_msg_table.size(), status);
    if (status != 0) fail("the catalog could not be defined");
    for (const char* severity : {"NOTICE", "FATAL", "ERROR", "WARNING"}) {
      vd_svc_routing(std::string(severity) + ":TEXTFILE:/dev/null", status);
      if (status != 0) fail("the log could not be routed");
    }
    // libFuzzer reports on standard error; the passes print to standard output.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) fail("standard output could not be silenced");
    return true;
  }();
  (void)prepared;
}

std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  return size == 0 ? std::string_view() : std::string_view(reinterpret_cast<const char*>(data), size);
}

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  std::size_t start = 0;
  for (std::size_t found = text.find(separator); found != std::string_view::npos;
       found = text.find(separator, start)) {
    pieces.emplace_back(text.substr(start, found - start));
    start = found + 1;
  }
  pieces.emplace_back(text.substr(start));
  return pieces;
}

void fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

}  // namespace fuzz
