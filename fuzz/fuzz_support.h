// What every harness shares.  The passes under test report through the
// program's catalog, so it is defined and messages are formatted as in a
// real run; the log and standard output go to /dev/null so that a long
// fuzzing run neither fills a disk nor floods the terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// Idempotent; every harness calls it first.
void prepare_reporting();

std::string_view as_text(const std::uint8_t* data, std::size_t size);

// The pieces between separators; n separators give n + 1 pieces.
std::vector<std::string> split(std::string_view text, char separator);

// A broken invariant is a finding: stop the way a sanitizer does, so that
// the fuzzer keeps the input and the corpus runner fails.
[[noreturn]] void fail(const char* what);

}  // namespace fuzz

// The libFuzzer entry point each harness defines.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
