// clang 14 lacks __builtin_source_location, which libstdc++ 12 needs for
// std::source_location, so <source_location> declares nothing under it.  The
// fuzz build (clang only) forces this header into every file to supply what
// the program uses: the file and line of the calling statement.
#pragma once

#include <source_location>

#if !defined(__cpp_lib_source_location)
namespace std {
struct source_location {
  static constexpr source_location current(const char* file = __builtin_FILE(), unsigned line = __builtin_LINE(),
                                           const char* function = __builtin_FUNCTION()) noexcept {
    source_location where;
    where.file_ = file;
    where.line_ = line;
    where.function_ = function;
    return where;
  }
  constexpr const char* file_name() const noexcept { return file_; }
  constexpr unsigned line() const noexcept { return line_; }
  constexpr unsigned column() const noexcept { return 0; }
  constexpr const char* function_name() const noexcept { return function_; }

  const char* file_ = "";
  unsigned line_ = 0;
  const char* function_ = "";
};
}  // namespace std
#endif
