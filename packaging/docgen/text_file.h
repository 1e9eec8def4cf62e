// Whole text files for the generators and their tests.
#pragma once

#include <string>

namespace docgen {

// Throws std::runtime_error when the file cannot be read.
std::string read_text_file(const std::string& path);

// Writes through a temporary file in the same folder and renames it, so that
// a build that stops half-way never leaves a torn page for the next build to
// trust.  Throws std::runtime_error.
void write_text_file(const std::string& path, const std::string& text);

}  // namespace docgen
